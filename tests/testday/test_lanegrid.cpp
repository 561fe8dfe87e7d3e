#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
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
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "keyburst.h"
#include "lanegrid.h"
#include "lanegridtable.h"
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

namespace {

constexpr int kPoints = kLaneFields;  // the column after the lanes
const int kPushUp = static_cast<int>(LaneField::PushUp);
const int kPlank = static_cast<int>(LaneField::Plank);
const int kSdc = static_cast<int>(LaneField::SprintDragCarry);

// Figures of the group fixture's men, who are read in the M|C column.
QString fig(const char* key, int points) {
  const fitness::FitnessTest& t = fitnessTest();
  const int column = fitness::columnIndex(t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                          fitness::Column::MaleCombat);
  return figureFor(t.eventIndex(QLatin1String(key)), column, points);
}

LaneTable* lanesOf(LaneGrid& grid) {
  grid.show();
  QApplication::setActiveWindow(&grid);
  EXPECT_TRUE(QTest::qWaitForWindowActive(&grid));
  auto* table = grid.findChild<LaneTable*>(QStringLiteral("lanes"));
  table->setFocus();
  return table;
}

QString storedField(FitnessRecords& store, const TestGroup& g, int member, const char* name) {
  const auto row = store.find(g.members.at(member).ssn, g.testDate);
  return row ? row->fields.value(static_cast<int>(fitnessFieldNames().indexOf(QLatin1String(name))))
             : QStringLiteral("<no record>");
}

}  // namespace

// The points are painted before the value is stored; a store the disk
// refuses takes them back to what they were and keeps what was typed.
TEST(LaneGridStore, AFailedStoreTakesBackThePaintedPointsAndKeepsTheTypedValue) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  const TestGroup group = TestGroups::forDatabase(path)->save(rangeDayGroup());
  auto scripted = std::make_unique<ScriptedFitnessRecords>(FitnessRecords::forDatabase(path));
  ScriptedFitnessRecords& store = *scripted;
  LaneGrid grid(group, std::move(scripted));
  LaneTable* table = lanesOf(grid);
  int painted = 0;
  QObject::connect(&grid, &LaneGrid::pointsShown, [&](int) { ++painted; });

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

  // The disk back, Enter again stores it.
  store.beforeStore = nullptr;
  typeIntoCell(fig("pushup", 80), Qt::Key_Return);
  EXPECT_EQ(storedField(*reader, group, 1, "pushup_pts"), QStringLiteral("80"));
  EXPECT_EQ(shownAt(table, 2, kPoints), QStringLiteral("HRP 80"));
  EXPECT_TRUE(tipAt(table, 2, kPushUp).isEmpty());
  EXPECT_EQ(table->currentIndex().row(), 3);
}

// Escape is the cell's (it puts back what is stored); the window itself
// closes from the keyboard with the close key, and a value stored before
// is still there.
TEST(LaneGridStore, TheCloseKeyClosesTheWindowWhileEscapeOnlyPutsBackTheCell) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  const TestGroup group = TestGroups::forDatabase(path)->save(rangeDayGroup());
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
  createRecordsDatabase(path);
  const TestGroup group = TestGroups::forDatabase(path)->save(rangeDayGroup());
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

namespace {

template <typename Backend>
using LaneGridStations = GroupBackendTest<Backend>;
TYPED_TEST_SUITE(LaneGridStations, GroupBackends, GroupBackendNames);

}  // namespace

