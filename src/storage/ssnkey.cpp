#include "ssnkey.h"

#include <sqlite3.h>

#include "dbfile.h"
#include "sqlitedb.h"

namespace quillon {

namespace {

// The tables that name a soldier by SSN, and their SSN field.
struct SsnTable {
  const char* table;
  const char* column;
};
const SsnTable kSsnTables[] = {{"info", "SSN"}, {"fitness_tests", "ssn"}};

QString indexName(const QString& table) { return table + QStringLiteral("_ssn_key"); }

bool hasIndex(const sqlite::Database& db, const QString& name) {
  sqlite::Statement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='index' AND name=?"));
  st.bindText(1, name);
  return st.step();
}

// The tables of this file that still want their index.
QList<SsnTable> missing(const sqlite::Database& db) {
  QList<SsnTable> out;
  for (const SsnTable& t : kSsnTables)
    if (!hasIndex(db, indexName(QLatin1String(t.table))) &&
        sqlite::hasColumn(db, QLatin1String(t.table), QLatin1String(t.column)))
      out << t;
  return out;
}

}  // namespace

const QString& ssnSpaceCharacters() {
  // QChar::isSpace: the ASCII controls tab to carriage return, the space,
  // next line, no-break space, and the space, line and paragraph separators.
  static const QString chars = QString::fromUtf8(
      "\t\n\v\f\r \u0085\u00a0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a\u2028\u2029"
      "\u202f\u205f\u3000");
  return chars;
}

QString ssnKeySqlite(const QString& column) {
  return QStringLiteral("replace(trim(%1, '%2'), '-', '')").arg(column, ssnSpaceCharacters());
}

QString ssnKeyPostgres(const QString& column) {
  // Every character but a digit dropped: the server's text may be in any
  // encoding, where a list of Unicode spaces could not be written.
  return QStringLiteral("regexp_replace(%1, '[^0-9]', '', 'g')").arg(column);
}

QString ssnIndexSqlite(const QString& table, const QString& column) {
  return QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)").arg(indexName(table), table, ssnKeySqlite(column));
}

void addSsnIndexes(sqlite::Database& db) {
  // The indexes only make a soldier's records quick to find. A file that
  // cannot take them now (read-only, full, busy with another scorer) is
  // read the slow way and gains them at a later open; its records are not
  // refused for it, and whatever is really wrong with the file is reported
  // by the statement that needs the file, with its name.
  if (missing(db).isEmpty() || sqlite3_db_readonly(db.get(), "main") == 1) return;
  if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) return;
  // Asked again inside the transaction: another scorer may be adding them
  // at this moment.
  for (const SsnTable& t : missing(db))
    if (!db.tryExec(ssnIndexSqlite(QLatin1String(t.table), QLatin1String(t.column)))) {
      db.tryExec(QStringLiteral("ROLLBACK"));
      return;
    }
  if (!db.tryExec(QStringLiteral("COMMIT"))) db.tryExec(QStringLiteral("ROLLBACK"));
}

}  // namespace quillon
