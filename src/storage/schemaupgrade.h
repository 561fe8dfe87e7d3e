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

// Adds the change counter of the five-event records to a file whose table
// fitness_tests lacks it: table fitness_changes, one row per record added
// or changed (record_id, change_no), its number drawn from a counter that
// only grows, and the triggers that keep it, so the changes of any program
// that writes the file count (one that leaves the version as it was moves it). A window asks it what changed since its last
// look (Gateway::changedSince). All or nothing, in one transaction; a file
// that cannot take it now (read-only, busy) is read without it and gains it
// at a later open.
void addChangeCounter(sqlite::Database& db);

// Brings the five-event side of a file made before the DoD ID up to date:
// fitness_tests gains column dod_id (empty for every record kept) and its
// indexes (fitnessDodIdIndexesSqliteDdl); test_group_members, keyed by
// (group_id, ssn) before, is rebuilt with dod_id and the key of
// testGroupMembersSqliteDdl, every member copied as it was. A table the
// file lacks is left alone. All or nothing, in one transaction. Throws
// DbError with the engine's message.
void addDodIdColumns(sqlite::Database& db);

// True when table `info` of this open database holds the alternate fields.
bool hasAlternateFields(const sqlite::Database& db);

}  // namespace quillon
