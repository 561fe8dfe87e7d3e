#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "cardsmenu.h"
#include "dbfile.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "lanegrid.h"
#include "lanegridtable.h"
#include "lanesseen.h"
#include "recordsdb.h"
#include "reportsmenu.h"
#include "rosterpreview.h"
#include "rosters.h"
#include "soldierpicker.h"
#include "ssnmask.h"
#include "testdayclerk.h"
#include "testdaymenu.h"
#include "testdaywindow.h"
#include "testgroupfixture.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

template <typename T>
T* child(QWidget* w, const char* name) {
  T* c = w->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}

// Types one soldier's row the way a clerk does: Add Soldier, then each
// value followed by Tab.
void typeSoldier(TestDayWindow& w, const QStringList& values) {
  QTest::mouseClick(child<QPushButton>(&w, "addSoldier"), Qt::LeftButton);
  for (const QString& v : values) {
    // The first key opens the cell's editor, which takes the rest.
    QTest::keyClicks(QApplication::focusWidget(), v.left(1));
    QTest::keyClicks(QApplication::focusWidget(), v.mid(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
}

QStringList linesOf(QListWidget* list) {
  QStringList out;
  for (int i = 0; list && i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

}  // namespace

TEST(TestDayMenu, StandsJustBeforeHelpAndOpensOneWindowAtATime) {
  ScratchDir dir;
  createRecordsDatabase(dir.file(QStringLiteral("info.mdb")));
  QMainWindow main;
  QMenu* file = main.menuBar()->addMenu(QStringLiteral("&File"));
  QMenu* help = main.menuBar()->addMenu(QStringLiteral("&Help"));
  help->menuAction()->setObjectName(QStringLiteral("MNU_HELP"));
  addTestDayMenu(main.menuBar(), dir.file(QStringLiteral("info.mdb")));
  const QList<QAction*> bar = main.menuBar()->actions();
  ASSERT_EQ(bar.size(), 3);
  EXPECT_EQ(bar.at(0), file->menuAction());
  EXPECT_EQ(bar.at(1)->objectName(), QStringLiteral("MNU_TESTDAY"));
  EXPECT_EQ(bar.at(2), help->menuAction());

  auto* open = main.findChild<QAction*>(QStringLiteral("MNU_TESTDAY_OPEN"));
  ASSERT_NE(open, nullptr);
  open->trigger();
  open->trigger();
  EXPECT_EQ(main.findChildren<TestDayWindow*>().size(), 1);
  ASSERT_EQ(main.findChildren<TestDayWindow*>().size(), 1);
  EXPECT_TRUE(main.findChildren<TestDayWindow*>().first()->isVisible());
}

TEST(TestDayWindow, AGroupTypedAndSavedIsThereWhenTheWindowOpensAgain) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  {
    TestDayWindow w(path);
    startGroup(w, QStringLiteral("Range 3"));
    typeSoldier(w, {"123-45-6789", "Yates, Ann B", "f", "1998-02-28", "A Co", "c"});
    typeSoldier(w, {"000000001", "Abernathy, Cole", "M", "2001-07-04", "A Co", "general"});
    QTest::mouseClick(child<QPushButton>(&w, "saveGroup"), Qt::LeftButton);
    EXPECT_EQ(w.statusBar()->currentMessage(), QStringLiteral("Test group saved."));
  }
  TestDayWindow again(path);
  const TestGroup shown = again.groupOnScreen();
  EXPECT_NE(shown.id, 0);
  EXPECT_EQ(shown.location, QStringLiteral("Range 3"));
  ASSERT_EQ(shown.members.size(), 2);
  EXPECT_EQ(shown.members.at(0), (GroupMember{"123456789", "Yates, Ann B", "F", "1998-02-28", "A Co", "combat"}));
  EXPECT_EQ(shown.members.at(1).standard, QStringLiteral("general"));
  EXPECT_EQ(TestGroups::forDatabase(path)->all(), QList<TestGroup>{shown});
}

TEST(TestDayWindow, ARefusedSaveNamesTheValueAndKeepsWhatWasTyped) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestDayWindow w(path);
  startGroup(w, QStringLiteral("Gym"));
  typeSoldier(w, {"12345678", "Short, Sam", "M", "1990-01-01", "B Co", "g"});
  QTest::mouseClick(child<QPushButton>(&w, "saveGroup"), Qt::LeftButton);
  EXPECT_TRUE(w.statusBar()->currentMessage().contains(QStringLiteral("12345678")))
      << w.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(w.groupOnScreen().members.at(0).name, QStringLiteral("Short, Sam"));
  EXPECT_TRUE(TestGroups::forDatabase(path)->all().isEmpty());
}

TEST(TestDayWindow, TenSoldiersFromARosterFileAreSavedWithTheGroup) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  const QString roster = writeRoster(dir, generatedRoster(10) + "Broken,Line,PV2,12-34,M,01/01/2000,A Co\r\n");
  TestDayWindow w(path);
  startGroup(w, QStringLiteral("Range 3"));

  // The preview names the line that cannot join and why; cancelled, nobody
  // joins.
  w.importRoster(roster);
  auto* preview = w.findChild<RosterPreviewDialog*>();
  ASSERT_NE(preview, nullptr);
  const QStringList joining = linesOf(child<QListWidget>(preview, "joining"));
  const QStringList refused = linesOf(child<QListWidget>(preview, "notJoining"));
  ASSERT_EQ(joining.size(), 10);
  EXPECT_TRUE(joining.at(9).contains(QStringLiteral("Surname9, Given9"))) << joining.at(9).toStdString();
  ASSERT_EQ(refused.size(), 1);
  EXPECT_TRUE(refused.at(0).contains(QStringLiteral("12-34"))) << refused.at(0).toStdString();
  EXPECT_TRUE(refused.at(0).contains(QStringLiteral("SSN"), Qt::CaseInsensitive)) << refused.at(0).toStdString();
  QTest::keyClick(preview, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_TRUE(w.groupOnScreen().members.isEmpty());

  takeRoster(w, roster);
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith(QStringLiteral("10 soldiers joined")));
  // The same roster again: everyone is already in the group.
  w.importRoster(roster);
  EXPECT_EQ(linesOf(w.findChild<RosterPreviewDialog*>()->findChild<QListWidget*>("joining")).size(), 0);
  QTest::keyClick(w.findChild<RosterPreviewDialog*>(), Qt::Key_Escape);
  QCoreApplication::processEvents();
  QTest::mouseClick(child<QPushButton>(&w, "saveGroup"), Qt::LeftButton);
  const QList<TestGroup> stored = TestGroups::forDatabase(path)->all();
  ASSERT_EQ(stored.size(), 1);
  ASSERT_EQ(stored.first().members.size(), 10);
  EXPECT_EQ(stored.first().members.at(9).name, QStringLiteral("Surname9, Given9"));
}

TEST(TestDayWindow, SoldiersPickedFromTheStoredRecordsJoinOnceWithTheirNewestParticulars) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  insertRows(path, {{{"LNAME", "Ortiz, Ana"}, {"SSN", "111-22-3333"}, {"SEX", "F"}, {"DOB", "03/04/1995"},
                     {"DOT", "01/10/2024"}},
                    // The same soldier tested again, since married.
                    {{"LNAME", "Ortiz-Kane, Ana"}, {"SSN", "111223333"}, {"SEX", "F"}, {"DOB", "03/04/1995"},
                     {"DOT", "09/10/2025"}},
                    {{"LNAME", "Okafor, Ben"}, {"SSN", "222-33-4444"}, {"SEX", "M"}, {"DOB", "12/31/1990"}},
                    {{"LNAME", "Olsen, Cy"}, {"SSN", "12-34"}, {"SEX", "M"}, {"DOB", "01/01/1999"}},
                    {{"LNAME", "Park, Dee"}, {"SSN", "333-44-5555"}, {"SEX", "F"}, {"DOB", "05/06/2000"}}});
  TestDayWindow w(path);
  startGroup(w, QStringLiteral("Gym"));
  typeSoldier(w, {"333-44-5555", "Park, Dee", "F", "2000-05-06", "B Co", "c"});

  for (int round = 0; round < 2; ++round) {
    QTest::mouseClick(child<QPushButton>(&w, "fromRecords"), Qt::LeftButton);
    auto* picker = w.findChild<SoldierPicker*>();
    ASSERT_NE(picker, nullptr) << w.statusBar()->currentMessage().toStdString();
    QApplication::setActiveWindow(picker);
    ASSERT_TRUE(QTest::qWaitForWindowActive(picker));
    auto* list = child<QListWidget>(picker, "storedSoldiers");
    EXPECT_EQ(list->count(), 3) << "one line per soldier, none without a nine-digit SSN";
    // "O" narrows to the two O names; Down enters the list, Shift+Down takes
    // the second too, Enter adds both.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("o"));
    ASSERT_EQ(linesOf(list).size(), 2);
    // The SSN's last four digits only: the clerk did not ask for it whole.
    EXPECT_TRUE(linesOf(list).at(0).contains(QStringLiteral("***-**-4444")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(w.findChild<SoldierPicker*>(), nullptr) << "the picker closes once its soldiers are taken";
  }
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith(QStringLiteral("0 soldiers joined")))
      << w.statusBar()->currentMessage().toStdString();
  const TestGroup g = w.groupOnScreen();
  ASSERT_EQ(g.members.size(), 3);
  EXPECT_EQ(g.members.at(1), (GroupMember{"222334444", "Okafor, Ben", "M", "1990-12-31", "", "general"}));
  EXPECT_EQ(g.members.at(2), (GroupMember{"111223333", "Ortiz-Kane, Ana", "F", "1995-03-04", "", "general"}));
}

TEST(TestDayWindow, SoldiersKnownByTheDodIdArePickedByAPartOfItAndTheSsnStaysMaskedUntilAskedForWhole) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  insertRows(path, {{{"LNAME", "Ortiz, Ana"}, {"SSN", "111-22-3333"}, {"SEX", "F"}, {"DOB", "03/04/1995"},
                     {"DOT", "01/10/2024"}}});
  {
    std::unique_ptr<FitnessRecords> five = FitnessRecords::forDatabase(path);
    five->open();
    const auto add = [&](const QString& name, const QString& ssn, const QString& dodId, const QString& date) {
      five->add({{"name", name}, {"ssn", ssn}, {"sex", "F"}, {"dob", "1995-03-04"}, {"unit", "A Co"},
                 {"test_date", date}, {"dod_id", dodId}});
    };
    // Ortiz's five-event record brings her DoD ID; Vance is known by hers alone.
    add(QStringLiteral("Ortiz, Ana"), QStringLiteral("111223333"), QStringLiteral("1234509876"),
        QStringLiteral("2025-05-01"));
    add(QStringLiteral("Vance, Uma"), QString(), QStringLiteral("5550001234"), QStringLiteral("2025-05-01"));
    add(QStringLiteral("Vance, Uma"), QString(), QStringLiteral("5550001234"), QStringLiteral("2025-11-01"));
    five->close();
  }
  TestDayWindow w(path);
  startGroup(w, QStringLiteral("Gym"));
  const auto openPicker = [&]() -> QListWidget* {
    QTest::mouseClick(child<QPushButton>(&w, "fromRecords"), Qt::LeftButton);
    auto* picker = w.findChild<SoldierPicker*>();
    if (!picker) return nullptr;
    QApplication::setActiveWindow(picker);
    return QTest::qWaitForWindowActive(picker) ? child<QListWidget>(picker, "storedSoldiers") : nullptr;
  };
  QListWidget* list = openPicker();
  ASSERT_NE(list, nullptr) << w.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(linesOf(list), (QStringList{"Ortiz, Ana   ***-**-3333   DoD ID 1234509876", "Vance, Uma   DoD ID 5550001234"}));
  // A part of a DoD ID narrows as a part of an SSN does.
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("0987"));
  EXPECT_EQ(linesOf(list), QStringList{"Ortiz, Ana   ***-**-3333   DoD ID 1234509876"});
  QTest::keySequence(QApplication::focusWidget(), QKeySequence::SelectAll);
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("00012"));
  ASSERT_EQ(linesOf(list), QStringList{"Vance, Uma   DoD ID 5550001234"});
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(w.findChild<SoldierPicker*>(), nullptr);
  ASSERT_EQ(w.groupOnScreen().members.size(), 1);
  EXPECT_EQ(w.groupOnScreen().members.at(0).dodId, QStringLiteral("5550001234"));
  EXPECT_EQ(w.groupOnScreen().members.at(0).ssn, QString());

  // Asked for whole, the SSN shows whole in the picker too.
  ssnToggle(&w)->trigger();
  list = openPicker();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(linesOf(list).value(0), QStringLiteral("Ortiz, Ana   111-22-3333   DoD ID 1234509876"));
  QTest::keyClick(list->window(), Qt::Key_Escape);
}

