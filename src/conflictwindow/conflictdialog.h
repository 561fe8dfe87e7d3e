#pragma once
// Shown when a row could not be stored because another station changed it
// since it was read: which fields they changed, their value and the clerk's,
// and the choice between keeping theirs and storing the clerk's over them.
// Until the clerk chooses, nothing is stored and what was typed stays.

#include <QDialog>
#include <functional>

#include "conflictchoice.h"
#include "recordstore.h"

class QTableWidget;

namespace quillon {

class ConflictDialog : public QDialog {
  Q_OBJECT

 public:
  // `subject` names the record ("the record of Baker (ID 12)").
  ConflictDialog(const StoreConflict& conflict, const QString& subject, QWidget* parent = nullptr);
  ConflictChoice choice() const { return choice_; }
  QTableWidget* table() const { return table_; }

 private:
  QTableWidget* table_;
  ConflictChoice choice_ = ConflictChoice::Undecided;
};

// What the window does when a store met another station's change: asks the
// clerk (again, should yet another change come in between) and carries out
// the choice. `reload` shows the stored row again after Keep theirs;
// `report` shows a failure. True when the row is settled (stored or theirs
// kept), false when nothing was stored and what was typed stays.
bool settleConflict(QWidget* parent, RecordStore& store, StoreConflict conflict, const QHash<int, QString>& ours,
                    const std::function<void()>& reload, const std::function<void(const QString&)>& report);
// Tests answer in place of the clerk; null: the dialog asks.
void setConflictAnswer(std::function<ConflictChoice(const StoreConflict&)> answer);

}  // namespace quillon
