#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quillon::dbtool {

namespace {

// One drum of a stacked database: a cylinder with a lit top.
void drawDrum(QPainter& p, const QRectF& r) {
  const qreal cap = r.height() * 0.28;
  QLinearGradient side(r.topLeft(), r.topRight());
  side.setColorAt(0.0, QColor(0x1d, 0x4e, 0x89));
  side.setColorAt(0.45, QColor(0x4f, 0x8f, 0xd6));
  side.setColorAt(1.0, QColor(0x16, 0x3b, 0x6b));
  QPainterPath body;
  body.moveTo(r.left(), r.top() + cap / 2);
  body.lineTo(r.left(), r.bottom() - cap / 2);
  body.arcTo(QRectF(r.left(), r.bottom() - cap, r.width(), cap), 180, 180);
  body.lineTo(r.right(), r.top() + cap / 2);
  body.closeSubpath();
  p.setPen(QPen(QColor(0x0e, 0x2a, 0x4d), qMax<qreal>(1.0, r.width() / 24)));
  p.setBrush(side);
  p.drawPath(body);
  // Bands between the platters.
  for (int i = 1; i <= 2; ++i) {
    const qreal y = r.top() + cap / 2 + (r.height() - cap) * i / 3.0;
    p.drawArc(QRectF(r.left(), y - cap / 2, r.width(), cap), 180 * 16, 180 * 16);
  }
  p.setBrush(QColor(0xa9, 0xd0, 0xf5));
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), cap));
}

void drawWave(QPainter& p, const QRectF& area, qreal crest, const QColor& color, int humps) {
  QPainterPath w;
  w.moveTo(area.left(), area.bottom());
  w.lineTo(area.left(), crest);
  const qreal step = area.width() / humps;
  for (int i = 0; i < humps; ++i) {
    const qreal x = area.left() + i * step;
    w.cubicTo(x + step * 0.3, crest - step * 0.35, x + step * 0.7, crest + step * 0.35, x + step, crest);
  }
  w.lineTo(area.right(), area.bottom());
  w.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(w);
}

}  // namespace

QPixmap drawToolIcon(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 32.0;
  drawDrum(p, QRectF(6 * s, 2 * s, 20 * s, 24 * s));
  QColor sea(0x14, 0x9c, 0x8c);
  sea.setAlpha(230);
  drawWave(p, QRectF(0, 0, size, size), 24 * s, sea, 2);
  return pm;
}

QIcon toolIcon() {
  QIcon icon;
  for (int s : {16, 24, 32, 48, 64}) icon.addPixmap(drawToolIcon(s));
  return icon;
}

QPixmap drawAboutPicture(const QSize& size) {
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = size.width(), h = size.height();
  // Sky and water.
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(0xe8, 0xf3, 0xfc));
  sky.setColorAt(1, QColor(0xc6, 0xe2, 0xf7));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRoundedRect(QRectF(0, 0, w, h), h * 0.08, h * 0.08);
  drawDrum(p, QRectF(w * 0.18, h * 0.12, w * 0.24, h * 0.66));
  drawDrum(p, QRectF(w * 0.50, h * 0.26, w * 0.20, h * 0.52));
  // A spanner across the drums: the tool mends what it keeps.
  p.save();
  p.translate(w * 0.62, h * 0.30);
  p.rotate(-35);
  const qreal len = w * 0.42, bar = h * 0.09;
  p.setPen(QPen(QColor(0x44, 0x44, 0x48), 1));
  p.setBrush(QColor(0xb8, 0xbc, 0xc4));
  p.drawRoundedRect(QRectF(-len / 2, -bar / 2, len, bar), bar / 2, bar / 2);
  QPainterPath jaw;
  jaw.addEllipse(QPointF(len / 2, 0), bar * 1.3, bar * 1.3);
  QPainterPath notch;
  notch.addRect(QRectF(len / 2, -bar * 0.45, bar * 1.5, bar * 0.9));
  p.drawPath(jaw.subtracted(notch));
  p.restore();
  QColor sea(0x14, 0x9c, 0x8c);
  sea.setAlpha(215);
  drawWave(p, QRectF(0, 0, w, h), h * 0.78, sea, 3);
  QColor foam(0x7f, 0xd6, 0xc8);
  foam.setAlpha(170);
  drawWave(p, QRectF(0, 0, w, h), h * 0.86, foam, 4);
  return pm;
}

}  // namespace quillon::dbtool
