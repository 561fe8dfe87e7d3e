#pragma once
// The report engine: a report file read into a layout, the rows it selects
// in the order it prints them, laid out page by page and painted on a
// printer or written to a PDF. No widgets: the report window and the report
// commands of the scorer sit above it.

#include <QByteArray>
#include <QByteArrayView>
#include <QFont>
#include <QLineF>
#include <QList>
#include <QRectF>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "columnkind.h"
#include "quillonerror.h"

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;

namespace quillon {

// A failure the report engine reports to the clerk (file, key, database).
using ReportError = Error;

// How the values of a field compare when sorting and grouping: its kind
// compared as (comparedAs()); a field the table lacks is text.
ColumnKind fieldKind(const QString& field);

// One sort key: "+{info.LNAME}" ascending, "-{info.TOTAL}" descending.
struct SortKey {
  QString field;  // upper-case field name of table info
  bool descending = false;
  bool operator==(const SortKey&) const = default;
};
// Throws ReportError naming the key when it is malformed or names no field.
SortKey parseSortKey(const QString& text);

// A row test "FIELD == value" or "FIELD != value" (values compared exactly,
// surrounding spaces ignored), or "other" (rows no earlier category took).
struct Condition {
  QString field;
  bool equal = true;
  QString value;
  bool matches(const QStringList& row) const;
};

struct ReportColumn {
  QStringList fields;   // one field, or two for a minutes:seconds time
  QString heading;
  double width = 10;    // relative to the other columns
  QString format;       // text, number, ssn, time
  Qt::Alignment align = Qt::AlignLeft;
};

struct ChartCategory {
  QString label;
  Condition condition;
  bool other = false;   // takes every row no earlier category matched
};

struct ReportLayout {
  QString sourceFile;
  QString title;
  // A title of its own for a command's first sort key ("title for
  // -{info.TOTAL} = ..."), so reports from one file sorted differently can
  // be told apart.
  QList<QPair<SortKey, QString>> titleForKey;
  enum class Kind { List, Chart } kind = Kind::List;
  QList<Condition> select;       // all must hold; empty selects every row
  QString group;                 // field to group by, empty for none
  QString groupHeading;          // shown before each group's value
  QList<SortKey> sort;           // default sort
  QList<ReportColumn> columns;
  QList<ChartCategory> categories;
  // The names of a row's fields, in row order, for rows that are not table
  // info's (rows handed to prepareReport in memory); empty for table info.
  // Columns name these; the first holds a number that orders rows no key
  // orders, as table info's ID does.
  QStringList fields;
  QString emptyText = QStringLiteral("There are no records to report.");
  QPageSize::PageSizeId paper = QPageSize::Letter;
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  double marginMm = 15;
  double fontPt = 9;
};
// Reads a report file. Throws ReportError naming the file and, for a bad
// line, its number.
ReportLayout readReportFile(const QString& path);

// The rows of table info, every field as text in table order.
using ReportRow = QStringList;

// The order a report prints its rows in: the group field first, then the
// keys, then the ID.
QList<SortKey> rowOrder(const ReportLayout& layout, const QList<SortKey>& keys);

// Rows handed over one at a time, in print order. Lives no longer than the
// pass it came from.
class ReportRowCursor {
 public:
  virtual ~ReportRowCursor() = default;
  // The next row, or null after the last; valid until the next call.
  // Throws ReportError.
  virtual const ReportRow* next() = 0;
  // Where the row last handed over stands in the order, so reading can go
  // on after it later without counting the rows before; empty where rows
  // are reached only by their number.
  virtual QByteArray position() const { return {}; }
};

// The rows a report prints, in print order, as many times as its pages need
// them. A pass is one view of the rows for as long as it lives.
class ReportRowPass {
 public:
  virtual ~ReportRowPass() = default;
  // The rows from the `first` (from 0) on; the ones before it are passed
  // over without being read.
  virtual std::unique_ptr<ReportRowCursor> rows(qint64 first = 0) = 0;
  // The same rows from the `first` on, found from where the row before it
  // stands (`after`, a position() of a cursor over these rows) instead of
  // by counting the rows before; an empty `after` counts.
  virtual std::unique_ptr<ReportRowCursor> rowsAfter(const QByteArray& after, qint64 first) {
    (void)after;
    return rows(first);
  }
  // At most `limit` rows (all the rest when negative) from the `first` on,
  // found from `after` as rowsAfter() finds them, in one ordered read: the
  // engine keeps only the rows asked for instead of sorting all of them.
  virtual std::unique_ptr<ReportRowCursor> slice(const QByteArray& after, qint64 first, qint64 limit);
  virtual void forEach(const std::function<void(const ReportRow&)>& each) {
    const std::unique_ptr<ReportRowCursor> c = rows(0);
    while (const ReportRow* r = c->next()) each(*r);
  }
  // Counting without sorting: the rows in the order they were entered,
  // after the one at `after` (empty: from the first), at most `limit` unless
  // negative, each with its position() in print order (compared by
  // positionBefore()); and the rows at the print positions `next` hands
  // over, read one by one, ending early at a row no longer there. Null where
  // the rows are only reached in print order.
  virtual std::unique_ptr<ReportRowCursor> entered(const QByteArray& after, qint64 limit) {
    (void)after, (void)limit;
    return nullptr;
  }
  virtual std::unique_ptr<ReportRowCursor> at(std::function<const QByteArray*()> next) {
    (void)next;
    return nullptr;
  }
};
// Whether the row at print position `a` comes before the one at `b`.
bool positionBefore(QByteArrayView a, QByteArrayView b);
class ReportRowSource {
 public:
  virtual ~ReportRowSource() = default;
  // Throws ReportError when the rows cannot be read.
  virtual std::unique_ptr<ReportRowPass> open() const = 0;
};

// A report ready to print: its layout, the keys applied and where its rows
// come from.
struct PreparedReport {
  ReportLayout layout;
  QList<SortKey> keys;  // the keys applied, in order
  std::shared_ptr<const ReportRowSource> rows;
};
// Rows already in memory, selected and ordered here as the database would.
PreparedReport prepareReport(const ReportLayout& layout, std::vector<ReportRow> rows, const QList<SortKey>& keys);
// The rows of info.mdb at `dbPath`, selected and ordered by the database,
// read afresh on each pass.
PreparedReport prepareReport(const ReportLayout& layout, const QString& dbPath, const QList<SortKey>& keys);

// One line of text as a page shows it, in device pixels.
struct PlacedText {
  enum class Kind { Title, PageInfo, Heading, Cell, Group, Total, Empty } kind;
  int page = 0;       // from 0
  QRectF box;         // the room the text has
  QString text;       // drawn on one line, never cut
  QFont font;
  int flags = 0;      // alignment in `box`
  int column = -1;    // Heading, Cell
  int row = -1;       // Cell: the row's place in print order
};
// Everything on one page of a report, in device pixels.
struct ReportPage {
  int index = 0;  // from 0
  int count = 1;  // pages in the report
  std::vector<double> columnX;  // left edge of each column, then the right end
  std::vector<PlacedText> texts;
  std::vector<QRectF> shades;  // every other row
  struct Rule {
    QLineF line;
    bool heavy;
  };
  std::vector<Rule> rules;
  // A chart report draws its counts and bars below chartTop on its one page.
  bool chart = false;
  double chartTop = 0;
  std::vector<int> categoryCounts;
  int total = 0;  // rows in the report
};
// Lays the report out for `device` and hands over one page after the other;
// only the page being handed over is held. Throws ReportError.
void layOutReport(const PreparedReport& r, QPaintDevice* device, const QString& printed,
                  const std::function<void(const ReportPage&)>& each);
// Gives a printer or PDF writer the paper, orientation and margins of `L`.
void setReportPageLayout(QPagedPaintDevice& device, const ReportLayout& L);

// Paints a prepared report onto a paged device (printer or PDF writer),
// one page after the other. `printed` is the print date shown on every page.
void paintReport(const PreparedReport& r, QPagedPaintDevice* device, const QString& printed);

// The text of each printed line (without page headers), for checking what a
// report holds without a PDF reader.
QStringList reportText(const PreparedReport& r);

// Writes a prepared report to a PDF file. Throws ReportError.
void writeReportPdf(const PreparedReport& r, const QString& pdfPath, const QString& printed);

}  // namespace quillon
