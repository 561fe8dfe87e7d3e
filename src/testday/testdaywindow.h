#pragma once
// The test-day window: the clerk picks a stored test group or makes a new
// one (date of test, location, soldiers with their standard) and saves it;
// the group is kept in the records database, so it is there again after the
// program is closed. Errors go to the status line naming the field and the
// value; nothing typed is thrown away by a refused save, nor by closing the
// window (File > Close, the platform's close key, Escape, the close box):
// a changed group that is not saved is first offered to be saved,
// discarded, or kept open. Closing the window it was opened from asks the
// same first, and a Cancel keeps both windows.

#include <QMainWindow>
#include <memory>

#include "testgroups.h"

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace quillon {

class MessageSeam;

class TestDayWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit TestDayWindow(const QString& dbPath, QWidget* parent = nullptr);
  ~TestDayWindow() override;

  // The group on screen as the clerk has it now, saved or not.
  TestGroup groupOnScreen() const;

  // Shows what a roster file would add to the group on screen, after the
  // roster import's checks: the lines that join and those that cannot, with
  // the reason, and the file's columns a group does not take. Once the clerk
  // accepts, its soldiers join with the roster's unit, standard (general
  // when the roster has no Standard column) and rank, not yet saved, and
  // the status line says how many.
  void importRoster(const QString& path);

  // Lets the clerk pick soldiers from the stored three-event records; those
  // picked and not already in the group join it (general standard).
  void pickFromRecords();

  // Opens lane entry for the group on screen once it is saved.
  void openLanes();

  // Where the window's questions go (real message boxes unless a test
  // scripts the answers); null puts the real boxes back.
  void setMessageSeam(MessageSeam* seam);

  // The group on screen differs from the group as last shown or saved.
  bool hasUnsavedChanges() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // True when the group on screen may be left: nothing unsaved, or the
  // clerk had it saved (and the save went through) or discarded.
  bool mayLeaveGroup();
  void reloadPicker(qint64 select);
  void showGroup(const TestGroup& group);
  void newGroup();
  void saveGroup();
  void addSoldierRow(const GroupMember& m);
  void join(const QList<GroupMember>& members, const QString& from);
  void say(const QString& text);
  MessageSeam& messages();

  QString dbPath_;
  std::unique_ptr<MessageSeam> boxes_;
  MessageSeam* seam_ = nullptr;
  TestGroup shown_;  // as last shown or saved, read back from the screen
  std::unique_ptr<TestGroups> groups_;
  qint64 shownId_ = 0;
  QComboBox* picker_ = nullptr;
  QLineEdit* date_ = nullptr;
  QLineEdit* location_ = nullptr;
  QTableWidget* soldiers_ = nullptr;
};

}  // namespace quillon
