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
  QString group;       // for Group: the heading and the value, without the count
};

std::vector<Line> reportLines(const PreparedReport& r) {
  std::vector<Line> lines;
  const ReportLayout& L = r.layout;
  if (r.rows.empty()) {
    lines.push_back({Line::Type::Text, -1, L.emptyText, QString()});
    return lines;
  }
  if (L.kind == ReportLayout::Kind::Chart) {
    lines.push_back({Line::Type::Chart, -1, QString(), QString()});
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
        const QString name = QStringLiteral("%1 %2").arg(L.groupHeading, shown).trimmed();
        lines.push_back({Line::Type::Group, -1,
                         QStringLiteral("%1   (%2 %3)").arg(name).arg(n).arg(n == 1 ? "record" : "records"), name});
        current = v;
      }
    }
    first = false;
    lines.push_back({Line::Type::Row, i, QString(), QString()});
  }
  const int n = static_cast<int>(r.rows.size());
  lines.push_back({Line::Type::Total, -1, QStringLiteral("%1 %2").arg(n).arg(n == 1 ? "record" : "records"), QString()});
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
std::vector<double> columnLefts(const PreparedReport& r, const Metrics& m, QPaintDevice* dev, double width, double pad) {
  const ReportLayout& L = r.layout;
  const QFontMetricsF fb(m.body, dev), fh(m.bold, dev);
  const std::vector<ColumnFields> at = columnFields(L);
  const int n = static_cast<int>(L.columns.size());
  std::vector<double> natural(n), floor(n);
  double weights = 0;
  for (int i = 0; i < n; ++i) {
    const ReportColumn& c = L.columns[i];
    const Gap g = columnGap(L, i, pad);
    const double head = fh.horizontalAdvance(c.heading);
    double widest = 0;
    for (const ReportRow& row : r.rows) widest = std::max(widest, fb.horizontalAdvance(formatCell(row, c, at[i])));
    // A pixel to spare against rounding between measuring and drawing.
    natural[i] = std::max(head, widest) + g.left + g.right + 1;
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

ReportPagePlan planReport(const PreparedReport& r, QPaintDevice* device, const QString& printed) {
  ReportPagePlan plan;
  const ReportLayout& L = r.layout;
  const Metrics m(L, device);
  plan.body = m.body;
  plan.bold = m.bold;
  plan.title = m.title;
  plan.small = m.small;
  const double width = device->width();
  const double height = device->height();
  const double pad = m.line * 0.15;
  const std::vector<Line> lines = reportLines(r);
  plan.chart = !r.rows.empty() && L.kind == ReportLayout::Kind::Chart;
  const bool list = !r.rows.empty() && !plan.chart;
  const std::vector<ColumnFields> at = columnFields(L);
  if (list) plan.columnX = columnLefts(r, m, device, width, pad);
  const std::vector<double>& x = plan.columnX;

  auto place = [&](int page, PlacedText::Kind kind, const QRectF& box, const QString& text, const QFont& f, int flags,
                   int column = -1, int row = -1) {
    plan.texts.push_back({kind, page, box, text, f, flags, column, row});
  };
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

  // Every line of the report as a block of text lines, each row with its
  // cells wrapped to their columns.
  struct Block {
    Line line;
    std::vector<QStringList> cells;
    int rows = 1;
    QString group;  // the group a row belongs to
  };
  std::vector<Block> blocks;
  QString group;
  for (const Line& l : lines) {
    Block b{l, {}, 1, QString()};
    if (l.type == Line::Type::Group) group = l.group;
    if (l.type == Line::Type::Row) {
      for (int c = 0; c < L.columns.size(); ++c) {
        b.cells.push_back(wrapText(formatCell(r.rows[l.row], L.columns[c], at[c]), m.body, device, columnBox(c, 0, 0).width()));
        b.rows = std::max(b.rows, static_cast<int>(b.cells.back().size()));
      }
      b.group = group;
    }
    if (l.type == Line::Type::Text) b.rows = 3;
    blocks.push_back(std::move(b));
  }

  // Pages: blocks go down the page while they fit. A row is never split; a
  // group heading never ends a page but goes over with its first row; a
  // group that goes on over a page break has its heading repeated.
  int page = 0;
  double y = bodyTop;
  bool empty = true;
  const double bottom = height;
  auto heightOf = [&](const Block& b) { return b.rows * m.line; };
  auto newPage = [&](const Block& b) {
    ++page;
    y = bodyTop;
    if (b.line.type == Line::Type::Row && !b.group.isEmpty()) {
      place(page, PlacedText::Kind::Group, QRectF(pad, y, width - 2 * pad, m.line),
            b.group + QStringLiteral(" (continued)"), m.bold, Qt::AlignLeft | Qt::AlignBottom);
      y += m.line;
    }
  };
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Block& b = blocks[i];
    double need = heightOf(b);
    if (b.line.type == Line::Type::Group && i + 1 < blocks.size()) need += heightOf(blocks[i + 1]);
    if (!empty && y + need > bottom && b.line.type != Line::Type::Chart) newPage(b);
    empty = false;
    switch (b.line.type) {
      case Line::Type::Row: {
        // Only a record taller than a whole page goes on over a page break.
        double top = y;
        for (int k = 0; k < b.rows; ++k) {
          if (k > 0 && y + m.line > bottom) {
            if (b.line.row % 2 == 1) plan.shades.push_back({page, QRectF(0, top, width, y - top)});
            newPage(b);
            top = y;
          }
          for (int c = 0; c < L.columns.size(); ++c)
            if (k < b.cells[c].size())
              place(page, PlacedText::Kind::Cell, columnBox(c, y, m.line), b.cells[c][k], m.body,
                    int(L.columns[c].align) | Qt::AlignVCenter, c, b.line.row);
          y += m.line;
        }
        if (b.line.row % 2 == 1) plan.shades.push_back({page, QRectF(0, top, width, y - top)});
        continue;
      }
      case Line::Type::Group:
        place(page, PlacedText::Kind::Group, QRectF(pad, y, width - 2 * pad, m.line), b.line.text, m.bold,
              Qt::AlignLeft | Qt::AlignBottom);
        break;
      case Line::Type::Total:
        plan.rules.push_back({page, QLineF(0, y, width, y), false});
        place(page, PlacedText::Kind::Total, QRectF(pad, y, width - 2 * pad, m.line), b.line.text, m.bold,
              Qt::AlignLeft | Qt::AlignVCenter);
        break;
      case Line::Type::Text:
        place(page, PlacedText::Kind::Empty, QRectF(0, y + m.line, width, m.line * 2), b.line.text, m.body,
              Qt::AlignHCenter | Qt::AlignTop);
        break;
      case Line::Type::Chart:
        plan.chartTop = y;
        break;
      case Line::Type::Heading:
        break;
    }
    y += heightOf(b);
  }
  plan.pages = page + 1;

  // What every page carries: title, print date, page number, column headings.
  for (int pg = 0; pg < plan.pages; ++pg) {
    place(pg, PlacedText::Kind::Title, QRectF(0, 0, width, m.titleHeight), L.title, m.title, Qt::AlignHCenter | Qt::AlignVCenter);
    const QRectF info(0, m.titleHeight, width, m.smallHeight);
    place(pg, PlacedText::Kind::PageInfo, info, QStringLiteral("Printed %1").arg(printed), m.small, Qt::AlignLeft | Qt::AlignVCenter);
    place(pg, PlacedText::Kind::PageInfo, info, QStringLiteral("Page %1 of %2").arg(pg + 1).arg(plan.pages), m.small,
          Qt::AlignRight | Qt::AlignVCenter);
    plan.rules.push_back({pg, QLineF(0, m.headerHeight - m.line * 0.2, width, m.headerHeight - m.line * 0.2), true});
    if (!list) continue;
    for (int c = 0; c < L.columns.size(); ++c)
      for (int k = 0; k < headingLines[c].size(); ++k)
        place(pg, PlacedText::Kind::Heading, columnBox(c, m.headerHeight + k * m.line, m.line), headingLines[c][k], m.bold,
              int(L.columns[c].align) | Qt::AlignVCenter, c);
    plan.rules.push_back({pg, QLineF(0, m.headerHeight + headingsHeight, width, m.headerHeight + headingsHeight), false});
  }
  std::stable_sort(plan.texts.begin(), plan.texts.end(), [](const PlacedText& a, const PlacedText& b) { return a.page < b.page; });
  return plan;
}

namespace {

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
  const ReportPagePlan plan = planReport(r, device, printed);
  QPainter p;
  if (!p.begin(device)) throw ReportError(QStringLiteral("The report \"%1\" cannot be printed: the output could not be started.").arg(r.layout.title));
  p.setRenderHint(QPainter::Antialiasing);
  const Metrics m(r.layout, device);
  size_t text = 0;
  for (int pg = 0; pg < plan.pages; ++pg) {
    if (pg > 0) device->newPage();
    for (const auto& s : plan.shades)
      if (s.page == pg) p.fillRect(s.box, QColor(0xf0, 0xf0, 0xf0));
    for (const auto& rule : plan.rules) {
      if (rule.page != pg) continue;
      p.setPen(rule.heavy ? QPen(Qt::black, std::max(1.0, m.line / 12)) : QPen(Qt::gray, std::max(1.0, m.line / 20)));
      p.drawLine(rule.line);
    }
    p.setPen(Qt::black);
    for (; text < plan.texts.size() && plan.texts[text].page == pg; ++text) {
      const PlacedText& t = plan.texts[text];
      p.setFont(t.font);
      p.drawText(t.box, t.flags, t.text);
    }
    if (plan.chart && pg == 0) paintChart(p, m, r, device->width(), plan.chartTop, device->height() - plan.chartTop);
  }
  p.end();
}

}  // namespace quillon
