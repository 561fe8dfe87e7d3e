// The main window's Edit menu: Undo and Redo walk through what the clerk did
// to the records in this run (deletions and stored changes of a row),
// newest first, and show the row each step touched.

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>

#include "mainform_session.h"
#include "recordgrid.h"

namespace quillon {

namespace {

// A box undoes its own typing first; once it has nothing left to undo, the
// same keys reach the Edit menu.
class BoxUndoKeys : public QObject {
 public:
  BoxUndoKeys(QObject* parent, QAction* undo, QAction* redo) : QObject(parent), undo_(undo), redo_(redo) {}

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::ShortcutOverride) return false;
    auto* box = qobject_cast<QLineEdit*>(o);
    const QKeySequence keys(static_cast<QKeyEvent*>(e)->keyCombination());
    const bool undo = keys == undo_->shortcut() && !box->isUndoAvailable();
    const bool redo = keys == redo_->shortcut() && !box->isRedoAvailable();
    if (!undo && !redo) return false;
    e->ignore();
    return true;
  }

 private:
  QAction* undo_;
  QAction* redo_;
};

// A name is shown as it is, also one holding "&".
QString menuSafe(const QString& text) {
  QString t = text;
  return t.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

void MainForm::createEditMenu() {
  auto* edit = new QMenu(QStringLiteral("&Edit"), this);
  menuBar()->insertMenu(MNU_HELP, edit);
  MNU_EDIT = edit->menuAction();
  MNU_EDIT->setObjectName(QStringLiteral("MNU_EDIT"));
  MNU_UNDO = edit->addAction(QStringLiteral("&Undo"), this, &MainForm::MNU_UNDO_Click);
  MNU_UNDO->setObjectName(QStringLiteral("MNU_UNDO"));
  MNU_UNDO->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  MNU_REDO = edit->addAction(QStringLiteral("&Redo"), this, &MainForm::MNU_REDO_Click);
  MNU_REDO->setObjectName(QStringLiteral("MNU_REDO"));
  MNU_REDO->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  connect(edit, &QMenu::aboutToShow, this, &MainForm::refreshEditMenu);
  connect(&history_->stack(), &QUndoStack::indexChanged, this, &MainForm::refreshEditMenu);
  auto* keys = new BoxUndoKeys(this, MNU_UNDO, MNU_REDO);
  for (QLineEdit* box : entryBoxes()) {
    box->installEventFilter(keys);
    connect(box, &QLineEdit::textChanged, this, &MainForm::refreshEditMenu);
  }
  refreshEditMenu();
}

bool MainForm::hasPendingChanges() const {
  if (TDBGrid1->isEditing()) return true;
  return shownKey_ >= 0 && shownKey_ != orphanKey_ && !controlChanges().isEmpty();
}

QString MainForm::shownSubject() const {
  const int row = Data1->indexOfKey(shownKey_);
  if (row < 0) return QString();
  return RecordHistory::subjectOf(Data1->value(row, Data1->fieldIndex(QStringLiteral("LNAME"))),
                                  Data1->value(row, Data1->fieldIndex(QStringLiteral("ID"))));
}

void MainForm::refreshEditMenu() {
  if (!MNU_UNDO || !history_) return;  // still being built
  using D = RecordHistory::Direction;
  // What is typed but not stored is stored first and is then the newest
  // step; while it is there nothing can be redone.
  const bool pending = hasPendingChanges();
  const QString undo = pending ? QStringLiteral("Change of ") + shownSubject() : history_->stepText(D::Back);
  const QString redo = pending ? QString() : history_->stepText(D::Forward);
  MNU_UNDO->setText(undo.isEmpty() ? QStringLiteral("&Undo") : QStringLiteral("&Undo ") + menuSafe(undo));
  MNU_REDO->setText(redo.isEmpty() ? QStringLiteral("&Redo") : QStringLiteral("&Redo ") + menuSafe(redo));
  MNU_UNDO->setEnabled(!undo.isEmpty());
  MNU_REDO->setEnabled(!redo.isEmpty());
}

void MainForm::MNU_UNDO_Click() { takeHistoryStep(RecordHistory::Direction::Back); }

void MainForm::MNU_REDO_Click() { takeHistoryStep(RecordHistory::Direction::Forward); }

void MainForm::takeHistoryStep(RecordHistory::Direction d) {
  using D = RecordHistory::Direction;
  if (d == D::Back) {
    if (!storeCurrentRow()) return;
  } else if (hasPendingChanges()) {
    return;
  }
  if (!history_->canStep(d)) return;
  const QString what = (d == D::Back ? QStringLiteral("Undo ") : QStringLiteral("Redo ")) + history_->stepText(d);
  const qint64 key = history_->stepKey(d);
  RecordHistory::Obstacle in;
  try {
    in = history_->check(d);
  } catch (const DbError& e) {
    reportDbError(e.message());
    return;
  }
  switch (in.kind) {
    case RecordHistory::Obstacle::None:
      break;
    case RecordHistory::Obstacle::Changed:
      if (!messages().askYesNo(QStringLiteral("%1: the record has been changed since (%2).\n\n"
                                              "Take the step anyway and overwrite that change?")
                                   .arg(what, in.fields.join(QStringLiteral(", "))),
                               QStringLiteral("Question")))
        return;
      break;
    case RecordHistory::Obstacle::Gone:
    case RecordHistory::Obstacle::Taken:
      messages().message(
          what + (in.kind == RecordHistory::Obstacle::Gone
                      ? QStringLiteral(": the record no longer exists in the database.")
                      : QStringLiteral(": another record now has its number, so it cannot be put back.")) +
              QStringLiteral("\n\nThe step has been taken out of the list."),
          kErrorTitle, MsgIcon::Exclamation);
      history_->drop(d);
      return;
  }
  const int wasAt = Data1->indexOfKey(key);
  bool done = false;
  {
    const QScopedValueRollback guard(syncing_, true);
    done = history_->step(d);
  }
  if (!done) reportDbError(history_->error());
  showAfterStep(key, wasAt);
}

void MainForm::showAfterStep(qint64 key, int wasAt) {
  int row = Data1->indexOfKey(key);
  if (row < 0) {
    const int n = Data1->rowCount();
    row = n == 0 ? -1 : std::min(std::max(wasAt, 0), n - 1);
  }
  {
    const QScopedValueRollback guard(syncing_, true);
    Data1->moveTo(row);
  }
  loadControls();
  syncGridToStore();
}

}  // namespace quillon
