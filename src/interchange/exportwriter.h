#pragma once
// Writing records out for a spreadsheet: CSV and Excel workbooks of rows in
// the order given (all records, or one report's rows in the report's order).
//
// Each file has a header line of the field names and then one line a record,
// every field. Nothing a spreadsheet opens can run as a formula: in CSV a
// value that begins with '=', '+', '-', '@', a tab or a carriage return gets
// a leading apostrophe; in the workbook every text is a string cell and no
// cell is ever a formula. The workbook holds DOB and DOT as dates when they
// read as dates from 1900 on, and ID, the raw results, the points and the
// total as numbers when they are numbers; anything else as the stored text.
//
// The file appears whole or not at all: it is written beside its target,
// flushed and renamed over it in one step, readable by its owner only (it
// holds social security numbers).

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "columnkind.h"
#include "recordrow.h"

namespace quillon {

// Told now and then how many rows are written; false cancels, and nothing
// is written.
using ExportProgress = std::function<bool(qsizetype done, qsizetype total)>;

// The text a cancelled write returns.
QString exportCancelledText();

// Empty on success, else why nothing was written. A row that does not hold
// the eighteen fields is refused.
QString writeRecordsCsv(const QString& path, const QList<RecordRow>& rows, const ExportProgress& progress = {});
QString writeRecordsXlsx(const QString& path, const QList<RecordRow>& rows, const ExportProgress& progress = {});

// Rows of any other table (a test day's records, a report's rows): a header
// line of `headings`, then each row as wide as the headings, under the same
// rules. In the workbook a Number column's values that read as numbers are
// numbers and a Date column's YYYY-MM-DD or MM/DD/YYYY values from 1900 on
// are dates; every other value is a string cell.
struct ExportTable {
  using Kind = ColumnKind;  // a column's values as comparedAs() gives them
  QStringList headings;
  QList<Kind> kinds;  // per column; a column past the list is text
  QList<QStringList> rows;
  QString sheet = QStringLiteral("Records");
};
QString writeTableCsv(const QString& path, const ExportTable& table);
QString writeTableXlsx(const QString& path, const ExportTable& table);

// The value as written into a CSV cell, before quoting.
QString csvSafeText(const QString& value);

}  // namespace quillon
