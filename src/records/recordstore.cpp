#include "recordstore.h"

#include "schemaupgrade.h"

#include <QFile>
#include <algorithm>
#include <sqlite3.h>

namespace quillon {

namespace {

// A prepared statement that finalises itself.
class Stmt {
 public:
  Stmt(sqlite3* db, const QString& sql) {
    const QByteArray utf8 = sql.toUtf8();
    rc_ = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &s_, nullptr);
  }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return rc_ == SQLITE_OK && s_ != nullptr; }
  sqlite3_stmt* get() const { return s_; }
  // `exact`: a null string is bound as no value; otherwise as empty text,
  // which is what a box that was cleared holds.
  void bindText(int i, const QString& v, bool exact = false) {
    if (exact && v.isNull()) {
      sqlite3_bind_null(s_, i);
      return;
    }
    const QByteArray u = v.toUtf8();
    sqlite3_bind_text(s_, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
  }
  QString text(int col) const {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
    return t ? QString::fromUtf8(t, sqlite3_column_bytes(s_, col)) : QString();
  }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_ = SQLITE_OK;
};

QString quoted(const QString& name) {
  QString n = name;
  n.replace('"', QStringLiteral("\"\""));
  return '"' + n + '"';
}

// Reads and the write that follows them see one state of the file: no other
// program changes the row in between.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) db_ = nullptr;
  }
  ~Transaction() {
    if (db_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool begun() const { return db_ != nullptr; }
  bool commit() {
    const bool ok = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok) db_ = nullptr;
    return ok;
  }

 private:
  sqlite3* db_;
};

}  // namespace

RecordStore::RecordStore(QObject* parent) : QObject(parent) {}

RecordStore::~RecordStore() { sqlite3_close(db_); }

void RecordStore::setDatabaseName(const QString& path) { path_ = path; }

void RecordStore::fail(const QString& what) const {
  QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("The records database is not open.");
  if (!what.isEmpty()) msg = what + ": " + msg;
  throw DbError(msg);
}

void RecordStore::requireOpen() const {
  if (!db_) throw DbError(QStringLiteral("The records database is not open."));
}

void RecordStore::requireCurrent() const {
  requireOpen();
  if (eof() || onDeleted_) throw DbError(QStringLiteral("No current record."));
}

void RecordStore::open() {
  if (db_ && openPath_ == path_) return;
  closeConnection();
  if (path_.isEmpty()) throw DbError(QStringLiteral("No database file was named."));
  // Read-write only: a records database is never created here.
  const QByteArray native = QFile::encodeName(path_);
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    const QString msg = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    throw DbError(msg);
  }
  sqlite3_busy_timeout(db, 2000);
  sqlite3_extended_result_codes(db, 1);
  try {
    upgradeRecordsSchema(db);
  } catch (const DbError&) {
    sqlite3_close(db);
    throw;
  }
  db_ = db;
  openPath_ = path_;
}

void RecordStore::clearRows() {
  rows_.clear();
  arena_.clear();
  offsets_.clear();
}

std::vector<QString>& RecordStore::ownFields(Row& r) {
  if (!r.own) {
    auto v = std::make_unique<std::vector<QString>>(static_cast<size_t>(names_.size()));
    for (int c = 0; c < names_.size(); ++c) {
      const quint32 b = offsets_[r.first + static_cast<size_t>(c)];
      const quint32 e = offsets_[r.first + static_cast<size_t>(c) + 1];
      (*v)[static_cast<size_t>(c)] = QString::fromUtf8(arena_.constData() + b, qsizetype(e - b));
    }
    r.own = std::move(v);
  }
  return *r.own;
}

