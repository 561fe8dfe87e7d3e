#include "messageboxseam.h"

#include <QMessageBox>

namespace quillon {

namespace {

QMessageBox::Icon boxIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

WidgetMessageSeam::WidgetMessageSeam(QWidget* parent) : parent_(parent) {}

void WidgetMessageSeam::setParent(QWidget* parent) { parent_ = parent; }

void WidgetMessageSeam::message(const QString& text, const QString& title, MsgIcon icon) {
  QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, parent_);
  box.setObjectName(QStringLiteral("messageBox"));
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

bool WidgetMessageSeam::askYesNo(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
  box.setObjectName(QStringLiteral("questionBox"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

}  // namespace quillon
