#pragma once
// Fields a records database gained after its first form. A file made by an
// older scorer holds only the eighteen; the scorer adds what is missing when
// it first opens the file, leaving every stored value as it was. Readers that
// know only the eighteen (the reports, the export, the database tool) name
// their fields and are not disturbed by the rest.

#include <QStringList>

namespace quillon {

namespace sqlite {
class Database;
}

// The alternate event a profiled soldier took instead of the run, and the
// time the clerk entered for it ("MM:SS"). Stored with the record by Convert.
const QStringList& alternateFieldNames();

// Adds the fields of alternateFieldNames() that table `info` lacks, all in one
// transaction: either every one is added or the file is left untouched; and
// the index by SSN to the tables that lack it (addSsnIndexes). A
// database without table `info` is left alone (the row source will say what
// is wrong). Throws DbError with the engine's message.
void upgradeRecordsSchema(sqlite::Database& db);

// True when table `info` of this open database holds the alternate fields.
bool hasAlternateFields(const sqlite::Database& db);

}  // namespace quillon
