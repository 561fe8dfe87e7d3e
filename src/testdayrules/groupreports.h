#pragma once
// The test day's reports, without widgets: which rows each report holds and
// in what order, as a table the report engine prints and the export writes.
//
// - A group's results: every member of the group, with the five-event record
//   of the group's date of test (matched by SSN and date, as lane entry
//   stores it), by name or by total.
// - The GO/NO-GO summary of a group: per event, how many were tested, passed
//   and failed, and who failed.
// - The due list: every soldier the records know (anyone in table info, in
//   the five-event table or in a stored test group, by SSN) whose last five-event test is older than
//   the months the clerk chose, was a NO-GO, or who has none. Only five-event
//   records with a result (all events in) count as a test; a record still
//   missing events does not, nor does a three-event record, which is shown
//   only as a hint beside a soldier with no five-event test.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "exportwriter.h"
#include "report.h"
#include "testgroups.h"
#include "testkind.h"

namespace quillon {

// A report's rows as text, in print order, one value per column.
struct ReportTable {
  struct Column {
    Column(QString key = {}, QString heading = {}, double width = 10, ExportTable::Kind kind = ExportTable::Kind::Text,
           QString printed = {})
        : key(std::move(key)), heading(std::move(heading)), width(width), kind(kind), printed(std::move(printed)) {}
    QString key;      // a name for the column, unique in the table
    QString heading;  // as printed and as the export's header
    double width;     // relative to the other columns
    ExportTable::Kind kind;
    QString printed;  // how the report engine shows it ("ssn" dashed); empty as the kind says
  };
  QString title;
  QList<Column> columns;
  QList<QStringList> rows;
  bool landscape = false;
  QString emptyText = QStringLiteral("There are no soldiers to report.");
};

// The test a test group takes: its members' records are the rows of
// fitness_tests on the group's date.
inline constexpr TestKindId kGroupTest = TestKindId::FiveEvent;

// The result of each member on the group's date of test, as stored, in the
// group's order; none where the member has none yet. Of `results` only the
// group's test counts, matched by SSN and date as lane entry stores it.
using MemberRecords = QList<std::optional<TestResult>>;
MemberRecords groupRecords(const TestGroup& group, const QList<TestResult>& results);
// The stored tests of the group's members, as stored, read by SSN only.
// Throws DbError.
QList<TestResult> readGroupResults(const QString& dbPath, const TestGroup& group);

enum class ResultOrder { ByName, ByTotal };
// By name: the name as written, case aside, then SSN. By total: highest
// total first, ties by name then SSN; members with no total (not tested or
// events missing) after all others, by name.
ReportTable groupResults(const TestGroup& group, const MemberRecords& records, ResultOrder order);

// One row per event in the test's order, the run counting only those who
// ran; then one row per alternate event someone took instead of the run;
// then the overall result, and last the members with no result yet.
ReportTable goNoGoSummary(const TestGroup& group, const MemberRecords& records);

// Every field of the group's records, the members in the group's order; a
// member with no record yet has a row with their particulars only.
ReportTable groupRecordsTable(const TestGroup& group, const MemberRecords& records);

// What the tables hold now, for the reports.
struct TestDayRecords {
  QList<TestResult> results;  // the stored tests, as stored: missing points are not scored
  QList<GroupMember> groupMembers;  // of every stored test group
};
// Throws DbError. `withInfo`: the three-event tests and the groups' members
// too (the due list's soldiers); else the tests of the group's kind only.
TestDayRecords readTestDayRecords(const QString& dbPath, bool withInfo);
// What the due list as of `asOf` needs of them: readTestDayRecords(dbPath,
// true), but of the five-event records of each soldier only those that can
// decide the soldier's line, and of the three-event records only what picks
// a soldier's tests (key, date of test, SSN, name), so a division's records
// are not all read.
TestDayRecords readDueListRecords(const QString& dbPath, const QDate& asOf);

// The due list of the group's test: soldiers in name order, then SSN. A
// soldier is anyone with a record in table info or the five-event table, or
// a member of a stored test group, known by SSN. `asOf` is the day the list is for: records dated
// after it are no test yet. Due when the last test's date plus `months` (at
// the month's end when the day is not in that month: Aug 31 plus 6 months
// is Feb 28) is before `asOf`, so a test exactly `months` old is not yet due.
ReportTable dueList(const TestDayRecords& records, const QDate& asOf, int months);
// The same over test results of any kind, for the test `due`: its results
// are the tests that count; another kind's only names the soldier and its
// latest date is the hint beside one with no test of `due`'s kind.
ReportTable dueList(const QList<TestResult>& results, const QList<GroupMember>& members, const TestKind& due,
                    const QDate& asOf, int months);

// The table as the report engine prints it, in the table's order.
PreparedReport preparedReport(const ReportTable& table);
// The table as the export writes it: its headings and rows.
ExportTable exportTable(const ReportTable& table);

}  // namespace quillon