// Two lane windows on one group: what one stores appears in the other at
// its next poll, but never over a cell being typed in or a refused value
// still to be corrected; a value seen so is no clash when entered over.
TYPED_TEST(LaneGridStations, OtherStationsValuesAppearButNotOverWhatIsBeingTyped) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  const QString path = this->backend.recordsPath();
  LaneGrid a(group, path), b(group, path);
  LaneTable* lanesA = lanesOf(a);
  lanesA->setCurrentCell(1, kPushUp);
  typeIntoCell(fig("pushup", 70), Qt::Key_Return);
  lanesA->setCurrentCell(2, kPlank);
  typeIntoCell(fig("plank", 80), Qt::Key_Return);
  lanesA->setCurrentCell(3, kSdc);
  typeIntoCell(fig("sdc", 90), Qt::Key_Return);
  ASSERT_EQ(a.statusBar()->currentMessage(), QString());

  LaneTable* lanesB = lanesOf(b);
  EXPECT_EQ(shownAt(lanesB, 1, kPushUp), QString()) << "B opened before A stored";
  // B's clerk has a refused plank in the second row and is typing the
  // third soldier's SDC when the poll comes.
  lanesB->setCurrentCell(2, kPlank);
  typeIntoCell(QStringLiteral("1:75"), Qt::Key_Return);
  ASSERT_FALSE(tipAt(lanesB, 2, kPlank).isEmpty());
  lanesB->setCurrentCell(3, kSdc);
  QTest::keyClicks(lanesB, QStringLiteral("2"));
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(":1"));
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);

  b.showOthersValues();
  EXPECT_EQ(shownAt(lanesB, 1, kPushUp), fig("pushup", 70));
  EXPECT_EQ(shownAt(lanesB, 1, kPoints), QStringLiteral("HRP 70"));
  EXPECT_EQ(shownAt(lanesB, 2, kPoints), QStringLiteral("PLK 80"));
  EXPECT_EQ(shownAt(lanesB, 2, kPlank), QStringLiteral("1:75")) << "the refused value stays to be corrected";
  EXPECT_EQ(shownAt(lanesB, 3, kPoints), QStringLiteral("SDC 90"));
  EXPECT_EQ(editor->text(), QStringLiteral("2:1")) << "what is being typed is left alone";
  EXPECT_EQ(qobject_cast<QLineEdit*>(QApplication::focusWidget()), editor);
  QTest::keyClick(editor, Qt::Key_Escape);

  // Seen, so entered over without a clash.
  lanesB->setCurrentCell(1, kPushUp);
  typeIntoCell(fig("pushup", 60), Qt::Key_Return);
  EXPECT_EQ(b.statusBar()->currentMessage(), QString());
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  reader->open();
  EXPECT_EQ(storedField(*reader, group, 0, "pushup_pts"), QStringLiteral("60"));
  // A poll with nothing new changes nothing on screen.
  b.showOthersValues();
  EXPECT_EQ(shownAt(lanesB, 1, kPoints), QStringLiteral("HRP 60"));
  EXPECT_EQ(shownAt(lanesB, 2, kPlank), QStringLiteral("1:75"));
}

