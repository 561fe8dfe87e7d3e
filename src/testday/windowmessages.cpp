#include "windowmessages.h"

#include <QMessageBox>

namespace quillon {

void WindowMessages::message(const QString& text, const QString& title, MsgIcon icon) {
  const QMessageBox::Icon shown = icon == MsgIcon::Exclamation   ? QMessageBox::Warning
                                  : icon == MsgIcon::Question    ? QMessageBox::Question
                                  : icon == MsgIcon::Information ? QMessageBox::Information
                                                                 : QMessageBox::NoIcon;
  QMessageBox box(shown, title, text, QMessageBox::Ok, parent_);
  box.setObjectName(QStringLiteral("messageBox"));
  box.exec();
}

bool WindowMessages::askYesNo(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
  box.setObjectName(QStringLiteral("questionBox"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

SaveChoice WindowMessages::askSaveChanges(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                  parent_);
  box.setObjectName(QStringLiteral("saveChangesBox"));
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() == box.button(QMessageBox::Save)) return SaveChoice::Save;
  if (box.clickedButton() == box.button(QMessageBox::Discard)) return SaveChoice::Discard;
  return SaveChoice::Cancel;
}

}  // namespace quillon
