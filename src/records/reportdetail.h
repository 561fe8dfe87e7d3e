#pragma once
// What the report engine's own files share: where a field sits in a row and
// how a column shows a row's value. Not for use outside the engine.

#include <QDate>
#include <QString>
#include <vector>

#include "report.h"

namespace quillon::detail {

QString native(const QString& path);
// Index of a field in a row of table info, -1 for none (case does not matter).
int fieldIndex(const QString& field);
QString cell(const ReportRow& row, int index);
// MM/DD/YYYY, M/D/YYYY or YYYY-MM-DD; invalid for anything else.
QDate parseDate(const QString& s);

// Where each column's fields sit in a row, worked out once per report.
struct ColumnFields {
  int first = -1, second = -1;
};
std::vector<ColumnFields> columnFields(const ReportLayout& L);
// A row's value as its column prints it (SSN dashed, run time m:ss).
QString formatCell(const ReportRow& row, const ReportColumn& c, const ColumnFields& at);
// The value a row is grouped under: dates written differently (1/5/2026,
// 01/05/2026) are one group.
QString groupValue(const ReportRow& row, int at, bool dates);

}  // namespace quillon::detail
