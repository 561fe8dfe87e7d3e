#pragma once
// What becomes of a row another station changed since it was read: the
// clerk's choice, carried out on the store. The conflict dialog asks; this
// is what its answer does.

#include <QHash>
#include <QString>

#include "recordstore.h"

namespace quillon {

enum class ConflictChoice {
  Undecided,   // closed without choosing: nothing stored, the typing stays
  KeepTheirs,  // the other station's row stays; what was typed is dropped
  StoreOurs,   // what was typed is stored over their row
};

// Carries out the clerk's choice on the store: keeps their row, or stores
// `ours` (column -> text) over it. A further change elsewhere in between
// throws ConflictError again; other failures throw DbError.
void applyConflictChoice(RecordStore& store, const StoreConflict& conflict, ConflictChoice choice,
                         const QHash<int, QString>& ours);

}  // namespace quillon
