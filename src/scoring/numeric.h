#pragma once
// Reading the clerk's entries: the numeric test, whole-number rounding
// (halfway goes to the even neighbour), dates of birth and the date of test.

#include <QDate>
#include <QString>
#include <optional>

namespace quillon {

// Plain decimal number, spaces around ignored: optional sign, digits,
// optional decimal point ("12", "-3", "+4.", ".5", " 7 "). Empty, a lone sign
// or point, thousands separators and exponents are not numeric.
bool isNumeric(const QString& entry);

// The entry rounded to a whole number, halfway to even (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2); nullopt when not numeric. Exact on the decimal text; values
// beyond +-10^15 saturate there.
std::optional<qint64> roundedWhole(const QString& entry);

// k - entry, rounded the same way (exactly, on the decimal text).
std::optional<qint64> roundedDifference(qint64 k, const QString& entry);

// The entry as a number, for "is 0" / "is below 60" tests; nullopt exactly
// when not numeric. An entry too large for a double gives the largest
// double of its sign; one too small, the smallest that is not zero.
std::optional<double> numericValue(const QString& entry);

// Whole number of points or a total: optional sign and digits, spaces around
// ignored; nullopt otherwise.
std::optional<int> wholeNumber(const QString& text);

// Date of birth as typed: M/D/YYYY or MM/DD/YYYY (the form the program
// writes) or YYYY-MM-DD, spaces around ignored. Four-digit years only.
// nullopt for anything else and for impossible dates (02/30/1990).
std::optional<QDate> parseDateOfBirth(const QString& text);

// "MM/DD/YYYY".
QString formatDateOfTest(const QDate& d);

// Age in whole years as the scoring standards count it: calendar days from
// `born` to `today` divided by 365.25, truncated toward zero (negative for a
// birth date in the future).
qint64 scoringAge(const QDate& born, const QDate& today);

// Age group letter "A" .. "J" for a scoring age.
QString ageGroupOf(qint64 age);

}  // namespace quillon
