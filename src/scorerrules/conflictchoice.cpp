#include "conflictchoice.h"

namespace quillon {

void applyConflictChoice(RecordStore& store, const StoreConflict& conflict, ConflictChoice choice,
                         const QHash<int, QString>& ours) {
  switch (choice) {
    case ConflictChoice::KeepTheirs:
      store.keepTheirs(conflict);
      break;
    case ConflictChoice::StoreOurs:
      store.storeOurs(conflict, ours);
      break;
    case ConflictChoice::Undecided:
      break;
  }
}

}  // namespace quillon
