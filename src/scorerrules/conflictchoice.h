#pragma once
// What becomes of a row another station changed since it was read: the
// clerk's choice, carried out on the store. The conflict dialog asks; this
// is what its answer does.

#include <QHash>
#include <QString>

#include "conflictanswer.h"
#include "recordstore.h"

namespace quillon {

// Carries out the clerk's choice on the store: keeps their row, or stores
// `ours` (column -> text) over it. A further change elsewhere in between
// throws ConflictError again; other failures throw DbError.
void applyConflictChoice(RecordStore& store, const StoreConflict& conflict, ConflictChoice choice,
                         const QHash<int, QString>& ours);

}  // namespace quillon
