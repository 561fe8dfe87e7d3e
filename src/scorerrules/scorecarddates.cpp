#include "scorecarddates.h"

#include <QDate>
#include <algorithm>

#include "recordrow.h"

namespace quillon {

QStringList testDates(const RecordStore& s) {
  QStringList dates;
  const int dot = s.fieldIndex(QStringLiteral("DOT"));
  for (int r = 0; r < s.rowCount(); ++r)
    if (const auto d = normalizedDate(s.value(r, dot).trimmed()); d && !dates.contains(*d)) dates << *d;
  std::sort(dates.begin(), dates.end(), [](const QString& a, const QString& b) {
    return QDate::fromString(a, QStringLiteral("MM/dd/yyyy")) > QDate::fromString(b, QStringLiteral("MM/dd/yyyy"));
  });
  return dates;
}

QList<qint64> recordsTestedOn(const RecordStore& s, const QString& date) {
  QList<std::pair<QString, qint64>> found;
  const int dot = s.fieldIndex(QStringLiteral("DOT")), lname = s.fieldIndex(QStringLiteral("LNAME"));
  for (int r = 0; r < s.rowCount(); ++r)
    if (normalizedDate(s.value(r, dot).trimmed()).value_or(QString()) == date)
      found.append({s.value(r, lname), s.rowKey(r)});
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
  });
  QList<qint64> keys;
  for (const auto& f : found) keys << f.second;
  return keys;
}

}  // namespace quillon
