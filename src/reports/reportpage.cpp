// What lands on the pages of a report: lines, page breaks, column widths
// and the painting itself. Rows are streamed: one pass learns the counts and
// the widest values, one counts the pages, one hands them over, so what is
// held at any time is one page.

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "report.h"
#include "reportdetail.h"

namespace quillon {

using namespace detail;

namespace {

struct ChartBar {
  QString label;
  QColor color;
  int count = 0;
};

std::vector<ChartBar> chartBars(const ReportLayout& L, const std::vector<int>& counts) {
  static const QColor palette[] = {QColor(0x2e, 0x7d, 0x32), QColor(0xc6, 0x28, 0x28), QColor(0x75, 0x75, 0x75),
                                   QColor(0x15, 0x65, 0xc0), QColor(0xef, 0x6c, 0x00)};
  std::vector<ChartBar> bars;
  for (int i = 0; i < L.categories.size(); ++i) bars.push_back({L.categories[i].label, palette[i % 5], counts.at(i)});
  return bars;
}

Tally tallyRows(const ReportLayout& L, ReportRowPass& pass, QPaintDevice* device) {
  TallyBuilder b(L, device);
  pass.forEach([&](const ReportRow& row) { b.add(row); });
  return b.tally();
}

QString recordCount(qint64 n) { return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? "record" : "records"); }

// The rows of a list report with a heading before each group: `group` gets
// the heading line and the group's name, `row` each row with its place.
void walkRows(const ReportLayout& L, ReportRowPass& pass, const Tally& t,
              const std::function<void(const QString&, const QString&)>& group,
              const std::function<void(const ReportRow&, int)>& row) {
  const int g = groupColumn(L);
  const bool dates = g >= 0 && fieldKind(L.group) == ColumnKind::Date;
  QString current;
  int n = 0;
  size_t groupNo = 0;
  pass.forEach([&](const ReportRow& r) {
    if (g >= 0) {
      const QString v = groupValue(r, g, dates);
      if (n == 0 || v != current) {
        // The pass that counted saw the same rows; a miss means it did not.
        if (groupNo >= t.groupSizes.size()) throw ReportError(QStringLiteral("The records changed while the report was printed."));
        const int size = t.groupSizes[groupNo++];
        const QString shown = v.isEmpty() ? QStringLiteral("not recorded") : v;
        const QString name = QStringLiteral("%1 %2").arg(L.groupHeading, shown).trimmed();
        group(QStringLiteral("%1   (%2)").arg(name, recordCount(size)), name);
        current = v;
      }
    }
    row(r, n++);
  });
}

QString percent(qint64 count, qint64 total) {
  return total > 0 ? QString::number(100.0 * count / total, 'f', 1) + QLatin1Char('%') : QStringLiteral("0.0%");
}

// The space a column keeps free on either side of its text. A left-aligned
// column right after a right-aligned one gets more room on its left, so
// "300 PASS" does not read as one value.
struct Gap {
  double left, right;
};
Gap columnGap(const ReportLayout& L, int i, double pad) {
  const bool after = i > 0 && L.columns[i - 1].align == Qt::AlignRight && L.columns[i].align == Qt::AlignLeft;
  return {after ? pad * 4 : pad, pad};
}

// Column widths. Every column first gets the room its heading and its widest
// value need on one line; what is left of the page is shared out by the
// widths the report file gives. When the page is too narrow for that, the
// widest text columns (names, remarks) give up room down to what their
// heading needs and wrap; numbers, dates, SSNs and times never wrap unless
// nothing else helps.
std::vector<double> columnLefts(const ReportLayout& L, const std::vector<double>& widest, const Metrics& m,
                                QPaintDevice* dev, double width, double pad) {
  const QFontMetricsF fb(m.body, dev), fh(m.bold, dev);
  const int n = static_cast<int>(L.columns.size());
  std::vector<double> natural(n), floor(n);
  double weights = 0;
  for (int i = 0; i < n; ++i) {
    const ReportColumn& c = L.columns[i];
    const Gap g = columnGap(L, i, pad);
    const double head = fh.horizontalAdvance(c.heading);
    // A pixel to spare against rounding between measuring and drawing.
    natural[i] = std::max(head, widest[i]) + g.left + g.right + 1;
    const bool wraps = c.format == QLatin1String("text");
    floor[i] = wraps ? std::min(natural[i], std::max(head, fb.horizontalAdvance(QStringLiteral("MMMMMM"))) + g.left + g.right + 1)
                     : natural[i];
    weights += c.width;
  }
  double need = 0, least = 0;
  for (int i = 0; i < n; ++i) {
    need += natural[i];
    least += floor[i];
  }
  std::vector<double> w(n);
  if (need <= width) {
    for (int i = 0; i < n; ++i) w[i] = natural[i] + (width - need) * (weights > 0 ? L.columns[i].width / weights : 1.0 / n);
  } else if (least <= width) {
    // The widest wrapping columns are cut down to one common width `cap`.
    double lo = 0, hi = *std::max_element(natural.begin(), natural.end());
    auto total = [&](double cap) {
      double s = 0;
      for (int i = 0; i < n; ++i) s += std::max(floor[i], std::min(natural[i], cap));
      return s;
    };
    for (int k = 0; k < 60; ++k) {
      const double mid = (lo + hi) / 2;
      (total(mid) > width ? hi : lo) = mid;
    }
    for (int i = 0; i < n; ++i) w[i] = std::max(floor[i], std::min(natural[i], lo));
  } else {
    for (int i = 0; i < n; ++i) w[i] = least > 0 ? floor[i] * width / least : width / n;
  }
  std::vector<double> x;
  double pos = 0;
  for (int i = 0; i < n; ++i) {
    x.push_back(pos);
    pos += w[i];
  }
  x.push_back(std::max(pos, width));
  return x;
}

// `text` broken into the lines that fit `width`: at spaces where it can,
// anywhere in a word that is wider than the column by itself.
QStringList wrapText(const QString& text, const QFont& font, QPaintDevice* dev, double width) {
  if (text.isEmpty()) return {QString()};
  const QFontMetricsF fm(font, dev);
  if (fm.horizontalAdvance(text) <= width) return {text};
  QTextLayout layout(text, font, dev);
  QTextOption opt;
  opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(opt);
  QStringList out;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    out << text.mid(line.textStart(), line.textLength());
  }
  layout.endLayout();
  // The layout measures shaped text; a line is re-measured as it is drawn
  // and given up a character at a time until it fits.
  for (int i = 0; i < out.size(); ++i) {
    out[i] = out[i].trimmed();
    while (out[i].size() > 1 && fm.horizontalAdvance(out[i]) > width) {
      const QString rest = out[i].right(1) + (i + 1 < out.size() ? out[i + 1] : QString());
      out[i].chop(1);
      if (i + 1 < out.size())
        out[i + 1] = rest;
      else
        out << rest;
    }
  }
  return out;
}

}  // namespace

