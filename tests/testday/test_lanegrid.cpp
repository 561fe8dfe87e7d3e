// The lane window alone: painting before storing, taking back what the
// disk refused, its keys, and how wide and how spoken its columns are.

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QUndoStack>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "recordssession.h"
#include "sqlitedb.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "keyburst.h"
#include "lanegrid.h"
#include "lanegridtable.h"
#include "lanegridparts.h"
#include "lanesseen.h"
#include "laneentry.h"
#include "scriptedfitness.h"
#include "testdayclerk.h"
#include "testgroupbackends.h"
#include "testgroupfixture.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;


// The points are painted before the value is stored; a store the disk
// refuses takes them back to what they were and keeps what was typed. The
// window says a value is stored only once another reader finds it there.
TEST(LaneGridStore, AFailedStoreTakesBackThePaintedPointsAndKeepsTheTypedValue) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  auto scripted = std::make_unique<ScriptedFitnessRecords>(FitnessRecords::forDatabase(path));
  ScriptedFitnessRecords& store = *scripted;
  LaneGrid grid(group, std::move(scripted));
  LaneTable* table = lanesOf(grid);
  int painted = 0;
  QObject::connect(&grid, &LaneGrid::pointsShown, [&](int) { ++painted; });
  std::unique_ptr<FitnessRecords> elsewhere = FitnessRecords::forDatabase(path);
  QStringList foundWhenStored;
  QObject::connect(&grid, &LaneGrid::valueStored, [&](int row) {
    foundWhenStored << QString::number(row) + ':' + storedField(*elsewhere, group, 1, "pushup");
  });

  table->setCurrentCell(2, kPushUp);
  typeIntoCell(fig("pushup", 60), Qt::Key_Return);
  ASSERT_EQ(shownAt(table, 2, kPoints), QStringLiteral("HRP 60"));
  ASSERT_EQ(painted, 1);

  int paintedAtStore = -1;
  QString pointsAtStore;
  store.beforeStore = [&] {
    paintedAtStore = painted;
    pointsAtStore = shownAt(table, 2, kPoints);
    throw DbError(QStringLiteral("disk I/O error"));
  };
  table->setCurrentCell(2, kPushUp);
  typeIntoCell(fig("pushup", 80), Qt::Key_Return);
  EXPECT_EQ(paintedAtStore, 2) << "painted before the store was asked";
  EXPECT_EQ(pointsAtStore, QStringLiteral("HRP 80"));
  EXPECT_EQ(shownAt(table, 2, kPoints), QStringLiteral("HRP 60")) << "the painted points taken back";
  EXPECT_EQ(shownAt(table, 2, kPushUp), fig("pushup", 80)) << "what was typed stays";
  EXPECT_EQ(table->currentIndex().row(), 2) << "the cell keeps the focus until corrected";
  const QString told = grid.statusBar()->currentMessage();
  EXPECT_TRUE(told.startsWith(QStringLiteral("HRP of Abernathy, Cole"))) << told.toStdString();
  EXPECT_TRUE(told.contains(fig("pushup", 80))) << told.toStdString();
  EXPECT_TRUE(told.contains(QStringLiteral("disk I/O error"))) << told.toStdString();
  EXPECT_EQ(tipAt(table, 2, kPushUp), told);
  std::unique_ptr<FitnessRecords> reader = FitnessRecords::forDatabase(path);
  EXPECT_EQ(storedField(*reader, group, 1, "pushup"), fig("pushup", 60));
  EXPECT_EQ(grid.undoStack().count(), 1) << "a store that failed is no step";
  EXPECT_EQ(foundWhenStored, QStringList{"2:" + fig("pushup", 60)}) << "a store that failed is not said stored";

  // The disk back, Enter again stores it.
  store.beforeStore = nullptr;
  typeIntoCell(fig("pushup", 80), Qt::Key_Return);
  EXPECT_EQ(storedField(*reader, group, 1, "pushup_pts"), QStringLiteral("80"));
  EXPECT_EQ(shownAt(table, 2, kPoints), QStringLiteral("HRP 80"));
  EXPECT_TRUE(tipAt(table, 2, kPushUp).isEmpty());
  EXPECT_EQ(table->currentIndex().row(), 3);
  EXPECT_EQ(foundWhenStored, (QStringList{"2:" + fig("pushup", 60), "2:" + fig("pushup", 80)}));
}

