// A soldier's scorecard as the test day makes it from stored five-event
// records: which tests the card holds, what each box shows, and what stays
// blank for the pen.
#include <gtest/gtest.h>

#include "cardsfromrecords.h"
#include "dbfile.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "fitnessrecordsfixture.h"
#include "testdayrecords.h"
#include "testgroupfixture.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class CardsFromRecords : public FiveEventFileTest {
 protected:
  RowAsRead add(const Record& r) { return store_->add(r); }
  // Only who and when: every result left for the test to give.
  static Record bare(const QString& ssn, const QString& date) {
    return {{"ssn", ssn},       {"test_date", date},   {"name", "Moreno, Luis T"}, {"sex", "M"},
            {"dob", "1998-02-28"}, {"standard", "general"}, {"unit", "A Co 1-5"}};
  }
};

}  // namespace

TEST_F(CardsFromRecords, OfSixTestsTheCardHoldsTheLatestFourOldestFirstUnderTheLatestHeader) {
  const QStringList dates = {"2026-03-15", "2025-07-01", "2026-06-12", "2024-12-01", "2025-10-01", "2026-01-20"};
  for (const QString& d : dates) {
    Record r = fullFitnessRecord(1);
    r["test_date"] = d;
    r["name"] = d == "2026-06-12" ? "Núñez, María J." : "O'Brien, María";
    r["unit"] = d == "2026-06-12" ? "B Co 2-5 IN" : "A CO 1-5 IN";
    r["total_pts"] = QString::number(300 + d.mid(5, 2).toInt());  // tells the tests apart
    add(r);
  }
  Record other = fullFitnessRecord(2);  // another soldier, tested later
  other["test_date"] = "2026-09-01";
  add(other);

  const FitnessCard card = cardsForGroup(TestGroup{1, "2026-06-12", "", {groupMember("200000001", "Someone, Else")}},
                                         store_->readAll())
                               .value(0);
  QStringList onCard, totals;
  for (const CardTest& t : card.tests) onCard << t.date, totals << t.total;
  EXPECT_EQ(onCard, (QStringList{"20251001", "20260120", "20260315", "20260612"}));
  EXPECT_EQ(totals, (QStringList{"310", "301", "303", "306"}));
  EXPECT_EQ(card.lastName, "Núñez");
  EXPECT_EQ(card.firstName, "María");
  EXPECT_EQ(card.middleInitial, "J");
  EXPECT_EQ(card.sex, "F");
  EXPECT_EQ(card.unit, "B Co 2-5 IN");
}

TEST_F(CardsFromRecords, AnAlternateFillsItsOwnBoxesAndLeavesTheRunRowBlank) {
  Record r = fullFitnessRecord(1);
  r["run_s"] = QString();
  r["run_pts"] = QString();
  r["run_go"] = QString();
  const CardTest t = cardFromRecords({add(r)}).tests.value(0);
  EXPECT_EQ(t.date, "20250930");
  EXPECT_EQ(t.mos, "68W");
  EXPECT_EQ(t.payGrade, "E-5");
  EXPECT_EQ(t.age, "29") << "born 29 February 1996, tested 30 September 2025";
  EXPECT_EQ(t.standard, CardStandard::General);
  EXPECT_EQ(t.bodyCompositionDate, "20250929");
  EXPECT_EQ(t.heightInches, "64.5");
  EXPECT_EQ(t.weightPounds, "141");
  EXPECT_EQ(t.weight, GoNoGo::NoGo);
  EXPECT_EQ(t.bodyFatPercent, "29.25");
  EXPECT_EQ(t.bodyFat, GoNoGo::Go);
  EXPECT_EQ(t.deadliftFirst, "181");
  EXPECT_EQ(t.deadliftSecond, "191");
  EXPECT_EQ(heavierAttempt(t), 2);
  const auto ev = [&](CardEvent e) { return t.events[static_cast<int>(e)]; };
  EXPECT_EQ(ev(CardEvent::Deadlift).points, "80");
  EXPECT_EQ(ev(CardEvent::Deadlift).grader, "JK");
  EXPECT_EQ(ev(CardEvent::PushUp).raw, "34");
  EXPECT_EQ(ev(CardEvent::SprintDragCarry).raw, "2:11");
  EXPECT_EQ(ev(CardEvent::SprintDragCarry).grader, "NO");
  EXPECT_EQ(ev(CardEvent::Plank).raw, "3:25");
  EXPECT_EQ(ev(CardEvent::Plank).points, "77");
  EXPECT_EQ(ev(CardEvent::Run).raw, QString());
  EXPECT_EQ(ev(CardEvent::Run).points, QString());
  EXPECT_EQ(t.alternate, "ROW");
  EXPECT_EQ(t.alternateTime, "25:10");
  EXPECT_EQ(t.alternateResult, GoNoGo::Go);
  EXPECT_EQ(t.alternatePoints, "60");
  EXPECT_EQ(t.alternateGrader, "RS");
  EXPECT_EQ(t.total, "381");
  EXPECT_EQ(t.overall, GoNoGo::Go);
  EXPECT_EQ(t.oicName, "SFC Tanaka");
}

