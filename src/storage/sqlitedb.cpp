#include "sqlitedb.h"

#include <QFile>
#include <sqlite3.h>

namespace quillon::sqlite {

Database::Database(const QString& path, Mode mode, int busyMs) {
  const QByteArray native = QFile::encodeName(path);
  sqlite3* db = nullptr;
  // A connection is only ever used by the thread that opened it, so it needs
  // none of the engine's locking around each call.
  const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(native.constData(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const QString msg = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    throw DbError(msg);
  }
  sqlite3_busy_timeout(db, busyMs);
  sqlite3_extended_result_codes(db, 1);
  db_ = db;
}

Database::~Database() { sqlite3_close(db_); }

Database& Database::operator=(Database&& o) noexcept {
  if (this != &o) {
    sqlite3_close(db_);
    db_ = o.db_;
    o.db_ = nullptr;
  }
  return *this;
}

QString Database::errorMessage() const {
  return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("The records database is not open.");
}

void Database::fail(const QString& what) const {
  QString msg = errorMessage();
  if (!what.isEmpty()) msg = what + ": " + msg;
  throw DbError(msg);
}

void Database::exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail();
}

qint64 Database::lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }

Statement Statement::tryPrepare(const Database& db, const QString& sql) {
  const QByteArray utf8 = sql.toUtf8();
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db.get(), utf8.constData(), static_cast<int>(utf8.size()), &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    s = nullptr;
  }
  return Statement(&db, s);
}

Statement::Statement(const Database& db, const QString& sql) : Statement(tryPrepare(db, sql)) {
  if (!s_) db.fail();
}

Statement::~Statement() { sqlite3_finalize(s_); }

void Statement::bindText(int i, const QString& v, bool exact) {
  if (exact && v.isNull()) {
    sqlite3_bind_null(s_, i);
    return;
  }
  const QByteArray u = v.toUtf8();
  sqlite3_bind_text(s_, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

void Statement::bindInt(int i, qint64 v) { sqlite3_bind_int64(s_, i, v); }

bool Statement::step() {
  const int rc = sqlite3_step(s_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_->fail();
}

void Statement::reset() { sqlite3_reset(s_); }

int Statement::columnCount() const { return sqlite3_column_count(s_); }
QString Statement::columnName(int col) const { return QString::fromUtf8(sqlite3_column_name(s_, col)); }
const char* Statement::raw(int col) const { return reinterpret_cast<const char*>(sqlite3_column_text(s_, col)); }
int Statement::bytes(int col) const { return sqlite3_column_bytes(s_, col); }
qint64 Statement::integer(int col) const { return sqlite3_column_int64(s_, col); }

QString Statement::text(int col) const {
  const char* t = raw(col);
  return t ? QString::fromUtf8(t, bytes(col)) : QString();
}

Transaction::Transaction(Database& db) : db_(&db) {
  db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (db_) sqlite3_exec(db_->get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
  db_->exec("COMMIT");
  db_ = nullptr;
}

QString quoted(const QString& name) {
  QString n = name;
  n.replace('"', QStringLiteral("\"\""));
  return '"' + n + '"';
}

}  // namespace quillon::sqlite
