#include "scorecard.h"

#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "numeric.h"

namespace quillon {

namespace {

// Field names of a hand-made table need not be upper case.
QString fieldOf(const Record& r, const QString& name) {
  for (auto it = r.cbegin(); it != r.cend(); ++it)
    if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value().trimmed();
  return QString();
}

// The age group on the date of test, as Convert worked it out; empty when
// either date does not read.
QString ageGroupOn(const Record& r) {
  const auto born = parseDateOfBirth(fieldOf(r, QStringLiteral("DOB")));
  const auto tested = parseDateOfBirth(fieldOf(r, QStringLiteral("DOT")));
  if (!born || !tested) return QString();
  const qint64 age = scoringAge(*born, *tested);
  const QString group = ageGroupOf(age);
  // The letter the tables use, with the ages it stands for.
  const int g = group.at(0).unicode() - 'B';
  const QString ages = group == QLatin1String("A")   ? QStringLiteral("17-21")
                       : group == QLatin1String("J") ? QStringLiteral("62 and over")
                                                     : QStringLiteral("%1-%2").arg(22 + 5 * g).arg(26 + 5 * g);
  return QStringLiteral("%1 (%2)").arg(group, ages);
}

QString runTime(const QString& m, const QString& s) {
  if (m.isEmpty() && s.isEmpty()) return QString();
  return m + ':' + s.rightJustified(2, QLatin1Char('0'));
}


}  // namespace

void setScorecardPageLayout(QPagedPaintDevice& d) {
  d.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                              QPageLayout::Millimeter));
}

QList<QPair<QString, QString>> scorecardFields(const Record& r) {
  auto f = [&](const char* name) { return fieldOf(r, QString::fromLatin1(name)); };
  QList<QPair<QString, QString>> out = {
      {QStringLiteral("Name"), f("LNAME")},
      {QStringLiteral("Rank"), f("RANK")},
      {QStringLiteral("Sex"), f("SEX")},
      {QStringLiteral("Date of birth"), f("DOB")},
      {QStringLiteral("Age group"), ageGroupOn(r)},
      {QStringLiteral("Date of test"), f("DOT")},
      {QStringLiteral("Push-ups"), f("RAW_PU")},
      {QStringLiteral("Push-up points"), f("C_PU")},
      {QStringLiteral("Sit-ups"), f("RAW_SU")},
      {QStringLiteral("Sit-up points"), f("C_SU")},
      {QStringLiteral("2 mile run"), runTime(f("RUN_M"), f("RUN_S"))},
      {QStringLiteral("Run points"), f("C_RUN")},
      {QStringLiteral("Total"), f("TOTAL")},
      {QStringLiteral("Status"), f("STAT")},
      {QStringLiteral("Profile"), f("PROFILE")},
  };
  if (!f("ALT_EVENT").isEmpty()) {
    out << QPair<QString, QString>{QStringLiteral("Alternate event"), f("ALT_EVENT")};
    out << QPair<QString, QString>{QStringLiteral("Alternate event time"), f("ALT_TIME")};
  }
  return out;
}

QStringList scorecardText(const Record& r) {
  QStringList lines{QStringLiteral("Physical Fitness Test Scorecard")};
  for (const auto& [caption, value] : scorecardFields(r)) lines << caption + ": " + value;
  lines << QStringLiteral("Grader's signature: ______________________________  Date: ____________");
  return lines;
}

void paintScorecards(const QList<Record>& records, QPagedPaintDevice* device) {
  QPainter p(device);
  const QRect page = p.viewport();
  const double dpi = device->logicalDpiY();
  QFont title(QStringLiteral("Sans Serif"), 16, QFont::Bold);
  QFont body(QStringLiteral("Sans Serif"), 11);
  for (int i = 0; i < records.size(); ++i) {
    if (i > 0) device->newPage();
    int y = 0;
    p.setFont(title);
    const int titleHeight = p.fontMetrics().height();
    p.drawText(QRect(0, y, page.width(), titleHeight), Qt::AlignHCenter, scorecardText(records[i]).first());
    y += titleHeight * 2;
    p.setFont(body);
    const int line = int(p.fontMetrics().height() * 1.6);
    const int valueX = int(dpi * 2.2);
    for (const auto& [caption, value] : scorecardFields(records[i])) {
      p.drawText(QPoint(0, y + p.fontMetrics().ascent()), caption);
      p.drawText(QPoint(valueX, y + p.fontMetrics().ascent()), value);
      y += line;
    }
    y += line * 2;
    const int sigEnd = int(dpi * 4.5);
    p.drawLine(valueX, y, sigEnd, y);
    p.drawText(QPoint(0, y), QStringLiteral("Grader's signature"));
    p.drawLine(sigEnd + int(dpi * 0.9), y, page.width(), y);
    p.drawText(QPoint(sigEnd + int(dpi * 0.3), y), QStringLiteral("Date"));
  }
}

QString writeScorecardsPdf(const QList<Record>& records, const QString& path) {
  // Written whole beside the target and put in place in one step; the cards
  // hold social security numbers, so only the owner may read them.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  {
    QPdfWriter pdf(&file);
    pdf.setTitle(QStringLiteral("Scorecards"));
    setScorecardPageLayout(pdf);
    paintScorecards(records, &pdf);
  }
  if (!file.commit()) return file.errorString();
  return QString();
}

}  // namespace quillon
