#include "datetext.h"

#include "asciidigits.h"

namespace quillon {

namespace {

int number(QStringView digits) {
  int v = 0;
  for (QChar c : digits) v = v * 10 + (c.unicode() - u'0');
  return v;
}

}  // namespace

// Read by hand rather than by a regular expression: a roster of 100,000
// lines checks every one of them.
std::optional<QDate> readDate(QStringView text) {
  const QStringView v = text.trimmed();
  int y = 0, m = 0, d = 0;
  const qsizetype s1 = v.indexOf(u'/');
  const qsizetype s2 = s1 < 0 ? -1 : v.indexOf(u'/', s1 + 1);
  if (s1 >= 1 && s1 <= 2 && s2 - s1 - 1 >= 1 && s2 - s1 - 1 <= 2 && v.size() - s2 - 1 == 4 &&
      asciiDigits(v.first(s1)) && asciiDigits(v.sliced(s1 + 1, s2 - s1 - 1)) && asciiDigits(v.sliced(s2 + 1))) {
    m = number(v.first(s1));
    d = number(v.sliced(s1 + 1, s2 - s1 - 1));
    y = number(v.sliced(s2 + 1));
  } else if (v.size() == 10 && v.at(4) == u'-' && v.at(7) == u'-' && asciiDigits(v.first(4)) &&
             asciiDigits(v.sliced(5, 2)) && asciiDigits(v.sliced(8))) {
    y = number(v.first(4));
    m = number(v.sliced(5, 2));
    d = number(v.sliced(8));
  } else {
    return std::nullopt;
  }
  // Year 0 does not exist; QDate would reject it anyway.
  if (y < 1 || !QDate::isValid(y, m, d)) return std::nullopt;
  return QDate(y, m, d);
}

}  // namespace quillon
