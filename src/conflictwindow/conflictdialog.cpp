#include "conflictdialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillon {

ConflictDialog::ConflictDialog(const StoreConflict& conflict, const QString& subject, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)) {
  setObjectName(QStringLiteral("ConflictDialog"));
  setWindowTitle(QStringLiteral("Changed at another station"));
  auto* text = new QLabel(QStringLiteral("Another station changed %1 after it was read here, so nothing was stored.\n"
                                         "Keep their values, or store yours over them (their changes to fields you "
                                         "left alone stay either way).")
                              .arg(subject),
                          this);
  text->setWordWrap(true);

  table_->setObjectName(QStringLiteral("clashes"));
  table_->setAccessibleName(QStringLiteral("Fields changed at both stations"));
  table_->setColumnCount(3);
  table_->setHorizontalHeaderLabels({QStringLiteral("Field"), QStringLiteral("Theirs"), QStringLiteral("Yours")});
  table_->setRowCount(static_cast<int>(conflict.clashes.size()));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  for (int i = 0; i < conflict.clashes.size(); ++i) {
    const FieldClash& c = conflict.clashes.at(i);
    table_->setItem(i, 0, new QTableWidgetItem(c.field));
    table_->setItem(i, 1, new QTableWidgetItem(c.theirs));
    // A field the clerk left alone keeps their value whatever is chosen.
    table_->setItem(i, 2, new QTableWidgetItem(c.changedByUs ? c.ours : QStringLiteral("(theirs kept)")));
  }

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* keep = buttons->addButton(QStringLiteral("&Keep theirs"), QDialogButtonBox::RejectRole);
  QPushButton* store = buttons->addButton(QStringLiteral("&Store mine"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  keep->setObjectName(QStringLiteral("keepTheirs"));
  store->setObjectName(QStringLiteral("storeMine"));
  connect(keep, &QPushButton::clicked, this, [this] {
    choice_ = ConflictChoice::KeepTheirs;
    done(QDialog::Accepted);
  });
  connect(store, &QPushButton::clicked, this, [this] {
    choice_ = ConflictChoice::StoreOurs;
    done(QDialog::Accepted);
  });
  connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(table_);
  layout->addWidget(buttons);
}

ConflictChoice ConflictWindowChooser::choose(const QString& subject, const StoreConflict& conflict) {
  if (beforeAsking_) beforeAsking_(subject);
  ConflictDialog dialog(conflict, subject, parent_);
  dialog.exec();
  return dialog.choice();
}

}  // namespace quillon
