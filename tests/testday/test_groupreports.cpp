#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "exportwriter.h"
#include "fitnesstest.h"
#include "groupreports.h"
#include "recordsdb.h"
#include "testdayrecords.h"
#include "testgroupfixture.h"
#include "testsupport.h"
#include "xlsxreader.h"

using namespace quillon;
using namespace quillon::test;

namespace {

QString ssnOf(int n) { return QString::number(100000000 + n); }

// The column of `table` headed `heading`, from every row.
QStringList column(const ReportTable& table, const QString& heading) {
  qsizetype c = -1;
  for (qsizetype i = 0; i < table.columns.size(); ++i)
    if (table.columns[i].heading == heading) c = i;
  EXPECT_GE(c, 0) << qPrintable(heading);
  QStringList out;
  for (const QStringList& row : table.rows) out << row.value(c);
  return out;
}

QString rowOf(const ReportTable& table, const QString& first, const QString& heading) {
  const QStringList firsts = column(table, table.columns.value(0).heading);
  const qsizetype r = firsts.indexOf(first);
  EXPECT_GE(r, 0) << qPrintable(first);
  return column(table, heading).value(r);
}

class DueListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path);
    addFiveEventRecords(path, {
        fiveEventResult(ssnOf(1), QStringLiteral("Ahn, Feb"), QStringLiteral("2026-02-28"), QStringLiteral("GO")),
        fiveEventResult(ssnOf(2), QStringLiteral("Bell, Aug"), QStringLiteral("2025-08-31"), QStringLiteral("GO")),
        // A NO-GO after an older GO: due however recent.
        fiveEventResult(ssnOf(3), QStringLiteral("Cruz, Nogo"), QStringLiteral("2026-01-10"), QStringLiteral("GO")),
        fiveEventResult(ssnOf(3), QStringLiteral("Cruz, Nogo"), QStringLiteral("2026-05-01"), QStringLiteral("NO-GO")),
        // A GO after an older NO-GO: not due.
        fiveEventResult(ssnOf(4), QStringLiteral("Diaz, Mended"), QStringLiteral("2026-01-10"), QStringLiteral("NO-GO")),
        fiveEventResult(ssnOf(4), QStringLiteral("Diaz, Mended"), QStringLiteral("2026-05-01"), QStringLiteral("GO")),
        // Events still missing: no test yet.
        fiveEventResult(ssnOf(6), QStringLiteral("Fox, Unfinished"), QStringLiteral("2026-05-01"), QString()),
        fiveEventResult(ssnOf(7), QStringLiteral("Gray, Both"), QStringLiteral("2026-06-01"), QStringLiteral("GO")),
    });
    // Three-event records: one soldier has no other, one has a recent
    // five-event GO besides.
    insertRows(path, {{{"LNAME", "Eng, Threeonly"}, {"SSN", "100-00-0005"}, {"DOT", "03/14/2025"}},
                      {{"LNAME", "Gray, Both"}, {"SSN", "100-00-0007"}, {"DOT", "01/01/2020"}}});
    // A soldier put on a test day with no record yet is known too; one
    // with records is listed once.
    TestGroup g = rangeDayGroup();
    g.members = {groupMember(ssnOf(8), QStringLiteral("Hale, Member")), groupMember(ssnOf(1), QStringLiteral("Ahn, Feb"))};
    TestGroups::forDatabase(path)->save(g);
  }

  ReportTable due(const QString& asOf, int months = 6) {
    return dueList(readTestDayRecords(path, true), QDate::fromString(asOf, Qt::ISODate), months);
  }

  ScratchDir dir;
  QString path;
};

}  // namespace

