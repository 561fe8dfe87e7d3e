#pragma once
// A test group as a clerk would make one, shared by the test-group and the
// test-day window tests.

#include "testgroups.h"

namespace quillon::test {

inline GroupMember groupMember(const QString& ssn, const QString& name, const QString& sex = QStringLiteral("M"),
                               const QString& standard = QStringLiteral("general")) {
  return GroupMember{ssn, name, sex, QStringLiteral("1998-02-28"), QStringLiteral("A Co 1-5"), standard};
}

// Three soldiers, deliberately not in name order: the group keeps the
// clerk's order.
inline TestGroup rangeDayGroup() {
  TestGroup g;
  g.testDate = QStringLiteral("2026-06-12");
  g.location = QStringLiteral("Range 3, North Field");
  g.members = {groupMember(QStringLiteral("123456789"), QStringLiteral("Yates, Ann B"), QStringLiteral("F"),
                           QStringLiteral("combat")),
               groupMember(QStringLiteral("000000001"), QStringLiteral("Abernathy, Cole")),
               groupMember(QStringLiteral("987654321"), QStringLiteral("Moreno, Luis T"))};
  return g;
}

}  // namespace quillon::test
