#include "recordrow.h"

#include <QDate>

#include "infofields.h"
#include "numeric.h"

namespace quillon {

int fieldIndex(const QString& field) {
  const int i = infoFieldNames().indexOf(field);
  Q_ASSERT_X(i >= 0, "fieldIndex", qPrintable(field));
  return i;
}

RecordRow blankRecordRow() {
  RecordRow r;
  r.reserve(infoFieldNames().size());
  for (qsizetype i = 0; i < infoFieldNames().size(); ++i) r << QString();
  return r;
}

namespace {

bool asciiDigits(QStringView s) {
  for (QChar c : s)
    if (c < u'0' || c > u'9') return false;
  return true;
}

int number(QStringView digits) {
  int v = 0;
  for (QChar c : digits) v = v * 10 + (c.unicode() - u'0');
  return v;
}

QString twoDigits(int v) { return QString(QChar(u'0' + v / 10)) + QChar(u'0' + v % 10); }

}  // namespace

// Read by hand rather than by a regular expression: a roster of 100,000
// lines checks every one of them.
std::optional<QString> normalizedSsn(const QString& text) {
  const QString t = text.trimmed();
  const QStringView v(t);
  if (t.size() == 9 && asciiDigits(v))
    return t.first(3) + QLatin1Char('-') + t.sliced(3, 2) + QLatin1Char('-') + t.sliced(5);
  if (t.size() == 11 && t.at(3) == u'-' && t.at(6) == u'-' && asciiDigits(v.first(3)) && asciiDigits(v.sliced(4, 2)) &&
      asciiDigits(v.sliced(7)))
    return t;
  return std::nullopt;
}

QString ssnDigits(const QString& stored) {
  const auto s = normalizedSsn(stored);
  return s ? QString(*s).remove('-') : QString();
}

std::optional<QString> normalizedDate(const QString& text) {
  // The forms parseDateOfBirth takes, read by hand for the same reason.
  const QString t = text.trimmed();
  const QStringView v(t);
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
  QString out = twoDigits(m) + QLatin1Char('/') + twoDigits(d) + QLatin1Char('/');
  out += QString::number(y).rightJustified(4, QLatin1Char('0'));
  return out;
}

}  // namespace quillon