TEST_F(DueListTest, ATestExactlyTheMonthsOldIsNotDueUntilTheNextDayEvenAtTheMonthsEnd) {
  // Feb 28 plus six months is Aug 28: due from Aug 29, also on Aug 31
  // (counting back six months from Aug 31 would land on Feb 28 and miss it).
  EXPECT_EQ(column(due("2026-08-28"), "Name"),
            (QStringList{"Bell, Aug", "Cruz, Nogo", "Eng, Threeonly", "Fox, Unfinished", "Hale, Member"}));
  EXPECT_EQ(column(due("2026-08-31"), "Name"),
            (QStringList{"Ahn, Feb", "Bell, Aug", "Cruz, Nogo", "Eng, Threeonly", "Fox, Unfinished", "Hale, Member"}));
  EXPECT_EQ(rowOf(due("2026-08-29"), "Ahn, Feb", "Due Because"), "Over 6 months since the last test");
  EXPECT_EQ(rowOf(due("2026-08-29"), "Ahn, Feb", "Due From"), "2026-08-29");

  // Aug 31 plus six months is Feb 28, the month's last day: not due on it,
  // due on Mar 1. Records dated after the list's day do not count: on Feb 28
  // Cruz's last test is the GO of January, Diaz's the NO-GO of January, Gray
  // has no five-event test yet, and Ahn's test that very day counts.
  EXPECT_EQ(column(due("2026-02-28"), "Name"),
            (QStringList{"Diaz, Mended", "Eng, Threeonly", "Fox, Unfinished", "Gray, Both", "Hale, Member"}));
  EXPECT_EQ(column(due("2026-03-01"), "Name"),
            (QStringList{"Bell, Aug", "Diaz, Mended", "Eng, Threeonly", "Fox, Unfinished", "Gray, Both", "Hale, Member"}));
  // Fewer months chosen: more soldiers due.
  EXPECT_EQ(column(due("2026-08-28", 2), "Name"),
            (QStringList{"Ahn, Feb", "Bell, Aug", "Cruz, Nogo", "Diaz, Mended", "Eng, Threeonly", "Fox, Unfinished",
                         "Gray, Both", "Hale, Member"}));
}

TEST_F(DueListTest, SaysWhyEachSoldierIsDueAndWhatTheLastTestWas) {
  const ReportTable t = due("2026-08-31");
  EXPECT_EQ(rowOf(t, "Cruz, Nogo", "Due Because"), "Last test NO-GO");
  EXPECT_EQ(rowOf(t, "Cruz, Nogo", "Last Test"), "2026-05-01");
  EXPECT_EQ(rowOf(t, "Cruz, Nogo", "Result"), "NO-GO");
  EXPECT_EQ(rowOf(t, "Eng, Threeonly", "Due Because"), "No five-event test (last three-event test 2025-03-14)");
  EXPECT_EQ(rowOf(t, "Eng, Threeonly", "SSN"), ssnOf(5));
  EXPECT_EQ(rowOf(t, "Fox, Unfinished", "Due Because"), "No five-event test");
  EXPECT_EQ(rowOf(t, "Fox, Unfinished", "Last Test"), "");
  EXPECT_EQ(rowOf(t, "Bell, Aug", "Due Because"), "Over 6 months since the last test");
  EXPECT_EQ(rowOf(t, "Bell, Aug", "Due From"), "2026-03-01");
  EXPECT_EQ(rowOf(t, "Cruz, Nogo", "Due From"), "");
}

