#include "cardform.h"

#include <QColor>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

namespace quillon::cardform {

namespace {

struct Word {
  int page = 0;
  QRectF box;  // as pdftotext measures it: font ascent to descent
  bool bold = false, italic = false, link = false;
  QString text;
};

QList<Word> loadWords() {
  QList<Word> words;
  QFile f(QStringLiteral(":/cards/scorecard-layout.tsv"));
  const bool opened = f.open(QIODevice::ReadOnly);
  Q_ASSERT(opened);
  if (!opened) return words;
  for (const QByteArray& line : f.readAll().split('\n')) {
    const QList<QByteArray> c = line.split('\t');
    if (c.size() != 8) continue;
    Word w;
    w.page = c[0].toInt();
    w.box = QRectF(QPointF(c[1].toDouble(), c[2].toDouble()), QPointF(c[3].toDouble(), c[4].toDouble()));
    w.bold = c[5].contains('b');
    w.italic = c[5].contains('i');
    w.link = c[6] == "u";
    w.text = QString::fromUtf8(c[7]);
    words << w;
  }
  return words;
}

const QList<Word>& formWords() {
  static const QList<Word> words = loadWords();
  return words;
}

// The form was set in a font whose measured height (ascent to descent) is
// 0.925 of its size with the baseline 0.718 below the top; the card draws
// each word at that size and baseline, stretched to the form's width, so it
// covers the same ground in whatever sans face the system has.
constexpr double kHeightPerSize = 0.925, kAscentPerSize = 0.718;

void drawWord(QPainter& p, const Word& w) {
  const double size = w.box.height() / kHeightPerSize;
  QFont f = fontAt(p, size);
  f.setBold(w.bold);
  f.setItalic(w.italic);
  drawFitted(p, f, QPointF(w.box.left(), w.box.top() + kAscentPerSize * size), w.box.width(), w.text,
             w.link ? QColor(0, 0, 255) : QColor(Qt::black));
}

void line(QPainter& p, double x0, double y0, double x1, double y1, double width) {
  p.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(x0, y0), QPointF(x1, y1));
}

void box(QPainter& p, const QRectF& r) {
  p.setPen(QPen(Qt::black, 0.5));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r);
}

void band(QPainter& p, double x0, double y0, double x1, double y1) {
  p.fillRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)), QColor(217, 217, 217));
}

void paintColumn(QPainter& p) {
  for (double y : {291.5, 328.0, 364.0, 400.0, 436.0, 472.0}) band(p, 17.5, y, 395, y + 12);
  band(p, 17.5, 213.2, 395, 227);
  for (double y : {227.0, 252.0, 266.5, 291.5, 303.5, 328.0, 340.0, 364.0, 376.0, 400.0, 412.0, 436.0, 448.0, 472.0,
                   484.0, 508.0, 529.5, 550.5})
    line(p, 17.5, y, 395, y, 0.5);
  line(p, 341.5, 264.5, 392, 264.5, 0.5);  // body composition date
  line(p, 105.5, 289, 136, 289, 0.5);      // weight
  line(p, 258, 289, 288.5, 289, 0.5);      // body fat
  line(p, 35, 325.5, 85.5, 325.5, 0.5);    // deadlift attempts
  line(p, 111, 325.5, 161.5, 325.5, 0.5);
  for (double x : {112.5, 206.5, 300.5}) line(p, x, 227, x, 252, 0.5);
  for (double x : {93.0, 243.5}) line(p, x, 266.5, x, 291.5, 0.5);
  for (double x : {93.0, 168.5, 243.5}) line(p, x, 303.5, x, 328, 0.5);
  for (double y : {340.0, 376.0, 412.0, 448.0})
    for (double x : {168.5, 243.5}) line(p, x, y, x, y + 24, 0.5);
  for (double x : {83.0, 128.5, 168.5}) line(p, x, 484, x, 508, 0.5);
  line(p, 243.5, 484, 243.5, 529.5, 0.5);
  line(p, 222, 529.5, 222, 550.5, 0.5);
  line(p, 321, 508, 321, 572, 0.5);
  using namespace at;
  for (const QRectF& r : {combat, general, weightGo, weightNoGo, bodyFatGo, bodyFatNoGo, firstTick, secondTick,
                          alternateGo, alternateNoGo, overallGo, overallNoGo})
    box(p, r);
}

}  // namespace

QFont fontAt(const QPainter& p, double points) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStretch(QFont::Condensed);
  f.setHintingPreference(QFont::PreferNoHinting);
  // No ligatures: every word keeps the letters the form prints.
  f.setStyleStrategy(QFont::StyleStrategy(QFont::ForceOutline | QFont::PreferNoShaping));
  // The painter already maps points to device pixels; the font's size is
  // given in the device's own points, so undo its resolution here.
  f.setPointSizeF(points * 72.0 / p.device()->logicalDpiY());
  return f;
}

void drawFitted(QPainter& p, const QFont& font, QPointF baseline, double width, const QString& text, const QColor& colour) {
  const double natural = QFontMetricsF(font, p.device()).horizontalAdvance(text);
  if (natural <= 0) return;
  p.save();
  p.setFont(font);
  p.setPen(colour);
  p.translate(baseline);
  p.scale(width / natural, 1);
  p.drawText(QPointF(0, 0), text);
  p.restore();
}

void paintBlankPage(QPainter& p, int page) {
  p.save();
  band(p, 544.8, 29.5, 775, 43.5);
  band(p, 17.5, 112.2, 775, 125.5);
  paintColumn(p);
  p.translate(kColumnShift, 0);
  paintColumn(p);
  p.restore();
  line(p, 18, 29.5, 774, 29.5, 1.5);  // the frame
  line(p, 18, 572, 774, 572, 1.5);
  line(p, 18, 29, 18, 573, 1.5);
  line(p, 774, 29, 774, 573, 1.5);
  line(p, 17.5, 67, 775, 67, 0.5);
  line(p, 544.8, 29, 544.8, 112.2, 0.5);
  line(p, 544.8, 43.5, 775, 43.5, 0.5);
  line(p, 544.8, 87.5, 775, 87.5, 0.5);
  for (double y : {112.2, 213.2}) line(p, 17.5, y, 775, y, 1.0);
  line(p, 17.5, 125.5, 775, 125.5, 0.5);
  line(p, 394.5, 213.2, 394.5, 572, 0.5);
  line(p, 397, 213.2, 397, 572, 0.5);
  box(p, at::male);
  box(p, at::female);
  p.setPen(QPen(QColor(0, 0, 255), 0.5));  // the links are underlined
  p.drawLine(QPointF(60.5, 85.5), QPointF(153, 85.5));
  p.drawLine(QPointF(343.5, 172), QPointF(719.5, 172));
  for (const Word& w : formWords())
    if (w.page == page) drawWord(p, w);
}

}  // namespace quillon::cardform