// A group longer than the screen: a soldier the window has not shown yet
// shows, once scrolled to, what is stored for him now, whether it was
// stored before the window opened or seen at a poll since; his cells say
// his points, and the screen shows what a fresh paint of it shows.
TYPED_TEST(LaneGridStations, ASoldierBelowTheScreenShowsWhatIsStoredNowWhenScrolledTo) {
  TestGroup many = rangeDayGroup();
  many.members.clear();
  for (int i = 0; i < 300; ++i)
    many.members << groupMember(QString::number(320000000 + i), QStringLiteral("Soldier, Number %1").arg(i));
  const TestGroup group = this->backend.groups()->save(many);
  std::unique_ptr<FitnessRecords> storeB = this->backend.records();
  storeB->open();
  QUndoStack undoB;
  LaneSheet b(group, *storeB, undoB);
  ASSERT_EQ(b.enter(250, LaneField::PushUp, fig("pushup", 70)), QString());
  LaneGrid a(group, this->backend.recordsPath());
  LaneTable* lanes = lanesOf(a);
  QCoreApplication::processEvents();
  ASSERT_FALSE(lanes->viewport()->rect().intersects(cellRect(lanes, 251, kPushUp))) << "on the screen already";
  ASSERT_EQ(b.enter(250, LaneField::Plank, fig("plank", 80)), QString());
  ASSERT_EQ(b.enter(299, LaneField::SprintDragCarry, fig("sdc", 90)), QString());
  a.showOthersValues();

  lanes->scrollToBottom();
  QCoreApplication::processEvents();
  EXPECT_EQ(shownAt(lanes, 251, kPushUp), fig("pushup", 70));
  EXPECT_EQ(shownAt(lanes, 251, kPlank), fig("plank", 80));
  EXPECT_EQ(shownAt(lanes, 251, kPoints), QStringLiteral("HRP 70  PLK 80"));
  EXPECT_EQ(shownAt(lanes, 300, kPoints), QStringLiteral("SDC 90"));
  EXPECT_EQ(shownAt(lanes, 299, kPoints), QString());
  EXPECT_TRUE(lanes->model()->index(300, kSdc).data(Qt::AccessibleTextRole).toString().endsWith(
      QStringLiteral("90 points")));
  const QImage shown = a.screen()->grabWindow(a.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage fresh = a.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_FALSE(shown.isNull());
  EXPECT_EQ(shown, fresh) << "the rows as first painted";
}

namespace {

// Plays the clerk at the lane clash window: presses the button named
// `answer` and counts the times it was asked.
class ClashClerk {
 public:
  explicit ClashClerk(const char* answer) : answer_(QString::fromLatin1(answer)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal->objectName() != QLatin1String("ConflictDialog")) return;
      ++asked;
      // What the window says and each field's values in its table.
      for (const QLabel* l : modal->findChildren<QLabel*>()) text += l->text() + QLatin1Char('\n');
      const auto* table = modal->findChild<QTableWidget*>(QStringLiteral("clashes"));
      for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c) text += table->item(r, c)->text() + QLatin1Char(' ');
      modal->findChild<QPushButton*>(answer_)->click();
    });
    poll_.start(10);
  }
  int asked = 0;
  QString text;

 private:
  QString answer_;
  QTimer poll_;
};

}  // namespace

// The same lane entered at two windows: the second asks, in a window of
// its own, and shows theirs or stores its own as the clerk chooses.
TYPED_TEST(LaneGridStations, ALaneClashAsksAndShowsTheirsOrStoresMine) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  const QString path = this->backend.recordsPath();
  LaneGrid a(group, path), b(group, path);
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  reader->open();
  LaneTable* lanesA = lanesOf(a);
  lanesA->setCurrentCell(1, kPushUp);
  typeIntoCell(fig("pushup", 70), Qt::Key_Return);

  LaneTable* lanesB = lanesOf(b);
  {
    ClashClerk clerk("keepTheirs");
    lanesB->setCurrentCell(1, kPushUp);
    typeIntoCell(fig("pushup", 60), Qt::Key_Return);
    EXPECT_EQ(clerk.asked, 1);
    EXPECT_TRUE(clerk.text.contains(QStringLiteral("HRP of Yates, Ann B"))) << clerk.text.toStdString();
    EXPECT_TRUE(clerk.text.contains(fig("pushup", 70))) << clerk.text.toStdString();
    EXPECT_TRUE(clerk.text.contains(fig("pushup", 60))) << clerk.text.toStdString();
  }
  EXPECT_EQ(shownAt(lanesB, 1, kPushUp), fig("pushup", 70)) << "theirs shown";
  EXPECT_EQ(shownAt(lanesB, 1, kPoints), QStringLiteral("HRP 70"));
  EXPECT_TRUE(tipAt(lanesB, 1, kPushUp).isEmpty());
  EXPECT_EQ(storedField(*reader, group, 0, "pushup"), fig("pushup", 70));
  EXPECT_EQ(b.undoStack().count(), 0);

  QApplication::setActiveWindow(&a);
  lanesA->setFocus();
  lanesA->setCurrentCell(1, kPushUp);
  typeIntoCell(fig("pushup", 80), Qt::Key_Return);
  QApplication::setActiveWindow(&b);
  lanesB->setFocus();
  {
    ClashClerk clerk("storeMine");
    lanesB->setCurrentCell(1, kPushUp);
    typeIntoCell(fig("pushup", 90), Qt::Key_Return);
    EXPECT_EQ(clerk.asked, 1);
  }
  EXPECT_EQ(storedField(*reader, group, 0, "pushup"), fig("pushup", 90));
  EXPECT_EQ(shownAt(lanesB, 1, kPushUp), fig("pushup", 90));
  EXPECT_EQ(shownAt(lanesB, 1, kPoints), QStringLiteral("HRP 90"));
  EXPECT_EQ(b.undoStack().count(), 1);
}

