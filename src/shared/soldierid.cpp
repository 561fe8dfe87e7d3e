#include "soldierid.h"

#include <QRegularExpression>

namespace quillon {

QString shownSsn(const QString& ssn, SsnShown how) {
  const QString text = ssn.trimmed();
  if (text.isEmpty()) return QString();
  QString digits;
  for (const QChar c : text)
    if (c.isDigit()) digits += c;
  const QString dashed = digits.left(3) + '-' + digits.mid(3, 2) + '-' + digits.right(4);
  const bool nineDigits = digits.size() == 9 && (text == digits || text == dashed);
  if (how == SsnShown::Whole) return nineDigits ? dashed : text;
  return QStringLiteral("***-**-") + digits.right(4).rightJustified(4, QLatin1Char('*'));
}

std::optional<QString> normalizedDodId(const QString& text) {
  static const QRegularExpression tenDigits(QStringLiteral("^[0-9]{10}$"));
  const QString t = text.trimmed();
  if (!tenDigits.match(t).hasMatch()) return std::nullopt;
  return t;
}

bool looksLikeSsn(const QString& text) {
  static const QRegularExpression ssn(QStringLiteral("^[0-9]{3}-?[0-9]{2}-?[0-9]{4}$"));
  return ssn.match(text.trimmed()).hasMatch();
}

}  // namespace quillon
