#include "recordrow.h"

#include <QRegularExpression>

#include "dbfile.h"
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

int fieldLimit(const QString& field) {
  struct Limit {
    const char* field;
    int chars;
  };
  // The entry limits of the grid and the boxes; DOT is written ten long.
  static const Limit kLimits[] = {{"LNAME", 25}, {"RANK", 3},   {"SSN", 11},  {"SEX", 1},   {"DOB", 10},
                                  {"DOT", 10},   {"RAW_PU", 2}, {"RAW_SU", 2}, {"RUN_M", 2}, {"RUN_S", 2}};
  for (const Limit& l : kLimits)
    if (field == QLatin1String(l.field)) return l.chars;
  return 0;
}

std::optional<QString> normalizedSsn(const QString& text) {
  static const QRegularExpression form(QStringLiteral("^(?:([0-9]{3})-([0-9]{2})-([0-9]{4})|([0-9]{3})([0-9]{2})([0-9]{4}))$"));
  const auto m = form.match(text.trimmed());
  if (!m.hasMatch()) return std::nullopt;
  const int o = m.capturedLength(1) ? 0 : 3;
  return m.captured(1 + o) + '-' + m.captured(2 + o) + '-' + m.captured(3 + o);
}

QString ssnDigits(const QString& stored) {
  const auto s = normalizedSsn(stored);
  return s ? QString(*s).remove('-') : QString();
}

std::optional<QString> normalizedDate(const QString& text) {
  const auto d = parseDateOfBirth(text);
  if (!d) return std::nullopt;
  return formatDateOfTest(*d);
}

}  // namespace quillon
