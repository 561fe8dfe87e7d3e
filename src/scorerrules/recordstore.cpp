#include "recordstore.h"

#include <QFileInfo>
#include <algorithm>

#include "pgconnection.h"

namespace quillon {

RecordStore::RecordStore(QObject* parent) : QObject(parent) {}

RecordStore::~RecordStore() = default;

void RecordStore::setDatabaseName(const QString& path) { path_ = path; }

void RecordStore::setBackend(std::unique_ptr<RecordBackend> backend) {
  close();
  backend_ = std::move(backend);
  fixedBackend_ = backend_ != nullptr;
}

QString RecordStore::describe() const { return isOpen() ? backend_->describe() : QString(); }

void RecordStore::requireOpen() const {
  if (!isOpen()) throw DbError(QStringLiteral("The records database is not open."));
}

void RecordStore::requireCurrent() const {
  requireOpen();
  if (eof() || onDeleted_) throw DbError(QStringLiteral("No current record."));
}

void RecordStore::open() {
  if (!fixedBackend_) {
    if (path_.isEmpty()) throw DbError(QStringLiteral("No database file was named."));
    // The folder says where its records are; a connection file put there or
    // taken away counts from the next re-query.
    const bool server = QFileInfo::exists(pg::connFilePath(QFileInfo(path_).absolutePath()));
    if (!backend_ || openPath_ != path_ || server != onServer_) {
      backend_ = RecordBackend::forDatabase(path_);
      openPath_ = path_;
      onServer_ = server;
    }
  }
  const bool was = backend_->isOpen();
  backend_->open();
  if (!was) emit opened(backend_->describe());
}

void RecordStore::refresh() {
  emit aboutToReset();
  const int before = rowCount();
  resetCursor();
  try {
    open();
    rows_.reserve(before);
    backend_->readRows(source_, rows_);
    idColumn_ = fieldIndex(QStringLiteral("ID"));
  } catch (const DbError&) {
    resetCursor();
    rows_.release();
    if (backend_) backend_->close();
    emit resetDone();
    throw;
  }
  cur_ = rowCount() == 0 ? -1 : 0;
  emit resetDone();
}

void RecordStore::close() {
  emit aboutToReset();
  resetCursor();
  rows_.release();
  if (backend_) backend_->close();
  emit resetDone();
}

void RecordStore::resetCursor() {
  rows_.clear();
  idColumn_ = -1;
  cur_ = -1;
  onDeleted_ = false;
  mode_ = Mode::None;
  pending_.clear();
}

bool RecordStore::eof() const { return cur_ < 0 || cur_ >= rowCount(); }

int RecordStore::currentRow() const { return (eof() || onDeleted_) ? -1 : cur_; }

void RecordStore::moveTo(int row) {
  mode_ = Mode::None;
  pending_.clear();
  onDeleted_ = false;
  cur_ = (row >= 0 && row < rowCount()) ? row : -1;
}

void RecordStore::moveNext() {
  requireOpen();
  if (eof() && !onDeleted_) throw DbError(QStringLiteral("No current record."));
  mode_ = Mode::None;
  pending_.clear();
  if (onDeleted_)
    onDeleted_ = false;  // already standing on the row after the deleted one
  else
    ++cur_;
  if (cur_ >= rowCount()) cur_ = rowCount();
}

void RecordStore::moveLast() {
  requireOpen();
  if (rowCount() == 0) throw DbError(QStringLiteral("No current record."));
  mode_ = Mode::None;
  pending_.clear();
  onDeleted_ = false;
  cur_ = rowCount() - 1;
}

void RecordStore::edit() {
  requireCurrent();
  mode_ = Mode::Edit;
  pending_.clear();
}

void RecordStore::addNew() {
  requireOpen();
  mode_ = Mode::Add;
  pending_.clear();
}

void RecordStore::cancelUpdate() {
  mode_ = Mode::None;
  pending_.clear();
}

void RecordStore::setField(const QString& name, const QString& value) {
  if (mode_ == Mode::None) throw DbError(QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
  const int c = requireField(name);
  if (c == idColumn_) throw DbError(QStringLiteral("Field 'ID' cannot be updated."));
  pending_[c] = value;
}

void RecordStore::update() {
  requireOpen();
  if (mode_ == Mode::None) throw DbError(QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
  if (mode_ == Mode::Edit) {
    requireCurrent();
    updateByKey(rows_.key(cur_), pending_);
  } else {
    insertRow(pending_);
  }
  mode_ = Mode::None;
  pending_.clear();
}

void RecordStore::deleteCurrent() {
  requireCurrent();
  mode_ = Mode::None;
  pending_.clear();
  const int row = cur_;
  removeRow(row);
  // removeRow left cur_ on the row that followed; remember that it has not
  // been moved to yet.
  cur_ = row;
  onDeleted_ = true;
}

QString RecordStore::field(const QString& name) const {
  requireCurrent();
  const int c = requireField(name);
  if (mode_ == Mode::Edit && pending_.contains(c)) return pending_.value(c);
  return value(cur_, c);
}

int RecordStore::fieldIndex(const QString& name) const {
  for (int i = 0; i < fieldNames().size(); ++i)
    if (fieldNames().at(i).compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

int RecordStore::requireField(const QString& name) const {
  requireOpen();
  const int c = fieldIndex(name);
  if (c < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + name);
  return c;
}

QString RecordStore::value(int row, int column) const { return rows_.value(row, column); }

int RecordStore::indexOfKey(qint64 key) const { return rows_.indexOfKey(key); }

RowAsRead RecordStore::asRead(int row) const { return RowAsRead{rows_.key(row), rows_.version(row), rows_.values(row)}; }

Record RecordStore::recordOf(const QStringList& fields) const {
  Record r;
  for (int c = 0; c < fieldNames().size(); ++c) r.insert(fieldNames().at(c), fields.value(c));
  return r;
}

std::optional<Record> RecordStore::storedRecord(qint64 key) const {
  requireOpen();
  const std::optional<RowAsRead> r = backend_->fetch(key);
  if (!r) return std::nullopt;
  return recordOf(r->fields);
}

void RecordStore::takeStored(const RowAsRead& stored) {
  const int row = indexOfKey(stored.key);
  if (row < 0) return;
  for (int c = 0; c < fieldNames().size(); ++c)
    if (rows_.value(row, c) != stored.fields.value(c)) rows_.setValue(row, c, stored.fields.value(c));
  rows_.setVersion(row, stored.version);
  emit rowChanged(row);
}

void RecordStore::updateByKey(qint64 key, const QHash<int, QString>& values) {
  requireOpen();
  if (values.isEmpty()) return;
  const int row = indexOfKey(key);
  if (row >= 0) {
    write(asRead(row), values, false);
    return;
  }
  // Not among the rows read: what the file holds now is the row as read.
  const std::optional<RowAsRead> now = backend_->fetch(key);
  if (!now) throw DbError(deletedText(key));
  write(*now, values, false);
}

void RecordStore::writeFields(qint64 key, const Record& fields) {
  requireOpen();
  QHash<int, QString> values;
  for (auto it = fields.cbegin(); it != fields.cend(); ++it) values.insert(requireField(it.key()), it.value());
  if (values.isEmpty()) return;
  // The history puts back what it recorded over what the file holds now;
  // it has checked that itself (recordhistory.cpp), so the row as read is the row now.
  const std::optional<RowAsRead> now = backend_->fetch(key);
  if (!now) throw DbError(deletedText(key));
  write(*now, values, true);
}

void RecordStore::write(const RowAsRead& was, const QHash<int, QString>& values, bool exact) {
  for (auto it = values.cbegin(); it != values.cend(); ++it)
    if (it.key() < 0 || it.key() >= fieldNames().size() || it.key() == idColumn_)
      throw DbError(QStringLiteral("Field cannot be updated."));
  const RowAsRead stored = backend_->store(was, values, exact);
  Record before, after;
  QList<int> cols = values.keys();
  std::sort(cols.begin(), cols.end());
  for (int c : cols) {
    const QString old = was.fields.value(c);
    const QString now = values.value(c);
    // Text compares as the clerk sees it: an empty box over no value is no change.
    if (old != now || (exact && old.isNull() != now.isNull())) {
      before.insert(fieldNames().at(c), old);
      after.insert(fieldNames().at(c), now);
    }
  }
  takeStored(stored);
  if (!before.isEmpty()) emit recordStored(was.key, before, after);
}

void RecordStore::keepTheirs(const StoreConflict& conflict) {
  requireOpen();
  takeStored(conflict.theirs);
}

void RecordStore::storeOurs(const StoreConflict& conflict, const QHash<int, QString>& values) {
  requireOpen();
  if (values.isEmpty()) {
    takeStored(conflict.theirs);
    return;
  }
  write(conflict.theirs, values, false);
}

int RecordStore::append(const RowAsRead& stored) {
  const int row = rowCount();
  emit rowAboutToBeInserted(row);
  rows_.appendOwn(stored.key, stored.version, stored.fields);
  emit rowInserted(row);
  return row;
}

int RecordStore::insertRow(const QHash<int, QString>& values) {
  requireOpen();
  for (auto it = values.cbegin(); it != values.cend(); ++it)
    if (it.key() < 0 || it.key() >= fieldNames().size() || it.key() == idColumn_)
      throw DbError(QStringLiteral("Field cannot be updated."));
  return append(backend_->add(values));
}

void RecordStore::restoreRecord(qint64 key, const Record& record) {
  requireOpen();
  append(backend_->restore(key, record));
}

void RecordStore::removeRow(int row) {
  requireOpen();
  if (row < 0 || row >= rowCount()) throw DbError(QStringLiteral("No current record."));
  const qint64 key = rows_.key(row);
  const std::optional<RowAsRead> gone = backend_->remove(key);
  emit rowAboutToBeRemoved(row);
  rows_.remove(row);
  if (row < cur_) --cur_;
  if (cur_ >= rowCount()) cur_ = rowCount();
  emit rowRemoved(row);
  if (gone) emit recordDeleted(key, recordOf(gone->fields));
}

void RecordStore::deleteByKey(qint64 key) {
  requireOpen();
  const int row = indexOfKey(key);
  if (row >= 0) {
    removeRow(row);
    return;
  }
  const std::optional<RowAsRead> gone = backend_->remove(key);
  if (gone) emit recordDeleted(key, recordOf(gone->fields));
}

QString RecordStore::deletedText(qint64 key) const {
  const int row = indexOfKey(key);
  return deletedMessage(row >= 0 ? value(row, idColumn_) : QString::number(key));
}

std::optional<QList<RecordStore::BatchChange>> RecordStore::applyBatch(const QList<BatchOp>& ops,
                                                                       const BatchProgress& progress) {
  requireOpen();
  std::optional<QList<BatchChange>> done = backend_->applyBatch(ops, progress);
  if (!done) return done;
  // The rows shown follow what was stored. Where each key's row is shown is
  // only worked out when the batch changes rows that were there before.
  std::optional<QHash<qint64, int>> at;
  auto rowOf = [&](qint64 key) {
    if (!at) {
      at.emplace();
      at->reserve(rowCount());
      for (int r = 0; r < rowCount(); ++r) at->insert(rows_.key(r), r);
    }
    return at->value(key, -1);
  };
  QHash<QString, int> columnOf;
  for (int c = 0; c < fieldNames().size(); ++c) columnOf.insert(fieldNames().at(c), c);
  std::vector<const QString*> text(size_t(fieldNames().size()));
  // The columns of the previous added record's fields by position: an
  // import's records name the same fields in the same order, and a look-up
  // by name for each field of each row cost more than showing the row.
  std::vector<std::pair<QString, int>> lastColumns;
  auto columnAt = [&](size_t k, const QString& name) {
    if (k < lastColumns.size() && lastColumns[k].first == name) return lastColumns[k].second;
    const auto hit = columnOf.constFind(name);
    const int col = hit != columnOf.constEnd() ? *hit : fieldIndex(name);
    if (k >= lastColumns.size()) lastColumns.resize(k + 1);
    lastColumns[k] = {name, col};
    return col;
  };
  // Room for the added rows at once: grown row by row, the text was moved
  // to a larger block again and again while an import of many thousand
  // rows filled it.
  qsizetype added = 0;
  size_t addedText = 0;
  for (const BatchChange& c : *done)
    if (!c.before) {
      ++added;
      addedText += text.size();
      for (const FieldValues::Field& f : *c.after) addedText += size_t(f.value.size());
    }
  if (added > 0) {
    rows_.reserve(rowCount() + added);
    rows_.reserveText(rows_.textSize() + addedText);
  }
  QList<int> removed;
  for (const BatchChange& c : *done) {
    if (!c.before) {
      // An added record holds only its fields with a value.
      std::fill(text.begin(), text.end(), nullptr);
      size_t k = 0;
      for (const FieldValues::Field& f : *c.after) {
        const int col = columnAt(k++, f.name);
        if (col >= 0) text[size_t(col)] = &f.value;
      }
      const int n = rowCount();
      emit rowAboutToBeInserted(n);
      if (rows_.roomLeft()) {
        rows_.beginRow(c.key);
        for (const QString* v : text)
          if (v)
            rows_.appendText(*v);
          else
            rows_.appendField(nullptr, 0);
      } else {
        QStringList fields(fieldNames().size());
        for (size_t col = 0; col < text.size(); ++col)
          if (text[col]) fields[qsizetype(col)] = *text[col];
        rows_.appendOwn(c.key, 0, fields);
      }
      if (at) at->insert(c.key, n);
      emit rowInserted(n);
      continue;
    }
    const int row = rowOf(c.key);
    if (!c.after) {
      if (row >= 0) removed << row;
    } else if (row >= 0) {
      for (const FieldValues::Field& f : *c.after) {
        const int col = fieldIndex(f.name);
        if (col >= 0) rows_.setValue(row, col, f.value);
      }
      emit rowChanged(row);
    }
  }
  // Highest first, so the rows still to go keep their places.
  std::sort(removed.begin(), removed.end(), std::greater<int>());
  for (int row : removed) {
    emit rowAboutToBeRemoved(row);
    rows_.remove(row);
    if (row < cur_) --cur_;
    if (cur_ >= rowCount()) cur_ = rowCount();
    emit rowRemoved(row);
  }
  return done;
}

}  // namespace quillon
