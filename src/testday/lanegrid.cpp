#include "lanegrid.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTableWidget>

#include "dbfile.h"

namespace quillon {

namespace {

// Read-only columns after the lanes, so Tab walks the lanes without a stop.
enum ReadOnly { ColPoints = kLaneFields, ColTotal, ColResult, ColCount };

// Enter closes the editor with SubmitModelCache; here it moves down the
// lane instead, unless the value was refused, when the cell keeps the focus.
class LaneTable : public QTableWidget {
 public:
  LaneTable(int rows, int columns, QWidget* parent) : QTableWidget(rows, columns, parent) {}
  bool refused = false;

 protected:
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override {
    const QModelIndex at = currentIndex();
    if (refused && hint != QAbstractItemDelegate::RevertModelCache) {
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
};

}  // namespace

LaneGrid::LaneGrid(const TestGroup& group, const QString& dbPath, QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("LaneGrid"));
  setWindowTitle(QStringLiteral("Lane Entry - %1 %2").arg(group.testDate, group.location));
  store_ = FitnessRecords::forDatabase(dbPath);
  store_->open();
  sheet_ = std::make_unique<LaneSheet>(group, *store_, undo_);

  auto* table = new LaneTable(sheet_->size(), ColCount, this);
  grid_ = table;
  grid_->setObjectName(QStringLiteral("lanes"));
  QStringList headers;
  for (int f = 0; f < kLaneFields; ++f) headers << laneCaption(static_cast<LaneField>(f));
  headers << QStringLiteral("Points") << QStringLiteral("Total") << QStringLiteral("Result");
  grid_->setHorizontalHeaderLabels(headers);
  QStringList names;
  for (const GroupMember& m : group.members) names << m.name;
  grid_->setVerticalHeaderLabels(names);
  for (int c = 0; c < ColCount; ++c) grid_->setColumnWidth(c, c == ColPoints ? 300 : 64);
  grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::DoubleClicked);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int r = 0; r < sheet_->size(); ++r) {
    for (int c = 0; c < ColCount; ++c) {
      auto* item = new QTableWidgetItem;
      if (c >= kLaneFields) item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      grid_->setItem(r, c, item);
    }
    refresh(r);
  }
  setCentralWidget(grid_);
  connect(grid_, &QTableWidget::itemChanged, this, [this, table](QTableWidgetItem* item) {
    if (filling_ || item->column() >= kLaneFields) return;
    table->refused = false;
    accept(item->row(), item->column());
    table->refused = !item->toolTip().isEmpty();
  });

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
    for (int r = 0; r < sheet_->size(); ++r) refresh(r);
  });
  statusBar();
  resize(900, 420);
  grid_->setCurrentCell(0, 0);
}

LaneGrid::~LaneGrid() {
  QObject::disconnect(grid_, nullptr, this, nullptr);
  QObject::disconnect(&undo_, nullptr, this, nullptr);
}

void LaneGrid::accept(int row, int column) {
  QTableWidgetItem* item = grid_->item(row, column);
  const QString typed = item->text();
  const QString why = typed.trimmed().isEmpty() ? QString() : sheet_->enter(row, static_cast<LaneField>(column), typed);
  if (!why.isEmpty()) {
    QScopedValueRollback guard(filling_, true);
    item->setForeground(Qt::red);
    item->setToolTip(why);
    statusBar()->showMessage(why);
    return;
  }
  statusBar()->clearMessage();
  {
    // Accepted: the cell shows the stored value again, however it was typed.
    QScopedValueRollback guard(filling_, true);
    item->setToolTip(QString());
  }
  refresh(row);
}

void LaneGrid::refresh(int row) {
  QScopedValueRollback guard(filling_, true);
  const LaneLine line = sheet_->line(row);
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
