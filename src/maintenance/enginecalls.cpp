#include "enginecalls.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

#include "dbfile.h"

namespace quillon::dbtool {

namespace {

using sqlite::Database;
using sqlite::quoted;
using sqlite::Statement;
using Step = sqlite::Statement::Step;

}  // namespace

void engineFail(const Database& db, const QString& path) {
  throw ToolError(db.errorCode(), QDir::toNativeSeparators(path) + ": " + db.errorMessage());
}

Database openDb(const QString& path, Database::Mode mode) {
  try {
    return Database(path, mode, 0);
  } catch (const DbError& e) {
    throw ToolError(e.number().value_or(SQLITE_CANTOPEN), QDir::toNativeSeparators(path) + ": " + e.message());
  }
}

Database openClerksDb(const QString& path, Database::Mode mode) {
  const QFileInfo fi(path);
  // The engine's own wording for the code, which needs no connection.
  if (fi.isFile() && fi.size() == 0)
    throw ToolError(SQLITE_NOTADB, QDir::toNativeSeparators(path) + ": " +
                                       QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB)) + " (the file is empty)");
  return openDb(path, mode);
}

Statement prepare(const Database& db, const QString& sql, const QString& path) {
  Statement s = Statement::tryPrepare(db, sql);
  if (s.isNull()) engineFail(db, path);
  return s;
}

void exec(Database& db, const QString& sql, const QString& path) {
  if (!db.tryExec(sql)) engineFail(db, path);
}

QStringList queryColumn(const Database& db, const QString& sql, const QString& path) {
  Statement s = prepare(db, sql, path);
  QStringList out;
  Step r;
  while ((r = s.tryStep()) == Step::Row) out << s.text(0);
  if (r != Step::Done) engineFail(db, path);
  return out;
}

bool integrityOk(const Database& db, const QString& path) {
  const QStringList r = queryColumn(db, QStringLiteral("PRAGMA integrity_check"), path);
  return r.size() == 1 && r.first() == QLatin1String("ok");
}

QStringList userTables(const Database& db, const QString& path) {
  return queryColumn(db,
                     QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' "
                                    "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"),
                     path);
}

qint64 countRows(const Database& db, const QString& table, const QString& path) {
  Statement s = prepare(db, "SELECT count(*) FROM " + quoted(table), path);
  if (s.tryStep() != Step::Row) engineFail(db, path);
  return s.integer(0);
}

}  // namespace quillon::dbtool
