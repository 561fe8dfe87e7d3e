#pragma once
// Identifiers and dates are read by hand, character by character, rather
// than by a pattern: a roster or a division's records pass every one of
// them through. Their digits are ASCII only (QChar::isDigit would take any
// script's).

#include <QStringView>

namespace quillon {

// Whether every character of `s` is 0-9 (true for an empty text).
inline bool asciiDigits(QStringView s) {
  for (const QChar c : s)
    if (c.unicode() < u'0' || c.unicode() > u'9') return false;
  return true;
}

}  // namespace quillon