namespace {

const int kRun = static_cast<int>(LaneField::Run);
const int kHeight = static_cast<int>(LaneField::Height);
const int kWeight = static_cast<int>(LaneField::Weight);
const int kBodyFat = static_cast<int>(LaneField::BodyFat);

// The range-day three and five more men, enough for a lane typed down in
// one go.
TestGroup eightSoldiers() {
  TestGroup g = rangeDayGroup();
  for (int i = 0; i < 5; ++i)
    g.members << groupMember(QStringLiteral("00000010%1").arg(i), QStringLiteral("Soldier, Number %1").arg(i + 4));
  return g;
}

// The lanes of a group as another station reads them from the records.
QString storedShown(FitnessRecords& store, const TestGroup& g, int member, LaneField field) {
  QUndoStack undo;
  LaneSheet sheet(g, store, undo);
  sheet.readChanges();
  return sheet.shown(member, field);
}

}  // namespace

// A grader who types value, Enter, value, Enter... without waiting: every
// key is queued before the first is taken, and each value still lands in
// its own row of the lane, in order, stored. A bare Enter passes a soldier
// by.
TYPED_TEST(LaneGridStations, ALaneTypedInOneBurstIsStoredValueByValueInItsOwnRows) {
  const TestGroup group = this->backend.groups()->save(eightSoldiers());
  LaneGrid grid(group, this->backend.recordsPath());
  LaneTable* lanes = lanesOf(grid);
  struct Lane {
    int column;
    QStringList typed, shown;
  };
  const QString walk = QStringLiteral("W 31:00");
  const QList<Lane> burst = {
      {kHeight,
       {"70", "68.5", "", "66", "72.25", "64", "69", "71"},
       {"70", "68.5", "", "66", "72.25", "64", "69", "71"}},
      {kPushUp,
       {fig("pushup", 60), fig("pushup", 70), fig("pushup", 80), fig("pushup", 90), fig("pushup", 100),
        fig("pushup", 65), fig("pushup", 75), fig("pushup", 85)},
       {fig("pushup", 60), fig("pushup", 70), fig("pushup", 80), fig("pushup", 90), fig("pushup", 100),
        fig("pushup", 65), fig("pushup", 75), fig("pushup", 85)}},
      {kPlank,
       {fig("plank", 60), fig("plank", 100), fig("plank", 70), fig("plank", 80), fig("plank", 90),
        fig("plank", 65), fig("plank", 75), fig("plank", 85)},
       {fig("plank", 60), fig("plank", 100), fig("plank", 70), fig("plank", 80), fig("plank", 90),
        fig("plank", 65), fig("plank", 75), fig("plank", 85)}},
      {kRun,
       {fig("run", 70), walk, fig("run", 90), walk, fig("run", 60), fig("run", 80), walk, fig("run", 100)},
       {fig("run", 70), "walk 31:00", fig("run", 90), "walk 31:00", fig("run", 60), fig("run", 80), "walk 31:00",
        fig("run", 100)}},
      {kWeight,
       {"185 GO", "190 no-go", "201.5 g", "176 N", "185 GO", "166", "172 go", "199 NO-GO"},
       {"185 GO", "190 NO-GO", "201.5 GO", "176 NO-GO", "185 GO", "166", "172 GO", "199 NO-GO"}},
      {kBodyFat,
       {"22.5 N", "18 GO", "19", "24.25 no-go", "17 g", "21 GO", "16.5", "23 N"},
       {"22.5 NO-GO", "18 GO", "19", "24.25 NO-GO", "17 GO", "21 GO", "16.5", "23 NO-GO"}},
  };
  for (const Lane& lane : burst) {
    lanes->setCurrentCell(1, lane.column);
    KeyBurst keys;
    for (const QString& value : lane.typed) keys.type(value + QLatin1Char('\n'));
    keys.deliver();
    EXPECT_EQ(grid.statusBar()->currentMessage(), QString()) << laneCaption(static_cast<LaneField>(lane.column)).toStdString();
    std::unique_ptr<FitnessRecords> reader = this->backend.records();
    reader->open();
    for (int m = 0; m < group.members.size(); ++m) {
      const auto field = static_cast<LaneField>(lane.column);
      EXPECT_EQ(storedShown(*reader, group, m, field), lane.shown.at(m))
          << laneCaption(field).toStdString() << " of soldier " << m << " as stored";
      EXPECT_EQ(shownAt(lanes, 1 + m, lane.column), lane.shown.at(m))
          << laneCaption(field).toStdString() << " of soldier " << m << " as shown";
    }
    EXPECT_EQ(lanes->currentIndex().row(), group.members.size()) << "the last soldier's cell, past which there is none";
  }
  EXPECT_EQ(grid.undoStack().count(), 6 * 8 - 1) << "one step a value";
}

