#pragma once
// Stored records as test results: the one place a row of either table
// (info for the three-event test, fitness_tests for the five-event one)
// becomes a TestResult, and the only code here that knows which table
// holds which test. Everything after it (history, due list, cards,
// reports) asks the result's kind.
//
// A five-event record may hold a result without its points (typed in
// elsewhere, or stored before the points were). Read with Missing::Scored,
// those points, and the total and verdict of a record with all five events,
// are scored here through the kind, never by the code that shows them; a
// record the scoring refuses (no date of birth, say) keeps them empty rather
// than show points nobody scored. Missing::AsStored keeps the record as it
// is, for the lists that report what was stored.

#include <QStringList>
#include <vector>

#include "recordbackend.h"
#include "testkind.h"

namespace quillon {

// A row of table info, every field in infoFieldNames() order.
TestResult resultFromInfoRow(const QStringList& infoRow);
// The fields of table info a record's key, date of test and soldier are
// read from, in this order, and of a row of those fields alone the result
// as resultFromInfoRow reads them: what the due list and the soldier picker
// ask of every record.
enum InfoHeader { HeaderId, HeaderSsn, HeaderName, HeaderDateOfTest, HeaderSex, HeaderDateOfBirth };
const QStringList& infoHeaderFields();
TestResult resultHeaderFromInfoFields(const QStringList& headerFields);
enum class Missing { AsStored, Scored };
// A row of fitness_tests in fitnessFieldNames() order.
TestResult resultFromFitnessRow(const RowAsRead& row, Missing missing);
// Of the same row only its key, date of test and soldier, as
// resultFromFitnessRow reads them: what picks a soldier's tests among many.
TestResult resultHeaderFromFitnessRow(const RowAsRead& row);

QList<TestResult> resultsFromInfoRows(const std::vector<QStringList>& infoRows);
QList<TestResult> resultsFromFitnessRows(const std::vector<RowAsRead>& rows, Missing missing);

}  // namespace quillon
