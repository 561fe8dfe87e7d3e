#include "soldierpicker.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ssnmask.h"

namespace quillon {

SoldierPicker::SoldierPicker(QList<StoredSoldier> soldiers, QWidget* parent)
    : QDialog(parent), all_(std::move(soldiers)) {
  setObjectName(QStringLiteral("SoldierPicker"));
  setWindowTitle(QStringLiteral("Soldiers from the Records"));
  auto* layout = new QVBoxLayout(this);
  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("filter"));
  filter_->setPlaceholderText(QStringLiteral("Part of a name, an SSN or a DoD ID"));
  auto* label = new QLabel(QStringLiteral("&Find:"), this);
  label->setBuddy(filter_);
  layout->addWidget(label);
  layout->addWidget(filter_);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("storedSoldiers"));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setAccessibleName(QStringLiteral("Soldiers in the records"));
  list_->setAccessibleDescription(QStringLiteral("Those selected join the group"));
  layout->addWidget(list_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Add to Group"));
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("addChosen"));
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  connect(filter_, &QLineEdit::textChanged, this, &SoldierPicker::fill);
  // Down from the search goes into the list, so the keyboard alone picks.
  filter_->installEventFilter(this);
  fill();
  filter_->setFocus();
  resize(460, 480);
}

bool SoldierPicker::eventFilter(QObject* watched, QEvent* event) {
  if (watched == filter_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && list_->count() > 0) {
    list_->setFocus();
    list_->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void SoldierPicker::fill() {
  shown_ = matchingSoldiers(all_, filter_->text());
  list_->clear();
  const SsnShown how = ssnShownFor(this);
  for (const StoredSoldier& s : shown_) {
    QString line = s.name;
    if (!s.ssn.isEmpty()) line += QStringLiteral("   ") + shownSsn(s.ssn, how);
    if (!s.dodId.isEmpty()) line += QStringLiteral("   DoD ID ") + s.dodId;
    list_->addItem(line);
  }
}

QList<StoredSoldier> SoldierPicker::chosen() const {
  QList<StoredSoldier> out;
  for (int i = 0; i < list_->count(); ++i)
    if (list_->item(i)->isSelected()) out << shown_.at(i);
  return out;
}

}  // namespace quillon