void RecordStore::refresh() {
  emit aboutToReset();
  resetCursor();
  try {
    open();
    const QString trimmed = source_.trimmed();
    const bool select = trimmed.startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive);
    const QString sql = select ? source_ : "SELECT * FROM " + quoted(trimmed);
    // The row number goes in front as a hidden column; a row source it
    // does not fit (a table without row numbers, a DISTINCT) is run as it is.
    auto st = std::make_unique<Stmt>(db_, QStringLiteral("SELECT _rowid_,") + sql.mid(6));
    rowidKey_ = st->ok();
    if (!rowidKey_) st = std::make_unique<Stmt>(db_, sql);
    if (!st->ok()) fail();
    sqlite3_stmt* s = st->get();
    const int first = rowidKey_ ? 1 : 0;
    const int n = sqlite3_column_count(s);
    for (int i = first; i < n; ++i) names_ << QString::fromUtf8(sqlite3_column_name(s, i));
    idColumn_ = fieldIndex(QStringLiteral("ID"));
    if (idColumn_ < 0) throw DbError(QStringLiteral("The row source has no ID field."));
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      Row r;
      r.key = sqlite3_column_int64(s, rowidKey_ ? 0 : idColumn_);
      r.first = offsets_.size();
      for (int i = first; i < n; ++i) {
        offsets_.push_back(static_cast<quint32>(arena_.size()));
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        if (t) arena_.append(t, sqlite3_column_bytes(s, i));
      }
      offsets_.push_back(static_cast<quint32>(arena_.size()));
      if (arena_.size() > qsizetype(0xF0000000u)) throw DbError(QStringLiteral("Too many records to show."));
      rows_.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE) fail();
  } catch (const DbError&) {
    resetCursor();
    closeConnection();
    emit resetDone();
    throw;
  }
  cur_ = rows_.empty() ? -1 : 0;
  emit resetDone();
}

void RecordStore::close() {
  emit aboutToReset();
  resetCursor();
  closeConnection();
  emit resetDone();
}

void RecordStore::resetCursor() {
  clearRows();
  names_.clear();
  idColumn_ = -1;
  cur_ = -1;
  onDeleted_ = false;
  mode_ = Mode::None;
  pending_.clear();
}

void RecordStore::closeConnection() {
  sqlite3_close(db_);
  db_ = nullptr;
  openPath_.clear();
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
  if (rows_.empty()) throw DbError(QStringLiteral("No current record."));
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
    updateByKey(rows_[static_cast<size_t>(cur_)].key, pending_);
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
  for (int i = 0; i < names_.size(); ++i)
    if (names_.at(i).compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

int RecordStore::requireField(const QString& name) const {
  requireOpen();
  const int c = fieldIndex(name);
  if (c < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + name);
  return c;
}

QString RecordStore::value(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= names_.size()) return QString();
  const Row& r = rows_[static_cast<size_t>(row)];
  if (r.own) return (*r.own)[static_cast<size_t>(column)];
  const quint32 b = offsets_[r.first + static_cast<size_t>(column)];
  const quint32 e = offsets_[r.first + static_cast<size_t>(column) + 1];
  return QString::fromUtf8(arena_.constData() + b, qsizetype(e - b));
}

int RecordStore::indexOfKey(qint64 key) const {
  for (int i = 0; i < rowCount(); ++i)
    if (rows_[static_cast<size_t>(i)].key == key) return i;
  return -1;
}

QString RecordStore::keyTest() const { return rowidKey_ ? QStringLiteral("_rowid_=?") : QStringLiteral("ID=?"); }

std::optional<Record> RecordStore::readRecord(qint64 key) const {
  Stmt st(db_, "SELECT * FROM info WHERE " + keyTest() + " LIMIT 1");
  if (!st.ok()) fail();
  sqlite3_bind_int64(st.get(), 1, key);
  const int rc = sqlite3_step(st.get());
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) fail();
  Record r;
  for (int i = 0; i < sqlite3_column_count(st.get()); ++i)
    r.insert(QString::fromUtf8(sqlite3_column_name(st.get(), i)), st.text(i));
  return r;
}

std::optional<Record> RecordStore::storedRecord(qint64 key) const {
  requireOpen();
  return readRecord(key);
}

void RecordStore::updateByKey(qint64 key, const QHash<int, QString>& values) { write(key, values, false); }

void RecordStore::writeFields(qint64 key, const Record& fields) {
  requireOpen();
  QHash<int, QString> values;
  for (auto it = fields.cbegin(); it != fields.cend(); ++it) values.insert(requireField(it.key()), it.value());
  write(key, values, true);
}

