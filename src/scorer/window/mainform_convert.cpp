// The main window's part in Convert: one conversion at a time, its view of
// the controls, and the wait for the alternate event.

#include <QPointer>
#include <QPushButton>
#include <QStatusBar>

#include "alternate.h"
#include "convert.h"
#include "statusword.h"
#include "mainform_session.h"
#include "profile.h"

namespace quillon {

namespace {

QString waitingText() {
  return QStringLiteral(
      "Convert is waiting for the alternate event: enter it in the \"Alternate Test Standards\" window.");
}

}  // namespace

QString MainForm::ConvertSession::text(Ctl c) const {
  if (f_.shownKey_ == key_) return f_.controlText(f_.bindingOf(c));
  const int row = storedRow();
  if (row < 0) return QString();
  return f_.Data1->value(row, f_.Data1->fieldIndex(f_.bindingOf(c).field));
}

void MainForm::ConvertSession::setText(Ctl c, const QString& v) {
  if (f_.shownKey_ == key_) {
    f_.setControlText(f_.bindingOf(c), v);
    return;
  }
  if (storedRow() < 0) return;  // the converted row is gone
  const int field = f_.Data1->fieldIndex(f_.bindingOf(c).field);
  if (field < 0) return;
  try {
    f_.Data1->updateByKey(key_, {{field, v}});
  } catch (const DbError& e) {
    f_.reportDbError(e.message());
  }
}

void MainForm::ConvertSession::leaveUndecided() {
  const int field = f_.Data1->fieldIndex(QStringLiteral("STAT"));
  if (field < 0 || storedRow() < 0) return;
  if (f_.shownKey_ == key_) f_.setControlText(f_.bindingOf(Ctl::STAT), StatusWord::UNDECIDED);
  try {
    f_.Data1->updateByKey(key_, {{field, StatusWord::UNDECIDED}});
  } catch (const DbError& e) {
    f_.reportDbError(e.message());
  }
}

int MainForm::ConvertSession::storedRow() const {
  if (key_ < 0 || !f_.Data1->isOpen()) return -1;
  return f_.Data1->indexOfKey(key_);
}

void MainForm::Command6_Click() {
  if (session_) {
    statusBar()->showMessage(waitingText());
    return;
  }
  const qint64 key = shownKey_;
  session_ = std::make_unique<ConvertSession>(*this, key);
  const ConvertEnd end = Convert(*session_, tables_);
  session_.reset();
  if (end == ConvertEnd::Finished && conversion_.AltState != StatusWord::DONE) clearAlternateTaken(*this, key);
  // A conversion whose row was deleted during the wait ends without the
  // closing report; the window it waited on has nothing left to judge.
  if (alternate_ && alternate_->isVisible() && !alternate_->isWaiting()) alternate_->hide();
}

bool MainForm::WaitForAlternate() {
  if (!alternate_) {
    alternate_ = std::make_unique<Alternate>(*seam_, conversion_);
    registerProgramWindow(alternate_.get());
    // First shown over the main window, where the clerk is looking; later
    // shows keep wherever the clerk has put it.
    alternate_->adjustSize();
    alternate_->move(frameGeometry().center() - alternate_->rect().center());
  }
  // No second conversion while this one waits. Disabling the button moves
  // the focus along the tab order, so it is given back afterwards: the
  // focus does not move because of a command.
  const QPointer<QWidget> hadFocus = focusWidget();
  Command6->setEnabled(false);
  Command6->setToolTip(waitingText());
  statusBar()->showMessage(waitingText());
  const bool done = alternate_->waitUntilDone();
  Command6->setEnabled(true);
  Command6->setToolTip(QString());
  statusBar()->clearMessage();
  if (hadFocus == Command6) Command6->setFocus();
  return done;
}

}  // namespace quillon
