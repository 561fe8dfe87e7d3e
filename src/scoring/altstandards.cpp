#include "altstandards.h"

#include "numeric.h"

namespace quillon {

QString AltStandardRecord::field(int k) const {
  if (k < 1 || k > kAltFieldCount) return {};
  return QString::fromLatin1(bytes.data() + (k - 1) * kAltFieldWidth, kAltFieldWidth);
}

const QStringList& alternateEvents() {
  static const QStringList events{QStringLiteral("800 Y Swim"), QStringLiteral("6.2M Bike"),
                                  QStringLiteral("2.5M Walk")};
  return events;
}

int alternateRecordNumber(const QString& eventText) {
  // indexOf compares exactly, so "2.5m walk" is no event.
  return alternateEvents().indexOf(eventText) + 1;
}

int alternateFieldNumber(const QString& ageSexKey) {
  if (ageSexKey.size() != 2) return 0;
  const QChar g = ageSexKey.at(0);
  const QChar sex = ageSexKey.at(1);
  if (g < QLatin1Char('A') || g > QLatin1Char('J')) return 0;
  if (sex != QLatin1Char('M') && sex != QLatin1Char('F')) return 0;
  return 2 * (g.unicode() - 'A') + (sex == QLatin1Char('M') ? 1 : 2);
}

bool AltStandardsFile::open(const QString& fileName) {
  if (file_.isOpen()) return true;
  // Checked first: QFile would not create it read-only, but an explicit
  // test keeps the "never create" rule independent of open-mode details.
  if (!QFile::exists(fileName)) return false;
  file_.setFileName(fileName);
  if (!file_.open(QIODevice::ReadOnly)) return false;
  ++opened_;
  return true;
}

bool AltStandardsFile::readRecord(int n, AltStandardRecord& buf) {
  if (n < 1 || !file_.isOpen()) return false;
  const qint64 start = qint64(n - 1) * kAltRecordLength;
  // The size is asked every time: the file is read where it stands now,
  // nothing of it is cached.
  if (file_.size() < start + kAltReadLength) return false;
  if (!file_.seek(start)) return false;
  std::array<char, kAltReadLength> tmp{};
  if (file_.read(tmp.data(), kAltReadLength) != kAltReadLength) return false;
  buf.bytes = tmp;
  return true;
}

namespace {

AltJudgement refuse(const QString& why) {
  AltJudgement j;
  j.kind = AltJudgement::Refused;
  j.message = why;
  return j;
}

bool hasSign(const QString& entry) {
  const QString t = entry.trimmed();
  return t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'));
}

}  // namespace

AltJudgement judgeAlternate(const QString& eventText, const QString& m, const QString& s,
                            const QString& ageSexKey, AltStandardsFile& file,
                            AltStandardRecord& buffer) {
  const auto minutes = roundedWhole(m);
  if (!minutes) return refuse(AltMessage::MinutesNotNumeric);
  const auto seconds = roundedWhole(s);
  if (!seconds) return refuse(AltMessage::SecondsNotNumeric);
  if (*seconds > 59) return refuse(AltMessage::SecondsInvalid);
  // Nothing is looked at, and nothing said, until an event is chosen.
  if (eventText.isEmpty()) {
    AltJudgement j;
    j.kind = AltJudgement::NoEvent;
    return j;
  }
  // A minus on the minutes would make the packed time negative and pass any
  // standard ("-1" and "30" is -130); "-0" is as bad as "-1".
  if (m.trimmed().startsWith(QLatin1Char('-'))) return refuse(AltMessage::MinutesNegative);
  // Minutes and seconds written one after the other ("15-5", "15+5") do not
  // read as a time: the window's catch-all answer, before the event or the
  // soldier's key is looked at.
  if (hasSign(s)) return refuse(AltMessage::Unknown);

  // Minutes and two-digit seconds: "15" and "5" are 15:05, not 1:55. For
  // plain digits this is exactly the two entries written one after the other.
  const qint64 entered = *minutes * 100 + *seconds;

  const int record = alternateRecordNumber(eventText);
  if (record == 0) return refuse(AltMessage::Unknown);
  if (!file.readRecord(record, buffer)) return refuse(AltMessage::Unknown);

  const int field = alternateFieldNumber(ageSexKey);
  if (field == 0) return refuse(AltMessage::InvalidKey);

  const auto standard = roundedWhole(buffer.field(field));
  if (!standard || *standard < INT16_MIN || *standard > INT16_MAX) return refuse(AltMessage::Unknown);

  AltJudgement j;
  j.kind = AltJudgement::Judged;
  j.maxTime = static_cast<std::int16_t>(*standard);
  j.enteredTime = static_cast<int>(entered);
  j.over = entered > *standard;
  return j;
}

}  // namespace quillon