void RecordStore::write(qint64 key, const QHash<int, QString>& values, bool exact) {
  requireOpen();
  if (values.isEmpty()) return;
  QStringList sets;
  QList<int> cols = values.keys();
  std::sort(cols.begin(), cols.end());
  for (int c : cols) {
    if (c < 0 || c >= names_.size() || c == idColumn_) throw DbError(QStringLiteral("Field cannot be updated."));
    sets << quoted(names_.at(c)) + "=?";
  }
  Transaction tx(db_);
  if (!tx.begun()) fail();
  const std::optional<Record> was = readRecord(key);
  if (!was) throw DbError(deletedText(key));
  Stmt st(db_, "UPDATE info SET " + sets.join(',') + " WHERE " + keyTest());
  if (!st.ok()) fail();
  int i = 1;
  for (int c : cols) st.bindText(i++, values.value(c), exact);
  sqlite3_bind_int64(st.get(), i, key);
  if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
  if (!tx.commit()) fail();
  Record before, after;
  for (int c : cols) {
    const QString old = was->value(names_.at(c));
    const QString now = values.value(c);
    // Text compares as the clerk sees it: an empty box over no value is no change.
    if (old != now || (exact && old.isNull() != now.isNull())) {
      before.insert(names_.at(c), old);
      after.insert(names_.at(c), now);
    }
  }
  const int row = indexOfKey(key);
  if (row >= 0) {
    std::vector<QString>& v = ownFields(rows_[static_cast<size_t>(row)]);
    for (int c : cols) v[static_cast<size_t>(c)] = values.value(c);
    emit rowChanged(row);
  }
  if (!before.isEmpty()) emit recordStored(key, before, after);
}

qint64 RecordStore::insertValues(const QHash<int, QString>& values) {
  QList<int> cols = values.keys();
  std::sort(cols.begin(), cols.end());
  QStringList names, marks;
  for (int c : cols) {
    if (c < 0 || c >= names_.size() || c == idColumn_) throw DbError(QStringLiteral("Field cannot be updated."));
    names << quoted(names_.at(c));
    marks << QStringLiteral("?");
  }
  Transaction tx(db_);
  if (!tx.begun()) fail();
  // The engine would number a new row after the highest one left, which may
  // be the number of a record deleted in this run.
  qint64 key = 0;
  if (rowidKey_ && highestDeletedKey_ > 0) {
    Stmt top(db_, QStringLiteral("SELECT max(_rowid_) FROM info"));
    if (!top.ok() || sqlite3_step(top.get()) != SQLITE_ROW) fail();
    key = std::max(sqlite3_column_int64(top.get(), 0), highestDeletedKey_) + 1;
    names.prepend(QStringLiteral("_rowid_"));
    marks.prepend(QStringLiteral("?"));
  }
  const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO info DEFAULT VALUES")
                                      : "INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")";
  Stmt st(db_, sql);
  if (!st.ok()) fail();
  int i = 1;
  if (key > 0) sqlite3_bind_int64(st.get(), i++, key);
  for (int c : cols) st.bindText(i++, values.value(c));
  if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
  if (!tx.commit()) fail();
  return sqlite3_last_insert_rowid(db_);
}

int RecordStore::appendStored(qint64 key) {
  const std::optional<Record> stored = readRecord(key);
  if (!stored) throw DbError(deletedText(key));
  Row r;
  r.key = key;
  r.own = std::make_unique<std::vector<QString>>(static_cast<size_t>(names_.size()));
  for (int c = 0; c < names_.size(); ++c) (*r.own)[static_cast<size_t>(c)] = stored->value(names_.at(c));
  const int row = rowCount();
  emit rowAboutToBeInserted(row);
  rows_.push_back(std::move(r));
  emit rowInserted(row);
  return row;
}

int RecordStore::insertRow(const QHash<int, QString>& values) {
  requireOpen();
  const qint64 rowid = insertValues(values);
  // Without row numbers in the row source the ID the database gave is the key.
  qint64 key = rowid;
  if (!rowidKey_) {
    Stmt st(db_, QStringLiteral("SELECT ID FROM info WHERE _rowid_=?"));
    if (!st.ok()) fail();
    sqlite3_bind_int64(st.get(), 1, rowid);
    if (sqlite3_step(st.get()) != SQLITE_ROW) fail();
    key = sqlite3_column_int64(st.get(), 0);
  }
  return appendStored(key);
}

