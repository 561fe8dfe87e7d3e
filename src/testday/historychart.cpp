#include "historychart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "testkind.h"

namespace quillon {

namespace {

const QColor kColours[] = {Qt::black, QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                           QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e)};

// Where a date sits across the plot: the first test at the left edge, the
// last at the right, one test alone in the middle.
double xOf(const QDate& d, const QDate& first, const QDate& last, const QRectF& plot) {
  const qint64 span = first.daysTo(last);
  if (span <= 0) return plot.center().x();
  return plot.left() + plot.width() * double(first.daysTo(d)) / double(span);
}

// A value's height in a panel running from `low` at its foot to `high` at its top.
double yOf(int value, int low, int high, const QRectF& plot) {
  return plot.bottom() - plot.height() * (std::clamp(value, low, high) - low) / double(high - low);
}

void drawPanel(QPainter& p, const QRectF& plot, int low, int high, const QList<int>& marks, const QString& title) {
  p.setPen(QPen(Qt::gray, 0));
  p.drawRect(plot);
  const QFontMetrics fm = p.fontMetrics();
  for (int m : marks) {
    const double y = yOf(m, low, high, plot);
    p.setPen(QPen(Qt::gray, 0, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(Qt::darkGray);
    const QString t = QString::number(m);
    p.drawText(QPointF(plot.left() - fm.horizontalAdvance(t) - 4, y + fm.ascent() / 2.0), t);
  }
  p.setPen(Qt::black);
  p.drawText(QPointF(plot.right() - fm.horizontalAdvance(title), plot.top() - fm.descent() - 2), title);
}

void drawLine(QPainter& p, const ChartSeries& s, const QColor& colour, int low, int high, const QDate& first,
              const QDate& last, const QRectF& plot) {
  QPainterPath path;
  QList<QPointF> dots;
  for (const auto& [date, value] : s.points) {
    const QPointF at(xOf(date, first, last, plot), yOf(value, low, high, plot));
    if (dots.isEmpty()) path.moveTo(at);
    else path.lineTo(at);
    dots << at;
  }
  p.setPen(QPen(colour, 2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  p.setBrush(colour);
  for (const QPointF& d : dots) p.drawEllipse(d, 3, 3);
}

}  // namespace

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("historyChart"));
  setMinimumSize(360, 220);
}

void HistoryChart::setSeries(const QList<ChartSeries>& series, TestKindId kind) {
  series_ = series;
  kind_ = kind;
  update();
}

void HistoryChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), palette().base());
  QDate first, last;
  for (const ChartSeries& s : series_)
    for (const auto& pt : s.points) {
      if (!first.isValid() || pt.first < first) first = pt.first;
      if (!last.isValid() || pt.first > last) last = pt.first;
    }
  const QFontMetrics fm = p.fontMetrics();
  const TestKind& kind = testKind(kind_);
  if (!first.isValid()) {
    p.setPen(palette().text().color());
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No %1 test to chart.").arg(kind.name()));
    return;
  }
  const double left = fm.horizontalAdvance(QStringLiteral("5000")) + 8, right = width() - 12;
  const double legend = fm.height() + 6, dates = fm.height() + 6;
  const double title = fm.height() + 2;  // above each panel
  const double usable = height() - legend - dates - 2 * title - 12;
  const QRectF totalPlot(left, legend + title, right - left, usable * 0.45);
  const QRectF eventPlot(left, totalPlot.bottom() + title + 6, right - left, usable * 0.55);

  // The totals the pass rules ask for, as the test's own rules give them.
  const PointsScale scale = kind.scale();
  const int top = scale.totalTop;
  QList<int> totalMarks = scale.totalPass;
  // The total's panel starts a little under the lowest total or minimum, so
  // a change of a few points still shows.
  int low = top;
  for (int m : totalMarks) low = std::min(low, m);
  for (const auto& pt : series_.value(0).points) low = std::min(low, pt.second);
  low = std::max(0, (low / 50 - 1) * 50);
  totalMarks << low << top;
  drawPanel(p, totalPlot, low, top, totalMarks, QStringLiteral("Total"));
  drawPanel(p, eventPlot, 0, scale.eventTop, QList<int>{0} + scale.eventPass + QList<int>{scale.eventTop},
            QStringLiteral("Points per event"));

  double x = left;
  for (int i = 0; i < series_.size(); ++i) {
    const QColor colour = kColours[i % std::size(kColours)];
    const bool total = i == 0;
    drawLine(p, series_[i], colour, total ? low : 0, total ? top : scale.eventTop, first, last,
             total ? totalPlot : eventPlot);
    p.setPen(QPen(colour, 2));
    p.drawLine(QPointF(x, legend / 2), QPointF(x + 14, legend / 2));
    p.setPen(palette().text().color());
    p.drawText(QPointF(x + 18, legend / 2 + fm.ascent() / 2.0 - 1), series_[i].name);
    x += 18 + fm.horizontalAdvance(series_[i].name) + 14;
  }

  // Each test's date under the plots.
  QList<QDate> seen;
  for (const ChartSeries& s : series_)
    for (const auto& pt : s.points)
      if (!seen.contains(pt.first)) seen << pt.first;
  p.setPen(palette().text().color());
  double lastRight = -1e9;
  std::sort(seen.begin(), seen.end());
  for (const QDate& d : seen) {
    const QString t = d.toString(Qt::ISODate);
    const double cx = xOf(d, first, last, eventPlot), w = fm.horizontalAdvance(t);
    const double at = std::clamp(cx - w / 2, 0.0, width() - w);
    if (at < lastRight + 6) continue;  // labels that would overlap are left out; the table has every date
    p.drawText(QPointF(at, eventPlot.bottom() + fm.ascent() + 4), t);
    lastRight = at + w;
  }
}

}  // namespace quillon
