#pragma once
// Workflow state shared by Convert, the profile questions and the
// alternate-event window. It lives for the whole run of the program and is
// reset only by Convert, so each window can read what the others decided.

#include <QString>
#include <cstdint>

namespace DEFINE {

// Age group letter followed by the sex letter ("AM" .. "JF").
extern QString AgeSexKey;
// "FLAG" from the start of each Convert, "DONE" once the alternate event was judged.
extern QString AltState;
// "PASS" from the start of each Convert, "FAIL" once an alternate time was over the maximum.
extern QString AltResult;
// Maximum allowable time of the chosen alternate event, MMSS packed (2030 is 20:30).
extern std::int16_t AltMaxTime;
// "PASS" before the status decisions, "FAIL" once a profile question was answered No.
extern QString ProfileResult;
// "WAIT" before the run decision, "DONE" once Profile has run.
extern QString ProfileState;

// Puts every global back to its start-of-program value (used by tests).
void resetAll();

}  // namespace DEFINE

// Status words. They are compared exactly and case-sensitively.
namespace StatusWord {
inline const QString PASS = QStringLiteral("PASS");
inline const QString FAIL = QStringLiteral("FAIL");
inline const QString PROFILE = QStringLiteral("PROFILE");
inline const QString FLAG = QStringLiteral("FLAG");
inline const QString WAIT = QStringLiteral("WAIT");
inline const QString DONE = QStringLiteral("DONE");
// What STAT holds while a conversion has not decided.
inline const QString UNDECIDED = QStringLiteral(" ");
}  // namespace StatusWord
