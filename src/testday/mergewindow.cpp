#include "mergewindow.h"

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

#include "conflictdialog.h"
#include "merge.h"
#include "ssnmask.h"

namespace quillon {

namespace {

// The choices of "When a field clashes", in the combo's order.
enum ClashChoice { AskEachTime, KeepLaptops, KeepHere };

}  // namespace

MergeWindow::MergeWindow(const QString& dbPath, QWidget* parent)
    : QDialog(parent), intoFolder_(QFileInfo(dbPath).absolutePath()) {
  setObjectName(QStringLiteral("MergeWindow"));
  setWindowTitle(QStringLiteral("Merge a Laptop's Folder"));

  from_ = new QLineEdit(this);
  from_->setObjectName(QStringLiteral("fromFolder"));
  auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
  browse->setObjectName(QStringLiteral("browse"));
  auto* fromRow = new QHBoxLayout;
  fromRow->addWidget(from_, 1);
  fromRow->addWidget(browse);

  clashes_ = new QComboBox(this);
  clashes_->setObjectName(QStringLiteral("clashes"));
  clashes_->addItems({QStringLiteral("Ask me for each record"), QStringLiteral("Keep the laptop's values"),
                      QStringLiteral("Keep the values here")});

  auto* into = new QLabel(QDir::toNativeSeparators(intoFolder_), this);
  into->setObjectName(QStringLiteral("intoFolder"));
  into->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* form = new QFormLayout;
  auto* fromLabel = new QLabel(QStringLiteral("&Laptop's folder:"), this);
  fromLabel->setBuddy(from_);
  form->addRow(fromLabel, fromRow);
  form->addRow(QStringLiteral("Into:"), into);
  auto* clashLabel = new QLabel(QStringLiteral("&When a field clashes:"), this);
  clashLabel->setBuddy(clashes_);
  form->addRow(clashLabel, clashes_);

  merge_ = new QPushButton(QStringLiteral("&Merge"), this);
  merge_->setObjectName(QStringLiteral("merge"));
  merge_->setEnabled(false);
  outcome_ = new QPlainTextEdit(this);
  outcome_->setObjectName(QStringLiteral("outcome"));
  outcome_->setReadOnly(true);
  outcome_->setAccessibleName(QStringLiteral("What the merge did"));
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(merge_, 0, Qt::AlignLeft);
  layout->addWidget(outcome_, 1);
  layout->addWidget(summary_);
  layout->addWidget(buttons);
  resize(640, 420);

  connect(from_, &QLineEdit::textChanged, this, [this](const QString& t) { merge_->setEnabled(!t.trimmed().isEmpty()); });
  connect(browse, &QPushButton::clicked, this, &MergeWindow::browse);
  connect(merge_, &QPushButton::clicked, this, &MergeWindow::merge);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MergeWindow::browse() {
  const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Laptop's Folder"), from_->text());
  if (!folder.isEmpty()) from_->setText(QDir::toNativeSeparators(folder));
}

void MergeWindow::merge() {
  ConflictWindowChooser chooser(this);
  fieldday::MergeOptions options;
  switch (clashes_->currentIndex()) {
    case AskEachTime: options.chooser = &chooser; break;
    case KeepLaptops: options.prefer = fieldday::Prefer::Source; break;
    case KeepHere: options.prefer = fieldday::Prefer::Target; break;
  }
  // The lines and the questions name a soldier by the SSN's last four
  // digits unless the clerk asked the test-day window for it whole.
  options.ssnShown = ssnShownFor(this);
  outcome_->clear();
  try {
    const fieldday::MergeReport report =
        fieldday::mergeFolder(QDir::fromNativeSeparators(from_->text().trimmed()), intoFolder_, options);
    QStringList lines = report.notes;
    for (const fieldday::MergeLine& line : report.lines) lines << line.text(options.ssnShown);
    outcome_->setPlainText(lines.join('\n'));
    summary_->setText(report.summary() + (report.count(fieldday::MergeLine::Kind::Stored) == 0
                                              ? QStringLiteral(": nothing to change.")
                                              : QStringLiteral(".")));
  } catch (const Error& e) {
    summary_->setText(QStringLiteral("Nothing was merged: ") + e.message());
  }
}

}  // namespace quillon
