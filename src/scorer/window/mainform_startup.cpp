// The main window's start-up and end: the load step, the activation step
// with its re-query and in-use lock, and closing the records.

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QTimer>

#include "alternate.h"
#include "mainform_session.h"
#include "messageboxes.h"

namespace quillon {

void MainForm::Form_Load() {
  Data1->setDatabaseName(databasePath());
  tables_.open(QDir::currentPath());
  applyLimits();
}

void MainForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!activatedOnce_) {
    // After the window is on screen, so a failure box has a window to sit on.
    QTimer::singleShot(0, this, [this] {
      if (!activatedOnce_) Form_Activate();
    });
  }
}

void MainForm::Form_Activate() {
  activatedOnce_ = true;
  // A re-query makes the first row current: what was typed into the shown
  // row is stored first, and when that fails the rows are left as they are.
  if (!storeCurrentRow()) return;
  const QString path = databasePath();
  Data1->setDatabaseName(path);
  Data1->setRecordSource(RecordStore::rowSourceQuery());
  requery();
}

bool MainForm::lockDatabase(const QString& path) {
  if (lockedPath_ == path) return true;
  lock_.release();
  lockedPath_.clear();
  // No lock file is made in a folder without records; but while the tool
  // compacts, the database is briefly missing and its lock file is there.
  if (!QFileInfo::exists(path) && !QFileInfo::exists(lockFilePath(path))) return true;
  QString why;
  if (!lock_.acquireShared(path, &why) && !lock_.inUseElsewhere()) {
    // No lock can be had here at all (a folder the clerk may not write to):
    // the tool cannot take one either, so the records are read unguarded.
    lockedPath_ = path;
    return true;
  }
  if (!lock_.held()) {
    {
      const QScopedValueRollback guard(syncing_, true);
      Data1->close();
    }
    loadControls();
    messages().message(QStringLiteral("The records database is being worked on by the database tool:\n%1\n\n%2\n\n"
                                      "The records were not opened. Try again once the tool has finished.")
                           .arg(QDir::toNativeSeparators(path), why),
                       kErrorTitle, MsgIcon::Exclamation);
    return false;
  }
  lockedPath_ = path;
  return true;
}

void MainForm::requery() {
  // The database tool must not repair or compact a file the scorer reads.
  if (!lockDatabase(Data1->databaseName())) return;
  QString failure;
  try {
    const QScopedValueRollback guard(syncing_, true);
    Data1->refresh();
  } catch (const DbError& e) {
    failure = e.message();
  }
  loadControls();
  syncGridToStore();
  if (!failure.isEmpty()) {
    lock_.release();
    lockedPath_.clear();
    messages().message(QStringLiteral("The records database could not be opened:\n%1\n\n%2\n\n"
                                      "Quillon works on the info.mdb of the folder it was started in. "
                                      "Sort tries to open it again.")
                           .arg(QDir::toNativeSeparators(Data1->databaseName()), failure),
                       kErrorTitle, MsgIcon::Exclamation);
  }
}

void MainForm::registerProgramWindow(QWidget* w) {
  if (w) programWindows_.emplace_back(w);
}

void MainForm::onFocusWindowChanged(QWindow* now) {
  // Only a change between two windows counts: another application taking
  // the focus passes through "no focus window" and leaves lastFocus_ alone.
  if (!now) return;
  QWindow* before = lastFocus_;
  lastFocus_ = now;
  if (now != windowHandle() || !before || before == now) return;
  for (const QPointer<QWidget>& w : programWindows_) {
    if (w && w->windowHandle() == before) {
      Form_Activate();
      return;
    }
  }
}

void MainForm::closeRecordSet() {
  if (alternate_ && alternate_->isWaiting() && session_) session_->leaveUndecided();
  if (alternate_) alternate_->abandonWait();
  {
    const QScopedValueRollback guard(syncing_, true);
    Data1->close();
  }
  lock_.release();
  lockedPath_.clear();
  loadControls();
  syncGridToStore();
}

void MainForm::closeEvent(QCloseEvent* e) {
  if (!storeCurrentRow() &&
      !messages().askYesNo(QStringLiteral("The changes to the current row could not be stored. Close Quillon anyway?"),
                           QStringLiteral("Question"))) {
    e->ignore();
    return;
  }
  closeRecordSet();
  if (alternate_) alternate_->hide();
  e->accept();
  emit closed();
}

}  // namespace quillon
