#include "recordrow.h"

#include <QDate>

#include "asciidigits.h"
#include "datetext.h"
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

// Read by hand rather than by a regular expression: a roster of 100,000
// lines checks every one of them.
std::optional<QString> normalizedSsn(const QString& text) {
  const QString t = text.trimmed();
  const QStringView v(t);
  if (t.size() == 9 && asciiDigits(v)) {
    // Written in place: one string, where joining the parts made five.
    QString out(11, u'-');
    QChar* o = out.data();
    for (int i = 0, j = 0; i < 9; ++i, ++j) {
      if (i == 3 || i == 5) ++j;
      o[j] = v[i];
    }
    return out;
  }
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
  const std::optional<QDate> d = readDate(text);
  if (!d) return std::nullopt;
  // The parts in one call: each of year(), month() and day() works them all out.
  int year = 0, month = 0, day = 0;
  d->getDate(&year, &month, &day);
  // Written in place: one string, where joining the parts made several. A
  // date read has a year of at most four digits.
  QString out(10, u'/');
  QChar* o = out.data();
  const int parts[] = {month / 10, month % 10, -1, day / 10, day % 10, -1,
                       year / 1000, year / 100 % 10, year / 10 % 10, year % 10};
  for (int i = 0; i < 10; ++i)
    if (parts[i] >= 0) o[i] = QChar(u'0' + parts[i]);
  return out;
}

}  // namespace quillon
