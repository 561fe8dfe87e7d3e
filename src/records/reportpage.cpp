// What lands on the pages of a report: lines, page breaks, column widths
// and the painting itself.

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

// ---- Page layout: the lines of a report, then pages of lines ----

struct Line {
  enum class Type { Heading, Group, Row, Total, Text, Chart } type;
  int row = -1;        // index into PreparedReport::rows for Row
  QString text;        // for Group, Total, Text
};

std::vector<Line> reportLines(const PreparedReport& r) {
  std::vector<Line> lines;
  const ReportLayout& L = r.layout;
  if (r.rows.empty()) {
    lines.push_back({Line::Type::Text, -1, L.emptyText});
    return lines;
  }
  if (L.kind == ReportLayout::Kind::Chart) {
    lines.push_back({Line::Type::Chart, -1, QString()});
    return lines;
  }
  const int g = L.group.isEmpty() ? -1 : fieldIndex(L.group);
  // Dates written differently (1/5/2026, 01/05/2026) are one group.
  const bool dates = g >= 0 && fieldKind(L.group) == FieldKind::Date;
  auto groupValue = [&](const ReportRow& row) {
    const QString v = row[g].trimmed();
    const QDate d = dates ? parseDate(v) : QDate();
    return d.isValid() ? d.toString(QStringLiteral("MM/dd/yyyy")) : v;
  };
  QString current;
  bool first = true;
  for (int i = 0; i < static_cast<int>(r.rows.size()); ++i) {
    if (g >= 0) {
      const QString v = groupValue(r.rows[i]);
      if (first || v != current) {
        int n = 0;
        for (int j = i; j < static_cast<int>(r.rows.size()) && groupValue(r.rows[j]) == v; ++j) ++n;
        const QString shown = v.isEmpty() ? QStringLiteral("not recorded") : v;
        lines.push_back({Line::Type::Group, -1,
                         QStringLiteral("%1 %2   (%3 %4)").arg(L.groupHeading, shown).arg(n).arg(n == 1 ? "record" : "records")});
        current = v;
      }
    }
    first = false;
    lines.push_back({Line::Type::Row, i, QString()});
  }
  const int n = static_cast<int>(r.rows.size());
  lines.push_back({Line::Type::Total, -1, QStringLiteral("%1 %2").arg(n).arg(n == 1 ? "record" : "records")});
  return lines;
}

struct ChartBar {
  QString label;
  QColor color;
  int count = 0;
};