namespace detail {

TallyBuilder::TallyBuilder(const ReportLayout& L, QPaintDevice* device)
    : L_(L), at_(columnFields(L)), group_(groupColumn(L)), dates_(group_ >= 0 && fieldKind(L.group) == ColumnKind::Date) {
  if (device) body_.emplace(Metrics(L, device).body, device);
  t_.categoryCounts.assign(L.categories.size(), 0);
  t_.widest.assign(L.columns.size(), 0.0);
}

void TallyBuilder::add(const ReportRow& row) {
  if (group_ >= 0) {
    const QString v = groupValue(row, group_, dates_);
    if (t_.rows == 0 || v != current_) t_.groupSizes.push_back(0);
    ++t_.groupSizes.back();
    current_ = v;
  }
  ++t_.rows;
  if (L_.kind == ReportLayout::Kind::Chart) {
    for (int i = 0; i < L_.categories.size(); ++i)
      if (L_.categories[i].other || L_.categories[i].condition.matches(row)) {
        ++t_.categoryCounts[i];
        break;
      }
  } else if (body_) {
    for (int i = 0; i < L_.columns.size(); ++i)
      t_.widest[i] = std::max(t_.widest[i], body_->horizontalAdvance(formatCell(row, L_.columns[i], at_[i])));
  }
}

QString pageNumber(int index, int count) {
  return count > 0 ? QStringLiteral("Page %1 of %2").arg(index + 1).arg(count) : QStringLiteral("Page %1").arg(index + 1);
}

Metrics::Metrics(const ReportLayout& L, QPaintDevice* dev) {
  body = QFont(QStringLiteral("Sans Serif"));
  body.setPointSizeF(L.fontPt);
  // Plain glyphs: no ligatures, so the printed text copies and searches as typed.
  body.setStyleStrategy(QFont::PreferNoShaping);
  bold = body;
  bold.setBold(true);
  title = body;
  title.setPointSizeF(L.fontPt * 1.7);
  title.setBold(true);
  small = body;
  small.setPointSizeF(std::max(6.0, L.fontPt * 0.85));
  line = QFontMetricsF(body, dev).height() * 1.35;
  titleHeight = QFontMetricsF(title, dev).height() * 1.2;
  smallHeight = QFontMetricsF(small, dev).height() * 1.3;
  headerHeight = titleHeight + smallHeight + line * 0.4;
}

Pagination::Pagination(const ReportLayout& layout, QPaintDevice* dev, QString printedOn, ReportRowPass& pass)
    : L(layout), device(dev), printed(std::move(printedOn)), m(layout, dev) {
  t = tallyRows(L, pass, device);
  place();
}

Pagination::Pagination(const ReportLayout& layout, QPaintDevice* dev, QString printedOn, const Tally& tally)
    : L(layout), device(dev), printed(std::move(printedOn)), m(layout, dev), t(tally) {
  place();
}

void Pagination::place() {
  width = device->width();
  bottom = device->height();
  pad = m.line * 0.15;
  chart = t.rows > 0 && L.kind == ReportLayout::Kind::Chart;
  list = t.rows > 0 && !chart;
  at = columnFields(L);
  if (list) x = columnLefts(L, t.widest, m, device, width, pad);
  // The column headings, wrapped if a heading is wider than its column can be.
  int headingRows = 0;
  if (list) {
    for (int c = 0; c < L.columns.size(); ++c) {
      headingLines.push_back(wrapText(L.columns[c].heading, m.bold, device, columnBox(c, 0, 0).width()));
      headingRows = std::max(headingRows, static_cast<int>(headingLines.back().size()));
    }
  }
  headingsHeight = headingRows * m.line;
  bodyTop = m.headerHeight + (list ? headingsHeight + m.line * 0.2 : 0);
}

QRectF Pagination::columnBox(int c, double y, double h) const {
  const Gap g = columnGap(L, c, pad);
  return QRectF(x[c] + g.left, y, x[c + 1] - x[c] - g.left - g.right, h);
}

// Pages: lines go down the page while they fit. A row is never split; a
// group heading never ends a page but goes over with its first row; a group
// that goes on over a page break has its heading repeated.
PageFlow::PageFlow(const Pagination& p, int count, const PageStart& start, std::function<bool(int)> want,
                   std::function<void(const ReportPage&)> each, std::function<void(const PageStart&)> mark)
    : p_(p), want_(std::move(want)), each_(std::move(each)), mark_(std::move(mark)), cells_(p.L.columns.size()) {
  page_.count = count;
  page_.columnX = p.x;
  page_.index = start.page;
  handOver_ = want_(page_.index);
  y_ = p.bodyTop;
  groupName_ = start.groupName;
  current_ = start.groupValue;
  n_ = start.row;
  groupNo_ = start.groupNo;
  if (start.continued) {
    place(PlacedText::Kind::Group, QRectF(p.pad, y_, p.width - 2 * p.pad, p.m.line), groupName_ + QStringLiteral(" (continued)"),
          p.m.bold, Qt::AlignLeft | Qt::AlignBottom);
    y_ += p.m.line;
  }
  if (p.t.rows == 0) {
    place(PlacedText::Kind::Empty, QRectF(0, y_ + p.m.line, p.width, p.m.line * 2), p.L.emptyText, p.m.body,
          Qt::AlignHCenter | Qt::AlignTop);
  } else if (p.chart) {
    page_.chart = true;
    page_.chartTop = y_;
    page_.categoryCounts = p.t.categoryCounts;
    page_.total = static_cast<int>(p.t.rows);
  }
}

void PageFlow::place(PlacedText::Kind kind, const QRectF& box, const QString& text, const QFont& f, int flags, int column,
                     int row) {
  if (handOver_) page_.texts.push_back({kind, page_.index, box, text, f, flags, column, row});
}

// What every page carries: title, print date, page number, column headings.
void PageFlow::finish() {
  if (!handOver_) return;
  const Metrics& m = p_.m;
  place(PlacedText::Kind::Title, QRectF(0, 0, p_.width, m.titleHeight), p_.L.title, m.title, Qt::AlignHCenter | Qt::AlignVCenter);
  const QRectF info(0, m.titleHeight, p_.width, m.smallHeight);
  place(PlacedText::Kind::PageInfo, info, QStringLiteral("Printed %1").arg(p_.printed), m.small, Qt::AlignLeft | Qt::AlignVCenter);
  place(PlacedText::Kind::PageInfo, info, pageNumber(page_.index, page_.count), m.small,
        Qt::AlignRight | Qt::AlignVCenter);
  const double rule = m.headerHeight - m.line * 0.2;
  page_.rules.push_back({QLineF(0, rule, p_.width, rule), true});
  if (p_.list) {
    for (int c = 0; c < p_.L.columns.size(); ++c)
      for (int k = 0; k < p_.headingLines[c].size(); ++k)
        place(PlacedText::Kind::Heading, p_.columnBox(c, m.headerHeight + k * m.line, m.line), p_.headingLines[c][k], m.bold,
              int(p_.L.columns[c].align) | Qt::AlignVCenter, c);
    const double under = m.headerHeight + p_.headingsHeight;
    page_.rules.push_back({QLineF(0, under, p_.width, under), false});
  }
  each_(page_);
}

// `resumable`: the page begins at a row boundary, `at` (none after the last
// row), so laying out can start there.
void PageFlow::newPage(const QString& continuing, bool resumable, const ReportRow* at) {
  finish();
  ++page_.index;
  page_.texts.clear();
  page_.shades.clear();
  page_.rules.clear();
  page_.chart = false;
  handOver_ = want_(page_.index);
  fresh_ = true;
  y_ = p_.bodyTop;
  if (!continuing.isEmpty()) {
    place(PlacedText::Kind::Group, QRectF(p_.pad, y_, p_.width - 2 * p_.pad, p_.m.line), continuing + QStringLiteral(" (continued)"),
          p_.m.bold, Qt::AlignLeft | Qt::AlignBottom);
    y_ += p_.m.line;
  }
  if (mark_ && resumable) {
    PageStart s = before_;
    s.page = page_.index;
    s.continued = !continuing.isEmpty();
    s.rowId = at ? cell(*at, 0) : QString();
    mark_(s);
  }
}

void PageFlow::row(const ReportRow& r) {
  if (!p_.list) return;
  const ReportLayout& L = p_.L;
  const Metrics& m = p_.m;
  // The grouping before this row, where a page starting with it resumes.
  before_.row = n_;
  before_.groupNo = groupNo_;
  before_.groupValue = current_;
  before_.groupName = groupName_;
  const int g = groupColumn(L);
  if (g >= 0) {
    const QString v = groupValue(r, g, fieldKind(L.group) == ColumnKind::Date);
    if (n_ == 0 || v != current_) {
      // A group the first rows do not show the end of is not counted yet.
      const bool counting = !p_.t.complete && groupNo_ + 1 >= p_.t.groupSizes.size();
      // The pass that counted saw the same rows; a miss means it did not.
      if (!counting && groupNo_ >= p_.t.groupSizes.size())
        throw ReportError(QStringLiteral("The records changed while the report was printed."));
      const QString size = counting ? QStringLiteral("counting\u2026") : recordCount(p_.t.groupSizes[groupNo_]);
      ++groupNo_;
      const QString shown = v.isEmpty() ? QStringLiteral("not recorded") : v;
      groupName_ = QStringLiteral("%1 %2").arg(L.groupHeading, shown).trimmed();
      heading_ = QStringLiteral("%1   (%2)").arg(groupName_, size);
      current_ = v;
    }
  }
  const qint64 rowNo = n_++;
  int lines = 1;
  for (int c = 0; c < L.columns.size(); ++c) {
    cells_[c] = wrapText(formatCell(r, L.columns[c], p_.at[c]), m.body, p_.device, p_.columnBox(c, 0, 0).width());
    lines = std::max(lines, static_cast<int>(cells_[c].size()));
  }
  if (!heading_.isEmpty()) {
    if (!fits(m.line + lines * m.line)) {
      before_.groupName = groupName_;
      newPage(QString(), true, &r);
    }
    place(PlacedText::Kind::Group, QRectF(p_.pad, y_, p_.width - 2 * p_.pad, m.line), heading_, m.bold, Qt::AlignLeft | Qt::AlignBottom);
    y_ += m.line;
    heading_.clear();
  } else if (!fits(lines * m.line)) {
    newPage(groupName_, true, &r);
  }
  // Only a record taller than a whole page goes on over a page break.
  double top = y_;
  for (int k = 0; k < lines; ++k) {
    if (k > 0 && y_ + m.line > p_.bottom) {
      if (rowNo % 2 == 1) page_.shades.push_back(QRectF(0, top, p_.width, y_ - top));
      newPage(groupName_, false, nullptr);
      top = y_;
    }
    for (int c = 0; c < L.columns.size(); ++c)
      if (k < cells_[c].size())
        place(PlacedText::Kind::Cell, p_.columnBox(c, y_, m.line), cells_[c][k], m.body, int(L.columns[c].align) | Qt::AlignVCenter, c,
              static_cast<int>(rowNo));
    y_ += m.line;
  }
  if (rowNo % 2 == 1) page_.shades.push_back(QRectF(0, top, p_.width, y_ - top));
  fresh_ = false;
}

int PageFlow::end() {
  if (p_.list) {
    if (!fits(p_.m.line)) {
      before_ = PageStart{0, n_, groupNo_, current_, groupName_, false, QString(), QByteArray()};
      newPage(QString(), true, nullptr);
    }
    page_.rules.push_back({QLineF(0, y_, p_.width, y_), false});
    place(PlacedText::Kind::Total, QRectF(p_.pad, y_, p_.width - 2 * p_.pad, p_.m.line), recordCount(p_.t.complete ? p_.t.rows : n_), p_.m.bold,
          Qt::AlignLeft | Qt::AlignVCenter);
  }
  finish();
  return page_.index + 1;
}

}  // namespace detail

