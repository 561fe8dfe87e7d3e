#pragma once
// What an import asks the record store to do: the previews of the
// interchange library turned into one batch of inserts and updates.

#include <QList>

#include "jetimport.h"
#include "recordstore.h"
#include "roster.h"

namespace quillon {

// A record row as fields to insert: every field the row fills but ID (the
// store gives the number); an empty field is left without a value, as a
// record added in the grid leaves it.
FieldValues insertFields(const RecordRow& row);

// The roster's rows to add, and with `updateMatches` the changes to the
// stored records they match (name, rank, sex and date of birth where the
// roster has them). `stored` gives a matched record as the file holds it.
QList<RecordStore::BatchOp> rosterPlan(const RosterPreview& preview, bool updateMatches,
                                       const std::function<std::optional<Record>(qint64)>& stored);

// The old database's rows: under their own ID where it is free, a new one
// where the file gave none, and with `takeConflicts` the rows whose ID is
// taken under a new one too.
QList<RecordStore::BatchOp> jetPlan(const JetPreview& preview, bool takeConflicts);

}  // namespace quillon
