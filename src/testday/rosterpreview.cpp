#include "rosterpreview.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ssnmask.h"

namespace quillon {

RosterPreviewDialog::RosterPreviewDialog(const QString& fileName, const GroupRosterResult& result, QWidget* parent)
    : QDialog(parent), result_(result) {
  setObjectName(QStringLiteral("RosterPreview"));
  setWindowTitle(QStringLiteral("Roster Preview"));
  auto* layout = new QVBoxLayout(this);
  auto* joining = new QListWidget(this);
  joining->setObjectName(QStringLiteral("joining"));
  for (qsizetype i = 0; i < result_.joining.size(); ++i) {
    const GroupMember& m = result_.joining.at(i);
    QStringList what{m.name};
    // Each identifier the line gives: the SSN as the window shows SSNs.
    if (!m.ssn.isEmpty()) what << shownSsn(m.ssn, ssnShownFor(this));
    if (!m.dodId.isEmpty()) what << QStringLiteral("DoD ID %1").arg(m.dodId);
    what << m.standard;
    for (const QString& v : {m.rank, m.unit})
      if (!v.isEmpty()) what << v;
    joining->addItem(QStringLiteral("line %1: %2").arg(result_.joiningLines.value(i)).arg(what.join(QStringLiteral(", "))));
  }
  auto* notJoining = new QListWidget(this);
  notJoining->setObjectName(QStringLiteral("notJoining"));
  notJoining->addItems(result_.notJoining);
  auto* head = new QLabel(fileName, this);
  head->setWordWrap(true);
  layout->addWidget(head);
  if (!result_.unusedColumns.isEmpty()) {
    // A column the clerk filled in and the group drops must not go unseen.
    auto* unused = new QLabel(QStringLiteral("Columns not used: %1").arg(result_.unusedColumns.join(QStringLiteral(", "))),
                              this);
    unused->setObjectName(QStringLiteral("unusedColumns"));
    unused->setWordWrap(true);
    layout->addWidget(unused);
  }
  auto* joinLabel = new QLabel(QStringLiteral("&Joining the group (%1):").arg(result_.joining.size()), this);
  joinLabel->setBuddy(joining);
  // A list does not take its name from its label.
  joining->setAccessibleName(QStringLiteral("Joining the group"));
  layout->addWidget(joinLabel);
  layout->addWidget(joining, 2);
  auto* notLabel = new QLabel(QStringLiteral("&Not joining (%1):").arg(result_.notJoining.size()), this);
  notLabel->setBuddy(notJoining);
  notJoining->setAccessibleName(QStringLiteral("Not joining, with the reason"));
  layout->addWidget(notLabel);
  layout->addWidget(notJoining, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setText(QStringLiteral("&Add %1 Soldiers").arg(result_.joining.size()));
  ok->setObjectName(QStringLiteral("addSoldiers"));
  ok->setEnabled(!result_.joining.isEmpty());
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(560, 420);
}

}  // namespace quillon
