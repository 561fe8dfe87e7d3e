#pragma once
// Plays the clerk at the conflict window: answers as told and keeps what
// was asked, for the three-event table and the lanes alike.
#include <QList>
#include <QStringList>

#include "clashrule.h"

namespace quillon::test {

class ScriptedChooser : public ConflictChooser {
 public:
  ConflictChoice answer = ConflictChoice::Undecided;
  QStringList subjects;
  QList<StoreConflict> conflicts;
  ConflictChoice choose(const QString& subject, const StoreConflict& conflict) override {
    subjects << subject;
    conflicts << conflict;
    return answer;
  }
};

}  // namespace quillon::test