TEST(LaneEntryWindow, TenSoldiersFromARosterEnteredLaneByLaneWithTheKeyboardAlone) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestDayWindow day(path);
  startGroup(day, QStringLiteral("Range 3"));
  takeRoster(day, writeRoster(dir, generatedRoster(10)));
  QTest::mouseClick(child<QPushButton>(&day, "saveGroup"), Qt::LeftButton);
  QTest::mouseClick(child<QPushButton>(&day, "laneEntry"), Qt::LeftButton);
  auto* grid = day.findChild<LaneGrid*>();
  ASSERT_NE(grid, nullptr) << day.statusBar()->currentMessage().toStdString();
  QApplication::setActiveWindow(grid);
  ASSERT_TRUE(QTest::qWaitForWindowActive(grid));
  auto* table = child<LaneTable>(grid, "lanes");
  const TestGroup group = TestGroups::forDatabase(path)->all().first();
  ASSERT_EQ(group.members.size(), 10);

  // Figures valid for every soldier: the youngest men's 60-point line; the
  // last soldier walks instead of running, at the walk's limit for the
  // youngest men, which is a GO for every soldier of the roster.
  const fitness::FitnessTest& t = fitnessTest();
  const int youngMen = fitness::columnIndex(0, fitness::Column::MaleCombat);
  const auto fig = [&](const char* key) { return figureFor(t.eventIndex(QString::fromLatin1(key)), youngMen, 60); };
  const QString walk =
      fitness::formatTime(t.alternates.at(t.alternateIndex(QStringLiteral("walk"))).maxSeconds[youngMen]);
  const QStringList lanes = {fig("deadlift"), fig("deadlift"), fig("pushup"), fig("sdc"), fig("plank"),
                             fig("run"),      "68.5",          "180 g",       "18.5 go"};
  const int sdc = static_cast<int>(LaneField::SprintDragCarry);

  // Each event lane's grader first, along the grader row.
  table->setFocus();
  EXPECT_EQ(table->currentIndex().row(), 1) << "the grid opens on the first soldier";
  table->setCurrentCell(0, 0);
  for (const char* initials : {"aa", "ab", "hr", "sd", "pk", "rn"}) typeIntoCell(QString::fromLatin1(initials), Qt::Key_Tab);
  EXPECT_EQ(shownAt(table, 0, sdc), QStringLiteral("SD"));

  // The SDC grader mistypes the first soldier's time; the cell keeps it
  // until Escape puts back what is stored (nothing yet).
  table->setCurrentCell(1, sdc);
  typeIntoCell(QStringLiteral("9:75"), Qt::Key_Return);
  EXPECT_EQ(shownAt(table, 1, sdc), QStringLiteral("9:75"));
  EXPECT_TRUE(grid->statusBar()->currentMessage().startsWith(QStringLiteral("SDC:")));
  EXPECT_EQ(table->currentIndex().row(), 1) << "a refused value keeps the focus";
  QTest::keyClick(table, Qt::Key_Escape);
  EXPECT_EQ(shownAt(table, 1, sdc), QString());
  EXPECT_TRUE(tipAt(table, 1, sdc).isEmpty());
  EXPECT_FALSE(FitnessRecords::forDatabase(path)->find(group.members.at(0).ssn, group.testDate));
  typeIntoCell(QStringLiteral("9:75"), Qt::Key_Return);
  // Corrected in the compact form, it is shown as the time stored.
  typeIntoCell(QString(lanes.at(sdc)).remove(QLatin1Char(':')), Qt::Key_Return);
  EXPECT_EQ(shownAt(table, 1, sdc), lanes.at(sdc));
  EXPECT_TRUE(tipAt(table, 1, sdc).isEmpty());
  EXPECT_EQ(table->currentIndex().row(), 2);

  for (int lane = 0; lane < kLaneFields; ++lane) {
    table->setCurrentCell(1, lane);
    for (int r = 0; r < 10; ++r) {
      // Times typed in their compact form on every other soldier.
      QString text = r % 2 ? QString(lanes.at(lane)).remove(QLatin1Char(':')) : lanes.at(lane);
      if (lane == static_cast<int>(LaneField::Run) && r == 9) text = QStringLiteral("W ") + walk;
      typeIntoCell(text, Qt::Key_Return);
      if (r < 9) {
        EXPECT_EQ(table->currentIndex().row(), r + 2) << "Enter moves down the lane";
      }
    }
  }
  std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path);
  const auto field = [&](const RowAsRead& row, const char* name) {
    return row.fields.value(static_cast<int>(fitnessFieldNames().indexOf(name)));
  };
  for (int r = 0; r < 10; ++r) {
    const GroupMember& m = group.members.at(r);
    const auto row = store->find(m.ssn, group.testDate);
    ASSERT_TRUE(row) << r;
    fitness::Entry e;
    e.sex = m.sex == QLatin1String("F") ? fitness::Sex::Female : fitness::Sex::Male;
    e.dob = QDate::fromString(m.dob, Qt::ISODate);
    e.testDate = QDate::fromString(group.testDate, Qt::ISODate);
    e.raw = {lanes[0], lanes[2], lanes[3], lanes[4], r == 9 ? QString() : lanes[5]};
    if (r == 9) {
      e.alternate = QStringLiteral("walk");
      e.alternateTime = walk;
    }
    const fitness::Score s = fitness::scoreEntry(t, e);
    ASSERT_TRUE(s.scored()) << s.refused.toStdString();
    EXPECT_EQ(field(*row, "total_pts"), QString::number(s.total)) << r;
    EXPECT_EQ(field(*row, "result_go"), s.go ? QStringLiteral("GO") : QStringLiteral("NO-GO")) << r;
    EXPECT_EQ(shownAt(table, r + 1, kLaneFields + 1), QString::number(s.total)) << r;
    EXPECT_EQ(shownAt(table, r + 1, sdc), lanes.at(sdc)) << "shown as m:ss however typed";
    EXPECT_EQ(field(*row, "grader_sdc"), QStringLiteral("SD"));
    EXPECT_EQ(field(*row, "body_fat_pct"), QStringLiteral("18.5"));
    EXPECT_EQ(field(*row, "body_fat_go"), QStringLiteral("GO"));
    EXPECT_EQ(field(*row, "weight_go"), QStringLiteral("GO"));
  }
  const auto walker = store->find(group.members.at(9).ssn, group.testDate);
  EXPECT_EQ(field(*walker, "alt_event"), QStringLiteral("walk"));
  EXPECT_EQ(field(*walker, "alt_pts"), QString::number(t.alternateGoPoints));
  EXPECT_EQ(field(*walker, "grader_alt"), QStringLiteral("RN"));

  // The README's picture of lane entry is taken from this very state.
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    grid->resize(1200, 420);
    EXPECT_TRUE(grid->grab().save(QDir(shots).filePath(QStringLiteral("testday-lanes.png"))));
  }
  EXPECT_EQ(grid->undoStack().count(), 10 * kLaneFields);

  // Delete clears the last soldier's walk and its total; Ctrl+Z brings
  // both back, and a second Ctrl+Z takes back the last body fat entered.
  table->setCurrentCell(10, static_cast<int>(LaneField::Run));
  QTest::keyClick(table, Qt::Key_Delete);
  auto last = store->find(group.members.at(9).ssn, group.testDate);
  EXPECT_EQ(field(*last, "alt_event"), QString());
  EXPECT_EQ(field(*last, "total_pts"), QString());
  EXPECT_EQ(shownAt(table, 10, static_cast<int>(LaneField::Run)), QString());
  EXPECT_EQ(shownAt(table, 10, kLaneFields + 1), QString());
  QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
  last = store->find(group.members.at(9).ssn, group.testDate);
  EXPECT_EQ(field(*last, "alt_event"), QStringLiteral("walk"));
  EXPECT_EQ(shownAt(table, 10, static_cast<int>(LaneField::Run)), QStringLiteral("walk ") + walk);
  EXPECT_NE(shownAt(table, 10, kLaneFields + 1), QString());
  QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
  last = store->find(group.members.at(9).ssn, group.testDate);
  EXPECT_EQ(field(*last, "body_fat_pct"), QString());
  EXPECT_EQ(shownAt(table, 10, static_cast<int>(LaneField::BodyFat)), QString());
  EXPECT_EQ(grid->undoStack().index(), 10 * kLaneFields - 1);

  // The day ends with the group's scorecards and the due list, both saved
  // as PDF from the test-day window's own menus.
  const QString cards = dir.file(QStringLiteral("cards.pdf"));
  day.findChild<CardsMenu*>()->setPdfDestination(cards);
  day.findChild<QAction*>(QStringLiteral("MNU_CARDS_PDF_GROUP"))->trigger();
  ASSERT_TRUE(QFile::exists(cards)) << day.statusBar()->currentMessage().toStdString();
  const QString cardText = pdfText(cards);
  EXPECT_EQ(cardText.count(QChar(u'\f')), 20) << "ten cards of two pages";
  for (const GroupMember& m : group.members) EXPECT_EQ(cardText.count(m.name), 2) << m.name.toStdString();
  for (int r = 0; r < 10; ++r) {
    const QString total = field(*store->find(group.members.at(r).ssn, group.testDate), "total_pts");
    EXPECT_TRUE(cardText.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(total)))) << r;
  }

  // Seven months on, every soldier of the day is due again.
  auto* reports = day.findChild<ReportsMenu*>(QStringLiteral("reportsMenu"));
  ASSERT_NE(reports, nullptr);
  const QString due = dir.file(QStringLiteral("due.pdf"));
  reports->savePath = [&](const QString&, const QString&, const QString&) { return due; };
  {
    ReportClerk clerk(6, QDate::fromString(group.testDate, Qt::ISODate).addMonths(7));
    day.findChild<QAction*>(QStringLiteral("reportDueList"))->trigger();
    EXPECT_EQ(clerk.previews, 1);
  }
  ASSERT_TRUE(QFile::exists(due)) << day.statusBar()->currentMessage().toStdString();
  const QString dueText = pdfText(due);
  for (const GroupMember& m : group.members) EXPECT_TRUE(dueText.contains(m.name)) << m.name.toStdString();
  EXPECT_EQ(dueText.count(QStringLiteral("Over 6 months since the last test")), 10) << qPrintable(dueText);
}
