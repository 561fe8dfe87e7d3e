// A soldier's history across both tests, read from a records file: which
// records belong to the soldier, their order, and what the chart draws.
#include <gtest/gtest.h>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "fitnessrecordsfixture.h"
#include "history.h"
#include "recordsdb.h"
#include "testdayrecords.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class History : public FiveEventFileTest {
 protected:
  void threeEvent(int id, const QString& ssn, const QString& dot, const QString& total) {
    insertRows(path_, {{{"ID", QString::number(id)},
                        {"LNAME", "Yates, Ann B"},
                        {"SSN", ssn},
                        {"DOT", dot},
                        {"RAW_PU", "41"},
                        {"C_PU", "80"},
                        {"RUN_M", "15"},
                        {"RUN_S", "7"},
                        {"TOTAL", total},
                        {"STAT", "PASS"}}});
  }
  void fiveEvent(const QString& ssn, const QString& date, const QString& total) {
    Record r = fullFitnessRecord(1);
    r["ssn"] = ssn;
    r["test_date"] = date;
    r["total_pts"] = total;
    store_->add(r);
  }
  QStringList order(const QString& ssn) {
    QStringList out;
    for (const TestResult& e : loadSoldierHistory(path_, ssn))
      out << QStringLiteral("%1 %2 %3")
                 .arg(e.kind == TestResult::Kind::FiveEvent ? "5" : "3", e.date.toString(Qt::ISODate),
                      e.total ? QString::number(*e.total) : QString("-"));
    return out;
  }
};

}  // namespace

TEST_F(History, BothTestsNewestFirstTheFiveEventFirstOnASharedDateUndatedLast) {
  threeEvent(1, "123-45-6789", "06/12/2026", "251");
  threeEvent(2, "123-45-6789", "01/05/2025", "252");
  threeEvent(3, "123-45-6789", "", "253");
  threeEvent(4, "123-45-6789", "06/12/2026", "254");  // entered later on the same day
  threeEvent(5, "987-65-4321", "07/01/2026", "255");  // someone else
  fiveEvent("123456789", "2025-10-01", "401");
  fiveEvent("123456789", "2026-06-12", "402");
  fiveEvent("987654321", "2026-07-01", "403");
  const QStringList expected = {"5 2026-06-12 402", "3 2026-06-12 254", "3 2026-06-12 251",
                                "5 2025-10-01 401", "3 2025-01-05 252", "3  253"};
  EXPECT_EQ(order("123-45-6789"), expected);
  EXPECT_EQ(order(" 123456789 "), expected) << "the SSN as typed, with or without dashes";
  EXPECT_TRUE(order("111223333").isEmpty());

  const TestResult three = loadSoldierHistory(path_, "123456789").at(1);
  ASSERT_EQ(three.events.size(), 3);
  EXPECT_EQ(kindOf(three).rawText(three.events[0]), "41");
  EXPECT_EQ(three.events[0].points, 80);
  EXPECT_EQ(three.events[1].points, std::nullopt) << "no sit-up points stored: none shown";
  EXPECT_EQ(kindOf(three).rawText(three.events[2]), "15:07");
  EXPECT_EQ(three.result, "PASS");
}

TEST_F(History, TheChartDrawsOnlyDatedFiveEventTestsOldestFirstWithTheAlternateInTheRunsPlace) {
  threeEvent(1, "123-45-6789", "03/01/2026", "290");
  fiveEvent("123456789", "2026-06-12", "402");
  Record ran = fullFitnessRecord(1);  // the run this time, no alternate
  for (const char* k : {"alt_event", "alt_time_s", "alt_pts", "alt_go", "grader_alt"}) ran[k] = QString();
  ran["ssn"] = "123456789";
  ran["run_pts"] = "72";
  ran["test_date"] = "2025-10-01";
  ran["total_pts"] = "393";
  store_->add(ran);

  const QList<ChartSeries> chart = historyChart(loadSoldierHistory(path_, "123456789"));
  ASSERT_EQ(chart.size(), 6);
  using P = std::pair<QDate, int>;
  EXPECT_EQ(chart[0].name, "Total");
  EXPECT_EQ(chart[0].points, (QList<P>{{QDate(2025, 10, 1), 393}, {QDate(2026, 6, 12), 402}}))
      << "the three-event total of March is not on the five-event scale";
  EXPECT_EQ(chart[1].points, (QList<P>{{QDate(2025, 10, 1), 80}, {QDate(2026, 6, 12), 80}}));
  EXPECT_EQ(chart[5].points, (QList<P>{{QDate(2025, 10, 1), 72}, {QDate(2026, 6, 12), 60}}))
      << "the row's 60 stands where the run would";
}