// Escape is the cell's (it puts back what is stored); the window itself
// closes from the keyboard with the close key, and a value stored before
// is still there.
TEST(LaneGridStore, TheCloseKeyClosesTheWindowWhileEscapeOnlyPutsBackTheCell) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  LaneGrid grid(group, FitnessRecords::forDatabase(path));
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&grid));
  LaneTable* table = lanesOf(grid);
  table->setCurrentCell(2, kPushUp);
  typeIntoCell(fig("pushup", 60), Qt::Key_Return);
  table->setCurrentCell(2, kPushUp);
  typeIntoCell(fig("pushup", 80), Qt::Key_Escape);
  EXPECT_TRUE(grid.isVisible()) << "Escape closed the window";
  EXPECT_EQ(shownAt(table, 2, kPushUp), fig("pushup", 60)) << "Escape put back the stored value";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(grid.isVisible());
  std::unique_ptr<FitnessRecords> reader = FitnessRecords::forDatabase(path);
  EXPECT_EQ(storedField(*reader, group, 1, "pushup"), fig("pushup", 60));
}

// However many soldiers, the names' column is as wide as a table's own row
// header makes it: the widest name among the first and the last hundred,
// a name between them not counted (a header never measures it), a name
// that only just rounds up counted.
TEST(LaneGridReading, TheNamesColumnIsAsWideAsATableViewsOwnHeaderMakesIt) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestGroup many = rangeDayGroup();
  many.members.clear();
  const auto name = [](int i) {
    if (i == 120) return QStringLiteral("Wolfeschlegelsteinhausenbergerdorff, Maximilian Alexander");
    if (i == 230) return QStringLiteral("Montgomery-Whitfield, Wilhelmina");
    if (i == 7) return QStringLiteral("Montgomery-Whitfield, Wilhelmin");
    return QStringLiteral("Soldier%1, Ann").arg(QString(i % 13, QLatin1Char('W')));
  };
  for (int i = 0; i < 260; ++i) many.members << groupMember(QStringLiteral("%1").arg(100000000 + i), name(i));
  const TestGroup group = TestGroups::forDatabase(path)->save(many);
  for (const bool bigger : {false, true}) {
    LaneGrid grid(group, FitnessRecords::forDatabase(path));
    LaneTable* lanes = lanesOf(grid);
    if (bigger) {
      QFont f = lanes->verticalHeader()->font();
      f.setPointSizeF(f.pointSizeF() * 1.5);
      lanes->verticalHeader()->setFont(f);
    }
    auto* plain = new QHeaderView(Qt::Vertical, lanes);
    plain->setFont(lanes->verticalHeader()->font());
    plain->setModel(lanes->model());
    EXPECT_EQ(lanes->verticalHeader()->sizeHint(), plain->sizeHint()) << (bigger ? "a larger font" : "");
    if (!bigger) {
      EXPECT_EQ(lanes->verticalHeader()->width(), plain->sizeHint().width()) << "the names cut off";
    }
  }
}

// A value repaints its own soldier's cells and the cell the focus moves to,
// not the whole table (the focus going to the cell's editor and back is no
// reason to); and however little is repainted, the screen shows what a
// fresh paint of the window shows: an accepted value with its points, a
// refused one in red, one put back with Escape, the focus on its cell.
TEST(LaneGridStore, AnEntryRepaintsItsOwnLinesAndTheScreenShowsWhatAFreshPaintShows) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  LaneGrid grid(group, FitnessRecords::forDatabase(path));
  LaneTable* table = lanesOf(grid);
  QCoreApplication::processEvents();
  struct PaintedArea : QObject {
    QRegion area;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) area += static_cast<QPaintEvent*>(e)->region();
      return false;
    }
  } painted;
  table->viewport()->installEventFilter(&painted);
  const auto lineOf = [&](int row) {
    return QRect(0, table->rowViewportPosition(row), table->viewport()->width(), table->rowHeight(row));
  };
  const auto screenShowsAFreshPaint = [&] {
    QCoreApplication::processEvents();
    const QImage shown = grid.screen()->grabWindow(grid.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
    return !shown.isNull() && shown == fresh;
  };
  ASSERT_TRUE(screenShowsAFreshPaint()) << "the window as first shown";

  table->setCurrentCell(1, kPushUp);
  painted.area = QRegion();
  typeIntoCell(fig("pushup", 60), Qt::Key_Return);
  ASSERT_EQ(shownAt(table, 1, kPoints), QStringLiteral("HRP 60"));
  EXPECT_TRUE(painted.area.intersects(lineOf(1))) << "the value and its points";
  EXPECT_FALSE(painted.area.intersects(lineOf(0))) << "the graders' line repainted for a soldier's value";
  EXPECT_FALSE(painted.area.intersects(lineOf(3))) << "a soldier's line repainted for another's value";
  EXPECT_TRUE(screenShowsAFreshPaint()) << "after a value accepted";

  typeIntoCell(QStringLiteral("abc"), Qt::Key_Return);
  ASSERT_FALSE(tipAt(table, 2, kPushUp).isEmpty());
  EXPECT_TRUE(screenShowsAFreshPaint()) << "after a value refused";
  QTest::keyClick(table, Qt::Key_Escape);
  ASSERT_EQ(shownAt(table, 2, kPushUp), QString());
  EXPECT_TRUE(screenShowsAFreshPaint()) << "after a value put back";
  table->setCurrentCell(3, kPlank);
  typeIntoCell(fig("plank", 70), Qt::Key_Tab);
  EXPECT_TRUE(screenShowsAFreshPaint()) << "after Tab";
}

