#include "recordrow.h"

#include <QDate>

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

namespace {

bool asciiDigits(QStringView s) {
  for (QChar c : s)
    if (c < u'0' || c > u'9') return false;
  return true;
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
  const std::optional<QDate> d = readDate(text);
  if (!d) return std::nullopt;
  QString out = twoDigits(d->month()) + QLatin1Char('/') + twoDigits(d->day()) + QLatin1Char('/');
  out += QString::number(d->year()).rightJustified(4, QLatin1Char('0'));
  return out;
}

}  // namespace quillon
