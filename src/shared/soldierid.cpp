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

QString ssnNineDigits(const QString& ssn) {
  if (!looksLikeSsn(ssn)) return QString();
  QString digits = ssn.trimmed();
  digits.remove(QLatin1Char('-'));
  return digits;
}

QString soldierIdentity(const QString& dodId, const QString& ssn) {
  if (const std::optional<QString> d = normalizedDodId(dodId)) return *d;
  return ssnNineDigits(ssn);
}

bool sameSoldier(const QString& dodIdA, const QString& ssnA, const QString& dodIdB, const QString& ssnB) {
  const std::optional<QString> a = normalizedDodId(dodIdA), b = normalizedDodId(dodIdB);
  if (a && b) return *a == *b;
  const QString sa = ssnNineDigits(ssnA);
  return !sa.isEmpty() && sa == ssnNineDigits(ssnB);
}

}  // namespace quillon