// Opened at the desktop's font and at twice it, every column is as wide as
// the widest text it shows, on one line, and the window shows them all
// where the screen has the room. Each cell says in words what colour
// shows: the soldier, the lane, the value and its points, or that the
// value was refused and why; the names and the lanes are the headers.
TEST(LaneGridReading, EveryColumnFitsWhatItShowsAndEachCellSaysSoldierLaneValueAndPoints) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  const QFont desktop = QApplication::font();
  struct FontBack {
    QFont font;
    ~FontBack() { QApplication::setFont(font); }
  } back{desktop};
  for (const double scale : {1.0, 2.0}) {
    SCOPED_TRACE(scale);
    QFont font = desktop;
    font.setPointSizeF(desktop.pointSizeF() * scale);
    QApplication::setFont(font);
    LaneGrid grid(group, path);
    LaneTable* lanes = lanesOf(grid);
    // The fullest line a soldier can have: every event at its best.
    for (const auto& [column, typed] :
         QList<std::pair<int, QString>>{{static_cast<int>(LaneField::DeadliftFirst), fig("deadlift", 100)},
                                        {kPushUp, fig("pushup", 100)},
                                        {kSdc, fig("sdc", 100)},
                                        {kPlank, fig("plank", 100)},
                                        {kRun, fig("run", 100)},
                                        {kWeight, QStringLiteral("185.25 NO-GO")}}) {
      lanes->setCurrentCell(2, column);
      typeIntoCell(scale == 1.0 ? typed : QString(), Qt::Key_Return);
    }
    lanes->setCurrentCell(3, kPlank);
    typeIntoCell(QStringLiteral("1:75"), Qt::Key_Return);
    ASSERT_EQ(shownAt(lanes, 2, kPoints + 2), QStringLiteral("GO"));

    EXPECT_FALSE(lanes->wordWrap());
    const QFontMetrics fm(lanes->font());
    EXPECT_GT(lanes->rowHeight(2),
              fm.height() + 2 * (lanes->style()->pixelMetric(QStyle::PM_FocusFrameVMargin, nullptr, lanes) + 1))
        << "a line of text and its margins";
    for (int c = 0; c < lanes->model()->columnCount(); ++c) {
      const QString text = shownAt(lanes, 2, c);
      EXPECT_LT(fm.horizontalAdvance(text), lanes->columnWidth(c))
          << lanes->model()->headerData(c, Qt::Horizontal).toString().toStdString() << ": " << text.toStdString();
      EXPECT_GE(lanes->columnWidth(c), lanes->horizontalHeader()->sectionSizeHint(c));
    }
    const int room = grid.screen()->availableGeometry().width();
    if (grid.width() < room)
      EXPECT_EQ(lanes->horizontalScrollBar()->maximum(), 0) << "a column cut off at the right edge";
    else
      EXPECT_EQ(grid.width(), room) << "as wide as the screen lets it be";

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(lanes);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->tableInterface(), nullptr);
    QAccessibleInterface* cell = table->tableInterface()->cellAt(2, kPushUp);
    ASSERT_NE(cell, nullptr);
    const QString said = cell->text(QAccessible::Name);
    for (const QString& part : {QStringLiteral("Abernathy, Cole"), QStringLiteral("HRP"), fig("pushup", 100),
                                QStringLiteral("100 points")})
      EXPECT_TRUE(said.contains(part)) << said.toStdString();
    QAccessibleTableCellInterface* place = cell->tableCellInterface();
    ASSERT_NE(place, nullptr);
    // The header cells come back new and unregistered, the caller's to
    // delete (as a screen reader's bridge does).
    const QList<QAccessibleInterface*> rowHeaders = place->rowHeaderCells();
    const QList<QAccessibleInterface*> columnHeaders = place->columnHeaderCells();
    const QString rowHeader = rowHeaders.size() == 1 ? rowHeaders.first()->text(QAccessible::Name) : QString();
    const QString columnHeader =
        columnHeaders.size() == 1 ? columnHeaders.first()->text(QAccessible::Name) : QString();
    for (QAccessibleInterface* header : rowHeaders + columnHeaders)
      QAccessible::deleteAccessibleInterface(QAccessible::registerAccessibleInterface(header));
    EXPECT_EQ(rowHeaders.size(), 1);
    EXPECT_EQ(rowHeader, QStringLiteral("Abernathy, Cole"));
    EXPECT_EQ(columnHeaders.size(), 1);
    EXPECT_EQ(columnHeader, QStringLiteral("HRP"));

    const QString weight = table->tableInterface()->cellAt(2, kWeight)->text(QAccessible::Name);
    EXPECT_TRUE(weight.contains(QStringLiteral("185.25 NO-GO"))) << weight.toStdString();
    QAccessibleInterface* refused = table->tableInterface()->cellAt(3, kPlank);
    EXPECT_TRUE(refused->text(QAccessible::Name).contains(QStringLiteral("Moreno, Luis T")));
    EXPECT_TRUE(refused->text(QAccessible::Name).contains(QStringLiteral("refused")))
        << refused->text(QAccessible::Name).toStdString();
    EXPECT_EQ(refused->text(QAccessible::Description), tipAt(lanes, 3, kPlank));
    EXPECT_TRUE(refused->text(QAccessible::Description).contains(QStringLiteral("1:75")));
    const QString total = table->tableInterface()->cellAt(2, kPoints + 1)->text(QAccessible::Name);
    EXPECT_TRUE(total.contains(QStringLiteral("Total: ") + shownAt(lanes, 2, kPoints + 1))) << total.toStdString();
  }
}


