#pragma once
// The status words a conversion writes. They are compared exactly

#include <QString>

// and and case-sensitively.
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
