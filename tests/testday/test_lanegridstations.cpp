// Lane windows of several stations on one group, in a file and on a
// server: what another station stores, clashes, and lanes typed in one
// burst.

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
