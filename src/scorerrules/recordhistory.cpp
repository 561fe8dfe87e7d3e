#include "recordhistory.h"

#include <QScopedValueRollback>

namespace quillon {

namespace {

// The fields `to` holds, set from what `from` held (none: no record).
Change changeOf(qint64 key, const FieldValues* from, const FieldValues& to) {
  Change c{key, {}};
  for (const FieldValues::Field& f : to) c.write(f.name, from ? from->value(f.name) : QString(), f.value);
  return c;
}

FieldValues valuesOf(const Change& change) {
  FieldValues out;
  for (const Change::Field& f : change.fields)
    if (f.writes) out.append(f.name, f.to);
  return out;
}

}  // namespace

RecordHistory::RecordHistory(RecordStore& store, QObject* parent)
    : QObject(parent), store_(store), history_(stack_, *this) {
  connect(&store_, &RecordStore::recordStored, this, &RecordHistory::onStored);
  connect(&store_, &RecordStore::recordDeleted, this, &RecordHistory::onDeleted);
}

RecordHistory::~RecordHistory() = default;

QString RecordHistory::subjectOf(const QString& name, const QString& id) {
  if (!name.trimmed().isEmpty()) return name;
  return QStringLiteral("record ") + id;
}

QString RecordHistory::subjectOfKey(qint64 key, const Record& hint) const {
  std::optional<QString> name = fieldIn(hint, QStringLiteral("LNAME"));
  std::optional<QString> id = fieldIn(hint, QStringLiteral("ID"));
  const int row = store_.indexOfKey(key);
  if (row >= 0) {
    if (!name) name = store_.value(row, store_.fieldIndex(QStringLiteral("LNAME")));
    if (!id) id = store_.value(row, store_.fieldIndex(QStringLiteral("ID")));
  }
  return subjectOf(name.value_or(QString()), id.value_or(QString::number(key)));
}

void RecordHistory::onStored(qint64 key, const Record& before, const Record& after) {
  if (applying_) return;
  UndoEdit edit{UndoEdit::Update, {key, {}}};
  for (auto it = after.cbegin(); it != after.cend(); ++it) edit.change.write(it.key(), before.value(it.key()), it.value());
  if (absorbInverse_ && history_.absorb(edit)) return;
  history_.record(QStringLiteral("Change of ") + subjectOfKey(key, after), {edit});
}

void RecordHistory::onDeleted(qint64 key, const Record& record) {
  if (applying_) return;
  UndoEdit edit{UndoEdit::Remove, {key, {}}};
  for (auto it = record.cbegin(); it != record.cend(); ++it) edit.change.write(it.key(), it.value(), QString());
  history_.record(QStringLiteral("Delete of ") + subjectOfKey(key, record), {edit});
}

void RecordHistory::recordBatch(const QString& text, const QList<RecordStore::BatchChange>& changes) {
  QList<UndoEdit> edits;
  edits.reserve(changes.size());
  for (const RecordStore::BatchChange& c : changes) {
    if (!c.after)
      edits.append({UndoEdit::Remove, changeOf(c.key, nullptr, *c.before).inverse()});
    else
      edits.append({c.before ? UndoEdit::Update : UndoEdit::Add, changeOf(c.key, c.before ? &*c.before : nullptr, *c.after)});
  }
  history_.record(text, edits);
}

RecordHistory::Obstacle RecordHistory::check(Direction d) const {
  return obstacleOf(history_.nextEdits(d), [this](qint64 key) { return store_.storedRecord(key); });
}

bool RecordHistory::step(Direction d) {
  if (!canStep(d)) return false;
  error_ = history_.step(d);
  if (error_.isEmpty()) return true;
  history_.drop(d);
  return false;
}

QString RecordHistory::take(const QList<UndoEdit>& edits) {
  // The store reports these writes like any other; they are the history's own.
  QScopedValueRollback<bool> own(applying_, true);
  try {
    if (edits.size() == 1) {
      const UndoEdit& e = edits.constFirst();
      switch (e.kind) {
        case UndoEdit::Remove: store_.deleteByKey(e.change.key); break;
        case UndoEdit::Add: store_.restoreRecord(e.change.key, e.change.after()); break;
        case UndoEdit::Update: store_.writeFields(e.change.key, e.change.after()); break;
      }
      return {};
    }
    // Several records (an import) in one transaction.
    QList<RecordStore::BatchOp> ops;
    ops.reserve(edits.size());
    for (const UndoEdit& e : edits) {
      switch (e.kind) {
        case UndoEdit::Remove: ops.append({RecordStore::BatchOp::Delete, e.change.key, {}}); break;
        case UndoEdit::Add: ops.append({RecordStore::BatchOp::Insert, e.change.key, valuesOf(e.change)}); break;
        case UndoEdit::Update: ops.append({RecordStore::BatchOp::Update, e.change.key, valuesOf(e.change)}); break;
      }
    }
    store_.applyBatch(ops);
    return {};
  } catch (const DbError& e) {
    return e.message();
  }
}

}  // namespace quillon