TEST(GroupReports, SummaryCountsAnAlternateInsteadOfTheRunAndNamesWhoFailed) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  const TestGroup g = rangeDayGroup();  // Yates, Abernathy, Moreno
  Record yates = fiveEventResult(g.members[0].ssn, g.members[0].name, g.testDate, QStringLiteral("NO-GO"),
                                 QStringLiteral("371"), QStringLiteral("row"));
  yates.insert(QStringLiteral("sdc_go"), QStringLiteral("NO-GO"));
  // Abernathy's record of another day is none of this group's.
  addFiveEventRecords(path, {yates,
                             fiveEventResult(g.members[1].ssn, g.members[1].name, g.testDate, QStringLiteral("GO")),
                             fiveEventResult(g.members[2].ssn, g.members[2].name, QStringLiteral("2025-01-01"),
                                             QStringLiteral("NO-GO"))});
  const MemberRecords records = groupRecords(g, readTestDayRecords(path, false).results);
  const ReportTable t = goNoGoSummary(g, records);
  const quillon::fitness::FitnessTest& five = *quillon::fitness::fitnessTest2025().test;
  const QString run = five.events[five.runEvent].name;
  const QString row = five.alternates[five.alternateIndex(QStringLiteral("row"))].name;
  const QString sdc = five.events[five.eventIndex(QStringLiteral("sdc"))].name;
  const QString mdl = five.events[five.eventIndex(QStringLiteral("deadlift"))].name;

  EXPECT_EQ(column(t, "Event"), (QStringList{five.events[0].name, five.events[1].name, five.events[2].name,
                                             five.events[3].name, run, row, "Overall result", "No result yet"}));
  EXPECT_EQ(rowOf(t, mdl, "Tested") + rowOf(t, mdl, "GO") + rowOf(t, mdl, "NO-GO"), "220");
  EXPECT_EQ(rowOf(t, sdc, "NO-GO"), "1");
  EXPECT_EQ(rowOf(t, sdc, "NO-GO soldiers"), "Yates, Ann B");
  // The run stored NO-GO beside the rowing counts for nothing.
  EXPECT_EQ(rowOf(t, run, "Tested") + rowOf(t, run, "GO") + rowOf(t, run, "NO-GO"), "110");
  EXPECT_EQ(rowOf(t, row, "Tested") + rowOf(t, row, "GO") + rowOf(t, row, "NO-GO"), "110");
  EXPECT_EQ(rowOf(t, "Overall result", "Tested") + rowOf(t, "Overall result", "NO-GO"), "21");
  EXPECT_EQ(rowOf(t, "No result yet", "NO-GO soldiers"), "Moreno, Luis T");

  // The results say the same of each soldier.
  const ReportTable results = groupResults(g, records, ResultOrder::ByName);
  EXPECT_EQ(rowOf(results, "Yates, Ann B", "NO-GO in"), "SDC");
  EXPECT_EQ(rowOf(results, "Yates, Ann B", "2MR / Alt"), row + " 25:10 GO");
  EXPECT_EQ(rowOf(results, "Moreno, Luis T", "Result"), "Not tested");
}

TEST(GroupReports, ByTotalPutsTheHighestFirstTiesByNameAndThoseWithoutATotalLastAndPrintsSo) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestGroup g = rangeDayGroup();
  g.members = {groupMember(ssnOf(1), "zeller, Amy"), groupMember(ssnOf(2), "Adams, Zoe"), groupMember(ssnOf(3), "Moe, Al"),
               groupMember(ssnOf(4), "Inch, Ida"), groupMember(ssnOf(5), "Bob, Not"), groupMember(ssnOf(6), "Low, Lou")};
  addFiveEventRecords(path, {fiveEventResult(ssnOf(1), "zeller, Amy", g.testDate, "GO", "400"),
                             fiveEventResult(ssnOf(2), "Adams, Zoe", g.testDate, "GO", "400"),
                             fiveEventResult(ssnOf(3), "Moe, Al", g.testDate, "GO", "450"),
                             fiveEventResult(ssnOf(4), "Inch, Ida", g.testDate, ""),
                             fiveEventResult(ssnOf(6), "Low, Lou", g.testDate, "NO-GO", "95")});
  const MemberRecords records = groupRecords(g, readTestDayRecords(path, false).results);

  const ReportTable byTotal = groupResults(g, records, ResultOrder::ByTotal);
  const QStringList order{"Moe, Al", "Adams, Zoe", "zeller, Amy", "Low, Lou", "Bob, Not", "Inch, Ida"};
  EXPECT_EQ(column(byTotal, "Name"), order);
  EXPECT_EQ(column(byTotal, "Total"), (QStringList{"450", "400", "400", "95", "", ""}));
  EXPECT_EQ(column(byTotal, "Result"), (QStringList{"GO", "GO", "GO", "NO-GO", "Not tested", "Incomplete"}));
  EXPECT_EQ(column(groupResults(g, records, ResultOrder::ByName), "Name"),
            (QStringList{"Adams, Zoe", "Bob, Not", "Inch, Ida", "Low, Lou", "Moe, Al", "zeller, Amy"}));

  // The report engine prints the rows in that order, every column in place.
  const QStringList printed = reportText(preparedReport(byTotal));
  QStringList names;
  for (const QString& line : printed)
    for (const QString& n : order)
      if (line.startsWith(n)) names << n;
  EXPECT_EQ(names, order) << qPrintable(printed.join('\n'));
  EXPECT_TRUE(printed.join('\n').contains("Moe, Al")) << qPrintable(printed.join('\n'));
  const QString moe = printed.value(printed.indexOf(QRegularExpression("^Moe, Al.*")));
  EXPECT_TRUE(moe.contains("100-00-0003") && moe.contains("450") && moe.contains("GO")) << qPrintable(moe);
}

