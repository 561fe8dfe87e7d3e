#pragma once
// How a soldier's identifiers are written where people read them. An SSN is
// shown whole only where the clerk asked for it; everywhere else at most its
// last four digits, in one masked form, so a window, a printout and an
// export never differ in how much of it they give away.

#include <QString>
#include <optional>

namespace quillon {

enum class SsnShown { Masked, Whole };

// `ssn` (nine digits, dashes or not, as stored or typed) as it is shown:
// Masked gives "***-**-6789", Whole "123-45-6789". An empty SSN stays empty.
// Text that is not nine digits is masked all the same, keeping at most its
// last four digits, and Whole gives it back as it came.
QString shownSsn(const QString& ssn, SsnShown how = SsnShown::Masked);

// The DoD ID number, which the five-event side takes as a soldier's
// identifier where the SSN may be left out: ten digits, stored without
// spaces or dashes. nullopt for anything else.
std::optional<QString> normalizedDodId(const QString& text);

// Whether `text` reads as an SSN: nine digits, dashed "000-00-0000" or not.
// Told apart from a DoD ID number so that one typed into the other's place
// is named as such rather than as a wrong count of digits.
bool looksLikeSsn(const QString& text);

}  // namespace quillon
