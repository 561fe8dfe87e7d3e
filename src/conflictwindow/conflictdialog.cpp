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

namespace {
std::function<ConflictChoice(const StoreConflict&)>& answerSeam() {
  static std::function<ConflictChoice(const StoreConflict&)> answer;
  return answer;
}
}  // namespace

void setConflictAnswer(std::function<ConflictChoice(const StoreConflict&)> answer) { answerSeam() = std::move(answer); }

bool settleConflict(QWidget* parent, RecordStore& store, StoreConflict conflict, const QHash<int, QString>& ours,
                    const std::function<void()>& reload, const std::function<void(const QString&)>& report) {
  for (;;) {
    ConflictChoice choice = ConflictChoice::Undecided;
    if (answerSeam()) {
      choice = answerSeam()(conflict);
    } else {
      const int row = store.indexOfKey(conflict.key);
      const QString name = store.value(row, store.fieldIndex(QStringLiteral("LNAME")));
      const QString id = store.value(row, store.fieldIndex(QStringLiteral("ID")));
      const QString subject = name.trimmed().isEmpty() ? QStringLiteral("the record with ID %1").arg(id)
                                                       : QStringLiteral("the record of %1 (ID %2)").arg(name, id);
      ConflictDialog dialog(conflict, subject, parent);
      dialog.exec();
      choice = dialog.choice();
    }
    if (choice == ConflictChoice::Undecided) return false;
    try {
      applyConflictChoice(store, conflict, choice, ours);
    } catch (const ConflictError& again) {
      conflict = again.conflict();
      continue;
    } catch (const DbError& e) {
      report(e.message());
      return false;
    }
    if (choice == ConflictChoice::KeepTheirs) reload();
    return true;
  }
}

}  // namespace quillon
