#pragma once
// Shown when a change could not be stored because another station changed
// the record since it was read, at the three-event table and at a test
// day's lanes alike: which fields they changed, their value and the
// clerk's, and the choice between keeping theirs and storing the clerk's
// over them. Until the clerk chooses, nothing is stored and what was typed
// stays.

#include <QDialog>
#include <functional>

#include "clashrule.h"

class QTableWidget;

namespace quillon {

class ConflictDialog : public QDialog {
  Q_OBJECT

 public:
  // `subject` names the record ("the record of Baker (ID 12)") or the lane
  // ("HRP of Baker").
  ConflictDialog(const StoreConflict& conflict, const QString& subject, QWidget* parent = nullptr);
  ConflictChoice choice() const { return choice_; }
  QTableWidget* table() const { return table_; }

 private:
  QTableWidget* table_;
  ConflictChoice choice_ = ConflictChoice::Undecided;
};

// The clerk answers in the conflict window, over `parent`. `beforeAsking`
// runs first with the subject (the lane grid stops keys typed ahead of
// the question there).
class ConflictWindowChooser : public ConflictChooser {
 public:
  explicit ConflictWindowChooser(QWidget* parent, std::function<void(const QString&)> beforeAsking = {})
      : parent_(parent), beforeAsking_(std::move(beforeAsking)) {}
  ConflictChoice choose(const QString& subject, const StoreConflict& conflict) override;

 private:
  QWidget* parent_;
  std::function<void(const QString&)> beforeAsking_;
};

}  // namespace quillon