std::vector<ChartBar> chartBars(const PreparedReport& r) {
  static const QColor palette[] = {QColor(0x2e, 0x7d, 0x32), QColor(0xc6, 0x28, 0x28), QColor(0x75, 0x75, 0x75),
                                   QColor(0x15, 0x65, 0xc0), QColor(0xef, 0x6c, 0x00)};
  std::vector<ChartBar> bars;
  for (int i = 0; i < r.layout.categories.size(); ++i)
    bars.push_back({r.layout.categories[i].label, palette[i % 5], 0});
  for (const ReportRow& row : r.rows) {
    for (int i = 0; i < r.layout.categories.size(); ++i) {
      const ChartCategory& c = r.layout.categories[i];
      if (c.other || c.condition.matches(row)) {
        ++bars[i].count;
        break;
      }
    }
  }
  return bars;
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

void paintPageHeader(QPainter& p, const Metrics& m, double width, const QString& title, const QString& printed, int page,
                     int pages) {
  p.setPen(Qt::black);
  p.setFont(m.title);
  p.drawText(QRectF(0, 0, width, m.titleHeight), Qt::AlignHCenter | Qt::AlignVCenter, title);
  p.setFont(m.small);
  const QRectF info(0, m.titleHeight, width, m.smallHeight);
  p.drawText(info, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Printed %1").arg(printed));
  p.drawText(info, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Page %1 of %2").arg(page).arg(pages));
  p.setPen(QPen(Qt::black, std::max(1.0, m.line / 12)));
  p.drawLine(QPointF(0, m.headerHeight - m.line * 0.2), QPointF(width, m.headerHeight - m.line * 0.2));
}

std::vector<double> columnLefts(const ReportLayout& L, double width) {
  double sum = 0;
  for (const ReportColumn& c : L.columns) sum += c.width;
  std::vector<double> x;
  double at = 0;
  for (const ReportColumn& c : L.columns) {
    x.push_back(at);
    at += sum > 0 ? width * c.width / sum : 0;
  }
  x.push_back(width);
  return x;
}

// A left-aligned column right after a right-aligned one gets more room on
// its left, so "300 PASS" does not read as one value.
QRectF cellBox(const ReportLayout& L, const std::vector<double>& x, int i, double y, double h, double pad) {
  const bool after = i > 0 && L.columns[i - 1].align == Qt::AlignRight && L.columns[i].align == Qt::AlignLeft;
  const double left = after ? pad * 4 : pad;
  return QRectF(x[i] + left, y, x[i + 1] - x[i] - left - pad, h);
}

void paintColumnHeadings(QPainter& p, const Metrics& m, const ReportLayout& L, const std::vector<double>& x, double y) {
  p.setFont(m.bold);
  p.setPen(Qt::black);
  const double pad = m.line * 0.15;
  for (int i = 0; i < L.columns.size(); ++i) {
    const QRectF r = cellBox(L, x, i, y, m.line, pad);
    p.drawText(r, int(L.columns[i].align) | Qt::AlignVCenter,
               QFontMetricsF(m.bold, p.device()).elidedText(L.columns[i].heading, Qt::ElideRight, r.width()));
  }
  p.setPen(QPen(Qt::gray, std::max(1.0, m.line / 20)));
  p.drawLine(QPointF(0, y + m.line), QPointF(x.back(), y + m.line));
}

void paintChart(QPainter& p, const Metrics& m, const PreparedReport& r, double width, double top, double height) {
  const std::vector<ChartBar> bars = chartBars(r);
  const int total = static_cast<int>(r.rows.size());
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
  QStringList out;
  out << r.layout.title;
  if (!r.rows.empty() && r.layout.kind == ReportLayout::Kind::Chart) {
    const int total = static_cast<int>(r.rows.size());
    for (const ChartBar& b : chartBars(r))
      out << QStringLiteral("%1\t%2\t%3").arg(b.label).arg(b.count).arg(percent(b.count, total));
    out << QStringLiteral("All records\t%1\t%2").arg(total).arg(percent(total, total));
    return out;
  }
  if (!r.rows.empty()) {
    QStringList h;
    for (const ReportColumn& c : r.layout.columns) h << c.heading;
    out << h.join(QLatin1Char('\t'));
  }
  const std::vector<ColumnFields> at = columnFields(r.layout);
  for (const Line& l : reportLines(r)) {
    if (l.type == Line::Type::Row) {
      QStringList cells;
      for (int c = 0; c < r.layout.columns.size(); ++c) cells << formatCell(r.rows[l.row], r.layout.columns[c], at[c]);
      out << cells.join(QLatin1Char('\t'));
    } else {
      out << l.text;
    }
  }
  return out;
}

void paintReport(const PreparedReport& r, QPagedPaintDevice* device, const QString& printed) {
  QPainter p;
  if (!p.begin(device)) throw ReportError(QStringLiteral("The report \"%1\" cannot be printed: the output could not be started.").arg(r.layout.title));
  p.setRenderHint(QPainter::Antialiasing);
  const Metrics m(r.layout, device);
  const double width = device->width();
  const double height = device->height();
  const std::vector<Line> lines = reportLines(r);
  const bool chart = !r.rows.empty() && r.layout.kind == ReportLayout::Kind::Chart;
  const bool headings = !r.rows.empty() && !chart;

  // Pages: as many lines as fit below the page header (and column headings).
  const double bodyTop = m.headerHeight + (headings ? m.line * 1.2 : 0);
  const int perPage = std::max(1, static_cast<int>((height - bodyTop) / m.line));
  std::vector<std::pair<size_t, size_t>> pages;
  for (size_t i = 0; i < lines.size();) {
    size_t end = std::min(lines.size(), i + static_cast<size_t>(perPage));
    // A group heading never ends a page.
    if (end < lines.size() && end - i > 1 && lines[end - 1].type == Line::Type::Group) --end;
    pages.emplace_back(i, end);
    i = end;
  }
  if (pages.empty()) pages.emplace_back(0, 0);

  const std::vector<double> x = columnLefts(r.layout, width);
  const double pad = m.line * 0.15;
  const QFontMetricsF fmBody(m.body, device);
  const std::vector<ColumnFields> at = columnFields(r.layout);
  for (size_t pg = 0; pg < pages.size(); ++pg) {
    if (pg > 0) device->newPage();
    paintPageHeader(p, m, width, r.layout.title, printed, static_cast<int>(pg + 1), static_cast<int>(pages.size()));
    if (headings) paintColumnHeadings(p, m, r.layout, x, m.headerHeight);
    double y = bodyTop;
    for (size_t i = pages[pg].first; i < pages[pg].second; ++i) {
      const Line& l = lines[i];
      switch (l.type) {
        case Line::Type::Row: {
          if (l.row % 2 == 1) p.fillRect(QRectF(0, y, width, m.line), QColor(0xf0, 0xf0, 0xf0));
          p.setPen(Qt::black);
          p.setFont(m.body);
          for (int c = 0; c < r.layout.columns.size(); ++c) {
            const QRectF box = cellBox(r.layout, x, c, y, m.line, pad);
            p.drawText(box, int(r.layout.columns[c].align) | Qt::AlignVCenter,
                       fmBody.elidedText(formatCell(r.rows[l.row], r.layout.columns[c], at[c]), Qt::ElideRight, box.width()));
          }
          break;
        }
        case Line::Type::Group:
          p.setPen(Qt::black);
          p.setFont(m.bold);
          p.drawText(QRectF(pad, y, width, m.line), Qt::AlignLeft | Qt::AlignBottom, l.text);
          break;
        case Line::Type::Total:
          p.setPen(QPen(Qt::gray, std::max(1.0, m.line / 20)));
          p.drawLine(QPointF(0, y), QPointF(width, y));
          p.setPen(Qt::black);
          p.setFont(m.bold);
          p.drawText(QRectF(pad, y, width - 2 * pad, m.line), Qt::AlignLeft | Qt::AlignVCenter, l.text);
          break;
        case Line::Type::Text:
          p.setPen(Qt::black);
          p.setFont(m.body);
          p.drawText(QRectF(0, y + m.line, width, m.line * 2), Qt::AlignHCenter | Qt::AlignTop, l.text);
          break;
        case Line::Type::Chart:
          paintChart(p, m, r, width, y, height - y);
          break;
        case Line::Type::Heading:
          break;
      }
      y += m.line;
    }
  }
  p.end();
}

}  // namespace quillon