void RecordStore::restoreRecord(qint64 key, const Record& record) {
  requireOpen();
  if (!rowidKey_) throw DbError(QStringLiteral("Records of this table cannot be put back."));
  QStringList names{QStringLiteral("_rowid_")}, marks{QStringLiteral("?")};
  QList<QString> fields = record.keys();
  std::sort(fields.begin(), fields.end());
  for (const QString& f : fields) {
    names << quoted(f);
    marks << QStringLiteral("?");
  }
  {
    Transaction tx(db_);
    if (!tx.begun()) fail();
    if (readRecord(key)) throw DbError(QStringLiteral("Another record holds the number of the record to put back."));
    Stmt st(db_, "INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")");
    if (!st.ok()) fail();
    sqlite3_bind_int64(st.get(), 1, key);
    int i = 2;
    for (const QString& f : fields) st.bindText(i++, record.value(f), true);
    if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
    if (!tx.commit()) fail();
  }
  appendStored(key);
}

std::optional<Record> RecordStore::deleteStored(qint64 key) {
  std::optional<Record> gone;
  Transaction tx(db_);
  if (!tx.begun()) fail();
  gone = readRecord(key);
  Stmt st(db_, "DELETE FROM info WHERE " + keyTest());
  if (!st.ok()) fail();
  sqlite3_bind_int64(st.get(), 1, key);
  if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
  if (!tx.commit()) fail();
  if (rowidKey_) highestDeletedKey_ = std::max(highestDeletedKey_, key);
  return gone;
}

void RecordStore::removeRow(int row) {
  requireOpen();
  if (row < 0 || row >= rowCount()) throw DbError(QStringLiteral("No current record."));
  const qint64 key = rows_[static_cast<size_t>(row)].key;
  const std::optional<Record> gone = deleteStored(key);
  emit rowAboutToBeRemoved(row);
  rows_.erase(rows_.begin() + row);
  if (row < cur_) --cur_;
  if (cur_ >= rowCount()) cur_ = rowCount();
  emit rowRemoved(row);
  if (gone) emit recordDeleted(key, *gone);
}

void RecordStore::deleteByKey(qint64 key) {
  requireOpen();
  const int row = indexOfKey(key);
  if (row >= 0) {
    removeRow(row);
    return;
  }
  const std::optional<Record> gone = deleteStored(key);
  if (gone) emit recordDeleted(key, *gone);
}

QString RecordStore::deletedText(qint64 key) const {
  const int row = indexOfKey(key);
  return QStringLiteral("The record has been deleted: ID ") +
         (row >= 0 ? value(row, idColumn_) : QString::number(key));
}