TEST(GroupReports, ExportsAreOwnerOnlyAndANameThatLooksLikeAFormulaStaysText) {
  ScratchDir dir;
  TestGroup g = rangeDayGroup();
  const QString formula = QStringLiteral("=HYPERLINK(\"http://x.invalid\",\"Go\")");
  g.members = {groupMember(ssnOf(1), formula), groupMember(ssnOf(2), "@SUM(A1:A9)"), groupMember(ssnOf(3), "Plain, Pat")};
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  addFiveEventRecords(path, {fiveEventResult(ssnOf(1), formula, g.testDate, "GO", "412")});
  const MemberRecords records = groupRecords(g, readTestDayRecords(path, false).results);

  for (const ReportTable& t : {groupResults(g, records, ResultOrder::ByName), groupRecordsTable(g, records)}) {
    const ExportTable table = exportTable(t);
    const QString csv = dir.file("out.csv"), xlsx = dir.file("out.xlsx");
    ASSERT_EQ(writeTableCsv(csv, table), "");
    ASSERT_EQ(writeTableXlsx(xlsx, table), "");
    for (const QString& f : {csv, xlsx})
      EXPECT_EQ(QFileInfo(f).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther), 0)
          << qPrintable(f);

    QFile c(csv);
    ASSERT_TRUE(c.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(c.readAll());
    EXPECT_TRUE(text.contains("\"'=HYPERLINK(\"\"http://x.invalid\"\",\"\"Go\"\")\"")) << qPrintable(text);
    EXPECT_TRUE(text.contains("'@SUM(A1:A9)")) << qPrintable(text);

    QFile x(xlsx);
    ASSERT_TRUE(x.open(QIODevice::ReadOnly));
    const CsvTable back = readXlsx(x.readAll());
    ASSERT_TRUE(back.ok()) << qPrintable(back.error);
    ASSERT_EQ(back.records.size(), 4);
    EXPECT_EQ(back.records[0].fields, table.headings);
    const qsizetype name = table.headings.indexOf(t.columns[0].key == "id" ? "name" : "Name");
    QStringList names;
    for (int r = 1; r < 4; ++r) names << back.records[r].fields.value(name);
    // Written as text, a formula would read back as its (empty) result.
    EXPECT_TRUE(names.contains(formula)) << qPrintable(names.join('|'));
    EXPECT_TRUE(names.contains("@SUM(A1:A9)")) << qPrintable(names.join('|'));
  }
}

