#include "lanegrid.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTableWidget>
#include <functional>

#include "dbfile.h"

namespace quillon {

namespace {

// Read-only columns after the lanes, so Tab walks the lanes without a stop.
enum ReadOnly { ColPoints = kLaneFields, ColTotal, ColResult, ColCount };

// The first row holds each event lane's grader; the soldiers follow.
constexpr int kGraderRow = 0;
constexpr int kFirstSoldier = 1;

// Enter closes the editor with SubmitModelCache; here it moves down the
// lane instead, unless the value was refused, when the cell keeps the focus.
// Escape puts back the stored value, Delete on a cell not being edited
// clears it.
class LaneTable : public QTableWidget {
 public:
  LaneTable(int rows, int columns, QWidget* parent) : QTableWidget(rows, columns, parent) {}
  bool refused = false;
  std::function<void(int, int)> revert, clear;
  std::function<void(int, int)> retry;
  bool editingAt(int row, int column) const {
    return state() == EditingState && currentIndex().row() == row && currentIndex().column() == column;
  }

 protected:
  // The same text committed again changes no item, so it would never reach
  // the window: a value whose store failed is tried again this way.
  void commitData(QWidget* editor) override {
    const QModelIndex at = currentIndex();
    QTableWidgetItem* it = item(at.row(), at.column());
    const QString before = it ? it->text() : QString();
    QTableWidget::commitData(editor);
    if (it && !it->toolTip().isEmpty() && it->text() == before && retry) retry(at.row(), at.column());
  }
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override {
    const QModelIndex at = currentIndex();
    if (hint == QAbstractItemDelegate::RevertModelCache) {
      QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
      refused = false;
      revert(at.row(), at.column());
      return;
    }
    if (refused) {
      QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
      setCurrentIndex(at);
      return;
    }
    if (hint == QAbstractItemDelegate::SubmitModelCache) {
      QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
      if (at.row() + 1 < rowCount()) setCurrentCell(at.row() + 1, at.column());
      else QApplication::beep();
      return;
    }
    QTableWidget::closeEditor(editor, hint);
  }
  void keyPressEvent(QKeyEvent* event) override {
    const QModelIndex at = currentIndex();
    if (state() != EditingState && at.isValid() && event->modifiers() == Qt::NoModifier) {
      if (event->key() == Qt::Key_Escape) {
        refused = false;
        return revert(at.row(), at.column());
      }
      if (event->key() == Qt::Key_Delete) {
        refused = false;
        return clear(at.row(), at.column());
      }
    }
    QTableWidget::keyPressEvent(event);
  }
};

}  // namespace

// The clerk's choice on a lane another station changed: each clashing
// field with their value and ours, Keep theirs or Store mine; closing it
// chooses neither and what was typed stays.
class LaneGrid::ClashDialog : public LaneClashChooser {
 public:
  explicit ClashDialog(QWidget* parent) : parent_(parent) {}
  ConflictChoice choose(const QString& subject, const StoreConflict& conflict) override {
    QStringList lines;
    for (const FieldClash& c : conflict.clashes)
      lines << QStringLiteral("%1: theirs \"%2\", yours \"%3\"").arg(c.field, c.theirs, c.changedByUs ? c.ours : c.theirs);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Changed at another station"),
                    QStringLiteral("Another station changed %1 after it was read here, so nothing was stored.\n\n%2\n\n"
                                   "Keep their values, or store yours over them.")
                        .arg(subject, lines.join(QLatin1Char('\n'))),
                    QMessageBox::Cancel, parent_);
    box.setObjectName(QStringLiteral("laneClash"));
    QPushButton* keep = box.addButton(QStringLiteral("&Keep theirs"), QMessageBox::RejectRole);
    QPushButton* mine = box.addButton(QStringLiteral("&Store mine"), QMessageBox::AcceptRole);
    keep->setObjectName(QStringLiteral("keepTheirs"));
    mine->setObjectName(QStringLiteral("storeMine"));
    box.exec();
    if (box.clickedButton() == keep) return ConflictChoice::KeepTheirs;
    if (box.clickedButton() == mine) return ConflictChoice::StoreOurs;
    return ConflictChoice::Undecided;
  }

