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

// What one pass over the rows learns before anything is laid out.
struct Tally {
  int rows = 0;
  std::vector<int> groupSizes;      // in print order
  std::vector<int> categoryCounts;  // chart reports
  std::vector<double> widest;       // per column, when measured for a device
};

int groupColumn(const ReportLayout& L) { return L.group.isEmpty() ? -1 : fieldIndex(L.group); }

Tally tallyRows(const ReportLayout& L, ReportRowPass& pass, const QFontMetricsF* body) {
  Tally t;
  t.categoryCounts.assign(L.categories.size(), 0);
  t.widest.assign(L.columns.size(), 0.0);
  const std::vector<ColumnFields> at = columnFields(L);
  const int g = groupColumn(L);
  const bool dates = g >= 0 && fieldKind(L.group) == FieldKind::Date;
  QString current;
  pass.forEach([&](const ReportRow& row) {
    if (g >= 0) {
      const QString v = groupValue(row, g, dates);
      if (t.rows == 0 || v != current) t.groupSizes.push_back(0);
      ++t.groupSizes.back();
      current = v;
    }
    ++t.rows;
    if (L.kind == ReportLayout::Kind::Chart) {
      for (int i = 0; i < L.categories.size(); ++i)
        if (L.categories[i].other || L.categories[i].condition.matches(row)) {
          ++t.categoryCounts[i];
          break;
        }
    } else if (body) {
      for (int i = 0; i < L.columns.size(); ++i)
        t.widest[i] = std::max(t.widest[i], body->horizontalAdvance(formatCell(row, L.columns[i], at[i])));
    }
  });
  return t;
}

QString recordCount(int n) { return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? "record" : "records"); }

