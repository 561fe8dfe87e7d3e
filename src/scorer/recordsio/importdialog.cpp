#include "importdialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillon {

ImportDialog::ImportDialog(const QString& title, const QString& summary, const QList<PreviewList>& lists,
                           const PreviewChoice& choice, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ImportDialog"));
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(summary, this);
  text->setWordWrap(true);
  // A file name or a column heading is shown as written, never as markup.
  text->setTextFormat(Qt::PlainText);
  layout->addWidget(text);

  tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("PreviewTabs"));
  for (const PreviewList& list : lists) {
    auto* view = new QTreeWidget(tabs);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setHeaderLabels(list.headings);
    view->setAccessibleName(list.caption);
    QList<QTreeWidgetItem*> items;
    items.reserve(list.rows.size());
    for (const QStringList& row : list.rows) items << new QTreeWidgetItem(row);
    view->addTopLevelItems(items);
    // Measured once: kept fitted to contents, ten thousand rows would be
    // measured again at every layout.
    for (int c = 0; c < list.headings.size(); ++c) view->resizeColumnToContents(c);
    view->header()->setStretchLastSection(true);
    tabs->addTab(view, QStringLiteral("%1 (%2)").arg(list.caption).arg(list.rows.size()));
  }
  layout->addWidget(tabs, 1);

  auto* box = new QGroupBox(choice.question, this);
  auto* boxLayout = new QVBoxLayout(box);
  leaveButton = new QRadioButton(choice.leave, box);
  leaveButton->setObjectName(QStringLiteral("LeaveButton"));
  takeButton = new QRadioButton(choice.take, box);
  takeButton->setObjectName(QStringLiteral("TakeButton"));
  leaveButton->setChecked(true);
  boxLayout->addWidget(leaveButton);
  boxLayout->addWidget(takeButton);
  layout->addWidget(box);

  auto* buttons = new QDialogButtonBox(this);
  importButton = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
  importButton->setObjectName(QStringLiteral("ImportButton"));
  cancelButton = buttons->addButton(QDialogButtonBox::Cancel);
  cancelButton->setObjectName(QStringLiteral("CancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(720, 480);
}

bool ImportDialog::takeChosen() const { return takeButton->isChecked(); }

}  // namespace quillon
