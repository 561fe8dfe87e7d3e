#include "messageboxes.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

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

// A message box sizes itself to its text alone, and window managers cut a
// longer title short; the alternate event's outcome is only in the title
// ("Alternate Test: FAIL"), so the box is made wide enough to show it whole.
void fitTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  QFont titleFont = box.font();
  titleFont.setBold(true);
  const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 140;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                grid->columnCount());
}

}  // namespace

MessageBoxes::MessageBoxes(QWidget* parent) : parent_(parent) {}

void MessageBoxes::setParent(QWidget* parent) { parent_ = parent; }

void MessageBoxes::message(const QString& text, const QString& title, MsgIcon icon) {
  QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, parent_);
  box.setObjectName(QStringLiteral("messageBox"));
  box.setEscapeButton(QMessageBox::Ok);
  fitTitle(box);
  box.exec();
}

bool MessageBoxes::askYesNo(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
  box.setObjectName(QStringLiteral("questionBox"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  fitTitle(box);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

}  // namespace quillon