// The lanes skip drawing what shows nothing: whatever they show (a value
// and its points, a refused value in red, a text cut short for its column,
// the current cell selected and framed, empty cells beside them) is, pixel
// for pixel, what the standard item painter draws of the same cells.
TEST(LaneGridReading, TheLanesLookAsTheStandardItemPainterDrawsThem) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  LaneGrid grid(group, FitnessRecords::forDatabase(path));
  LaneTable* table = lanesOf(grid);
  table->setCurrentCell(1, kPushUp);
  typeIntoCell(fig("pushup", 60), Qt::Key_Return);
  ASSERT_EQ(shownAt(table, 1, kPoints), QStringLiteral("HRP 60"));
  typeIntoCell(QStringLiteral("abc"), Qt::Key_Return);
  ASSERT_FALSE(tipAt(table, 2, kPushUp).isEmpty()) << "a refused value, kept in red";
  // The points cut short: narrower than "HRP 60" needs.
  table->setColumnWidth(kPoints, table->fontMetrics().horizontalAdvance(QStringLiteral("HRP")));
  // The current cell an empty one: selected and framed, it shows that.
  table->setCurrentCell(3, kPushUp);
  ASSERT_EQ(shownAt(table, 3, kPushUp), QString());
  ASSERT_TRUE(table->selectionModel()->isSelected(table->currentIndex()));
  QCoreApplication::processEvents();

  const auto shown = [&] { return table->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); };
  const QImage lanes = shown();
  const QRect refused = table->visualRect(table->model()->index(2, kPushUp));
  bool red = false;
  for (int x = refused.left(); x <= refused.right() && !red; ++x)
    for (int y = refused.top(); y <= refused.bottom() && !red; ++y) {
      const QColor c = lanes.pixelColor(x, y);
      red = c.red() > 150 && c.green() < 100 && c.blue() < 100;
    }
  EXPECT_TRUE(red) << "the refused value is not drawn in red";

  QStyledItemDelegate standard;
  table->setItemDelegate(&standard);
  EXPECT_TRUE(lanes == shown()) << "the lanes differ from what the standard item painter draws";
}

