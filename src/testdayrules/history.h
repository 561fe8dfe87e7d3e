#pragma once
// A soldier's history: every test of both kinds kept for one SSN, the
// three-event records of table info and the five-event records of
// fitness_tests, newest first, and the series a chart of it draws. Which
// rows, their order and the series are decided here, once; the window only
// shows them.
//
// The chart draws the five-event tests only: the three-event total runs to
// 300 on three other events, so on one axis beside a five-event total (to
// 500) it would read as a fall or a rise that never happened. The table
// lists the three-event tests with their points all the same.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

#include "recordbackend.h"
#include "testkind.h"

namespace quillon {

// Every record of `ssn` (nine digits, dashes or not) among `results`:
// newest date of test first; on one date the kinds in the reverse of their
// TestKindId order (the five-event test before the three-event one), and
// within a kind the later entered (higher ID) first; records without a
// date of test last.
QList<TestResult> soldierHistory(const QString& ssn, const QList<TestResult>& results);
// The same from the three-event rows (fields in infoFieldNames() order)
// and the five-event rows, a five-event record's missing points scored as
// its card scores them.
QList<TestResult> soldierHistory(const QString& ssn, const std::vector<QStringList>& threeEventRows,
                                 const std::vector<RowAsRead>& fiveEventRows);

// The same, read through the storage layer from the records at `dbPath` (a
// folder's info.mdb, or the server its connection file names): only the
// soldier's own rows, found through the indexes. `soldier` is an SSN or a
// DoD ID number (ten digits); by the number, the records that carry it and
// the soldier's records from before it, found by the SSN those carry (a
// record of that SSN with another number is another soldier's). Throws
// DbError.
QList<TestResult> loadSoldierHistory(const QString& dbPath, const QString& soldier);

// One line of the chart: points by date of test, oldest first, only the
// five-event tests that hold that value.
struct ChartSeries {
  QString name;  // "Total" or the event's caption
  QList<std::pair<QDate, int>> points;
};

// The total first, then each event's points (an alternate's in the place of
// the event it replaces), of the tests of kind `charted` only. Tests
// without a date of test are left out: they have no place on a time axis.
QList<ChartSeries> historyChart(const QList<TestResult>& history, TestKindId charted = TestKindId::FiveEvent);

}  // namespace quillon
