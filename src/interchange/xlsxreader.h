#pragma once
// Reading the first sheet of an Excel workbook (.xlsx) as the rows a CSV
// file of the same sheet would hold, so a roster saved from a spreadsheet
// goes through the same checks whichever way the clerk saved it.
//
// The workbook is a zip of XML parts; minizip (the zip reader libxlsxwriter
// already brings) opens it and Qt's stream reader reads the parts. What
// comes back:
// - the first sheet the workbook lists that is not hidden;
// - one record per row that holds any text, its `line` the row number the
//   spreadsheet shows, every record as wide as the widest row (cells the
//   file leaves out read as empty);
// - text cells as written (shared strings, inline strings, rich text runs
//   joined), numbers in their shortest plain form (123456789, 1.5), TRUE or
//   FALSE, and a number whose cell is formatted as a date as YYYY-MM-DD
//   (both the 1900 and 1904 date systems); a formula cell gives its stored
//   result, never the formula.
// Refused with a reason that names the part and cell: a file that is not a
// zip, a damaged or encrypted part, a part larger than 64 MiB unpacked, a
// missing workbook or sheet, XML that does not parse or declares a DTD, a
// shared string that does not exist, a cell reference past XFD1048576 and a
// sheet whose rows times columns pass four million cells.

#include <QByteArray>
#include <QString>

#include "csvreader.h"

namespace quillon {

// Reads a workbook held in memory. On failure `error` holds the reason and
// `errorLine` the row it concerns (0 when it concerns the whole file).
CsvTable readXlsx(const QByteArray& data);

// True when the bytes start as a zip archive does, which no roster in text
// can (a CSV file starting "PK\3\4" would hold control characters).
bool looksLikeZip(const QByteArray& data);

}  // namespace quillon
