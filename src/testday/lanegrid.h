#pragma once
// The lane-entry window of a saved test group: one row per soldier, one
// column per lane, keyboard first. Enter accepts and moves down the lane,
// Tab across; a refused value stays in its cell, red, with the reason on
// the status line and in the cell's tooltip, until corrected or put back
// with Escape. Delete clears a stored value. The first row takes each event
// lane's grader initials, stored with every value that lane accepts. What a value
// means and what is stored is LaneSheet's; this window only shows it.

#include <QMainWindow>
#include <QUndoStack>
#include <memory>

#include "fitnessrecords.h"
#include "laneentry.h"
#include "testgroups.h"

class QTableWidget;
class QTableWidgetItem;

namespace quillon {

class LaneGrid : public QMainWindow {
  Q_OBJECT
 public:
  // Throws DbError when the group's records cannot be opened.
  LaneGrid(const TestGroup& group, const QString& dbPath, QWidget* parent = nullptr);
  ~LaneGrid() override;

  QUndoStack& undoStack() { return undo_; }

 private:
  void accept(int row, int column);
  void refuse(QTableWidgetItem* item, const QString& why);
  void putBack(int row, int column);
  void clearCell(int row, int column);
  void refresh(int row);

  std::unique_ptr<FitnessRecords> store_;
  QUndoStack undo_;
  std::unique_ptr<LaneSheet> sheet_;
  QTableWidget* grid_ = nullptr;
  bool filling_ = false;
};

}  // namespace quillon