// The rows of a list report with a heading before each group: `group` gets
// the heading line and the group's name, `row` each row with its place.
void walkRows(const ReportLayout& L, ReportRowPass& pass, const Tally& t,
              const std::function<void(const QString&, const QString&)>& group,
              const std::function<void(const ReportRow&, int)>& row) {
  const int g = groupColumn(L);
  const bool dates = g >= 0 && fieldKind(L.group) == FieldKind::Date;
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

QString percent(int count, int total) {
  return total > 0 ? QString::number(100.0 * count / total, 'f', 1) + QLatin1Char('%') : QStringLiteral("0.0%");
}

// Fonts and sizes of one rendering, in device pixels.
struct Metrics {
  QFont body, bold, title, small;
  double line = 0, titleHeight = 0, smallHeight = 0, headerHeight = 0;
  Metrics(const ReportLayout& L, QPaintDevice* dev) {
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
};

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

void layOutReport(const PreparedReport& r, QPaintDevice* device, const QString& printed,
                  const std::function<void(const ReportPage&)>& each) {
  const ReportLayout& L = r.layout;
  const std::unique_ptr<ReportRowPass> pass = r.rows->open();
  const Metrics m(L, device);
  const QFontMetricsF bodyMetrics(m.body, device);
  const Tally t = tallyRows(L, *pass, &bodyMetrics);
  const double width = device->width();
  const double bottom = device->height();
  const double pad = m.line * 0.15;
  const bool chart = t.rows > 0 && L.kind == ReportLayout::Kind::Chart;
  const bool list = t.rows > 0 && !chart;
  const std::vector<ColumnFields> at = columnFields(L);
  const std::vector<double> x = list ? columnLefts(L, t.widest, m, device, width, pad) : std::vector<double>();

  auto columnBox = [&](int c, double y, double h) {
    const Gap g = columnGap(L, c, pad);
    return QRectF(x[c] + g.left, y, x[c + 1] - x[c] - g.left - g.right, h);
  };
  // The column headings, wrapped if a heading is wider than its column can be.
  std::vector<QStringList> headingLines;
  int headingRows = 0;
  if (list) {
    for (int c = 0; c < L.columns.size(); ++c) {
      headingLines.push_back(wrapText(L.columns[c].heading, m.bold, device, columnBox(c, 0, 0).width()));
      headingRows = std::max(headingRows, static_cast<int>(headingLines.back().size()));
    }
  }
  const double headingsHeight = headingRows * m.line;
  const double bodyTop = m.headerHeight + (list ? headingsHeight + m.line * 0.2 : 0);

  // Pages: lines go down the page while they fit. A row is never split; a
  // group heading never ends a page but goes over with its first row; a
  // group that goes on over a page break has its heading repeated. Run once
  // to count the pages, then again to hand them over.
  auto run = [&](int count, bool handOver) {
    ReportPage page;
    page.count = count;
    page.columnX = x;
    double y = bodyTop;
    bool empty = true;
    auto place = [&](PlacedText::Kind kind, const QRectF& box, const QString& text, const QFont& f, int flags,
                     int column = -1, int row = -1) {
      if (handOver) page.texts.push_back({kind, page.index, box, text, f, flags, column, row});
    };
    // What every page carries: title, print date, page number, column headings.
    auto finish = [&] {
      if (!handOver) return;
      place(PlacedText::Kind::Title, QRectF(0, 0, width, m.titleHeight), L.title, m.title, Qt::AlignHCenter | Qt::AlignVCenter);
      const QRectF info(0, m.titleHeight, width, m.smallHeight);
      place(PlacedText::Kind::PageInfo, info, QStringLiteral("Printed %1").arg(printed), m.small, Qt::AlignLeft | Qt::AlignVCenter);
      place(PlacedText::Kind::PageInfo, info, QStringLiteral("Page %1 of %2").arg(page.index + 1).arg(count), m.small,
            Qt::AlignRight | Qt::AlignVCenter);
      const double rule = m.headerHeight - m.line * 0.2;
      page.rules.push_back({QLineF(0, rule, width, rule), true});
      if (list) {
        for (int c = 0; c < L.columns.size(); ++c)
          for (int k = 0; k < headingLines[c].size(); ++k)
            place(PlacedText::Kind::Heading, columnBox(c, m.headerHeight + k * m.line, m.line), headingLines[c][k], m.bold,
                  int(L.columns[c].align) | Qt::AlignVCenter, c);
        const double under = m.headerHeight + headingsHeight;
        page.rules.push_back({QLineF(0, under, width, under), false});
      }
      each(page);
    };
    auto newPage = [&](const QString& continuing) {
      finish();
      ++page.index;
      page.texts.clear();
      page.shades.clear();
      page.rules.clear();
      page.chart = false;
      y = bodyTop;
      if (!continuing.isEmpty()) {
        place(PlacedText::Kind::Group, QRectF(pad, y, width - 2 * pad, m.line), continuing + QStringLiteral(" (continued)"),
              m.bold, Qt::AlignLeft | Qt::AlignBottom);
        y += m.line;
      }
    };
    auto fits = [&](double need) { return empty || y + need <= bottom; };

    if (t.rows == 0) {
      place(PlacedText::Kind::Empty, QRectF(0, y + m.line, width, m.line * 2), L.emptyText, m.body, Qt::AlignHCenter | Qt::AlignTop);
    } else if (chart) {
      page.chart = true;
      page.chartTop = y;
      page.categoryCounts = t.categoryCounts;
      page.total = t.rows;
    } else {
      QString groupName;
      QString heading;  // waiting for its first row
      std::vector<QStringList> cells(L.columns.size());
      walkRows(L, *pass, t, [&](const QString& text, const QString& name) {
        heading = text;
        groupName = name;
      }, [&](const ReportRow& row, int rowNo) {
        int lines = 1;
        for (int c = 0; c < L.columns.size(); ++c) {
          cells[c] = wrapText(formatCell(row, L.columns[c], at[c]), m.body, device, columnBox(c, 0, 0).width());
          lines = std::max(lines, static_cast<int>(cells[c].size()));
        }
        if (!heading.isEmpty()) {
          if (!fits(m.line + lines * m.line)) newPage(QString());
          empty = false;
          place(PlacedText::Kind::Group, QRectF(pad, y, width - 2 * pad, m.line), heading, m.bold, Qt::AlignLeft | Qt::AlignBottom);
          y += m.line;
          heading.clear();
        } else if (!fits(lines * m.line)) {
          newPage(groupName);
        }
        empty = false;
        // Only a record taller than a whole page goes on over a page break.
        double top = y;
        for (int k = 0; k < lines; ++k) {
          if (k > 0 && y + m.line > bottom) {
            if (rowNo % 2 == 1) page.shades.push_back(QRectF(0, top, width, y - top));
            newPage(groupName);
            top = y;
          }
          for (int c = 0; c < L.columns.size(); ++c)
            if (k < cells[c].size())
              place(PlacedText::Kind::Cell, columnBox(c, y, m.line), cells[c][k], m.body, int(L.columns[c].align) | Qt::AlignVCenter,
                    c, rowNo);
          y += m.line;
        }
        if (rowNo % 2 == 1) page.shades.push_back(QRectF(0, top, width, y - top));
      });
      if (!fits(m.line)) newPage(QString());
      page.rules.push_back({QLineF(0, y, width, y), false});
      place(PlacedText::Kind::Total, QRectF(pad, y, width - 2 * pad, m.line), recordCount(t.rows), m.bold,
            Qt::AlignLeft | Qt::AlignVCenter);
    }
    finish();
    return page.index + 1;
  };
  run(run(0, false), true);
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

void paintReport(const PreparedReport& r, QPagedPaintDevice* device, const QString& printed) {
  QPainter p;
  if (!p.begin(device)) throw ReportError(QStringLiteral("The report \"%1\" cannot be printed: the output could not be started.").arg(r.layout.title));
  p.setRenderHint(QPainter::Antialiasing);
  const Metrics m(r.layout, device);
  const QPen heavy(Qt::black, std::max(1.0, m.line / 12)), light(Qt::gray, std::max(1.0, m.line / 20));
  const QColor shade(0xf0, 0xf0, 0xf0);
  layOutReport(r, device, printed, [&](const ReportPage& page) {
    if (page.index > 0) device->newPage();
    for (const QRectF& s : page.shades) p.fillRect(s, shade);
    for (const auto& rule : page.rules) {
      p.setPen(rule.heavy ? heavy : light);
      p.drawLine(rule.line);
    }
    p.setPen(Qt::black);
    // A font set again is recorded again by a preview: only changes are set.
    const QFont* font = nullptr;
    for (const PlacedText& t : page.texts) {
      if (!font || *font != t.font) p.setFont(*(font = &t.font));
      p.drawText(t.box, t.flags, t.text);
    }
    if (page.chart) paintChart(p, m, r.layout, page, device->width(), page.chartTop, device->height() - page.chartTop);
  });
  p.end();
}

}  // namespace quillon
