// The five-event scoring seen from its inputs: pass rules at their edges,
// age groups at their birthdays, the columns each standard reads, the
// alternate events and every refusal. Raw figures come from the compiled
// tables through the shared fixture; the tables themselves are held equal to
// the official pages by check_tables.py.

#include <gtest/gtest.h>

#include "fitnessfixture.h"

using namespace quillon::fitness;
using quillon::test::figureFor;
using quillon::test::fitnessTest;
using quillon::test::soldierWith;

namespace {

constexpr int kDeadlift = 0, kSdc = 2, kRun = 4;

TEST(FitnessTables, LoadWholeFromTheProgram) {
  const LoadedTest& t = fitnessTest2025();
  ASSERT_TRUE(t.test) << qPrintable(t.error);
  EXPECT_EQ(t.test->edition, "June 2025");
  EXPECT_EQ(t.test->tables.size(), t.test->events.size());
}

TEST(FitnessTables, DamagedTableTextIsRefusedWithItsLine) {
  const EventDef& run = fitnessTest().events[kRun];
  QList<TableRow> rows;
  QByteArray heading = "points";
  for (const AgeGroup& g : fitnessTest().ageGroups) heading += "," + g.label.toUtf8() + " M|C," + g.label.toUtf8() + " F";
  QByteArray line100 = "100", line0 = "0", badTime = "50";
  for (int c = 0; c < kColumns; ++c) line100 += ",13:22", line0 += ",22:45", badTime += ",12:61";
  EXPECT_EQ(parseEventTable(heading + "\n" + line100 + "\n" + line0 + "\n", run, rows), "");
  EXPECT_EQ(rows.size(), 2);
  EXPECT_TRUE(parseEventTable(heading + "\n" + line0 + "\n" + line100 + "\n", run, rows).contains("line 3"));
  EXPECT_TRUE(parseEventTable(heading + "\n" + line100 + "\n" + badTime + "\n" + line0, run, rows).contains("line 3"));
  EXPECT_TRUE(parseEventTable(heading + "\n" + line100 + "\n", run, rows).contains("0-point"));
  EXPECT_TRUE(parseEventTable("points,17-21 M|C\n" + line100, run, rows).contains("heading"));
}

TEST(TimeEntry, AcceptsTheThreeFormsAStopwatchIsTypedIn) {
  for (const char* t : {"13:22", "1322", "13 22", " 13:22 ", "13  22"}) EXPECT_EQ(parseTime("run", t).value, 802) << t;
  EXPECT_EQ(parseTime("sdc", "129").value, 89);
  EXPECT_EQ(parseTime("plank", "0:59").value, 59);
  EXPECT_EQ(parseTime("plank", "059").value, 59);
}

TEST(TimeEntry, RefusesSixtySecondsAndGarbageNamingTheFieldAndText) {
  for (const char* t : {"1:60", "160", "1 75", "59", "1:5", "12:345", "abc", "13:22x", "-1:00", "1.30", "100:00"}) {
    const RawValue v = parseTime("sdc", t);
    EXPECT_FALSE(v.value) << t;
    EXPECT_TRUE(v.error.startsWith("sdc: ")) << qPrintable(v.error);
    EXPECT_TRUE(v.error.contains(QString("\"%1\"").arg(t))) << qPrintable(v.error);
  }
  EXPECT_TRUE(parseTime("run", "").error.startsWith("run: empty"));
}

TEST(Scoring, BetweenTwoListedFiguresEarnsTheLowerLineAndBeyondTheEndsClamps) {
  const Entry base = soldierWith(Sex::Male, Standard::General, 20, {60, 60, 60, 60, 60});
  const int col = columnIndex(0, Column::MaleCombat);
  const int run60 = parseTime("run", figureFor(kRun, col, 60)).value.value();
  const int run100 = parseTime("run", figureFor(kRun, col, 100)).value.value();
  const int run0 = parseTime("run", figureFor(kRun, col, 0)).value.value();
  auto runPoints = [&](int seconds) {
    Entry e = base;
    e.raw[kRun] = formatTime(seconds);
    const Score s = scoreEntry(fitnessTest(), e);
    EXPECT_TRUE(s.scored()) << qPrintable(s.refused);
    return s.points[kRun];
  };
  EXPECT_EQ(runPoints(run60), 60);
  EXPECT_EQ(runPoints(run60 + 1), 59);
  EXPECT_EQ(runPoints(run100), 100);
  EXPECT_EQ(runPoints(run100 - 60), 100);
  EXPECT_EQ(runPoints(run0), 0);
  EXPECT_EQ(runPoints(run0 + 1), 0);
  // The deadlift lists 10-point steps below 60: a lift between two of them
  // keeps the lower step's points.
  const int lift60 = figureFor(kDeadlift, col, 60).toInt();
  const int lift50 = figureFor(kDeadlift, col, 50).toInt();
  Entry e = base;
  e.raw[kDeadlift] = QString::number(lift60 - 1);
  ASSERT_GT(lift60 - 1, lift50);
  EXPECT_EQ(scoreEntry(fitnessTest(), e).points[kDeadlift], 50);
}

TEST(PassRules, GeneralNeedsSixtyInEveryEventAndThreeHundredInTotal) {
  Score s = scoreEntry(fitnessTest(), soldierWith(Sex::Male, Standard::General, 30, {60, 60, 60, 60, 60}));
  ASSERT_TRUE(s.scored()) << qPrintable(s.refused);
  EXPECT_EQ(s.total, 300);
  EXPECT_TRUE(s.go);
  s = scoreEntry(fitnessTest(), soldierWith(Sex::Female, Standard::General, 30, {100, 100, 59, 100, 100}));
  EXPECT_EQ(s.total, 459);
  EXPECT_FALSE(s.eventGo[kSdc]);
  EXPECT_TRUE(s.eventGo[kRun]);
  EXPECT_FALSE(s.go);
}

TEST(PassRules, CombatNeedsThreeHundredFiftyAndReadsEverySoldierInTheMaleCombatColumn) {
  Score s = scoreEntry(fitnessTest(), soldierWith(Sex::Female, Standard::Combat, 45, {60, 60, 69, 60, 100}));
  ASSERT_TRUE(s.scored()) << qPrintable(s.refused);
  EXPECT_EQ(s.column, Column::MaleCombat);
  EXPECT_EQ(s.total, 349);
  EXPECT_FALSE(s.go);
  s = scoreEntry(fitnessTest(), soldierWith(Sex::Female, Standard::Combat, 45, {60, 60, 70, 60, 100}));
  EXPECT_EQ(s.total, 350);
  EXPECT_TRUE(s.go);
  // The same woman's results read in her own column under the general
  // standard: the female figures for 60 points earn 60 there and less in M|C.
  Entry own = soldierWith(Sex::Female, Standard::General, 45, {60, 60, 60, 60, 60});
  EXPECT_EQ(scoreEntry(fitnessTest(), own).total, 300);
  own.standard = Standard::Combat;
  const Score asCombat = scoreEntry(fitnessTest(), own);
  EXPECT_LT(asCombat.total, 300);
  EXPECT_FALSE(asCombat.go);
}

TEST(AgeGroups, ChangeOnTheBirthdayItself) {
  const FitnessTest& t = fitnessTest();
  for (qsizetype g = 0; g < t.ageGroups.size(); ++g) {
    const AgeGroup& group = t.ageGroups[g];
    Entry e = soldierWith(Sex::Male, Standard::General, 30, {60, 60, 60, 60, 60});
    e.dob = e.testDate.addYears(-group.from);
    const Score on = scoreEntry(t, e);
    ASSERT_TRUE(on.scored()) << qPrintable(on.refused);
    EXPECT_EQ(t.ageGroups[on.ageGroup].label, group.label);
    e.dob = e.dob.addDays(1);
    const Score dayBefore = scoreEntry(t, e);
    if (g == 0) {
      EXPECT_FALSE(dayBefore.scored());
      EXPECT_TRUE(dayBefore.refused.startsWith("dob: ")) << qPrintable(dayBefore.refused);
      EXPECT_TRUE(dayBefore.refused.contains("under 17")) << qPrintable(dayBefore.refused);
    } else {
      EXPECT_EQ(t.ageGroups[dayBefore.ageGroup].label, t.ageGroups[g - 1].label) << qPrintable(group.label);
    }
  }
}

TEST(AgeGroups, ALeapDayBirthdayIsReachedOnTheFirstOfMarchInOtherYears) {
  const QDate dob(2004, 2, 29);
  EXPECT_EQ(ageOn(dob, QDate(2021, 2, 28)), 16);
  EXPECT_EQ(ageOn(dob, QDate(2021, 3, 1)), 17);
  EXPECT_EQ(ageOn(dob, QDate(2024, 2, 28)), 19);
  EXPECT_EQ(ageOn(dob, QDate(2024, 2, 29)), 20);
  EXPECT_EQ(ageOn(dob, QDate(2026, 2, 28)), 21);
  EXPECT_EQ(ageOn(dob, QDate(2026, 3, 1)), 22);
  Entry e = soldierWith(Sex::Male, Standard::General, 20, {60, 60, 60, 60, 60});
  e.dob = dob;
  e.testDate = QDate(2021, 2, 28);
  EXPECT_TRUE(scoreEntry(fitnessTest(), e).refused.contains("16"));
  e.testDate = QDate(2021, 3, 1);
  EXPECT_TRUE(scoreEntry(fitnessTest(), e).scored());
}

TEST(Alternates, GoAtTheMaximumTimeAndNoGoOneSecondOverInTheRunsPlace) {
  const FitnessTest& t = fitnessTest();
  for (const AlternateDef& a : t.alternates) {
    Entry e = soldierWith(Sex::Female, Standard::General, 60, {60, 60, 60, 60, 60});
    e.raw[kRun].clear();
    e.alternate = a.key.toUpper();
    const int limit = a.maxSeconds[columnIndex(t.ageGroupOf(60), Column::Female)];
    e.alternateTime = formatTime(limit);
    Score s = scoreEntry(t, e);
    ASSERT_TRUE(s.scored()) << qPrintable(s.refused);
    EXPECT_EQ(s.points[kRun], 60) << qPrintable(a.key);
    EXPECT_TRUE(s.go);
    e.alternateTime = formatTime(limit + 1);
    s = scoreEntry(t, e);
    EXPECT_EQ(s.points[kRun], 0) << qPrintable(a.key);
    EXPECT_EQ(s.total, 240);
    EXPECT_FALSE(s.go);
  }
}

TEST(Refusals, NameTheFieldAndTheValueAndScoreNothing) {
  const Entry ok = soldierWith(Sex::Male, Standard::General, 25, {60, 60, 60, 60, 60});
  struct Case {
    std::function<void(Entry&)> change;
    QString starts;
    QString mentions;
  };
  const QList<Case> cases{
      {[](Entry& e) { e.raw[kRun] = "7:59"; }, "run: ", "\"7:59\""},
      {[](Entry& e) { e.raw[kRun] = "19:75"; }, "run: ", "\"19:75\""},
      {[](Entry& e) { e.raw[kDeadlift] = "150.5"; }, "deadlift: ", "\"150.5\""},
      {[](Entry& e) { e.raw[kDeadlift] = "900"; }, "deadlift: ", "\"900\""},
      {[](Entry& e) { e.raw[1] = ""; }, "pushup: ", "empty"},
      {[](Entry& e) { e.testDate = e.dob.addDays(-1); }, "test_date: ", "2000-05-31"},
      {[](Entry& e) { e.alternate = "jog"; e.raw[kRun].clear(); e.alternateTime = "30:00"; }, "alternate: ", "\"jog\""},
      {[](Entry& e) { e.alternate = "walk"; e.alternateTime = "30:00"; }, "run: ", "walk"},
      {[](Entry& e) { e.alternateTime = "30:00"; }, "alternate_time: ", "\"30:00\""},
      {[](Entry& e) { e.alternate = "swim"; e.raw[kRun].clear(); e.alternateTime = "3O:00"; }, "alternate_time: ", "\"3O:00\""},
  };
  ASSERT_TRUE(scoreEntry(fitnessTest(), ok).scored());
  for (const Case& c : cases) {
    Entry e = ok;
    c.change(e);
    const Score s = scoreEntry(fitnessTest(), e);
    EXPECT_FALSE(s.scored());
    EXPECT_TRUE(s.refused.startsWith(c.starts)) << qPrintable(s.refused);
    EXPECT_TRUE(s.refused.contains(c.mentions)) << qPrintable(s.refused);
    EXPECT_EQ(s.total, 0);
    EXPECT_FALSE(s.go);
  }
}

}  // namespace
