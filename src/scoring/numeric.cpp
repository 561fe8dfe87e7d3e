#include "numeric.h"

#include "datetext.h"
#include "infofields.h"

#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <limits>

namespace quillon {
namespace {

constexpr qint64 kSaturation = 1'000'000'000'000'000;  // 10^15

// Where a value lies between its floor and the next whole number.
enum class Frac { Zero, BelowHalf, Half, AboveHalf };

// An exact decimal reduced to what rounding needs: value = floor + fraction.
struct Decimal {
  qint64 floor = 0;
  Frac frac = Frac::Zero;
};

Frac complement(Frac f) {
  switch (f) {
    case Frac::BelowHalf: return Frac::AboveHalf;
    case Frac::AboveHalf: return Frac::BelowHalf;
    default: return f;
  }
}

Decimal negate(Decimal d) {
  if (d.frac == Frac::Zero) return {-d.floor, Frac::Zero};
  return {-d.floor - 1, complement(d.frac)};
}

qint64 roundHalfEven(Decimal d) {
  switch (d.frac) {
    case Frac::Zero:
    case Frac::BelowHalf: return d.floor;
    case Frac::AboveHalf: return d.floor + 1;
    case Frac::Half: return (d.floor % 2 == 0) ? d.floor : d.floor + 1;
  }
  return d.floor;
}

// The entry without the spaces around it, or an empty string when it is not
// a plain decimal number.
QString plainDecimal(const QString& entry) {
  static const QRegularExpression re(QStringLiteral("^[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
  const QString t = entry.trimmed();
  return re.match(t).hasMatch() ? t : QString();
}

std::optional<Decimal> parseDecimal(const QString& entry) {
  const QString t = plainDecimal(entry);
  if (t.isEmpty()) return std::nullopt;
  int i = 0;
  bool negative = false;
  if (t[0] == u'+' || t[0] == u'-') {
    negative = t[0] == u'-';
    ++i;
  }
  qint64 whole = 0;
  for (; i < t.size() && t[i] != u'.'; ++i) {
    whole = whole * 10 + (t[i].unicode() - u'0');
    if (whole >= kSaturation) whole = kSaturation;
  }
  Frac frac = Frac::Zero;
  if (i < t.size()) {  // at the point
    const QString f = t.mid(i + 1);
    if (!f.isEmpty()) {
      const char16_t first = f[0].unicode();
      bool restNonZero = false;
      for (int k = 1; k < f.size(); ++k) restNonZero = restNonZero || f[k] != u'0';
      if (first > u'5' || (first == u'5' && restNonZero))
        frac = Frac::AboveHalf;
      else if (first == u'5')
        frac = Frac::Half;
      else if (first != u'0' || restNonZero)
        frac = Frac::BelowHalf;
    }
  }
  Decimal d{whole, frac};
  return negative ? negate(d) : d;
}

}  // namespace

bool isNumeric(const QString& entry) { return !plainDecimal(entry).isEmpty(); }

std::optional<qint64> roundedWhole(const QString& entry) {
  const auto d = parseDecimal(entry);
  if (!d) return std::nullopt;
  return roundHalfEven(*d);
}

std::optional<qint64> roundedDifference(qint64 k, const QString& entry) {
  const auto d = parseDecimal(entry);
  if (!d) return std::nullopt;
  Decimal r = negate(*d);
  r.floor += k;
  return roundHalfEven(r);
}

std::optional<double> numericValue(const QString& entry) {
  const QString t = plainDecimal(entry);
  if (t.isEmpty()) return std::nullopt;
  // Read without the locale: the decimal point is always a point.
  const QByteArray a = t.toLatin1();
  const bool negative = a.startsWith('-');
  const char* first = a.constData() + ((negative || a.startsWith('+')) ? 1 : 0);
  const char* last = a.constData() + a.size();
  double v = 0;
  const auto [end, ec] = std::from_chars(first, last, v);
  if (ec == std::errc::result_out_of_range) {
    // Too many digits for a double: still a number, as the numeric test
    // and the rounding say. Beyond the largest double it stands at that
    // double; below the smallest it stays apart from zero.
    const char* point = std::find(first, last, '.');
    const bool large = std::any_of(first, point, [](char c) { return c >= '1' && c <= '9'; });
    v = large ? std::numeric_limits<double>::max() : std::numeric_limits<double>::denorm_min();
  } else if (ec != std::errc() || end != last) {
    return std::nullopt;  // cannot happen for a plain decimal; kept as a guard
  }
  return negative ? -v : v;
}

std::optional<int> wholeNumber(const QString& text) {
  static const QRegularExpression re(QStringLiteral("^[+-]?[0-9]{1,9}$"));
  const QString t = text.trimmed();
  if (!re.match(t).hasMatch()) return std::nullopt;
  return t.toInt();
}

std::optional<QDate> parseDateOfBirth(const QString& text) { return readDate(text); }

QString formatDateOfTest(const QDate& d) { return d.toString(kInfoDateForm); }

qint64 scoringAge(const QDate& born, const QDate& today) {
  // days / 365.25 == 4 * days / 1461; integer division truncates toward zero.
  return born.daysTo(today) * 4 / 1461;
}

QString ageGroupOf(qint64 age) {
  if (age < 22) return QStringLiteral("A");
  static const char kLetters[] = "BCDEFGHI";
  for (int g = 0; g < 8; ++g)
    if (age <= 26 + 5 * g) return QString(QLatin1Char(kLetters[g]));
  return QStringLiteral("J");
}

}  // namespace quillon
