#include "cards.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

#include "cardform.h"

namespace quillon {

namespace {

using namespace cardform;

constexpr double kValueSize = 8.5;

// A value at the foot of its box, narrowed (never cut) when it is too long.
void value(QPainter& p, const QRectF& r, const QString& text) {
  const QString t = text.simplified();
  if (t.isEmpty()) return;
  const QFont f = fontAt(p, kValueSize);
  const double natural = QFontMetricsF(f, p.device()).horizontalAdvance(t);
  drawFitted(p, f, QPointF(r.left() + 1, r.bottom() - 2), std::min(natural, r.width() - 2), t, Qt::black);
}

void tick(QPainter& p, const QRectF& r) {
  p.save();
  p.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap));
  const QRectF in = r.adjusted(1.8, 1.8, -1.8, -1.8);
  p.drawLine(in.topLeft(), in.bottomRight());
  p.drawLine(in.topRight(), in.bottomLeft());
  p.restore();
}

void goNoGo(QPainter& p, GoNoGo v, const QRectF& go, const QRectF& noGo) {
  if (v == GoNoGo::Go) tick(p, go);
  else if (v == GoNoGo::NoGo) tick(p, noGo);
}

QRectF row(int event, double left, double right) {
  return QRectF(left, at::kEventTop + event * at::kEventStep, right - left, at::kEventHeight);
}

// The alternate event's name as the form lists it.
QString alternateCaption(const QString& event) {
  const QString e = event.trimmed().toUpper();
  if (e == "ROW") return QStringLiteral("5K ROW");
  if (e == "SWIM") return QStringLiteral("1K SWIM");
  if (e == "BIKE") return QStringLiteral("12K BIKE");
  if (e == "WALK") return QStringLiteral("2.5MI WALK");
  return event.trimmed();
}

void paintTest(QPainter& p, const CardTest& t) {
  using namespace at;
  value(p, date, t.date);
  value(p, mos, t.mos);
  value(p, payGrade, t.payGrade);
  value(p, age, t.age);
  if (t.standard == CardStandard::Combat) tick(p, combat);
  if (t.standard == CardStandard::General) tick(p, general);
  value(p, bodyCompositionDate, t.bodyCompositionDate);
  value(p, height, t.heightInches);
  value(p, weight, t.weightPounds);
  goNoGo(p, t.weight, weightGo, weightNoGo);
  value(p, bodyFat, t.bodyFatPercent);
  goNoGo(p, t.bodyFat, bodyFatGo, bodyFatNoGo);
  value(p, firstAttempt, t.deadliftFirst);
  value(p, secondAttempt, t.deadliftSecond);
  const int heavier = heavierAttempt(t);
  if (heavier == 1) tick(p, firstTick);
  if (heavier == 2) tick(p, secondTick);
  for (int e = 0; e < kCardEvents; ++e) {
    if (e != static_cast<int>(CardEvent::Deadlift)) value(p, row(e, kRawLeft, kRawRight), t.events[e].raw);
    value(p, row(e, kPointsLeft, kPointsRight), t.events[e].points);
    value(p, row(e, kGraderLeft, kGraderRight), t.events[e].grader);
  }
  value(p, alternateEvent, alternateCaption(t.alternate));
  value(p, alternateTime, t.alternateTime);
  goNoGo(p, t.alternateResult, alternateGo, alternateNoGo);
  value(p, alternatePoints, t.alternatePoints);
  value(p, alternateGrader, t.alternateGrader);
  value(p, total, t.total);
  value(p, oicName, t.oicName);
  value(p, oicPayGrade, t.oicPayGrade);
  goNoGo(p, t.overall, overallGo, overallNoGo);
}

void paintHeader(QPainter& p, const FitnessCard& c) {
  value(p, at::name, cardName(c));
  const QString sex = c.sex.trimmed().toUpper();
  if (sex == "M") tick(p, at::male);
  if (sex == "F") tick(p, at::female);
  value(p, at::unit, c.unit);
}

bool numberOk(const QString& s, double& out) {
  bool ok = false;
  out = s.trimmed().toDouble(&ok);
  return ok;
}

}  // namespace

QString cardName(const FitnessCard& c) {
  QString name = c.lastName.simplified();
  const QString given = (c.firstName.simplified() + ' ' + c.middleInitial.simplified()).trimmed();
  if (!given.isEmpty()) name += (name.isEmpty() ? QString() : QStringLiteral(", ")) + given;
  return name;
}

QList<CardTest> testsOnCard(const QList<CardTest>& tests) {
  QList<CardTest> sorted = tests;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const CardTest& a, const CardTest& b) { return a.date.trimmed() < b.date.trimmed(); });
  return sorted.mid(std::max<qsizetype>(0, sorted.size() - 4));
}

int heavierAttempt(const CardTest& t) {
  double first = 0, second = 0;
  const bool a = numberOk(t.deadliftFirst, first), b = numberOk(t.deadliftSecond, second);
  if (a && b) return second > first ? 2 : 1;
  return a ? 1 : b ? 2 : 0;
}

void paintFitnessCards(const QList<FitnessCard>& cards, QPagedPaintDevice* device) {
  QPageLayout layout(QPageSize(QPageSize::Letter), QPageLayout::Landscape, QMarginsF(), QPageLayout::Point);
  layout.setMode(QPageLayout::FullPageMode);
  device->setPageLayout(layout);
  if (cards.isEmpty()) return;
  QPainter p(device);
  p.setRenderHint(QPainter::Antialiasing);
  const double scale = device->logicalDpiX() / 72.0;
  bool first = true;
  for (const FitnessCard& card : cards) {
    const QList<CardTest> tests = testsOnCard(card.tests);
    for (int page = 1; page <= 2; ++page) {
      if (!first) device->newPage();
      first = false;
      p.save();
      p.scale(scale, scale);
      paintBlankPage(p, page);
      paintHeader(p, card);
      for (int column = 0; column < 2; ++column) {
        const int i = (page - 1) * 2 + column;
        if (i >= tests.size()) break;
        p.save();
        p.translate(column * kColumnShift, 0);
        paintTest(p, tests[i]);
        p.restore();
      }
      p.restore();
    }
  }
}

QString writeFitnessCardsPdf(const QList<FitnessCard>& cards, const QString& path) {
  if (cards.isEmpty()) return QStringLiteral("there is no scorecard to write");
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  {
    QPdfWriter pdf(&file);
    pdf.setTitle(QStringLiteral("Fitness Test Scorecards"));
    pdf.setCreator(QStringLiteral("Quillon"));
    paintFitnessCards(cards, &pdf);
  }
  if (!file.commit()) return file.errorString();
  return {};
}

}  // namespace quillon
