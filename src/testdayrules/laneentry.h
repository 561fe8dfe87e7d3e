#pragma once
// Lane entry on a test day: what a value typed into a soldier's event means
// and what gets stored. Each accepted value is stored at once, field-wise,
// through the five-event records (so lanes entering different events of
// one soldier never clash), with the points it earns and the lane grader's
// initials, and is one step on the undo stack. The grid that shows it is the
// window's; tests drive this directly.

#include <QList>
#include <QString>
#include <array>
#include <optional>

#include "clashrule.h"
#include "fitnessrecords.h"
#include "fitnessscore.h"
#include "testgroups.h"
#include "undohistory.h"

class QUndoStack;

namespace quillon {

// The six event lanes first (the run lane also takes an alternate event),
// then body composition, which earns no points.
enum class LaneField { DeadliftFirst, DeadliftSecond, PushUp, SprintDragCarry, Plank, Run, Height, Weight, BodyFat };
inline constexpr int kEventLanes = 6;
inline constexpr int kLaneFields = 9;

// The column of fitness_tests a lane field's figure is stored in, and its
// caption.
QString laneColumn(LaneField f);
QString laneCaption(LaneField f);
inline bool hasGrader(LaneField f) { return static_cast<int>(f) < kEventLanes; }
// The event (index in the test's events) whose points a lane earns; both
// deadlift attempts earn the deadlift's. -1 for body composition.
int laneEvent(LaneField f);
// The widest text a lane reads as (LaneLine::shown): its longest form
// with its widest figures, for the room a window gives it.
QString laneWidest(LaneField f);

// What a lane's text means, as the fields of fitness_tests it sets (raw
// figures only, never points): the event's figure held to its valid range;
// in the run lane a time, or an alternate event (its name or first letter)
// and then its time; for weight and body fat a number and, as the clerk
// enters it, GO or NO-GO (G, N). Empty text clears the lane. `error` names
// the lane and repeats the text.
struct LaneValue {
  Record raw;
  QString error;
};
LaneValue parseLane(LaneField field, const QString& text);

// One soldier's line as stored now: each lane as a clerk reads it (m:ss for
// times, "walk 31:00" for an alternate, "185 GO" for a weight), points per
// event where the event was entered (-1 otherwise; an alternate's 60 or 0
// stand in the run's place), and the total and result once all five events
// are in.
struct LaneLine {
  std::array<QString, kLaneFields> shown;
  std::array<int, fitness::kEvents> points{-1, -1, -1, -1, -1};
  std::optional<int> total;
  QString result;  // "GO", "NO-GO", or empty while events are missing
};

// A value scored and not yet stored: what the lane will store (the
// grader's initials included) and the soldier's line as it will read once
// stored, so a window can show the points before the disk has answered.
struct LaneEntry {
  int member = -1;
  LaneField field = LaneField::DeadliftFirst;
  QString text;  // as typed
  Record raw;
  // What the store writes: `raw` with the points and verdicts it earns,
  // counted against the soldier's line as it stood (`basis`, the row
  // version; -1 before the soldier had a record).
  Record scored;
  qint64 basis = -1;
  LaneLine line;
  QString error;  // why the value is refused; nothing else is set then
};

class LaneSheet : private UndoTarget {
 public:
  // `group` must be saved (it has an ID); `store` and `undo` outlive this.
  LaneSheet(const TestGroup& group, FitnessRecords& store, QUndoStack& undo);

  // Takes what was typed for `member`'s `field`. Empty on success (stored,
  // one undo step); else why nothing was stored, naming the field and the
  // value, or on a clash each field with the value stored now and ours.
  // Empty text is refused: clearing a value is clear()'s.
  QString enter(int member, LaneField field, const QString& text);
  // enter() in its two steps. score() reads nothing from the store and
  // writes nothing: the value parsed, held to its range and scored against
  // the soldier's line as last read. store() writes what score() accepted,
  // as enter() does.
  LaneEntry score(int member, LaneField field, const QString& text) const;
  QString store(const LaneEntry& entry);

