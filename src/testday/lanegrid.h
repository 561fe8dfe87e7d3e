#pragma once
// The lane-entry window of a saved test group: one row per soldier, one
// column per lane, keyboard first. Enter accepts and moves down the lane,
// Tab across; a refused value stays in its cell, red, with the reason on
// the status line and in the cell's tooltip, until corrected or put back
// with Escape. Delete clears a stored value. The first row takes each event
// lane's grader initials, stored with every value that lane accepts. What a value
// means and what is stored is LaneSheet's; this window only shows it. Keys
// typed ahead land each in the cell they were aimed at (LaneTable).
//
// What colour shows is said in words too: each cell's accessible text
// names the soldier, the lane, the value and its points, or that the value
// was refused and why; the soldiers' names are the rows' headers.
//
// An accepted value's points, total and result are painted before the
// value is stored, and the store is made before the next key is taken; a
// store that fails takes the painted points back and keeps what was typed.
// Values other stations stored appear by a light poll, never over a cell
// being edited or a refused value the clerk has yet to correct.

#include <QMainWindow>
#include <QTimer>
#include <QUndoStack>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "fitnessrecords.h"
#include "laneentry.h"
#include "testgroups.h"

namespace quillon {

class LaneCells;
class LaneTable;

class LaneGrid : public QMainWindow {
  Q_OBJECT
 public:
  // Throws DbError when the group's records cannot be opened.
  LaneGrid(const TestGroup& group, const QString& dbPath, QWidget* parent = nullptr);
  // Over records already made; opens them. Tests hand in a scripted store.
  LaneGrid(const TestGroup& group, std::unique_ptr<FitnessRecords> store, QWidget* parent = nullptr);
  ~LaneGrid() override;

  QUndoStack& undoStack() { return undo_; }
  // Who answers a lane clash; the window's dialog unless a test answers.
  void setClashChooser(ConflictChooser* chooser) { sheet_->setClashChooser(chooser); }
  // Shows what other stations stored since it was last read; the poll
  // timer's slot, called directly by tests.
  void showOthersValues();

 signals:
  // A soldier's points, total and result have been painted, the value not
  // yet stored.
  void pointsShown(int row);
  // A soldier's value is durable: the store has returned, before the
  // window settles its status and moves down the lane.
  void valueStored(int row);

 private:
  void accept(int row, int column);
  void refuse(int row, int column, const QString& why);
  void putBack(int row, int column);
  void clearCell(int row, int column);
  // Shows the soldier's line as stored; sparing the editor, the cell being
  // typed in keeps what is typed. With `shown` (the score already on the
  // screen) the score is painted only where it differs.
  void refresh(int row, bool sparingTheEditor = false, const std::optional<LaneLine>* shown = nullptr);
  void showScore(int row, const LaneLine& line);
  void refreshAll();
  // Edit > Undo and Redo: one step of the sheet's history.
  void takeStep(UndoHistory::Direction d);
  // Says what the burst stopped at and what it held back.
  void tellHeld(const QString& why, const QStringList& held);
  // Clears the status line, unless it tells keys still being held.
  void settleStatus();
  // The points the cells' accessible text tells: soldier, column, value,
  // points.
  void describe(int row);
  void describeRow(int row, const LaneLine& line);
  void fitColumns();
  std::array<QString, 3> scoreCells(int row) const;
  void putScoreCells(int row, const std::array<QString, 3>& texts);

  std::unique_ptr<FitnessRecords> store_;
  QUndoStack undo_;
  std::unique_ptr<LaneSheet> sheet_;
  LaneCells* cells_ = nullptr;
  LaneTable* grid_ = nullptr;
  std::unique_ptr<ConflictChooser> dialog_;
  std::function<bool(int, int)> editing_;
  QTimer poll_;
  bool filling_ = false;
  bool storing_ = false;
  bool stepping_ = false;
};

}  // namespace quillon
