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

// The identifier the five-event side knows a soldier by: the DoD ID number
// when known, else the SSN's nine digits; empty when neither reads as one.
// Ten digits and nine never meet, so one such text names one soldier
// whichever of the two it is. Every place that files, finds or matches a
// soldier of the five-event side keys them by it.
QString soldierIdentity(const QString& dodId, const QString& ssn);

// The SSN's nine digits when `ssn` is one (dashed or not, spaces around it
// allowed); empty otherwise.
QString ssnNineDigits(const QString& ssn);

// Whether two records name one soldier: by the DoD ID when both hold one,
// else by the SSN when both hold one. A record written before the DoD ID
// (SSN only) is thereby the soldier's whose DoD ID is known now.
bool sameSoldier(const QString& dodIdA, const QString& ssnA, const QString& dodIdB, const QString& ssnB);

}  // namespace quillon