std::optional<QList<RecordStore::BatchChange>> RecordStore::applyBatch(const QList<BatchOp>& ops,
                                                                       const BatchProgress& progress) {
  requireOpen();
  if (!rowidKey_) throw DbError(QStringLiteral("Records of this table cannot be changed together."));
  QList<BatchChange> done;
  done.reserve(ops.size());
  {
    Transaction tx(db_);
    if (!tx.begun()) fail();
    // One statement per set of fields: a roster gives the same fields each line.
    QHash<QString, std::shared_ptr<Stmt>> cache;
    auto prepared = [&](const QString& sql) {
      std::shared_ptr<Stmt>& st = cache[sql];
      if (!st) st = std::make_shared<Stmt>(db_, sql);
      if (!st->ok()) fail();
      sqlite3_reset(st->get());
      sqlite3_clear_bindings(st->get());
      return st;
    };
    for (int i = 0; i < ops.size(); ++i) {
      if (progress && i % 200 == 0 && !progress(i, int(ops.size()))) return std::nullopt;
      const BatchOp& op = ops[i];
      QList<QString> fields = op.fields.keys();
      std::sort(fields.begin(), fields.end());
      if (op.kind == BatchOp::Insert) {
        qint64 key = op.key;
        // As for a single new row: never the number of a record deleted in this run.
        if (key <= 0 && highestDeletedKey_ > 0) {
          auto top = prepared(QStringLiteral("SELECT max(_rowid_) FROM info"));
          if (sqlite3_step(top->get()) != SQLITE_ROW) fail();
          key = std::max(sqlite3_column_int64(top->get(), 0), highestDeletedKey_) + 1;
        }
        QStringList names{QStringLiteral("_rowid_")}, marks{QStringLiteral("?")};
        for (const QString& f : fields) {
          names << quoted(f);
          marks << QStringLiteral("?");
        }
        auto st = prepared("INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")");
        if (key > 0)
          sqlite3_bind_int64(st->get(), 1, key);
        else
          sqlite3_bind_null(st->get(), 1);
        int b = 2;
        for (const QString& f : fields) st->bindText(b++, op.fields.value(f), true);
        if (sqlite3_step(st->get()) != SQLITE_DONE) fail(QStringLiteral("Record %1 of %2").arg(i + 1).arg(ops.size()));
        const qint64 stored = sqlite3_last_insert_rowid(db_);
        done.append({stored, std::nullopt, readRecord(stored)});
      } else if (op.kind == BatchOp::Update) {
        const std::optional<Record> was = readRecord(op.key);
        if (!was) throw DbError(deletedText(op.key));
        if (fields.isEmpty()) continue;
        QStringList sets;
        for (const QString& f : fields) sets << quoted(f) + "=?";
        auto st = prepared("UPDATE info SET " + sets.join(',') + " WHERE _rowid_=?");
        int b = 1;
        for (const QString& f : fields) st->bindText(b++, op.fields.value(f), true);
        sqlite3_bind_int64(st->get(), b, op.key);
        if (sqlite3_step(st->get()) != SQLITE_DONE) fail(QStringLiteral("Record %1 of %2").arg(i + 1).arg(ops.size()));
        Record before, after;
        for (const QString& f : fields) {
          std::optional<QString> old;
          for (auto it = was->cbegin(); it != was->cend() && !old; ++it)
            if (it.key().compare(f, Qt::CaseInsensitive) == 0) old = it.value();
          const QString now = op.fields.value(f);
          if (old.value_or(QString()) != now || old.value_or(QString()).isNull() != now.isNull()) {
            before.insert(f, old.value_or(QString()));
            after.insert(f, now);
          }
        }
        if (!before.isEmpty()) done.append({op.key, before, after});
      } else {
        const std::optional<Record> gone = readRecord(op.key);
        if (!gone) continue;
        auto st = prepared(QStringLiteral("DELETE FROM info WHERE _rowid_=?"));
        sqlite3_bind_int64(st->get(), 1, op.key);
        if (sqlite3_step(st->get()) != SQLITE_DONE) fail();
        done.append({op.key, gone, std::nullopt});
      }
    }
    if (progress && !progress(int(ops.size()), int(ops.size()))) return std::nullopt;
    cache.clear();
    if (!tx.commit()) fail();
  }
  // The rows shown follow what was stored.
  QHash<qint64, int> at;
  for (int r = 0; r < rowCount(); ++r) at.insert(rows_[size_t(r)].key, r);
  QList<int> removed;
  for (const BatchChange& c : done) {
    const int row = at.value(c.key, -1);
    if (!c.before) {
      Row r;
      r.key = c.key;
      r.own = std::make_unique<std::vector<QString>>(static_cast<size_t>(names_.size()));
      for (int col = 0; col < names_.size(); ++col) (*r.own)[size_t(col)] = c.after->value(names_.at(col));
      const int n = rowCount();
      emit rowAboutToBeInserted(n);
      rows_.push_back(std::move(r));
      at.insert(c.key, n);
      emit rowInserted(n);
    } else if (!c.after) {
      highestDeletedKey_ = std::max(highestDeletedKey_, c.key);
      if (row >= 0) removed << row;
    } else if (row >= 0) {
      std::vector<QString>& v = ownFields(rows_[size_t(row)]);
      for (auto it = c.after->cbegin(); it != c.after->cend(); ++it) {
        const int col = fieldIndex(it.key());
        if (col >= 0) v[size_t(col)] = it.value();
      }
      emit rowChanged(row);
    }
  }
  // Highest first, so the rows still to go keep their places.
  std::sort(removed.begin(), removed.end(), std::greater<int>());
  for (int row : removed) {
    emit rowAboutToBeRemoved(row);
    rows_.erase(rows_.begin() + row);
    if (row < cur_) --cur_;
    if (cur_ >= rowCount()) cur_ = rowCount();
    emit rowRemoved(row);
  }
  return done;
}

}  // namespace quillon
