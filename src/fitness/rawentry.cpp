#include "rawentry.h"


namespace quillon::fitness {

namespace {

RawValue refuse(const QString& field, const QString& why) { return {std::nullopt, field + ": " + why}; }

QString quoted(const QString& text) { return '"' + text + '"'; }

}  // namespace

RawValue parseTime(const QString& field, const QString& text) {
  // By hand rather than by pattern: a batch reads a few hundred thousand.
  const QStringView t = QStringView(text).trimmed();
  if (t.isEmpty()) return refuse(field, QStringLiteral("empty (a time is entered as m:ss)"));
  auto digit = [&t](qsizetype i) { return i >= 0 && i < t.size() && t[i] >= u'0' && t[i] <= u'9'; };
  // The seconds are the last two characters; the minutes one or two digits
  // before them, apart from them by a colon, blanks or nothing.
  qsizetype end = t.size() - 2;
  const bool secondsRead = end >= 1 && digit(end) && digit(end + 1);
  qsizetype m = end;
  if (secondsRead && t[m - 1] == u':') --m;
  else
    while (secondsRead && m > 0 && t[m - 1].isSpace()) --m;
  const qsizetype minuteDigits = m;
  const bool minutesRead = minuteDigits >= 1 && minuteDigits <= 2 && digit(0) && (minuteDigits == 1 || digit(1));
  if (!secondsRead || !minutesRead)
    return refuse(field, quoted(text) + QStringLiteral(" is not a time (m:ss, mss or m ss)"));
  const int minutes = minuteDigits == 1 ? t[0].digitValue() : t[0].digitValue() * 10 + t[1].digitValue();
  const int seconds = t[end].digitValue() * 10 + t[end + 1].digitValue();
  if (seconds >= 60) return refuse(field, quoted(text) + QStringLiteral(" has %1 seconds (under 60)").arg(seconds));
  return {minutes * 60 + seconds, {}};
}

RawValue parseCount(const QString& field, const QString& text) {
  const QStringView t = QStringView(text).trimmed();
  if (t.isEmpty()) return refuse(field, QStringLiteral("empty"));
  int v = 0;
  for (QChar c : t) {
    if (c < u'0' || c > u'9' || v > 99999) return refuse(field, quoted(text) + QStringLiteral(" is not a whole number"));
    v = v * 10 + c.digitValue();
  }
  return {v, {}};
}

RawValue parseRaw(const EventDef& event, const QString& text) {
  RawValue r = event.unit == Unit::Time ? parseTime(event.key, text) : parseCount(event.key, text);
  if (!r.value) return r;
  if (*r.value < event.minRaw || *r.value > event.maxRaw)
    return refuse(event.key, QStringLiteral("%1 is outside %2 to %3")
                                 .arg(quoted(text.trimmed()), formatRaw(event.unit, event.minRaw),
                                      formatRaw(event.unit, event.maxRaw)));
  return r;
}

QString formatTime(int seconds) {
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString formatRaw(Unit unit, int value) { return unit == Unit::Time ? formatTime(value) : QString::number(value); }

}  // namespace quillon::fitness
