#include "soldierid.h"

#include <QStringView>

#include "asciidigits.h"

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

namespace {

// The nine digits of an SSN written 000-00-0000 or 000000000 (a dash may
// stand at either place alone); empty for anything else.
QString nineDigitsOf(QStringView t) {
  QString digits(9, Qt::Uninitialized);
  qsizetype at = 0;
  for (qsizetype i = 0; i < t.size(); ++i) {
    const char16_t c = t.at(i).unicode();
    if (c == u'-' && (at == 3 || at == 5) && (i == 0 || t.at(i - 1).unicode() != u'-')) continue;
    if (c < u'0' || c > u'9' || at == 9) return QString();
    digits[at++] = QChar(c);
  }
  return at == 9 ? digits : QString();
}

}  // namespace

std::optional<QString> normalizedDodId(const QString& text) {
  const QString t = text.trimmed();
  if (t.size() != 10 || !asciiDigits(t)) return std::nullopt;
  return t;
}

bool looksLikeSsn(const QString& text) { return !ssnNineDigits(text).isEmpty(); }

QString ssnNineDigits(const QString& ssn) {
  const QStringView t = QStringView(ssn).trimmed();
  // Most are stored as nine digits already: handed back as they are.
  if (t.size() == ssn.size() && ssn.size() == 9 && asciiDigits(ssn)) return ssn;
  return nineDigitsOf(t);
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