// Each cell's text is laid out once and drawn again from what was kept:
// whatever changes between two paints (a cell's text, a refusal, a
// selection, a column's width, the grid's font), the lanes show, pixel for
// pixel, what the standard item painter draws of them, in each built-in
// style that paints items the common way.
TEST(LaneGridReading, TheLanesStillLookAsTheStandardPainterDrawsThemAfterTheirTextsWidthsAndFontChange) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  for (const QString& styleName : {QStringLiteral("Fusion"), QStringLiteral("Windows")}) {
    SCOPED_TRACE(styleName.toStdString());
    const std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
    ASSERT_NE(style, nullptr);
    LaneGrid grid(group, FitnessRecords::forDatabase(path));
    LaneTable* table = lanesOf(grid);
    table->setStyle(style.get());
    QAbstractItemDelegate* lanes = table->itemDelegate();
    QStyledItemDelegate standard;
    const auto shown = [&] {
      QCoreApplication::processEvents();
      return table->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    // Painted twice, the second time from what the first kept.
    const auto asStandard = [&] {
      const QImage first = shown();
      const QImage again = shown();
      table->setItemDelegate(&standard);
      const QImage expected = shown();
      table->setItemDelegate(lanes);
      return !expected.isNull() && first == expected && again == expected;
    };
    const auto cell = [&](int row, int column) { return table->model()->index(row, column); };

    table->setCurrentCell(1, kPushUp);
    typeIntoCell(fig("pushup", 60), Qt::Key_Return);
    typeIntoCell(fig("pushup", 60), Qt::Key_Return);
    ASSERT_EQ(shownAt(table, 2, kPoints), QStringLiteral("HRP 60"));
    EXPECT_TRUE(asStandard()) << "values and their points";

    typeIntoCell(QStringLiteral("abc"), Qt::Key_Return);
    ASSERT_FALSE(tipAt(table, 3, kPushUp).isEmpty());
    table->setCurrentCell(3, kPlank);
    EXPECT_TRUE(drawnInRed(shown(), table->visualRect(cell(3, kPushUp)))) << "the refused value is not drawn in red";
    EXPECT_TRUE(asStandard()) << "a refused value";

    // The same points in two cells, one of them selected (not current).
    table->selectionModel()->select(cell(1, kPoints), QItemSelectionModel::Select);
    ASSERT_TRUE(table->selectionModel()->isSelected(cell(1, kPoints)));
    ASSERT_FALSE(table->selectionModel()->isSelected(cell(2, kPoints)));
    ASSERT_EQ(shownAt(table, 1, kPoints), shownAt(table, 2, kPoints));
    EXPECT_TRUE(asStandard()) << "the same text selected and not";

    table->setCurrentCell(2, kPushUp);
    typeIntoCell(fig("pushup", 80), Qt::Key_Return);
    ASSERT_EQ(shownAt(table, 2, kPoints), QStringLiteral("HRP 80"));
    table->setCurrentCell(3, kPlank);
    EXPECT_TRUE(asStandard()) << "a cell's text changed";

    table->setColumnWidth(kPoints, table->fontMetrics().horizontalAdvance(QStringLiteral("HRP")));
    EXPECT_TRUE(asStandard()) << "the points cut short";

    // Bold first: the same rows and columns, so the same room for each text.
    QFont font = table->font();
    font.setBold(true);
    const int rowHeight = table->rowHeight(2);
    table->setFont(font);
    ASSERT_EQ(table->rowHeight(2), rowHeight);
    EXPECT_TRUE(asStandard()) << "the grid's font made bold";
    font.setPointSizeF(font.pointSizeF() * 1.5);
    table->setFont(font);
    EXPECT_TRUE(asStandard()) << "the grid's font made larger";
  }
}

// A group's records are read through a small page cache; the window leaves
// the cache at the size it found, whoever set it, for the reads that come
// back to their pages (a soldier's history).
TEST(LaneGridReading, OpeningTheLanesLeavesTheRecordsCacheAtTheSizeItFound) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  const TestGroup group = rangeDayOnFile(path);
  const std::shared_ptr<RecordsSession> session = RecordsSession::forDatabase(path);
  sqlite::Database& file = session->file(RecordsSession::Needs::FiveEvent);
  const auto cacheSize = [&] {
    sqlite::Statement size(file, QStringLiteral("PRAGMA cache_size"));
    return size.step() ? size.integer(0) : 0;
  };
  file.exec(QStringLiteral("PRAGMA cache_size = -3000"));
  {
    LaneGrid grid(group, FitnessRecords::forDatabase(path));
    lanesOf(grid);
    EXPECT_EQ(cacheSize(), -3000) << "while the window is open";
  }
  EXPECT_EQ(cacheSize(), -3000);
}
