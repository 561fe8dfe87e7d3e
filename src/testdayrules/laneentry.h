#pragma once
// Lane entry on a test day: what a value typed into a soldier's event means
// and what gets stored. Each accepted value is stored at once, field-wise,
// through the five-event records (so lanes entering different events of
// one soldier never clash), with the points it earns, and is one step on
// the undo stack. The grid that shows it is the window's; tests drive this
// directly.

#include <QList>
#include <QString>
#include <array>
#include <optional>

#include "fitnessrecords.h"
#include "fitnessscore.h"
#include "testgroups.h"

class QUndoStack;

namespace quillon {

enum class LaneField { DeadliftFirst, DeadliftSecond, PushUp, SprintDragCarry, Plank, Run };
inline constexpr int kLaneFields = 6;

// The column of fitness_tests a lane field is stored in, and its caption.
QString laneColumn(LaneField f);
QString laneCaption(LaneField f);

// One soldier's line as stored now: raw values as a clerk reads them (m:ss
// for times), points per event where the event was entered (-1 otherwise),
// and the total and result once all five events are in.
struct LaneLine {
  std::array<QString, kLaneFields> shown;
  std::array<int, fitness::kEvents> points{-1, -1, -1, -1, -1};
  std::optional<int> total;
  QString result;  // "GO", "NO-GO", or empty while events are missing
};

class LaneSheet {
 public:
  // `group` must be saved (it has an ID); `store` and `undo` outlive this.
  LaneSheet(const TestGroup& group, FitnessRecords& store, QUndoStack& undo);

  // Takes what was typed for `member`'s `field`. Empty on success (stored,
  // one undo step); else why nothing was stored, naming the field and the
  // value, or on a clash each field with the value stored now and ours.
  QString enter(int member, LaneField field, const QString& text);

  LaneLine line(int member) const;
  int size() const { return static_cast<int>(group_.members.size()); }

  // Writes `stored` (a stored form, empty for none) into the field with
  // the points recomputed; used by enter() and by undo and redo. Empty on
  // success, else why not.
  QString write(int member, LaneField field, const QString& stored);

 private:
  QString storedValue(int member, LaneField field) const;
  Record scoredChanges(int member, LaneField field, const QString& stored) const;

  TestGroup group_;
  FitnessRecords& store_;
  QUndoStack& undo_;
  QList<std::optional<RowAsRead>> rows_;
};

}  // namespace quillon
