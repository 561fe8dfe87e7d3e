#pragma once
// What a clerk settled for the records when a laptop's folder was merged:
// a field of a soldier's record where the clerk kept the value here over
// the folder's. Kept in the records merged into (never in the folder, which
// a merge only reads), one row per take-out, record and field, with the
// folder's value the clerk saw; the same value brought again is no longer a
// question, a different one is. A row names a soldier, so on a server it is
// held to units as the records are (the setup script).

#include "recordtables.h"

namespace quillon {

namespace sqlite {
class Database;
}

// Table merge_settled: takeout (the folder's take-out), record (the record's
// identity), field, value (the folder's, as the clerk saw it), unit.
const RecordTable& mergeSettledTable();

// Makes the table in a records file that lacks it.
void addMergeSettledTable(sqlite::Database& db);

}  // namespace quillon
