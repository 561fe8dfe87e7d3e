#include "schemaupgrade.h"

#include <QDir>

#include <QSet>
#include <sqlite3.h>

#include "dbfile.h"
#include "sqlitedb.h"
#include "ssnkey.h"

namespace quillon {

namespace {

// Upper-case names of the columns of `info`; empty when there is no such table.
QSet<QString> infoColumns(const sqlite::Database& db) {
  const QString what = QStringLiteral("Cannot read the fields of the records");
  sqlite::Statement st = sqlite::Statement::tryPrepare(db, QStringLiteral("PRAGMA table_info(info)"));
  if (st.isNull()) db.fail(what);
  QSet<QString> names;
  sqlite::Statement::Step r;
  while ((r = st.tryStep()) == sqlite::Statement::Step::Row) names.insert(st.text(1).toUpper());
  if (r == sqlite::Statement::Step::Failed) db.fail(what);
  return names;
}

}  // namespace

const QStringList& alternateFieldNames() {
  static const QStringList names = {QStringLiteral("ALT_EVENT"), QStringLiteral("ALT_TIME")};
  return names;
}

bool hasAlternateFields(const sqlite::Database& db) {
  const QSet<QString> have = infoColumns(db);
  for (const QString& f : alternateFieldNames())
    if (!have.contains(f)) return false;
  return true;
}

void upgradeRecordsSchema(sqlite::Database& db) {
  addSsnIndexes(db);
  // Checked again inside the transaction: another scorer may be upgrading
  // the same file at this moment.
  if (hasAlternateFields(db) || infoColumns(db).isEmpty()) return;
  const char* file = sqlite3_db_filename(db.get(), "main");
  const QString what = QStringLiteral("Cannot bring the records in %1 up to date")
                           .arg(QDir::toNativeSeparators(QString::fromUtf8(file ? file : "")));
  if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) db.fail(what);
  try {
    const QSet<QString> have = infoColumns(db);
    for (const QString& f : alternateFieldNames()) {
      // Added at the end, as TEXT like every field but ID; the rows already
      // stored read them as no value and are not rewritten.
      if (!have.isEmpty() && !have.contains(f) && !db.tryExec("ALTER TABLE info ADD COLUMN " + f + " TEXT"))
        db.fail(what);
    }
    if (!db.tryExec(QStringLiteral("COMMIT"))) db.fail(what);
  } catch (const DbError&) {
    db.tryExec(QStringLiteral("ROLLBACK"));
    throw;
  }
}

}  // namespace quillon
