#include "lanegrid.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QStatusBar>
#include <functional>

#include "closekeys.h"
#include "conflictdialog.h"
#include "dbfile.h"
#include "lanegridcells.h"
#include "lanegridtable.h"

namespace quillon {

namespace {

// Read-only columns after the lanes, so Tab walks the lanes without a stop.
enum ReadOnly { ColPoints = kLaneFields, ColTotal, ColResult, ColCount };

// The first row holds each event lane's grader; the soldiers follow.
constexpr int kGraderRow = 0;
constexpr int kFirstSoldier = 1;

// Whether two lines earn the same points, total and result.
bool sameScore(const LaneLine& a, const LaneLine& b) {
  return a.points == b.points && a.total == b.total && a.result == b.result;
}

// The events as the Points column names them.
const char* const kEventNames[fitness::kEvents] = {"MDL", "HRP", "SDC", "PLK", "Run"};

}  // namespace

LaneGrid::LaneGrid(const TestGroup& group, const QString& dbPath, QWidget* parent)
    : LaneGrid(group, FitnessRecords::forDatabase(dbPath), parent) {}

LaneGrid::LaneGrid(const TestGroup& group, std::unique_ptr<FitnessRecords> store, QWidget* parent)
    : QMainWindow(parent), store_(std::move(store)) {
  setObjectName(QStringLiteral("LaneGrid"));
  setWindowTitle(QStringLiteral("Lane Entry - %1 %2").arg(group.testDate, group.location));
  store_->open();
  {
    // Among a division's records the group's are found one index leaf
    // each, a page read once: kept, they would fill the engine's cache and
    // stay for as long as the window is open.
    store_->holdCacheSmall(true);
    const auto letGo = qScopeGuard([this] { store_->holdCacheSmall(false); });
    sheet_ = std::make_unique<LaneSheet>(group, *store_, undo_);
  }

  QStringList headers;
  for (int f = 0; f < kLaneFields; ++f) headers << laneCaption(static_cast<LaneField>(f));
  headers << QStringLiteral("Points") << QStringLiteral("Total") << QStringLiteral("Result");
  QStringList names{QStringLiteral("Grader")};
  for (const GroupMember& m : group.members) names << m.name;
  std::vector<bool> graded;
  std::vector<int> events;
  for (int c = 0; c < ColCount; ++c) graded.push_back(c < kLaneFields && hasGrader(static_cast<LaneField>(c)));
  for (int f = 0; f < kLaneFields; ++f) events.push_back(laneEvent(static_cast<LaneField>(f)));
  cells_ = new LaneCells(names, headers, kLaneFields, graded, this);
  cells_->setLaneEvents(events);
  // A soldier's line is written when the view first asks for it: opening a
  // group costs the rows on the screen, not the group.
  for (int c = 0; c < kEventLanes; ++c) cells_->at(kGraderRow, c).setText(sheet_->grader(static_cast<LaneField>(c)));
  cells_->fillWhenAsked([this](int row) {
    if (row >= kFirstSoldier) refresh(row);
  });
  auto* table = new LaneTable(cells_, this);
  cells_->setParent(table);
  grid_ = table;
  grid_->setObjectName(QStringLiteral("lanes"));
  grid_->setAccessibleName(QStringLiteral("Lanes of %1 %2").arg(group.testDate, group.location));
  grid_->setAccessibleDescription(
      QStringLiteral("One row a soldier, one column a lane, the graders' initials in the first row. Enter stores "
                     "the value and moves down the lane, Tab moves across, Escape puts back the stored value, "
                     "Delete clears it."));
  // The question is the clerk's to answer, never a key typed ahead of it.
  dialog_ = std::make_unique<ConflictWindowChooser>(this, [table](const QString& subject) {
    table->stopBurst(QStringLiteral("%1 was changed at another station: asked what to keep.").arg(subject));
  });
  sheet_->setClashChooser(dialog_.get());
  grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::DoubleClicked);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  setCentralWidget(grid_);
  connect(cells_, &LaneCells::typed, this, [this, table](int row, int column) {
    if (filling_ || column >= kLaneFields) return;
    table->refused = false;
    accept(row, column);
    table->refused = !cells_->toolTip(row, column).isEmpty();
  });
  table->retry = [this, table](int row, int column) {
    table->refused = false;
    accept(row, column);
    table->refused = !cells_->toolTip(row, column).isEmpty();
  };
  table->heldBack = [this](const QString& why, const QStringList& held) { tellHeld(why, held); };
  table->revert = [this](int row, int column) { putBack(row, column); };
  table->clear = [this](int row, int column) { clearCell(row, column); };
  editing_ = [table](int row, int column) { return table->editingAt(row, column); };

