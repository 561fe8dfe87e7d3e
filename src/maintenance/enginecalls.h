#pragma once
// The engine's calls as the database tool makes them: a connection that
// never waits for another program's lock, and every failure raised as a
// ToolError naming the file it happened on.

#include <QString>
#include <QStringList>

#include "sqlitedb.h"
#include "toolerror.h"

namespace quillon::dbtool {

[[noreturn]] void engineFail(const sqlite::Database& db, const QString& path);

// No busy wait: a file another program is writing is reported at once.
sqlite::Database openDb(const QString& path, sqlite::Database::Mode mode);

// The clerk's database. An empty file reads as an empty database to the
// engine, so it would be "compacted" over the last good backup; it is
// refused as what it is to the clerk: not a database.
sqlite::Database openClerksDb(const QString& path, sqlite::Database::Mode mode);

sqlite::Statement prepare(const sqlite::Database& db, const QString& sql, const QString& path);
void exec(sqlite::Database& db, const QString& sql, const QString& path);

// The rows of a single-column pragma or query; throws on any error.
QStringList queryColumn(const sqlite::Database& db, const QString& sql, const QString& path);

bool integrityOk(const sqlite::Database& db, const QString& path);

// Ordinary tables of the database (not SQLite's own).
QStringList userTables(const sqlite::Database& db, const QString& path);

qint64 countRows(const sqlite::Database& db, const QString& table, const QString& path);

}  // namespace quillon::dbtool