// The due list asks the kind it is for and never which test a result is:
// listed for the three-event test, the five-event results only name the
// soldier and give the hint, and the three-event ones count as the tests.
TEST(DueListOfEitherTest, TheListsOwnKindCountsAndTheOtherOnlyHints) {
  const auto result = [](TestKindId kind, const QString& ssn, const QString& name, const QDate& on, const QString& word) {
    TestResult r;
    r.kind = kind;
    r.soldier.ssn = ssn;
    r.soldier.name = name;
    r.date = on;
    r.result = word;
    return r;
  };
  const QList<TestResult> results = {
      result(TestKindId::FiveEvent, ssnOf(1), "Ahn, Fiveonly", QDate(2026, 1, 10), "GO"),
      result(TestKindId::ThreeEvent, ssnOf(2), "Bell, Stale", QDate(2025, 5, 1), "PASS"),
      result(TestKindId::FiveEvent, ssnOf(2), "Bell, Stale", QDate(2026, 2, 1), "GO"),
      result(TestKindId::ThreeEvent, ssnOf(3), "Cruz, Recent", QDate(2026, 2, 1), "PASS"),
  };
  const QDate asOf(2026, 3, 1);
  const ReportTable three = dueList(results, {}, testKind(TestKindId::ThreeEvent), asOf, 6);
  EXPECT_EQ(three.title, "Due List: no three-event test in 6 months, or a NO-GO, as of 2026-03-01");
  EXPECT_EQ(column(three, "Name"), (QStringList{"Ahn, Fiveonly", "Bell, Stale"}));
  EXPECT_EQ(rowOf(three, "Ahn, Fiveonly", "Due Because"), "No three-event test (last five-event test 2026-01-10)");
  EXPECT_EQ(rowOf(three, "Bell, Stale", "Due Because"), "Over 6 months since the last test");
  EXPECT_EQ(rowOf(three, "Bell, Stale", "Result"), "PASS");

  const ReportTable five = dueList(results, {}, testKind(TestKindId::FiveEvent), asOf, 6);
  EXPECT_EQ(column(five, "Name"), QStringList{"Cruz, Recent"});
  EXPECT_EQ(rowOf(five, "Cruz, Recent", "Due Because"), "No five-event test (last three-event test 2026-02-01)");
}

// A group's report is of the group's test on the group's day: a member's
// three-event record of that day is no result of it, and reading only the
// members' records gives what reading every table gave.
TEST(GroupReports, AnotherTestOnTheGroupsDayIsNoResultAndTheMembersOwnRecordsSuffice) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  const TestGroup g = rangeDayGroup();  // Yates, Abernathy, Moreno
  addFiveEventRecords(path, {fiveEventResult(g.members[0].ssn, g.members[0].name, g.testDate, "GO", "412"),
                             fiveEventResult(g.members[1].ssn, g.members[1].name, "2025-01-01", "GO", "380"),
                             fiveEventResult(ssnOf(9), "Outsider, Ida", g.testDate, "GO", "401")});
  insertRows(path, {{{"LNAME", "Moreno, Luis T"}, {"SSN", "987-65-4321"}, {"DOT", "06/12/2026"}, {"TOTAL", "270"},
                     {"STAT", "PASS"}}});

  const ReportTable everything = groupResults(g, groupRecords(g, readTestDayRecords(path, true).results), ResultOrder::ByName);
  EXPECT_EQ(column(everything, "Name"), (QStringList{"Abernathy, Cole", "Moreno, Luis T", "Yates, Ann B"}));
  EXPECT_EQ(column(everything, "Result"), (QStringList{"Not tested", "Not tested", "GO"}));
  EXPECT_EQ(column(everything, "Total"), (QStringList{"", "", "412"}));

  const QList<TestResult> own = readGroupResults(path, g);
  EXPECT_EQ(own.size(), 2) << "Yates's and Abernathy's records, nobody else's";
  const ReportTable members = groupResults(g, groupRecords(g, own), ResultOrder::ByName);
  EXPECT_EQ(members.rows, everything.rows);
  EXPECT_EQ(groupRecordsTable(g, groupRecords(g, own)).rows,
            groupRecordsTable(g, groupRecords(g, readTestDayRecords(path, false).results)).rows);
}