TEST_F(CardsFromRecords, ResultsWithoutPointsAreScoredAndWhatNoRecordHoldsStaysBlank) {
  const fitness::FitnessTest& test = fitnessTest();
  const int column = fitness::columnIndex(test.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                          fitness::Column::MaleCombat);
  // Two results, no points: those two are scored, nothing else is made up.
  Record partial = bare("300000001", "2026-06-12");
  partial["pushup"] = figureFor(1, column, 70);
  partial["sdc_s"] = QString::number(fitness::parseTime("sdc", figureFor(2, column, 90)).value.value_or(-1));
  // Stored points stand even where a table would say otherwise: the record
  // is what was scored on the day.
  partial["plank_s"] = QString::number(fitness::parseTime("plank", figureFor(3, column, 100)).value.value_or(-1));
  partial["plank_pts"] = "55";
  const CardTest t = cardFromRecords({add(partial)}).tests.value(0);
  EXPECT_EQ(t.events[1].points, "70");
  EXPECT_EQ(t.events[2].points, "90");
  EXPECT_EQ(t.events[3].points, "55");
  for (int e : {0, 4}) EXPECT_EQ(t.events[e].raw + t.events[e].points + t.events[e].grader, QString()) << e;
  EXPECT_EQ(t.deadliftFirst + t.deadliftSecond + t.mos + t.payGrade + t.bodyCompositionDate + t.heightInches +
                t.weightPounds + t.bodyFatPercent + t.alternate + t.alternateTime + t.total + t.oicName,
            QString());
  EXPECT_EQ(t.weight, GoNoGo::Blank);
  EXPECT_EQ(t.bodyFat, GoNoGo::Blank);
  EXPECT_EQ(t.alternateResult, GoNoGo::Blank);
  EXPECT_EQ(t.overall, GoNoGo::Blank) << "no verdict before all five events are in";

  // All five in, no points at all: the card carries the test's own total and verdict.
  Record whole = bare("300000002", "2026-06-12");
  const std::array<int, 5> points{60, 50, 80, 90, 100};
  whole["deadlift_1"] = figureFor(0, column, points[0]);
  whole["pushup"] = figureFor(1, column, points[1]);
  for (int e : {2, 3, 4})
    whole[QStringList{"", "", "sdc_s", "plank_s", "run_s"}[e]] =
        QString::number(fitness::parseTime("t", figureFor(e, column, points[e])).value.value_or(-1));
  const CardTest full = cardFromRecords({add(whole)}).tests.value(0);
  for (int e = 0; e < 5; ++e) EXPECT_EQ(full.events[e].points, QString::number(points[e])) << e;
  EXPECT_EQ(full.total, QString::number(60 + 50 + 80 + 90 + 100));
  EXPECT_EQ(full.overall, GoNoGo::NoGo) << "50 in the push-up is under the event minimum";
}

TEST_F(CardsFromRecords, ASoldierWithoutAFiveEventRecordGetsABlankCardUnderTheGroupsHeader) {
  const TestGroup group = rangeDayGroup();
  add(bare(group.members.at(2).ssn, group.testDate));
  const QList<FitnessCard> cards = cardsForGroup(group, store_->readAll());
  ASSERT_EQ(cards.size(), 3);
  EXPECT_EQ(cards[0].lastName, "Yates");
  EXPECT_EQ(cards[0].firstName, "Ann");
  EXPECT_EQ(cards[0].middleInitial, "B");
  EXPECT_EQ(cards[0].sex, "F");
  EXPECT_EQ(cards[0].unit, "A Co 1-5");
  EXPECT_TRUE(cards[0].tests.isEmpty());
  EXPECT_EQ(cards[1].lastName, "Abernathy");
  EXPECT_EQ(cards[1].middleInitial, QString());
  EXPECT_TRUE(cards[1].tests.isEmpty());
  ASSERT_EQ(cards[2].tests.size(), 1);
  EXPECT_EQ(cards[2].tests[0].date, "20260612");
  EXPECT_EQ(cards[2].tests[0].total, QString());
}
