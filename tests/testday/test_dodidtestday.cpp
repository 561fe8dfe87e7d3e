// A test day for soldiers known by the DoD ID number alone, from the roster
// to the lanes, the history, the card and the due list; a roster that names
// two different stored soldiers on one line; and what a screen reader hears
// of the group's masked SSNs.

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QUndoStack>
#include <gtest/gtest.h>

#include "cardsfromrecords.h"
#include "fitnessrecords.h"
#include "fitnessrecordsfixture.h"
#include "groupreports.h"
#include "history.h"
#include "laneentry.h"
#include "recordsdb.h"
#include "rosterpreview.h"
#include "testdayclerk.h"
#include "testdaywindow.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// Every text an assistive technology may read anywhere under `iface`.
void readAloud(QAccessibleInterface* iface, QStringList& heard, int depth = 0) {
  if (!iface || depth > 12) return;
  for (const QAccessible::Text t : {QAccessible::Name, QAccessible::Description, QAccessible::Value,
                                    QAccessible::Help})
    heard << iface->text(t);
  if (QAccessibleValueInterface* v = iface->valueInterface()) heard << v->currentValue().toString();
  if (QAccessibleTableInterface* table = iface->tableInterface())
    for (int r = 0; r < table->rowCount(); ++r)
      for (int c = 0; c < table->columnCount(); ++c) readAloud(table->cellAt(r, c), heard, depth + 1);
  for (int i = 0; i < iface->childCount(); ++i) readAloud(iface->child(i), heard, depth + 1);
}

TEST(DodIdTestDay, ARosterOfDodIdsAloneMakesAGroupWithLanesHistoryCardAndDueList) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestDayWindow w(path);
  startGroup(w, QStringLiteral("Range 3"));
  takeRoster(w, writeRoster(dir, "Last Name,First Name,DoD ID,Sex,DOB,Unit\r\n"
                                 "Abel,Ann,1234567890,F,03/04/1995,A Co\r\n"
                                 "Baker,Bo,2234567890,M,12/31/1990,A Co\r\n"));
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith(QStringLiteral("2 soldiers joined")))
      << w.statusBar()->currentMessage().toStdString();
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("saveGroup")), Qt::LeftButton);
  const QList<TestGroup> stored = TestGroups::forDatabase(path)->all();
  ASSERT_EQ(stored.size(), 1) << w.statusBar()->currentMessage().toStdString();
  const TestGroup group = stored.first();
  ASSERT_EQ(group.members.size(), 2);
  EXPECT_EQ(group.members.at(0).dodId, QStringLiteral("1234567890"));
  EXPECT_TRUE(group.members.at(0).ssn.isEmpty());

  // A lane value makes Abel's record under the number; a sheet opened again
  // finds it by the number.
  std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(path);
  records->open();
  QUndoStack undo;
  {
    LaneSheet sheet(group, *records, undo);
    EXPECT_EQ(sheet.enter(0, LaneField::PushUp, QStringLiteral("40")), QString());
  }
  const std::optional<RowAsRead> made = records->findByDodId(QStringLiteral("1234567890"), group.testDate);
  ASSERT_TRUE(made);
  EXPECT_EQ(byName(*made).value(QStringLiteral("pushup")), QStringLiteral("40"));
  LaneSheet again(group, *records, undo);
  EXPECT_EQ(again.enter(0, LaneField::PushUp, QStringLiteral("41")), QString());
  EXPECT_EQ(records->readAll().size(), 1u) << "the second sheet found Abel's record instead of making another";

  const QList<TestResult> history = loadSoldierHistory(path, QStringLiteral("1234567890"));
  ASSERT_EQ(history.size(), 1);
  EXPECT_EQ(history.first().soldier.name, QStringLiteral("Abel, Ann"));
  EXPECT_TRUE(loadSoldierHistory(path, QStringLiteral("2234567890")).isEmpty());

  const QList<FitnessCard> cards = cardsForGroup(group, *records);
  ASSERT_EQ(cards.size(), 2);
  ASSERT_EQ(cards.at(0).tests.size(), 1);
  EXPECT_EQ(cards.at(0).tests.first().events[1].raw, QStringLiteral("41"));
  EXPECT_TRUE(cards.at(1).tests.isEmpty());

  // Both are due: Abel has no full result yet, Baker no record; each named
  // by the number.
  const ReportTable due = dueList(readTestDayRecords(path, true), QDate::fromString(group.testDate, Qt::ISODate), 6);
  QStringList numbers;
  for (const QStringList& row : due.rows) numbers << row.last();
  numbers.sort();
  EXPECT_EQ(numbers, (QStringList{"1234567890", "2234567890"}));
}

