#include "about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

namespace quillon {

About::About(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("About"));
  setWindowTitle(QStringLiteral("About"));
  setModal(false);

  Picture1 = new QLabel(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setPixmap(drawRunner(96));
  Picture2 = new QLabel(this);
  Picture2->setObjectName(QStringLiteral("Picture2"));
  Picture2->setPixmap(drawMedal(96));

  ProductName = new QLabel(QStringLiteral("Quillon"), this);
  ProductName->setObjectName(QStringLiteral("ProductName"));
  QFont big = ProductName->font();
  big.setPointSizeF(big.pointSizeF() * 2);
  big.setBold(true);
  ProductName->setFont(big);
  ProductName->setAlignment(Qt::AlignCenter);

  Version = new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(QUILLON_VERSION)), this);
  Version->setObjectName(QStringLiteral("Version"));
  Version->setAlignment(Qt::AlignCenter);

  auto* blurb = new QLabel(QStringLiteral("Scores the push-up, sit-up and 2-mile run fitness test."), this);
  blurb->setAlignment(Qt::AlignCenter);
  blurb->setWordWrap(true);

  Command1 = new QPushButton(QStringLiteral("OK"), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setDefault(true);
  connect(Command1, &QPushButton::clicked, this, &About::Command1_Click);

  auto* middle = new QVBoxLayout;
  middle->addStretch();
  middle->addWidget(ProductName);
  middle->addWidget(Version);
  middle->addWidget(blurb);
  middle->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(Picture1);
  top->addLayout(middle, 1);
  top->addWidget(Picture2);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Command1);
  buttons->addStretch();

  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

void About::Command1_Click() { hide(); }

namespace {

// A transparent square picture, drawn on in a 100 × 100 space whatever its size.
struct Canvas {
  explicit Canvas(int size) : picture(size, size) {
    picture.fill(Qt::transparent);
    painter.begin(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 100.0, size / 100.0);
  }
  QPixmap finish() {
    painter.end();
    return picture;
  }
  QPixmap picture;
  QPainter painter;
};

}  // namespace

// A runner in mid-stride on a track lane.
QPixmap About::drawRunner(int size) {
  Canvas c(size);
  QPainter& p = c.painter;

  QRadialGradient sky(50, 50, 50);
  sky.setColorAt(0, QColor(0xfd, 0xf3, 0xd8));
  sky.setColorAt(1, QColor(0xe8, 0xc8, 0x7a));
  p.setPen(QPen(QColor(0x6b, 0x4e, 0x16), 2));
  p.setBrush(sky);
  p.drawEllipse(QRectF(2, 2, 96, 96));

  // Track lanes.
  p.setPen(QPen(QColor(0xb0, 0x3a, 0x2e), 3));
  p.drawLine(QPointF(14, 80), QPointF(86, 80));
  p.setPen(QPen(Qt::white, 1.5, Qt::DashLine));
  p.drawLine(QPointF(18, 86), QPointF(82, 86));

  // The runner: head, body, arms and legs as thick round strokes.
  const QColor ink(0x1f, 0x3b, 0x5c);
  p.setBrush(ink);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(56, 22), 7, 7);
  QPen limb(ink, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(limb);
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(53, 31), QPointF(46, 52));                 // body
  QPainterPath arms;
  arms.moveTo(34, 40);
  arms.lineTo(44, 34);
  arms.lineTo(52, 33);
  arms.lineTo(60, 42);
  arms.lineTo(68, 36);
  p.drawPath(arms);
  QPainterPath legs;
  legs.moveTo(30, 66);
  legs.lineTo(38, 60);
  legs.lineTo(46, 52);
  legs.lineTo(58, 62);
  legs.lineTo(56, 76);
  p.drawPath(legs);
  // Speed lines.
  p.setPen(QPen(QColor(0x6b, 0x4e, 0x16), 2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) p.drawLine(QPointF(14, 30 + i * 8), QPointF(26 - i * 2, 30 + i * 8));
  return c.finish();
}

// A medal on a ribbon with a star.
QPixmap About::drawMedal(int size) {
  Canvas c(size);
  QPainter& p = c.painter;

  // Ribbon.
  p.setPen(QPen(QColor(0x20, 0x20, 0x40), 1.5));
  p.setBrush(QColor(0x2e, 0x5e, 0xaa));
  QPolygonF left({QPointF(30, 4), QPointF(46, 4), QPointF(58, 46), QPointF(44, 50)});
  p.drawPolygon(left);
  p.setBrush(QColor(0xc0, 0x30, 0x30));
  QPolygonF right({QPointF(70, 4), QPointF(54, 4), QPointF(42, 46), QPointF(56, 50)});
  p.drawPolygon(right);

  // Disc.
  QLinearGradient gold(30, 44, 70, 96);
  gold.setColorAt(0, QColor(0xff, 0xe3, 0x7a));
  gold.setColorAt(1, QColor(0xb8, 0x86, 0x0b));
  p.setBrush(gold);
  p.setPen(QPen(QColor(0x7a, 0x5a, 0x08), 2.5));
  p.drawEllipse(QPointF(50, 68), 26, 26);
  p.setPen(QPen(QColor(0x7a, 0x5a, 0x08), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(50, 68), 20, 20);

  // Five-pointed star.
  QPolygonF star;
  for (int i = 0; i < 10; ++i) {
    const double r = (i % 2 == 0) ? 15 : 6.5;
    const double a = -M_PI / 2 + i * M_PI / 5;
    star << QPointF(50 + r * std::cos(a), 68 + r * std::sin(a));
  }
  p.setBrush(QColor(0xff, 0xf6, 0xd0));
  p.setPen(QPen(QColor(0x7a, 0x5a, 0x08), 1.2));
  p.drawPolygon(star);
  return c.finish();
}

}  // namespace quillon