  // With a chooser, a value entered or cleared over another station's change
  // of the same lane asks it: Keep theirs stores nothing and the line reads
  // theirs (no undo step), Store mine writes ours over theirs (one undo
  // step, which puts theirs back). An undo or redo over such a change asks
  // it too: Store mine takes the step over theirs, anything else stores
  // nothing and leaves the stack where it stood. Without one, or when the
  // clerk does not choose, the clash is refused with its fields named.
  void setClashChooser(ConflictChooser* chooser) { chooser_ = chooser; }

  // Undo and redo of one step. A step refused (its lane changed at another
  // station since, and the clerk did not say to store over it) writes
  // nothing and leaves the stack where it stood, with stepProblem() saying
  // why.
  void undo();
  void redo();
  // The steps, for the window's Edit menu.
  const UndoHistory& history() const { return history_; }

  // The group's records as stored now, read again where another station
  // changed them (by the row version); the members whose line changed.
  // Throws DbError when the records cannot be read.
  QList<int> readChanges();
  // Clears that one lane of the soldier (its figure, points and grader),
  // as one undo step. Empty on success or when there was nothing to clear.
  QString clear(int member, LaneField field);

  // The initials of the grader of an event lane, stored with every value
  // that lane accepts from now on, and given, as one undo step, to every
  // record of the group that holds a value in that lane and no grader of
  // its event yet (one that has a grader keeps it). Refused (a reason
  // naming the lane) unless one to four letters; empty text stops storing
  // initials. Before any is set, grader() reads the initials stored in the
  // lane's records.
  QString setGrader(LaneField field, const QString& initials);
  QString grader(LaneField field) const;

  LaneLine line(int member) const;
  // The lane's text as stored now, in the form the grid shows.
  QString shown(int member, LaneField field) const { return line(member).shown[static_cast<int>(field)]; }
  int size() const { return static_cast<int>(group_.members.size()); }

  // Writes the lane's raw fields `raw` (stored forms, empty for none) with
  // the points recomputed; used by enter(), clear(), undo and redo. The
  // lane's fields must still hold what this station last read of them, or
  // with `expected` (an undo step's) those values. The row is stored as
  // the sheet holds it, in one call, without reading it first (a soldier's
  // first value: one add); `scored`, when given, are the changes already
  // counted for it. Empty on success, else why not.
  QString write(int member, LaneField field, const Record& raw, const Record* expected = nullptr,
                const Record* scored = nullptr);

  // Why the last undo() or redo() stored nothing ("<step>: <why>"), empty
  // when it was stored; the undo steps set it.
  const QString& stepProblem() const { return stepProblem_; }

 private:
  QString take(const QList<UndoEdit>& edits) override;
  // A step's name: "HRP of Baker, Ann".
  QString stepName(int member, LaneField field) const;
  QString put(int member, LaneField field, const Record& raw, const Record* scored = nullptr);
  QString fillGrader(LaneField field, const QString& initials);
  static LaneLine lineOf(const RowAsRead& row);
  QString storedField(int member, const QString& name) const;
  Record scoredChanges(int member, LaneField field, const Record& raw) const;
  // What changed in the group since the last look (the first: all of it),
  // in one read, taken into rows_; the members whose line changed. None
  // where the records keep no change counter.
  std::optional<QList<int>> readGroupChanges();
  // Counts the lane again against the row as just stored and stores what
  // came out otherwise (the total and result, once the other lanes moved).
  void recount(int member, LaneField field, const Record& raw);

  TestGroup group_;
  FitnessRecords& store_;
  UndoHistory history_;
  QList<std::optional<RowAsRead>> rows_;
  qint64 mark_ = 0;  // the records' change counter at the last look
  std::array<std::optional<QString>, kEventLanes> graders_;
  QString stepProblem_;
  ConflictChooser* chooser_ = nullptr;
  bool asking_ = false;     // the store in hand is the clerk's entry, not a step's
  bool keptTheirs_ = false; // the clerk kept the other station's lane
  Record overwritten_;      // their lane's fields that Store mine wrote over
  bool stepping_ = false;   // the store in hand is an undo or redo step's
};

}  // namespace quillon
