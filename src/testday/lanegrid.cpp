#include "lanegrid.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
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

 protected:
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

LaneGrid::LaneGrid(const TestGroup& group, const QString& dbPath, QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("LaneGrid"));
  setWindowTitle(QStringLiteral("Lane Entry - %1 %2").arg(group.testDate, group.location));
  store_ = FitnessRecords::forDatabase(dbPath);
  store_->open();
  sheet_ = std::make_unique<LaneSheet>(group, *store_, undo_);

  auto* table = new LaneTable(kFirstSoldier + sheet_->size(), ColCount, this);
  grid_ = table;
  grid_->setObjectName(QStringLiteral("lanes"));
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
  table->revert = [this](int row, int column) { putBack(row, column); };
  table->clear = [this](int row, int column) { clearCell(row, column); };

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  QAction* undo = undo_.createUndoAction(this, QStringLiteral("&Undo"));
  undo->setShortcut(QKeySequence::Undo);
  undo->setObjectName(QStringLiteral("MNU_LANE_UNDO"));
  QAction* redo = undo_.createRedoAction(this, QStringLiteral("&Redo"));
  redo->setShortcut(QKeySequence::Redo);
  redo->setObjectName(QStringLiteral("MNU_LANE_REDO"));
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
}

LaneGrid::~LaneGrid() {
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
    if (const QString why = sheet_->setGrader(field, typed); !why.isEmpty()) return refuse(item, why);
    QScopedValueRollback guard(filling_, true);
    item->setText(sheet_->grader(field));
    item->setForeground(QPalette().text());
    item->setToolTip(QString());
    statusBar()->clearMessage();
    return;
  }
  // An emptied cell is not a value: Delete clears one, and the cell shows
  // the stored value again.
  const QString why = typed.trimmed().isEmpty() ? QString() : sheet_->enter(row - kFirstSoldier, field, typed);
  if (!why.isEmpty()) return refuse(item, why);
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
  const QString why = sheet_->clear(row - kFirstSoldier, field);
  if (!why.isEmpty()) return refuse(grid_->item(row, column), why);
  putBack(row, column);
}

void LaneGrid::refresh(int row) {
  QScopedValueRollback guard(filling_, true);
  const LaneLine line = sheet_->line(row - kFirstSoldier);
  for (int f = 0; f < kLaneFields; ++f) {
    QTableWidgetItem* item = grid_->item(row, f);
    // A refused cell keeps what was typed until the clerk corrects it.
    if (!item->toolTip().isEmpty() && item->text() != line.shown[f]) continue;
    item->setText(line.shown[f]);
    item->setForeground(QPalette().text());
    item->setToolTip(QString());
  }
  static const char* const events[fitness::kEvents] = {"MDL", "HRP", "SDC", "PLK", "Run"};
  QStringList points;
  for (int i = 0; i < fitness::kEvents; ++i)
    if (line.points[i] >= 0) points << QStringLiteral("%1 %2").arg(QLatin1String(events[i])).arg(line.points[i]);
  grid_->item(row, ColPoints)->setText(points.join(QStringLiteral("  ")));
  grid_->item(row, ColTotal)->setText(line.total ? QString::number(*line.total) : QString());
  grid_->item(row, ColResult)->setText(line.result);
  grid_->item(row, ColResult)->setForeground(line.result == QLatin1String("NO-GO") ? QBrush(Qt::red) : QPalette().text());
}

}  // namespace quillon