// A value refused in the middle of a burst stops it at its cell with its
// reason; what was typed after it is held, said, and entered nowhere, not
// even when more of it comes after the program has caught up; a key that
// comes after a pause is the grader's again.
TYPED_TEST(LaneGridStations, ARefusedValueStopsTheBurstAtItsCellAndWhatFollowsIsHeldAndSaid) {
  const TestGroup group = this->backend.groups()->save(eightSoldiers());
  LaneGrid grid(group, this->backend.recordsPath());
  LaneTable* lanes = lanesOf(grid);
  lanes->setCurrentCell(1, kPlank);
  KeyBurst keys;
  keys.type(fig("plank", 60) + "\n" + fig("plank", 70) + "\n1:75\n" + fig("plank", 80) + "\n" + fig("plank", 90) + "\n");
  keys.deliver();
  // The typist is still at it after the program caught up.
  keys.type(fig("plank", 100) + "\n");
  keys.deliver();

  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  reader->open();
  EXPECT_EQ(storedShown(*reader, group, 0, LaneField::Plank), fig("plank", 60));
  EXPECT_EQ(storedShown(*reader, group, 1, LaneField::Plank), fig("plank", 70));
  for (int m = 2; m < group.members.size(); ++m)
    EXPECT_EQ(storedShown(*reader, group, m, LaneField::Plank), QString()) << "soldier " << m;
  EXPECT_EQ(shownAt(lanes, 3, kPlank), QStringLiteral("1:75"));
  EXPECT_FALSE(tipAt(lanes, 3, kPlank).isEmpty());
  EXPECT_EQ(lanes->model()->index(3, kPlank).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
  for (int r = 4; r <= group.members.size(); ++r) EXPECT_EQ(shownAt(lanes, r, kPlank), QString()) << "row " << r;
  EXPECT_EQ(lanes->currentIndex().row(), 3);
  EXPECT_EQ(QApplication::focusWidget(), lanes) << "no editor took the held keys";
  const QString told = grid.statusBar()->currentMessage();
  EXPECT_TRUE(told.contains(QStringLiteral("1:75"))) << told.toStdString();
  for (int points : {80, 90, 100}) {
    EXPECT_TRUE(told.contains(fig("plank", points))) << told.toStdString();
    EXPECT_TRUE(tipAt(lanes, 3, kPlank).contains(fig("plank", points))) << tipAt(lanes, 3, kPlank).toStdString();
  }

  // Looked up, the grader corrects the cell and goes on down the lane.
  keys.pause(3000);
  keys.type(fig("plank", 85) + "\n");
  keys.deliver();
  EXPECT_EQ(storedShown(*reader, group, 2, LaneField::Plank), fig("plank", 85));
  EXPECT_EQ(storedShown(*reader, group, 3, LaneField::Plank), QString());
  EXPECT_EQ(lanes->currentIndex().row(), 4);
  EXPECT_TRUE(tipAt(lanes, 3, kPlank).isEmpty());
}

// Values typed past the last soldier have no cell: they are held and
// said, and the last soldier keeps the value meant for him.
TYPED_TEST(LaneGridStations, ValuesTypedPastTheLastSoldierAreHeldAndSaidNotEnteredOverHim) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  LaneGrid grid(group, this->backend.recordsPath());
  LaneTable* lanes = lanesOf(grid);
  lanes->setCurrentCell(1, kPushUp);
  KeyBurst keys;
  for (int points : {60, 70, 80, 90, 100}) keys.type(fig("pushup", points) + "\n");
  keys.deliver();
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  reader->open();
  EXPECT_EQ(storedShown(*reader, group, 0, LaneField::PushUp), fig("pushup", 60));
  EXPECT_EQ(storedShown(*reader, group, 1, LaneField::PushUp), fig("pushup", 70));
  EXPECT_EQ(storedShown(*reader, group, 2, LaneField::PushUp), fig("pushup", 80));
  EXPECT_EQ(shownAt(lanes, 3, kPushUp), fig("pushup", 80));
  const QString told = grid.statusBar()->currentMessage();
  EXPECT_TRUE(told.contains(fig("pushup", 90)) && told.contains(fig("pushup", 100))) << told.toStdString();
  EXPECT_EQ(grid.undoStack().count(), 3);

  // A click is the grader's own: what is typed right after it is entered.
  QTest::mouseClick(lanes->viewport(), Qt::LeftButton, {}, cellRect(lanes, 1, kPlank).center());
  ASSERT_EQ(lanes->currentIndex().column(), kPlank);
  keys.type(fig("plank", 70) + "\n");
  keys.deliver();
  EXPECT_EQ(storedShown(*reader, group, 0, LaneField::Plank), fig("plank", 70));
  EXPECT_EQ(lanes->currentIndex().row(), 2);
}