  // Undo and Redo go through the sheet, so a step refused by another
  // station's change leaves the stack where it stood.
  // Escape belongs to the cell (it puts back the stored value), so the
  // window closes from the keyboard through File > Close.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* closeWindow = file->addAction(QStringLiteral("&Close"));
  closeWindow->setObjectName(QStringLiteral("MNU_LANE_CLOSE"));
  closeWindow->setShortcuts(windowCloseKeys());
  connect(closeWindow, &QAction::triggered, this, &QWidget::close);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  auto* undo = new QAction(QStringLiteral("&Undo"), this);
  undo->setShortcut(QKeySequence::Undo);
  undo->setObjectName(QStringLiteral("MNU_LANE_UNDO"));
  undo->setEnabled(false);
  connect(undo, &QAction::triggered, this, [this] { takeStep(UndoHistory::Direction::Back); });
  connect(&undo_, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
  connect(&undo_, &QUndoStack::undoTextChanged, undo, [undo](const QString& step) {
    undo->setText(step.isEmpty() ? QStringLiteral("&Undo") : QStringLiteral("&Undo %1").arg(step));
  });
  auto* redo = new QAction(QStringLiteral("&Redo"), this);
  redo->setShortcut(QKeySequence::Redo);
  redo->setObjectName(QStringLiteral("MNU_LANE_REDO"));
  redo->setEnabled(false);
  connect(redo, &QAction::triggered, this, [this] { takeStep(UndoHistory::Direction::Forward); });
  connect(&undo_, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
  connect(&undo_, &QUndoStack::redoTextChanged, redo, [redo](const QString& step) {
    redo->setText(step.isEmpty() ? QStringLiteral("&Redo") : QStringLiteral("&Redo %1").arg(step));
  });
  edit->addAction(undo);
  edit->addAction(redo);
  // An undone or redone step changes a stored value: every line is shown
  // again from the records.
  connect(&undo_, &QUndoStack::indexChanged, this, [this] {
    // An entry's own step: its line is shown by accept().
    if (storing_) return;
    refreshAll();
  });
  statusBar();
  fitColumns();
  grid_->setCurrentCell(kFirstSoldier, 0);
  // Light enough for fifty stations on one records server: one read asks
  // what changed in the group since the last, and a line is shown again
  // only where its row version moved.
  poll_.setInterval(2000);
  connect(&poll_, &QTimer::timeout, this, &LaneGrid::showOthersValues);
  poll_.start();
}

void LaneGrid::takeStep(UndoHistory::Direction d) {
  // A step may ask about another station's change: the poll waits.
  {
    QScopedValueRollback stepping(stepping_, true);
    if (d == UndoHistory::Direction::Back)
      sheet_->undo();
    else
      sheet_->redo();
  }
  // A refused step leaves the history where it stood; the lines show what
  // the records hold now, and the status bar why nothing was stored.
  if (sheet_->stepProblem().isEmpty()) return;
  refreshAll();
  statusBar()->showMessage(sheet_->stepProblem());
}

void LaneGrid::refreshAll() {
  for (int r = kFirstSoldier; r < grid_->rowCount(); ++r) refresh(r);
}

LaneGrid::~LaneGrid() {
  poll_.stop();
  // The cells outlive the sheet their rows would be written from.
  cells_->fillWhenAsked(nullptr);
  QObject::disconnect(cells_, nullptr, this, nullptr);
  QObject::disconnect(&undo_, nullptr, this, nullptr);
}

void LaneGrid::refuse(int row, int column, const QString& why) {
  {
    QScopedValueRollback guard(filling_, true);
    LaneCells::Ref cell = cells_->at(row, column);
    cell.setRed(true);
    cell.setToolTip(why);
  }
  statusBar()->showMessage(why);
  describe(row);
}

void LaneGrid::settleStatus() {
  if (!grid_->holdingTyped()) statusBar()->clearMessage();
}

void LaneGrid::tellHeld(const QString& why, const QStringList& held) {
  QStringList values;
  for (const QString& h : held) values << QLatin1Char('"') + h + QLatin1Char('"');
  const QString told = QStringLiteral("%1%2Typed after it and not entered: %3.")
                           .arg(why, why.isEmpty() || why.endsWith(QLatin1Char('.')) ? QStringLiteral(" ")
                                                                                     : QStringLiteral(". "),
                                values.join(QStringLiteral(", ")));
  statusBar()->showMessage(told.trimmed());
  // A refused value the burst stopped at says it too, until corrected.
  const QModelIndex at = grid_->currentIndex();
  if (!at.isValid() || at.column() >= kLaneFields || cells_->toolTip(at.row(), at.column()).isEmpty()) return;
  {
    QScopedValueRollback guard(filling_, true);
    cells_->at(at.row(), at.column()).setToolTip(told.trimmed());
  }
  describe(at.row());
}

void LaneGrid::accept(int row, int column) {
  LaneCells::Ref item = cells_->at(row, column);
  const QString typed = item.text();
  const auto field = static_cast<LaneField>(column);
  if (row == kGraderRow) {
    const QString why = sheet_->setGrader(field, typed);
    // Initials refused stay to be corrected; initials taken whose filling
    // in of earlier values failed stand, and the failure is told.
    if (!why.isEmpty() && sheet_->grader(field) != typed.trimmed().toUpper()) return refuse(row, column, why);
    {
      QScopedValueRollback guard(filling_, true);
      item.setText(sheet_->grader(field));
      item.setRed(false);
      item.setToolTip(QString());
    }
    if (why.isEmpty()) settleStatus();
    else statusBar()->showMessage(why);
    for (int r = kFirstSoldier; r < grid_->rowCount(); ++r) refresh(r);
    return;
  }
  // An emptied cell is not a value: Delete clears one, and the cell shows
  // the stored value again.
  LaneEntry entry;
  std::optional<LaneLine> painted;
  if (!typed.trimmed().isEmpty()) {
    entry = sheet_->score(row - kFirstSoldier, field, typed);
    if (!entry.error.isEmpty()) return refuse(row, column, entry.error);
    // The points are on the screen before the disk is asked; the store is
    // made before this returns, so no further key is taken until it is
    // durable, and a failed one takes the points back.
    const std::array<QString, 3> shownBefore = scoreCells(row);
    showScore(row, entry.line);
    painted = entry.line;
    grid_->viewport()->repaint(
        grid_->visualRect(cells_->index(row, ColPoints)).united(grid_->visualRect(cells_->index(row, ColResult))));
    emit pointsShown(row);
    QScopedValueRollback storing(storing_, true);
    if (QString why = sheet_->store(entry); !why.isEmpty()) {
      putScoreCells(row, shownBefore);
      describe(row);
      if (!why.startsWith(laneCaption(field)))
        why = QStringLiteral("%1 of %2: \"%3\" was not stored. %4")
                  .arg(laneCaption(field), cells_->rowName(row), typed, why);
      return refuse(row, column, why);
    }
    emit valueStored(row);
  }
  settleStatus();
  {
    // Accepted: the cell shows the stored value again, however it was typed.
    QScopedValueRollback guard(filling_, true);
    item.setToolTip(QString());
  }
  if (typed.trimmed().isEmpty()) return refresh(row);
  // The points are on the screen already; painted again only where the
  // stored line came out otherwise (another lane of the soldier stored
  // meanwhile).
  refresh(row, false, &painted);
}

void LaneGrid::putBack(int row, int column) {
  if (row < 0 || column < 0 || column >= kLaneFields) return;
  LaneCells::Ref item = cells_->at(row, column);
  {
    QScopedValueRollback guard(filling_, true);
    item.setToolTip(QString());
    item.setRed(false);
    if (row == kGraderRow) item.setText(sheet_->grader(static_cast<LaneField>(column)));
  }
  settleStatus();
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
  if (!why.isEmpty()) return refuse(row, column, why);
  putBack(row, column);
}

void LaneGrid::showOthersValues() {
  // Not while an entry is in hand (its clash window waits for the clerk):
  // the entry reads the record itself.
  if (storing_ || stepping_) return;
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
  return {cells_->text(row, ColPoints), cells_->text(row, ColTotal), cells_->text(row, ColResult)};
}

void LaneGrid::putScoreCells(int row, const std::array<QString, 3>& texts) {
  QScopedValueRollback guard(filling_, true);
  cells_->at(row, ColPoints).setText(texts[0]);
  cells_->at(row, ColTotal).setText(texts[1]);
  cells_->at(row, ColResult).setText(texts[2]);
  cells_->at(row, ColResult).setRed(texts[2] == QLatin1String("NO-GO"));
}

void LaneGrid::showScore(int row, const LaneLine& line) {
  QStringList points;
  for (int i = 0; i < fitness::kEvents; ++i)
    if (line.points[i] >= 0) points << QStringLiteral("%1 %2").arg(QLatin1String(kEventNames[i])).arg(line.points[i]);
  putScoreCells(row, {points.join(QStringLiteral("  ")), line.total ? QString::number(*line.total) : QString(),
                      line.result});
  describeRow(row, line);
}

void LaneGrid::describe(int row) {
  if (row != kGraderRow) describeRow(row, sheet_->line(row - kFirstSoldier));
}

// What a screen reader says of each cell is made when asked (LaneCells),
// from the cells and the points the soldier's line earns.
void LaneGrid::describeRow(int row, const LaneLine& line) { cells_->setPoints(row, line.points); }

// Each column as wide as the widest text it shows, on one line, and the
// window as wide as the columns where the screen has the room.
void LaneGrid::fitColumns() {
  grid_->setWordWrap(false);
  const QFontMetrics fm(grid_->font());
  const int margin =
      2 * (grid_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid_) + 1) + fm.averageCharWidth();
  QString points;
  for (const char* event : kEventNames) points += QStringLiteral("%1 000  ").arg(QLatin1String(event));
  int total = 0;
  for (int c = 0; c < ColCount; ++c) {
    QString widest;
    if (c < kLaneFields) widest = laneWidest(static_cast<LaneField>(c));
    else if (c == ColPoints) widest = points.trimmed();
    else if (c == ColTotal) widest = QStringLiteral("000");
    else widest = QStringLiteral("NO-GO");
    const int width = std::max(grid_->horizontalHeader()->sectionSizeHint(c), fm.horizontalAdvance(widest) + margin);
    grid_->setColumnWidth(c, width);
    total += width;
  }
  grid_->horizontalHeader()->setStretchLastSection(true);
  // A line of text and the item's margins above and below, however large
  // the desktop's font.
  const int lineHigh = fm.height() + 2 * (grid_->style()->pixelMetric(QStyle::PM_FocusFrameVMargin, nullptr, grid_) + 1);
  grid_->verticalHeader()->setDefaultSectionSize(std::max(grid_->verticalHeader()->defaultSectionSize(), lineHigh + 2));
  const int frame = 2 * grid_->frameWidth();
  const int wide = grid_->verticalHeader()->sizeHint().width() + total + frame +
                   style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
  const int high = menuBar()->sizeHint().height() + grid_->horizontalHeader()->sizeHint().height() +
                   grid_->rowCount() * grid_->verticalHeader()->defaultSectionSize() + frame +
                   statusBar()->sizeHint().height();
  const QRect room = screen()->availableGeometry();
  resize(std::min(wide, room.width()), std::min(std::max(high, 420), room.height()));
}

void LaneGrid::refresh(int row, bool sparingTheEditor, const std::optional<LaneLine>* shown) {
  if (!cells_->written(row)) return;
  QScopedValueRollback guard(filling_, true);
  const LaneLine line = sheet_->line(row - kFirstSoldier);
  for (int f = 0; f < kLaneFields; ++f) {
    // What is being typed is the clerk's until accepted.
    if (sparingTheEditor && editing_(row, f)) continue;
    LaneCells::Ref item = cells_->at(row, f);
    // A refused cell keeps what was typed until the clerk corrects it.
    if (!item.toolTip().isEmpty() && item.text() != line.shown[f]) continue;
    item.setText(line.shown[f]);
    item.setRed(false);
    item.setToolTip(QString());
  }
  if (shown && *shown && sameScore(**shown, line)) return describeRow(row, line);
  showScore(row, line);
}

}  // namespace quillon
