#include "schemaupgrade.h"

#include <QDir>

#include <QSet>
#include <sqlite3.h>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "sqlitedb.h"
#include "ssnkey.h"
#include "testgroups.h"

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

const char* const kCounterObjects[] = {"fitness_changes", "fitness_changes_since", "fitness_tests_changes_add",
                                       "fitness_tests_changes_change"};

// True when the file holds every part of the change counter, or has no
// five-event records to count.
bool counterReady(const sqlite::Database& db) {
  if (!sqlite::hasTable(db, QStringLiteral("fitness_tests"))) return true;
  QStringList names;
  for (const char* n : kCounterObjects) names << QLatin1Char('\'') + QLatin1String(n) + QLatin1Char('\'');
  sqlite::Statement st(db, "SELECT count(*) FROM sqlite_master WHERE name IN (" + names.join(',') + ")");
  return st.step() && st.integer(0) == qint64(std::size(kCounterObjects));
}

// A record's change takes the next number; the number of a record deleted
// stays behind, so the counter never goes back. A change that left the
// version as it was (made by another program) moves it, as the server's
// trigger does, so that a window comparing versions sees it.
QString noteChange(const char* name, const char* event) {
  const bool update = qstrcmp(event, "UPDATE") == 0;
  return QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER %2 ON fitness_tests BEGIN "
                        "INSERT OR REPLACE INTO fitness_changes (record_id, change_no) "
                        "SELECT new.id, coalesce(max(change_no), 0) + 1 FROM fitness_changes; %3END")
      .arg(QLatin1String(name), QLatin1String(event),
           update ? QStringLiteral("UPDATE fitness_tests SET version = version + 1 "
                                   "WHERE id = new.id AND new.version IS old.version; ")
                  : QString());
}

// The tables of this file that still lack the DoD ID.
bool lacksDodId(const sqlite::Database& db, const QString& table) {
  return sqlite::hasTable(db, table) && !sqlite::hasColumn(db, table, QStringLiteral("dod_id"));
}

// The members' columns a file made before the DoD ID holds, copied over as
// they are; an SSN kept as no value becomes empty text, as the key wants.
void rebuildMembers(sqlite::Database& db) {
  const QString aside = QStringLiteral("test_group_members_rebuilt");
  QStringList kept = {QStringLiteral("group_id"), QStringLiteral("position"), QStringLiteral("name"),
                      QStringLiteral("sex"), QStringLiteral("dob"), QStringLiteral("unit"), QStringLiteral("standard")};
  if (sqlite::hasColumn(db, QStringLiteral("test_group_members"), QStringLiteral("rank"))) kept << QStringLiteral("rank");
  const QString cols = kept.join(QStringLiteral(", "));
  const QStringList sql = {
      "DROP TABLE IF EXISTS " + aside, testGroupMembersSqliteDdl(aside),
      "INSERT INTO " + aside + " (" + cols + ", ssn) SELECT " + cols +
          ", coalesce(ssn, '') FROM test_group_members ORDER BY group_id, position",
      QStringLiteral("DROP TABLE test_group_members"),
      "ALTER TABLE " + aside + " RENAME TO test_group_members"};
  for (const QString& s : sql) db.exec(s);
  for (const QString& s : testGroupMemberIndexesSqliteDdl()) db.exec(s);
}

}  // namespace

void addDodIdColumns(sqlite::Database& db) {
  const QString fitness = QStringLiteral("fitness_tests"), members = QStringLiteral("test_group_members");
  if (!lacksDodId(db, fitness) && !lacksDodId(db, members)) return;
  const char* file = sqlite3_db_filename(db.get(), "main");
  const QString what = QStringLiteral("Cannot add the DoD ID to the records in %1")
                           .arg(QDir::toNativeSeparators(QString::fromUtf8(file ? file : "")));
  if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) db.fail(what);
  try {
    // Asked again inside the transaction: another scorer may be upgrading
    // the same file at this moment.
    if (lacksDodId(db, fitness)) {
      db.exec(QStringLiteral("ALTER TABLE fitness_tests ADD COLUMN dod_id TEXT"));
      for (const QString& s : fitnessDodIdIndexesSqliteDdl()) db.exec(s);
    }
    if (lacksDodId(db, members)) rebuildMembers(db);
    if (!db.tryExec(QStringLiteral("COMMIT"))) db.fail(what);
  } catch (const DbError&) {
    db.tryExec(QStringLiteral("ROLLBACK"));
    throw;
  }
}

void addChangeCounter(sqlite::Database& db) {
  if (counterReady(db) || sqlite3_db_readonly(db.get(), "main") == 1) return;
  if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) return;
  // Asked again inside the transaction: another scorer may be adding it at
  // this moment.
  const QStringList ddl = {
      QStringLiteral("CREATE TABLE IF NOT EXISTS fitness_changes (record_id INTEGER PRIMARY KEY, "
                     "change_no INTEGER NOT NULL)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS fitness_changes_since ON fitness_changes (change_no)"),
      noteChange("fitness_tests_changes_add", "INSERT"), noteChange("fitness_tests_changes_change", "UPDATE")};
  if (!counterReady(db))
    for (const QString& sql : ddl)
      if (!db.tryExec(sql)) {
        db.tryExec(QStringLiteral("ROLLBACK"));
        return;
      }
  if (!db.tryExec(QStringLiteral("COMMIT"))) db.tryExec(QStringLiteral("ROLLBACK"));
}

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