// Opened at the desktop's font and at twice it, every column is as wide as
// the widest text it shows, on one line, and the window shows them all
// where the screen has the room. Each cell says in words what colour
// shows: the soldier, the lane, the value and its points, or that the
// value was refused and why; the names and the lanes are the headers.
TEST(LaneGridReading, EveryColumnFitsWhatItShowsAndEachCellSaysSoldierLaneValueAndPoints) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  const TestGroup group = TestGroups::forDatabase(path)->save(rangeDayGroup());
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

// A clash asked about in the middle of a burst is answered by the clerk,
// never by an Enter typed ahead of the question; what followed is held and
// said, and the burst goes on nowhere.
TYPED_TEST(LaneGridStations, AClashInABurstIsAnsweredByTheClerkNotByAKeyTypedAhead) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  const QString path = this->backend.recordsPath();
  LaneGrid a(group, path), b(group, path);
  LaneTable* lanesA = lanesOf(a);
  lanesA->setCurrentCell(2, kPushUp);
  typeIntoCell(fig("pushup", 70), Qt::Key_Return);

  LaneTable* lanesB = lanesOf(b);
  lanesB->setCurrentCell(1, kPushUp);
  {
    ClashClerk clerk("keepTheirs");
    KeyBurst keys;
    keys.type(fig("pushup", 60) + "\n" + fig("pushup", 80) + "\n" + fig("pushup", 90) + "\n");
    keys.deliver();
    EXPECT_EQ(clerk.asked, 1);
  }
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  reader->open();
  EXPECT_EQ(storedShown(*reader, group, 0, LaneField::PushUp), fig("pushup", 60));
  EXPECT_EQ(storedShown(*reader, group, 1, LaneField::PushUp), fig("pushup", 70)) << "theirs kept, as the clerk chose";
  EXPECT_EQ(storedShown(*reader, group, 2, LaneField::PushUp), QString());
  EXPECT_EQ(shownAt(lanesB, 2, kPushUp), fig("pushup", 70));
  EXPECT_EQ(shownAt(lanesB, 3, kPushUp), QString());
  const QString told = b.statusBar()->currentMessage();
  EXPECT_TRUE(told.contains(fig("pushup", 90))) << told.toStdString();
  EXPECT_TRUE(told.contains(QStringLiteral("Abernathy, Cole"))) << told.toStdString();
}
