#pragma once
// Reading a delimited text file the way spreadsheets write one (RFC 4180):
// UTF-8 with or without a byte-order mark, comma or semicolon, fields in
// double quotes that may hold delimiters, quotes ("") and line breaks.
// Anything that is not such a file is refused with the line it goes wrong on,
// so a clerk can open the file and look.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace quillon {

struct CsvRecord {
  int line = 0;  // physical line the record starts on, from 1
  QStringList fields;
};

struct CsvTable {
  QList<CsvRecord> records;  // the header first; blank lines left out
  QString error;             // empty when the file was read
  int errorLine = 0;
  bool ok() const { return error.isEmpty(); }
};

// The delimiter is whichever of ',' and ';' the first line holds more of
// outside quotes (a comma on a tie). Every record must have as many fields
// as the first. Refused: a zero byte, bytes that are not UTF-8, UTF-16 text,
// a quote opened and never closed, text after a closing quote, a quote in
// the middle of an unquoted field, and a record with a different number of
// fields from the first.
CsvTable parseCsv(const QByteArray& data);

// The same, handing each record to `take` as it is read instead of keeping
// them all (a roster of 100,000 lines is checked line by line). `take` may
// move the fields away. Returns only the outcome: the error and its line,
// never any records. A refused file may have handed some records already.
CsvTable readCsv(const QByteArray& data, const std::function<void(CsvRecord&)>& take);

}  // namespace quillon
