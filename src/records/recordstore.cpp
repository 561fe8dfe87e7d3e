#include "recordstore.h"

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
  void bindText(int i, const QString& v) {
    const QByteArray u = v.toUtf8();
    sqlite3_bind_text(s_, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
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
    const QString sql = source_.trimmed().startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive)
                            ? source_
                            : "SELECT * FROM " + quoted(source_.trimmed());
    Stmt st(db_, sql);
    if (!st.ok()) fail();
    sqlite3_stmt* s = st.get();
    const int n = sqlite3_column_count(s);
    for (int i = 0; i < n; ++i) names_ << QString::fromUtf8(sqlite3_column_name(s, i));
    idColumn_ = fieldIndex(QStringLiteral("ID"));
    if (idColumn_ < 0) throw DbError(QStringLiteral("The row source has no ID field."));
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      Row r;
      r.id = sqlite3_column_int64(s, idColumn_);
      r.first = offsets_.size();
      for (int i = 0; i < n; ++i) {
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
    updateById(rows_[static_cast<size_t>(cur_)].id, pending_);
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

int RecordStore::indexOfId(qint64 id) const {
  for (int i = 0; i < rowCount(); ++i)
    if (rows_[static_cast<size_t>(i)].id == id) return i;
  return -1;
}

void RecordStore::updateById(qint64 id, const QHash<int, QString>& values) {
  requireOpen();
  const int row = indexOfId(id);
  if (values.isEmpty()) return;
  QStringList sets;
  QList<int> cols = values.keys();
  std::sort(cols.begin(), cols.end());
  for (int c : cols) {
    if (c < 0 || c >= names_.size() || c == idColumn_) throw DbError(QStringLiteral("Field cannot be updated."));
    sets << quoted(names_.at(c)) + "=?";
  }
  Stmt st(db_, "UPDATE info SET " + sets.join(',') + " WHERE ID=?");
  if (!st.ok()) fail();
  int i = 1;
  for (int c : cols) st.bindText(i++, values.value(c));
  sqlite3_bind_int64(st.get(), i, id);
  if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
  if (sqlite3_changes(db_) == 0) throw DbError(QStringLiteral("The record has been deleted: ID ") + QString::number(id));
  if (row >= 0) {
    std::vector<QString>& v = ownFields(rows_[static_cast<size_t>(row)]);
    for (int c : cols) v[static_cast<size_t>(c)] = values.value(c);
    emit rowChanged(row);
  }
}

qint64 RecordStore::insertValues(const QHash<int, QString>& values) {
  QList<int> cols = values.keys();
  std::sort(cols.begin(), cols.end());
  QString sql;
  if (cols.isEmpty()) {
    sql = QStringLiteral("INSERT INTO info DEFAULT VALUES");
  } else {
    QStringList names, marks;
    for (int c : cols) {
      if (c < 0 || c >= names_.size() || c == idColumn_) throw DbError(QStringLiteral("Field cannot be updated."));
      names << quoted(names_.at(c));
      marks << QStringLiteral("?");
    }
    sql = "INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")";
  }
  Stmt st(db_, sql);
  if (!st.ok()) fail();
  int i = 1;
  for (int c : cols) st.bindText(i++, values.value(c));
  if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
  return sqlite3_last_insert_rowid(db_);
}

int RecordStore::insertRow(const QHash<int, QString>& values) {
  requireOpen();
  const qint64 id = insertValues(values);
  Row r;
  r.id = id;
  r.own = std::make_unique<std::vector<QString>>(static_cast<size_t>(names_.size()));
  for (auto it = values.cbegin(); it != values.cend(); ++it) (*r.own)[static_cast<size_t>(it.key())] = it.value();
  (*r.own)[static_cast<size_t>(idColumn_)] = QString::number(id);
  const int row = rowCount();
  emit rowAboutToBeInserted(row);
  rows_.push_back(std::move(r));
  emit rowInserted(row);
  return row;
}

void RecordStore::removeRow(int row) {
  requireOpen();
  if (row < 0 || row >= rowCount()) throw DbError(QStringLiteral("No current record."));
  const qint64 id = rows_[static_cast<size_t>(row)].id;
  Stmt st(db_, QStringLiteral("DELETE FROM info WHERE ID=?"));
  if (!st.ok()) fail();
  sqlite3_bind_int64(st.get(), 1, id);
  if (sqlite3_step(st.get()) != SQLITE_DONE) fail();
  emit rowAboutToBeRemoved(row);
  rows_.erase(rows_.begin() + row);
  if (row < cur_) --cur_;
  if (cur_ >= rowCount()) cur_ = rowCount();
  emit rowRemoved(row);
}

}  // namespace quillon
