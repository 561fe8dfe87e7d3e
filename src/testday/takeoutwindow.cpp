#include "takeoutwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "takeout.h"
#include "testgroups.h"

namespace quillon {

TakeOutWindow::TakeOutWindow(const QString& dbPath, QWidget* parent) : QDialog(parent), dbPath_(dbPath) {
  setObjectName(QStringLiteral("TakeOutWindow"));
  setWindowTitle(QStringLiteral("Take Out a Group"));

  groups_ = new QComboBox(this);
  groups_->setObjectName(QStringLiteral("groups"));
  to_ = new QLineEdit(this);
  to_->setObjectName(QStringLiteral("toFolder"));
  to_->setPlaceholderText(QStringLiteral("an empty folder, made if missing"));
  auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
  browse->setObjectName(QStringLiteral("browse"));
  auto* toRow = new QHBoxLayout;
  toRow->addWidget(to_, 1);
  toRow->addWidget(browse);

  auto* form = new QFormLayout;
  auto* groupLabel = new QLabel(QStringLiteral("&Group:"), this);
  groupLabel->setBuddy(groups_);
  form->addRow(groupLabel, groups_);
  auto* toLabel = new QLabel(QStringLiteral("&Laptop's folder:"), this);
  toLabel->setBuddy(to_);
  form->addRow(toLabel, toRow);

  takeOut_ = new QPushButton(QStringLiteral("&Take Out"), this);
  takeOut_->setObjectName(QStringLiteral("takeOut"));
  written_ = new QPlainTextEdit(this);
  written_->setObjectName(QStringLiteral("written"));
  written_->setReadOnly(true);
  written_->setAccessibleName(QStringLiteral("What the take-out wrote"));
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  summary_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(takeOut_, 0, Qt::AlignLeft);
  layout->addWidget(written_, 1);
  layout->addWidget(summary_);
  layout->addWidget(buttons);
  resize(560, 360);

  connect(to_, &QLineEdit::textChanged, this, &TakeOutWindow::enable);
  connect(browse, &QPushButton::clicked, this, &TakeOutWindow::browse);
  connect(takeOut_, &QPushButton::clicked, this, &TakeOutWindow::takeOut);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  listGroups();
  enable();
}

void TakeOutWindow::listGroups() {
  try {
    for (const TestGroup& g : TestGroups::forDatabase(dbPath_)->all())
      groups_->addItem(QStringLiteral("%1 %2 (%3 soldiers)").arg(g.testDate, g.location).arg(g.members.size()),
                       g.id);
  } catch (const Error& e) {
    summary_->setText(QStringLiteral("The groups cannot be read: ") + e.message());
  }
}

void TakeOutWindow::enable() { takeOut_->setEnabled(groups_->count() > 0 && !to_->text().trimmed().isEmpty()); }

void TakeOutWindow::browse() {
  // The folder dialog makes a new folder as well as it picks one.
  const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Laptop's Folder"), to_->text());
  if (!folder.isEmpty()) to_->setText(QDir::toNativeSeparators(folder));
}

void TakeOutWindow::takeOut() {
  const QString folder = QDir::fromNativeSeparators(to_->text().trimmed());
  const qint64 group = groups_->currentData().toLongLong();
  written_->clear();
  try {
    const fieldday::TakeOutResult r = fieldday::takeOut(QFileInfo(dbPath_).absolutePath(), group, folder);
    QStringList lines;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files, QDir::Name))
      lines << QStringLiteral("%1 (%2 bytes)").arg(QDir::toNativeSeparators(f.filePath())).arg(f.size());
    written_->setPlainText(lines.join('\n'));
    summary_->setText(QStringLiteral("Took out %1 into %2: %3 soldiers, %4 records. The folder now works offline; "
                                     "merge it back from Test Day > Merge a Laptop's Folder.")
                          .arg(groups_->currentText(), QDir::toNativeSeparators(folder))
                          .arg(r.soldiers)
                          .arg(r.records));
  } catch (const Error& e) {
    summary_->setText(QStringLiteral("Nothing was taken out: ") + e.message());
  }
}

}  // namespace quillon
