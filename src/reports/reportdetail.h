#pragma once
// What the report engine's own files share: where a field sits in a row and
// how a column shows a row's value. Not for use outside the engine.

#include <QDate>
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <functional>
#include <optional>
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
// Where the field rows are grouped by sits in a row, -1 for none.
int groupColumn(const ReportLayout& L);
// The value a row is grouped under: dates written differently (1/5/2026,
// 01/05/2026) are one group.
QString groupValue(const ReportRow& row, int at, bool dates);

// ---- Laying rows out on pages ----

// Fonts and sizes of one rendering, in device pixels.
struct Metrics {
  QFont body, bold, title, small;
  double line = 0, titleHeight = 0, smallHeight = 0, headerHeight = 0;
  Metrics(const ReportLayout& L, QPaintDevice* dev);
};

// What one pass over the rows learns before anything is laid out.
struct Tally {
  qint64 rows = 0;
  std::vector<int> groupSizes;      // in print order
  std::vector<int> categoryCounts;  // chart reports
  std::vector<double> widest;       // per column, when measured for a device
  // False while only the first rows are tallied: the last group may go on,
  // and the row count is not the report's.
  bool complete = true;
};

// A tally taken a row at a time, so it can be taken in slices.
class TallyBuilder {
 public:
  // `device` null: no widths measured.
  TallyBuilder(const ReportLayout& L, QPaintDevice* device);
  void add(const ReportRow& row);
  const Tally& tally() const { return t_; }

 private:
  const ReportLayout& L_;
  std::optional<QFontMetricsF> body_;
  std::vector<ColumnFields> at_;
  int group_;
  bool dates_;
  QString current_;
  Tally t_;
};

// "Page 2 of 9"; "Page 2" while the pages are not all counted (count 0).
QString pageNumber(int index, int count);

// A report measured for a device: the counts and widths one pass over the
// rows gives, and the places on the page that follow from them.
struct Pagination {
  Pagination(const ReportLayout& L, QPaintDevice* device, QString printed, ReportRowPass& pass);
  // From a tally already taken, complete or not.
  Pagination(const ReportLayout& L, QPaintDevice* device, QString printed, const Tally& tally);
  const ReportLayout& L;
  QPaintDevice* device;
  QString printed;
  Metrics m;
  Tally t;
  double width, bottom, pad;
  bool chart, list;
  std::vector<ColumnFields> at;
  std::vector<double> x;                  // column edges
  std::vector<QStringList> headingLines;  // column headings, wrapped
  double headingsHeight = 0, bodyTop = 0;
  QRectF columnBox(int c, double y, double h) const;

 private:
  void place();
};

// Where a page begins at a row, so laying out can start there: the row's
// place in print order and the grouping as it stood before that row.
struct PageStart {
  int page = 0;
  qint64 row = 0;
  size_t groupNo = 0;      // groups begun before the row
  QString groupValue;      // of the row before
  QString groupName;       // the heading a continued group repeats
  bool continued = false;  // the page opens with "(continued)"
  QString rowId;           // ID of the row at `row`, none past the last
  QByteArray after;        // where the row before `row` stands in the order
};

// Lays rows down the pages from a page start: rows go in by row(), the
// total by end(). Pages `want` takes are handed to `each` when full; `mark`
// learns every later page that begins at a row.
class PageFlow {
 public:
  PageFlow(const Pagination& p, int count, const PageStart& start, std::function<bool(int)> want,
           std::function<void(const ReportPage&)> each, std::function<void(const PageStart&)> mark = {});
  void row(const ReportRow& r);
  // Places the record count and hands over the last page; returns the number
  // of pages.
  int end();
  // The page being filled.
  int page() const { return page_.index; }

 private:
  void place(PlacedText::Kind kind, const QRectF& box, const QString& text, const QFont& f, int flags, int column = -1,
             int row = -1);
  void finish();
  void newPage(const QString& continuing, bool resumable, const ReportRow* at);
  bool fits(double need) const { return fresh_ || y_ + need <= p_.bottom; }

  const Pagination& p_;
  std::function<bool(int)> want_;
  std::function<void(const ReportPage&)> each_;
  std::function<void(const PageStart&)> mark_;
  ReportPage page_;
  bool handOver_ = false;
  double y_ = 0;
  bool fresh_ = true;  // a page just begun never breaks before its first row
  QString groupName_, heading_;
  // Grouping: before the row being laid out, and since.
  QString current_;
  qint64 n_ = 0;
  size_t groupNo_ = 0;
  PageStart before_;
  std::vector<QStringList> cells_;
};

// Paints one laid-out page; the painter's coordinates are the device pixels
// the page was laid out in.
void paintPage(QPainter& p, const Metrics& m, const ReportLayout& L, const ReportPage& page, double width, double height);

}  // namespace quillon::detail
