#include "schemaupgrade.h"

#include <QSet>
#include <sqlite3.h>

#include "dbfile.h"

namespace quillon {

namespace {

QString engineText(sqlite3* db, const QString& what) {
  return what + ": " + QString::fromUtf8(sqlite3_errmsg(db));
}

// Upper-case names of the columns of `info`; empty when there is no such table.
QSet<QString> infoColumns(sqlite3* db) {
  QSet<QString> names;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA table_info(info)", -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    throw DbError(engineText(db, QStringLiteral("Cannot read the fields of the records")));
  }
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW)
    names.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))).toUpper());
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw DbError(engineText(db, QStringLiteral("Cannot read the fields of the records")));
  return names;
}

bool run(sqlite3* db, const QString& sql) {
  return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

const QStringList& alternateFieldNames() {
  static const QStringList names = {QStringLiteral("ALT_EVENT"), QStringLiteral("ALT_TIME")};
  return names;
}

bool hasAlternateFields(sqlite3* db) {
  const QSet<QString> have = infoColumns(db);
  for (const QString& f : alternateFieldNames())
    if (!have.contains(f)) return false;
  return true;
}

void upgradeRecordsSchema(sqlite3* db) {
  // Checked again inside the transaction: another scorer may be upgrading
  // the same file at this moment.
  if (hasAlternateFields(db) || infoColumns(db).isEmpty()) return;
  if (!run(db, QStringLiteral("BEGIN IMMEDIATE")))
    throw DbError(engineText(db, QStringLiteral("Cannot bring the records up to date")));
  try {
    const QSet<QString> have = infoColumns(db);
    for (const QString& f : alternateFieldNames()) {
      // Added at the end, as TEXT like every field but ID; the rows already
      // stored read them as no value and are not rewritten.
      if (!have.isEmpty() && !have.contains(f) && !run(db, "ALTER TABLE info ADD COLUMN " + f + " TEXT"))
        throw DbError(engineText(db, QStringLiteral("Cannot bring the records up to date")));
    }
    if (!run(db, QStringLiteral("COMMIT")))
      throw DbError(engineText(db, QStringLiteral("Cannot bring the records up to date")));
  } catch (const DbError&) {
    run(db, QStringLiteral("ROLLBACK"));
    throw;
  }
}

}  // namespace quillon
