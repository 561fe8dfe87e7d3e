#include "recordhistory.h"

#include <QScopedValueRollback>
#include <QUndoCommand>

namespace quillon {

namespace {

// Field names of a hand-made table need not be upper case.
std::optional<QString> fieldIn(const Record& r, const QString& name) {
  for (auto it = r.cbegin(); it != r.cend(); ++it)
    if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value();
  return std::nullopt;
}

}  // namespace

// One step: the record as it was before and after (none: no such record;
// for a change only the fields it changed).
class RecordHistory::Step : public QUndoCommand {
 public:
  Step(RecordHistory& h, qint64 key, std::optional<Record> before, std::optional<Record> after, const QString& text)
      : QUndoCommand(text), h_(h), key_(key), before_(std::move(before)), after_(std::move(after)) {}
  // Many records changed together (an import): one step for all of them.
  Step(RecordHistory& h, QList<RecordStore::BatchChange> batch, const QString& text)
      : QUndoCommand(text), h_(h), key_(batch.isEmpty() ? -1 : batch.constFirst().key), batch_(std::move(batch)) {}
  const QList<RecordStore::BatchChange>& batch() const { return batch_; }

  qint64 key() const { return key_; }
  // What the file holds when this step is to be taken in that direction.
  const std::optional<Record>& expected(Direction d) const { return d == Direction::Back ? after_ : before_; }
  const std::optional<Record>& target(Direction d) const { return d == Direction::Back ? before_ : after_; }

  // A change that puts back exactly what this one changed.
  bool isUndoneBy(qint64 key, const Record& before, const Record& after) const {
    return key == key_ && before_ && after_ && before == *after_ && after == *before_;
  }

  void undo() override { take(Direction::Back); }
  void redo() override {
    // The stack calls this when the step is recorded; it has happened already.
    if (recorded_) {
      recorded_ = false;
      return;
    }
    take(Direction::Forward);
  }

 private:
  void take(Direction d) {
    try {
      if (!batch_.isEmpty()) {
        h_.applyBatch(batch_, d);
        return;
      }
      h_.apply(key_, target(d), expected(d));
    } catch (const DbError& e) {
      h_.error_ = e.message();
      setObsolete(true);
    }
  }

