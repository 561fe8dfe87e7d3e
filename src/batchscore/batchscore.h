#pragma once
// The command-line scorer's work: a CSV of soldiers' raw results in, the same
// rows with their age group, points, total, GO/NO-GO and any refusal out.
// Headers are matched without regard to case or order and every column the
// scorer does not know is passed through unchanged. The scoring itself is
// fitness/'s scoreEntry, the same the windows use; this folder only reads
// and writes rows and knows no windows or records.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace quillon::batch {

// Exit statuses of quillon-score.
inline constexpr int kAllScored = 0;
inline constexpr int kUnreadable = 1;
inline constexpr int kSomeRefused = 2;

struct BatchResult {
  int status = kAllScored;
  QByteArray output;     // the CSV written on standard output; empty when unreadable
  QString error;         // why the input could not be read at all
  QStringList refusals;  // "line N: <field>: <why>", one per refused row
  int rows = 0;
};

// The columns the scorer adds, in output order.
const QStringList& outputColumns();

BatchResult scoreCsv(const QByteArray& input);

// Reading and writing the same file without scoring: the baseline the
// scorer's benchmark is measured against.
QByteArray copyCsv(const QByteArray& input);

// One field, quoted where it holds a comma, a semicolon, a quote, a line
// break, blanks at either end or an opening byte order mark; text in UTF-8.
void appendCsvField(QByteArray& out, QStringView field);
// One CSV record, each field as appendCsvField writes it, ended by "\n".
void appendCsvRecord(QByteArray& out, const QStringList& fields);

// YYYY-MM-DD, or MM/DD/YYYY (one-digit month and day too); an invalid date
// otherwise.
QDate parseBatchDate(const QString& text);

}  // namespace quillon::batch