 private:
  QWidget* parent_;
};

LaneGrid::LaneGrid(const TestGroup& group, const QString& dbPath, QWidget* parent)
    : LaneGrid(group, FitnessRecords::forDatabase(dbPath), parent) {}

LaneGrid::LaneGrid(const TestGroup& group, std::unique_ptr<FitnessRecords> store, QWidget* parent)
    : QMainWindow(parent), store_(std::move(store)) {
  setObjectName(QStringLiteral("LaneGrid"));
  setWindowTitle(QStringLiteral("Lane Entry - %1 %2").arg(group.testDate, group.location));
  store_->open();
  sheet_ = std::make_unique<LaneSheet>(group, *store_, undo_);
  dialog_ = std::make_unique<ClashDialog>(this);
  sheet_->setClashChooser(dialog_.get());

  auto* table = new LaneTable(kFirstSoldier + sheet_->size(), ColCount, this);
  grid_ = table;
  grid_->setObjectName(QStringLiteral("lanes"));
  grid_->setAccessibleName(QStringLiteral("Lanes"));
  QStringList headers;
  for (int f = 0; f < kLaneFields; ++f) headers << laneCaption(static_cast<LaneField>(f));
  headers << QStringLiteral("Points") << QStringLiteral("Total") << QStringLiteral("Result");
  grid_->setHorizontalHeaderLabels(headers);
  QStringList names{QStringLiteral("Grader")};
  for (const GroupMember& m : group.members) names << m.name;
  grid_->setVerticalHeaderLabels(names);
  for (int c = 0; c < ColCount; ++c) grid_->setColumnWidth(c, c == ColPoints ? 260 : c == kEventLanes - 1 ? 92 : 64);
  grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::DoubleClicked);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int r = 0; r < grid_->rowCount(); ++r) {
    for (int c = 0; c < ColCount; ++c) {
      auto* item = new QTableWidgetItem;
      const bool readOnly = c >= kLaneFields || (r == kGraderRow && !hasGrader(static_cast<LaneField>(c)));
      if (readOnly) item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      grid_->setItem(r, c, item);
    }
    if (r >= kFirstSoldier) refresh(r);
  }
  {
    QScopedValueRollback guard(filling_, true);
    for (int c = 0; c < kEventLanes; ++c) {
      grid_->item(kGraderRow, c)->setText(sheet_->grader(static_cast<LaneField>(c)));
      grid_->item(kGraderRow, c)->setToolTip(QString());
    }
  }
  setCentralWidget(grid_);
  connect(grid_, &QTableWidget::itemChanged, this, [this, table](QTableWidgetItem* item) {
    if (filling_ || item->column() >= kLaneFields) return;
    table->refused = false;
    accept(item->row(), item->column());
    table->refused = !item->toolTip().isEmpty();
  });
  table->retry = [this, table](int row, int column) {
    table->refused = false;
    accept(row, column);
    table->refused = !grid_->item(row, column)->toolTip().isEmpty();
  };
  table->revert = [this](int row, int column) { putBack(row, column); };
  table->clear = [this](int row, int column) { clearCell(row, column); };
  editing_ = [table](int row, int column) { return table->editingAt(row, column); };

  // Undo and Redo go through the sheet, so a step refused by another
  // station's change leaves the stack where it stood.
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  auto* undo = new QAction(QStringLiteral("&Undo"), this);
  undo->setShortcut(QKeySequence::Undo);
  undo->setObjectName(QStringLiteral("MNU_LANE_UNDO"));
  undo->setEnabled(false);
  connect(undo, &QAction::triggered, this, [this] { sheet_->undo(); });
  connect(&undo_, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
  connect(&undo_, &QUndoStack::undoTextChanged, undo, [undo](const QString& step) {
    undo->setText(step.isEmpty() ? QStringLiteral("&Undo") : QStringLiteral("&Undo %1").arg(step));
  });
  auto* redo = new QAction(QStringLiteral("&Redo"), this);
  redo->setShortcut(QKeySequence::Redo);
  redo->setObjectName(QStringLiteral("MNU_LANE_REDO"));
  redo->setEnabled(false);
  connect(redo, &QAction::triggered, this, [this] { sheet_->redo(); });
  connect(&undo_, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
  connect(&undo_, &QUndoStack::redoTextChanged, redo, [redo](const QString& step) {
    redo->setText(step.isEmpty() ? QStringLiteral("&Redo") : QStringLiteral("&Redo %1").arg(step));
  });
  edit->addAction(undo);
  edit->addAction(redo);
  // An undone or redone step changes a stored value: every line is shown
  // again from the records.
  connect(&undo_, &QUndoStack::indexChanged, this, [this] {
    for (int r = kFirstSoldier; r < grid_->rowCount(); ++r) refresh(r);
    if (!sheet_->stepProblem().isEmpty()) statusBar()->showMessage(sheet_->stepProblem());
  });
  statusBar();
  resize(1100, 420);
  grid_->setCurrentCell(kFirstSoldier, 0);
  // Light enough for a records server: one read of each soldier's record,
  // and a line shown again only where its row version moved.
  poll_.setInterval(2000);
  connect(&poll_, &QTimer::timeout, this, &LaneGrid::showOthersValues);
  poll_.start();
}

LaneGrid::~LaneGrid() {
  poll_.stop();
  QObject::disconnect(grid_, nullptr, this, nullptr);
  QObject::disconnect(&undo_, nullptr, this, nullptr);
}

void LaneGrid::refuse(QTableWidgetItem* item, const QString& why) {
  QScopedValueRollback guard(filling_, true);
  item->setForeground(Qt::red);
  item->setToolTip(why);
  statusBar()->showMessage(why);
}

void LaneGrid::accept(int row, int column) {
  QTableWidgetItem* item = grid_->item(row, column);
  const QString typed = item->text();
  const auto field = static_cast<LaneField>(column);
  if (row == kGraderRow) {
    const QString why = sheet_->setGrader(field, typed);
    // Initials refused stay to be corrected; initials taken whose filling
    // in of earlier values failed stand, and the failure is told.
    if (!why.isEmpty() && sheet_->grader(field) != typed.trimmed().toUpper()) return refuse(item, why);
    {
      QScopedValueRollback guard(filling_, true);
      item->setText(sheet_->grader(field));
      item->setForeground(QPalette().text());
      item->setToolTip(QString());
    }
    if (why.isEmpty()) statusBar()->clearMessage();
    else statusBar()->showMessage(why);
    for (int r = kFirstSoldier; r < grid_->rowCount(); ++r) refresh(r);
    return;
  }
  // An emptied cell is not a value: Delete clears one, and the cell shows
  // the stored value again.
  if (!typed.trimmed().isEmpty()) {
    const LaneEntry entry = sheet_->score(row - kFirstSoldier, field, typed);
    if (!entry.error.isEmpty()) return refuse(item, entry.error);
    // The points are on the screen before the disk is asked; the store is
    // made before this returns, so no further key is taken until it is
    // durable, and a failed one takes the points back.
    const std::array<QString, 3> shownBefore = scoreCells(row);
    showScore(row, entry.line);
    grid_->viewport()->repaint(
        grid_->visualItemRect(grid_->item(row, ColPoints)).united(grid_->visualItemRect(grid_->item(row, ColResult))));
    emit pointsShown(row);
    QScopedValueRollback storing(storing_, true);
    if (QString why = sheet_->store(entry); !why.isEmpty()) {
      putScoreCells(row, shownBefore);
      if (!why.startsWith(laneCaption(field)))
        why = QStringLiteral("%1 of %2: \"%3\" was not stored. %4")
                  .arg(laneCaption(field), grid_->verticalHeaderItem(row)->text(), typed, why);
      return refuse(item, why);
    }
  }
  statusBar()->clearMessage();
  {
    // Accepted: the cell shows the stored value again, however it was typed.
    QScopedValueRollback guard(filling_, true);
    item->setToolTip(QString());
  }
  refresh(row);
}

void LaneGrid::putBack(int row, int column) {
  if (row < 0 || column < 0 || column >= kLaneFields) return;
  QTableWidgetItem* item = grid_->item(row, column);
  {
    QScopedValueRollback guard(filling_, true);
    item->setToolTip(QString());
    item->setForeground(QPalette().text());
    if (row == kGraderRow) item->setText(sheet_->grader(static_cast<LaneField>(column)));
  }
  statusBar()->clearMessage();
  if (row >= kFirstSoldier) refresh(row);
}

void LaneGrid::clearCell(int row, int column) {
  if (row < 0 || column < 0 || column >= kLaneFields) return;
  const auto field = static_cast<LaneField>(column);
  if (row == kGraderRow) {
    if (!hasGrader(field)) return;
    sheet_->setGrader(field, QString());
    return putBack(row, column);
  }
  QScopedValueRollback storing(storing_, true);
  const QString why = sheet_->clear(row - kFirstSoldier, field);
  if (!why.isEmpty()) return refuse(grid_->item(row, column), why);
  putBack(row, column);
}

void LaneGrid::showOthersValues() {
  // Not while an entry is in hand (its clash window waits for the clerk):
  // the entry reads the record itself.
  if (storing_) return;
  QList<int> changed;
  try {
    changed = sheet_->readChanges();
  } catch (const DbError& e) {
    statusBar()->showMessage(QStringLiteral("Other stations' values could not be read: %1").arg(e.message()));
    return;
  }
  for (int member : changed) refresh(kFirstSoldier + member, true);
}

std::array<QString, 3> LaneGrid::scoreCells(int row) const {
  return {grid_->item(row, ColPoints)->text(), grid_->item(row, ColTotal)->text(), grid_->item(row, ColResult)->text()};
}

void LaneGrid::putScoreCells(int row, const std::array<QString, 3>& texts) {
  QScopedValueRollback guard(filling_, true);
  grid_->item(row, ColPoints)->setText(texts[0]);
  grid_->item(row, ColTotal)->setText(texts[1]);
  grid_->item(row, ColResult)->setText(texts[2]);
  grid_->item(row, ColResult)->setForeground(texts[2] == QLatin1String("NO-GO") ? QBrush(Qt::red) : QPalette().text());
}

void LaneGrid::showScore(int row, const LaneLine& line) {
  static const char* const events[fitness::kEvents] = {"MDL", "HRP", "SDC", "PLK", "Run"};
  QStringList points;
  for (int i = 0; i < fitness::kEvents; ++i)
    if (line.points[i] >= 0) points << QStringLiteral("%1 %2").arg(QLatin1String(events[i])).arg(line.points[i]);
  putScoreCells(row, {points.join(QStringLiteral("  ")), line.total ? QString::number(*line.total) : QString(),
                      line.result});
}

void LaneGrid::refresh(int row, bool sparingTheEditor) {
  QScopedValueRollback guard(filling_, true);
  const LaneLine line = sheet_->line(row - kFirstSoldier);
  for (int f = 0; f < kLaneFields; ++f) {
    // What is being typed is the clerk's until accepted.
    if (sparingTheEditor && editing_(row, f)) continue;
    QTableWidgetItem* item = grid_->item(row, f);
    // A refused cell keeps what was typed until the clerk corrects it.
    if (!item->toolTip().isEmpty() && item->text() != line.shown[f]) continue;
    item->setText(line.shown[f]);
    item->setForeground(QPalette().text());
    item->setToolTip(QString());
  }
  showScore(row, line);
}

}  // namespace quillon