  RecordHistory& h_;
  qint64 key_;
  std::optional<Record> before_;
  std::optional<Record> after_;
  QList<RecordStore::BatchChange> batch_;
  bool recorded_ = true;
};

RecordHistory::RecordHistory(RecordStore& store, QObject* parent) : QObject(parent), store_(store) {
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
  if (absorbInverse_ && stack_.index() == stack_.count() && stack_.index() > 0) {
    auto* top = const_cast<Step*>(static_cast<const Step*>(stack_.command(stack_.index() - 1)));
    if (top->isUndoneBy(key, before, after)) {
      // An obsolete step is removed by the stack without being taken.
      top->setObsolete(true);
      stack_.undo();
      return;
    }
  }
  stack_.push(new Step(*this, key, before, after, QStringLiteral("Change of ") + subjectOfKey(key, after)));
}

void RecordHistory::onDeleted(qint64 key, const Record& record) {
  if (applying_) return;
  stack_.push(new Step(*this, key, record, std::nullopt, QStringLiteral("Delete of ") + subjectOfKey(key, record)));
}

const RecordHistory::Step* RecordHistory::next(Direction d) const {
  const int i = d == Direction::Back ? stack_.index() - 1 : stack_.index();
  if (i < 0 || i >= stack_.count()) return nullptr;
  return static_cast<const Step*>(stack_.command(i));
}

bool RecordHistory::canStep(Direction d) const { return next(d) != nullptr; }

QString RecordHistory::stepText(Direction d) const {
  const Step* s = next(d);
  return s ? s->text() : QString();
}

qint64 RecordHistory::stepKey(Direction d) const {
  const Step* s = next(d);
  return s ? s->key() : -1;
}

RecordHistory::Obstacle RecordHistory::check(Direction d) const {
  Obstacle o;
  const Step* s = next(d);
  if (!s) return o;
  if (!s->batch().isEmpty()) return checkBatch(s->batch(), d);
  const std::optional<Record> now = store_.storedRecord(s->key());
  const std::optional<Record>& expected = s->expected(d);
  if (!expected) {
    if (now) o.kind = Obstacle::Taken;
    return o;
  }
  if (!now) {
    o.kind = Obstacle::Gone;
    return o;
  }
  for (auto it = expected->cbegin(); it != expected->cend(); ++it)
    if (fieldIn(*now, it.key()).value_or(QString()) != it.value()) o.fields << it.key();
  o.fields.sort();
  if (!o.fields.isEmpty()) o.kind = Obstacle::Changed;
  return o;
}

bool RecordHistory::step(Direction d) {
  if (!next(d)) return false;
  error_.clear();
  if (d == Direction::Back)
    stack_.undo();
  else
    stack_.redo();
  return error_.isEmpty();
}

void RecordHistory::drop(Direction d) {
  const Step* s = next(d);
  if (!s) return;
  const_cast<Step*>(s)->setObsolete(true);
  if (d == Direction::Back)
    stack_.undo();
  else
    stack_.redo();
}

void RecordHistory::apply(qint64 key, const std::optional<Record>& target, const std::optional<Record>& expected) {
  // The store reports these writes like any other; they are the history's own.
  QScopedValueRollback<bool> own(applying_, true);
  if (!target)
    store_.deleteByKey(key);
  else if (!expected)
    store_.restoreRecord(key, *target);
  else
    store_.writeFields(key, *target);
}

void RecordHistory::recordBatch(const QString& text, const QList<RecordStore::BatchChange>& changes) {
  if (changes.isEmpty()) return;
  stack_.push(new Step(*this, changes, text));
}

RecordHistory::Obstacle RecordHistory::checkBatch(const QList<RecordStore::BatchChange>& batch, Direction d) const {
  // The worst obstacle of any record; the fields changed since are named
  // once each.
  Obstacle o;
  QStringList fields;
  for (const RecordStore::BatchChange& c : batch) {
    const std::optional<FieldValues>& expected = d == Direction::Back ? c.after : c.before;
    const std::optional<Record> now = store_.storedRecord(c.key);
    if (!expected) {
      if (now) return {Obstacle::Taken, {}};
      continue;
    }
    if (!now) return {Obstacle::Gone, {}};
    // A record an import added is compared as a whole, so the fields it was
    // stored with are what counts, not the fields the engine adds later.
    for (const FieldValues::Field& f : *expected)
      if (fieldIn(*now, f.name).value_or(QString()) != f.value && !fields.contains(f.name)) fields << f.name;
    // It holds only the fields it was given a value in: any other field
    // that has one now was filled since.
    const bool added = !(d == Direction::Back ? c.before : c.after);
    if (added)
      for (auto it = now->cbegin(); it != now->cend(); ++it)
        if (!it.value().isEmpty() && !expected->find(it.key(), Qt::CaseInsensitive) && !fields.contains(it.key()))
          fields << it.key();
  }
  fields.sort();
  if (!fields.isEmpty()) o = {Obstacle::Changed, fields};
  return o;
}

void RecordHistory::applyBatch(const QList<RecordStore::BatchChange>& batch, Direction d) {
  QList<RecordStore::BatchOp> ops;
  ops.reserve(batch.size());
  // Taken back newest first, so a record changed twice ends as it began.
  auto add = [&](const RecordStore::BatchChange& c) {
    const std::optional<FieldValues>& target = d == Direction::Back ? c.before : c.after;
    const std::optional<FieldValues>& from = d == Direction::Back ? c.after : c.before;
    if (!target)
      ops.append({RecordStore::BatchOp::Delete, c.key, {}});
    else if (!from)
      ops.append({RecordStore::BatchOp::Insert, c.key, *target});
    else
      ops.append({RecordStore::BatchOp::Update, c.key, *target});
  };
  if (d == Direction::Back)
    for (auto it = batch.crbegin(); it != batch.crend(); ++it) add(*it);
  else
    for (const RecordStore::BatchChange& c : batch) add(c);
  QScopedValueRollback<bool> own(applying_, true);
  store_.applyBatch(ops);
}

}  // namespace quillon