void layOutReport(const PreparedReport& r, QPaintDevice* device, const QString& printed,
                  const std::function<void(const ReportPage&)>& each) {
  const std::unique_ptr<ReportRowPass> pass = r.rows->open();
  const Pagination p(r.layout, device, printed, *pass);
  // Once to count the pages, then again to hand them over.
  int count = 0;
  for (const bool handOver : {false, true}) {
    PageFlow flow(p, count, PageStart{}, [&](int) { return handOver; }, each);
    if (p.list) pass->forEach([&](const ReportRow& row) { flow.row(row); });
    count = flow.end();
  }
}

namespace {

void paintChart(QPainter& p, const Metrics& m, const ReportLayout& L, const ReportPage& page, double width, double top,
                double height) {
  const std::vector<ChartBar> bars = chartBars(L, page.categoryCounts);
  const int total = page.total;
  // The counts as a small table first.
  const double tableW = std::min(width, m.line * 24);
  const double x0 = (width - tableW) / 2;
  double y = top + m.line * 0.5;
  p.setFont(m.bold);
  p.setPen(Qt::black);
  const double c1 = x0, c2 = x0 + tableW * 0.55, c3 = x0 + tableW * 0.78;
  p.drawText(QRectF(c1, y, c2 - c1, m.line), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Status"));
  p.drawText(QRectF(c2, y, c3 - c2, m.line), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Count"));
  p.drawText(QRectF(c3, y, x0 + tableW - c3, m.line), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Percent"));
  y += m.line;
  p.setFont(m.body);
  for (const ChartBar& b : bars) {
    p.fillRect(QRectF(c1, y + m.line * 0.3, m.line * 0.4, m.line * 0.4), b.color);
    p.drawText(QRectF(c1 + m.line * 0.6, y, c2 - c1, m.line), Qt::AlignLeft | Qt::AlignVCenter, b.label);
    p.drawText(QRectF(c2, y, c3 - c2, m.line), Qt::AlignRight | Qt::AlignVCenter, QString::number(b.count));
    p.drawText(QRectF(c3, y, x0 + tableW - c3, m.line), Qt::AlignRight | Qt::AlignVCenter, percent(b.count, total));
    y += m.line;
  }
  p.setPen(QPen(Qt::gray, std::max(1.0, m.line / 20)));
  p.drawLine(QPointF(x0, y), QPointF(x0 + tableW, y));
  p.setPen(Qt::black);
  p.setFont(m.bold);
  p.drawText(QRectF(c1, y, c2 - c1, m.line), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("All records"));
  p.drawText(QRectF(c2, y, c3 - c2, m.line), Qt::AlignRight | Qt::AlignVCenter, QString::number(total));
  p.drawText(QRectF(c3, y, x0 + tableW - c3, m.line), Qt::AlignRight | Qt::AlignVCenter, percent(total, total));
  y += m.line * 2;

  // Then the bars, scaled to the largest count.
  const double chartTop = y + m.line;
  const double chartBottom = top + height - m.line * 3;
  if (chartBottom - chartTop < m.line * 4 || bars.empty()) return;
  int most = 1;
  for (const ChartBar& b : bars) most = std::max(most, b.count);
  const double axisX = width * 0.1, axisW = width * 0.8;
  const double slot = axisW / bars.size();
  const double barW = slot * 0.55;
  const double span = chartBottom - chartTop;
  p.setPen(QPen(Qt::black, std::max(1.0, m.line / 14)));
  p.drawLine(QPointF(axisX, chartBottom), QPointF(axisX + axisW, chartBottom));
  p.drawLine(QPointF(axisX, chartTop), QPointF(axisX, chartBottom));
  for (size_t i = 0; i < bars.size(); ++i) {
    const ChartBar& b = bars[i];
    const double h = span * b.count / most;
    const double bx = axisX + slot * i + (slot - barW) / 2;
    p.fillRect(QRectF(bx, chartBottom - h, barW, h), b.color);
    p.setPen(Qt::black);
    p.setFont(m.bold);
    p.drawText(QRectF(bx - slot * 0.2, chartBottom - h - m.line * 1.1, barW + slot * 0.4, m.line),
               Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("%1 (%2)").arg(b.count).arg(percent(b.count, total)));
    p.setFont(m.body);
    p.drawText(QRectF(axisX + slot * i, chartBottom + m.line * 0.2, slot, m.line), Qt::AlignHCenter | Qt::AlignTop, b.label);
  }
}


}  // namespace

QStringList reportText(const PreparedReport& r) {
  const ReportLayout& L = r.layout;
  const std::unique_ptr<ReportRowPass> pass = r.rows->open();
  const Tally t = tallyRows(L, *pass, nullptr);
  QStringList out;
  out << L.title;
  if (t.rows == 0) return out << L.emptyText;
  if (L.kind == ReportLayout::Kind::Chart) {
    for (const ChartBar& b : chartBars(L, t.categoryCounts))
      out << QStringLiteral("%1\t%2\t%3").arg(b.label).arg(b.count).arg(percent(b.count, t.rows));
    out << QStringLiteral("All records\t%1\t%2").arg(t.rows).arg(percent(t.rows, t.rows));
    return out;
  }
  QStringList h;
  for (const ReportColumn& c : L.columns) h << c.heading;
  out << h.join(QLatin1Char('\t'));
  const std::vector<ColumnFields> at = columnFields(L);
  walkRows(L, *pass, t, [&](const QString& text, const QString&) { out << text; }, [&](const ReportRow& row, int) {
    QStringList cells;
    for (int c = 0; c < L.columns.size(); ++c) cells << formatCell(row, L.columns[c], at[c]);
    out << cells.join(QLatin1Char('\t'));
  });
  return out << recordCount(t.rows);
}

namespace detail {

void paintPage(QPainter& p, const Metrics& m, const ReportLayout& L, const ReportPage& page, double width, double height) {
  const QPen heavy(Qt::black, std::max(1.0, m.line / 12)), light(Qt::gray, std::max(1.0, m.line / 20));
  const QColor shade(0xf0, 0xf0, 0xf0);
  for (const QRectF& s : page.shades) p.fillRect(s, shade);
  for (const auto& rule : page.rules) {
    p.setPen(rule.heavy ? heavy : light);
    p.drawLine(rule.line);
  }
  p.setPen(Qt::black);
  // A font set again is recorded again by a printer: only changes are set.
  const QFont* font = nullptr;
  for (const PlacedText& t : page.texts) {
    if (!font || *font != t.font) p.setFont(*(font = &t.font));
    p.drawText(t.box, t.flags, t.text);
  }
  if (page.chart) paintChart(p, m, L, page, width, page.chartTop, height - page.chartTop);
}

}  // namespace detail

void paintReport(const PreparedReport& r, QPagedPaintDevice* device, const QString& printed) {
  QPainter p;
  if (!p.begin(device)) throw ReportError(QStringLiteral("The report \"%1\" cannot be printed: the output could not be started.").arg(r.layout.title));
  p.setRenderHint(QPainter::Antialiasing);
  const Metrics m(r.layout, device);
  layOutReport(r, device, printed, [&](const ReportPage& page) {
    if (page.index > 0) device->newPage();
    paintPage(p, m, r.layout, page, device->width(), device->height());
  });
  p.end();
}

}  // namespace quillon