TEST(DodIdTestDay, ARosterLineWhoseNumberAndSsnAreTwoStoredSoldiersRefusesTheWholeRoster) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  {
    std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(path);
    records->open();
    Record first = fullFitnessRecord(1);  // SSN 200000001
    first.insert(QStringLiteral("dod_id"), QStringLiteral("1234567890"));
    records->add(first);
    Record second = fullFitnessRecord(2);  // SSN 200000002, another soldier
    records->add(second);
  }
  TestDayWindow w(path);
  startGroup(w, QStringLiteral("Range 3"));
  w.importRoster(writeRoster(dir, "Last Name,First Name,SSN,DoD ID,Sex,DOB\r\n"
                                  "Cole,Cy,300-00-0003,3234567890,M,01/01/1999\r\n"
                                  "Abel,Ann,200-00-0002,1234567890,F,03/04/1995\r\n"));
  EXPECT_EQ(w.findChild<RosterPreviewDialog*>(), nullptr);
  const QString said = w.statusBar()->currentMessage();
  EXPECT_TRUE(said.contains(QStringLiteral("line 3: the DoD ID number 1234567890 and the SSN ***-**-0002 belong to "
                                           "two different stored soldiers")))
      << said.toStdString();
  EXPECT_FALSE(said.contains(QStringLiteral("200000002")) || said.contains(QStringLiteral("200-00-0002")));
  EXPECT_TRUE(w.groupOnScreen().members.isEmpty());

  // The same soldier named by both, with a record from before the number:
  // one soldier, joins.
  w.importRoster(writeRoster(dir, "Last Name,First Name,SSN,DoD ID,Sex,DOB\r\n"
                                  "Abel,Ann,200-00-0001,1234567890,F,03/04/1995\r\n"
                                  "Dunn,Di,200-00-0002,,F,03/04/1995\r\n"));
  acceptRosterPreview(w);
  EXPECT_EQ(w.groupOnScreen().members.size(), 2) << w.statusBar()->currentMessage().toStdString();
}

TEST(DodIdTestDay, ASoldiersHistoryAndCardByTheNumberHoldTheirTestsFromBeforeItAndNoOneElses) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  insertRows(path, {{{"LNAME", "Abel, Ann"}, {"SSN", "200-00-0001"}, {"SEX", "F"}, {"DOT", "01/10/2023"}}});
  {
    std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(path);
    records->open();
    const auto add = [&](const char* date, const char* dodId) {
      Record r = fullFitnessRecord(1);  // SSN 200000001
      r.insert(QStringLiteral("test_date"), QString::fromLatin1(date));
      r.insert(QStringLiteral("dod_id"), QString::fromLatin1(dodId));
      records->add(r);
    };
    add("2024-03-01", "");            // before the number
    add("2025-09-30", "1234567890");  // under it
    add("2025-10-01", "9234567890");  // another soldier written with the same SSN
  }
  QStringList dates;
  for (const TestResult& r : loadSoldierHistory(path, QStringLiteral("1234567890")))
    dates << r.date.toString(Qt::ISODate);
  EXPECT_EQ(dates, (QStringList{"2025-09-30", "2024-03-01", "2023-01-10"}));
  EXPECT_EQ(loadSoldierHistory(path, QStringLiteral("200-00-0001")).size(), 4) << "by SSN, every record of it";

  // The card of the member the group pairs with both identifiers holds the
  // same five-event tests.
  TestGroup g;
  g.testDate = QStringLiteral("2025-09-30");
  g.location = QStringLiteral("Gym");
  g.members << GroupMember{"200000001", "Abel, Ann", "F", "1996-02-29", "A Co", "general", "", "1234567890"};
  std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(path);
  records->open();
  const QList<FitnessCard> cards = cardsForGroup(g, *records);
  ASSERT_EQ(cards.size(), 1);
  QStringList carded;
  for (const CardTest& t : cards.first().tests) carded << t.date;
  carded.sort();
  EXPECT_EQ(carded, (QStringList{"20240301", "20250930"}));
}

TEST(DodIdTestDay, AScreenReaderHearsTheGroupsSsnsMaskedUntilTheClerkAsksForThemWhole) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestGroup g;
  g.testDate = QStringLiteral("2026-06-12");
  g.location = QStringLiteral("Gym");
  g.members << GroupMember{"123456789", "Yates, Ann B", "F", "1998-02-28", "A Co", "combat", "", "9876543210"};
  TestGroups::forDatabase(path)->save(g);
  TestDayWindow w(path);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QAccessible::setActive(true);
  auto* table = w.findChild<QTableWidget*>(QStringLiteral("soldiers"));
  ASSERT_NE(table, nullptr);
  QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(table);
  ASSERT_NE(grid, nullptr);
  ASSERT_NE(grid->tableInterface(), nullptr);
  QAccessibleInterface* cell = grid->tableInterface()->cellAt(0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->text(QAccessible::Name), QStringLiteral("***-**-6789"));
  QStringList heard;
  readAloud(QAccessible::queryAccessibleInterface(&w), heard);
  ASSERT_TRUE(heard.join('\n').contains(QStringLiteral("***-**-6789"))) << "the walk reached the cell";
  for (const QString& t : heard)
    EXPECT_FALSE(t.contains(QStringLiteral("123456789")) || t.contains(QStringLiteral("123-45-6789")))
        << t.toStdString();

  QAction* whole = nullptr;
  for (QAction* a : w.actions())
    if (a->objectName() == QLatin1String("wholeSsnToggle")) whole = a;
  ASSERT_NE(whole, nullptr);
  whole->trigger();
  EXPECT_EQ(grid->tableInterface()->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("123-45-6789"));
  // The cell keeps the SSN whole for the save, masked or not.
  EXPECT_EQ(w.groupOnScreen().members.first().ssn, QStringLiteral("123456789"));
  EXPECT_FALSE(w.hasUnsavedChanges());
}

}  // namespace
