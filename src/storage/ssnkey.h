#pragma once
// Finding one soldier's records among many. An SSN is kept as it was given:
// "123-45-6789" or "123456789", on old files sometimes with spaces around
// it. Both tables of a records file and of the records server keep an index
// on the SSN with the spaces around it and every dash taken out, so a
// soldier's records come from the index whichever way each was written.
//
// What the index finds is a little wider than what the rules call the same
// SSN ("12-345-6789" also reads as those nine digits here; on the server
// every character but a digit is dropped): callers that must tell those
// apart match each row found exactly, as they matched every row before.

#include <QString>
#include <QStringList>

namespace quillon {

namespace sqlite {
class Database;
}

// Every character Qt counts as white space at either end of a text, which
// the file's key trims.
const QString& ssnSpaceCharacters();

// The indexed expression over `column`: the file's and the server's own.
QString ssnKeySqlite(const QString& column);
QString ssnKeyPostgres(const QString& column);

// The index statements of the file for `table` (info or fitness_tests).
QString ssnIndexSqlite(const QString& table, const QString& column);

// Adds the SSN index to each table of the open file that has an SSN field
// and lacks it, in one transaction; a table the file lacks is left alone.
// Throws DbError with the engine's message.
void addSsnIndexes(sqlite::Database& db);

}  // namespace quillon
