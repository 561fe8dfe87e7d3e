#include "rawentry.h"

#include <QRegularExpression>

namespace quillon::fitness {

namespace {

RawValue refuse(const QString& field, const QString& why) { return {std::nullopt, field + ": " + why}; }

QString quoted(const QString& text) { return '"' + text + '"'; }

}  // namespace

RawValue parseTime(const QString& field, const QString& text) {
  static const QRegularExpression form(QStringLiteral(R"(^(\d{1,2})(?::|\s+|)(\d{2})$)"));
  const QString t = text.trimmed();
  if (t.isEmpty()) return refuse(field, QStringLiteral("empty (a time is entered as m:ss)"));
  const QRegularExpressionMatch m = form.match(t);
  if (!m.hasMatch()) return refuse(field, quoted(text) + QStringLiteral(" is not a time (m:ss, mss or m ss)"));
  const int minutes = m.captured(1).toInt();
  const int seconds = m.captured(2).toInt();
  if (seconds >= 60) return refuse(field, quoted(text) + QStringLiteral(" has %1 seconds (under 60)").arg(seconds));
  return {minutes * 60 + seconds, {}};
}

RawValue parseCount(const QString& field, const QString& text) {
  static const QRegularExpression digits(QStringLiteral(R"(^\d{1,6}$)"));
  const QString t = text.trimmed();
  if (t.isEmpty()) return refuse(field, QStringLiteral("empty"));
  if (!digits.match(t).hasMatch()) return refuse(field, quoted(text) + QStringLiteral(" is not a whole number"));
  return {t.toInt(), {}};
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
