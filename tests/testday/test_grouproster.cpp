#include <gtest/gtest.h>

#include "grouproster.h"
#include "rosters.h"
#include "testgroupfixture.h"

using namespace quillon;
using namespace quillon::test;

TEST(GroupRoster, EachAcceptedLineJoinsOnceInFileOrderAndEveryOtherLineSaysWhy) {
  QByteArray file = generatedRoster(4);
  // A soldier already in the group, and a line the roster checks refuse.
  file += "Yates,Ann,SGT,123-45-6789,F,02/28/1998,A Co\r\n";
  file += "Nobody,No,PV2,12-34,M,01/01/2000,A Co\r\n";
  TestGroup group = rangeDayGroup();
  const GroupRosterResult r = rosterForGroup(previewRoster(file, {}), group, QStringLiteral("combat"));
  ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
  ASSERT_EQ(r.joining.size(), 4);
  // Both SSN forms and both date forms of the file come out in the group's.
  EXPECT_EQ(r.joining.at(0).ssn, QStringLiteral("000010000"));
  EXPECT_EQ(r.joining.at(1).ssn, QStringLiteral("000010001"));
  EXPECT_EQ(r.joining.at(0).dob, QStringLiteral("1960-01-01"));
  EXPECT_EQ(r.joining.at(1).dob, QStringLiteral("1961-02-02"));
  EXPECT_EQ(r.joining.at(0).sex, QStringLiteral("F"));
  EXPECT_EQ(r.joining.at(1).sex, QStringLiteral("M"));
  for (const GroupMember& m : r.joining) EXPECT_EQ(m.standard, QStringLiteral("combat"));
  ASSERT_EQ(r.notJoining.size(), 2);
  // The first soldier's unit holds a line break, so the file's lines run
  // one ahead of its rows from there on.
  EXPECT_TRUE(r.notJoining.at(0).startsWith(QStringLiteral("line 7:"))) << r.notJoining.at(0).toStdString();
  EXPECT_TRUE(r.notJoining.at(1).startsWith(QStringLiteral("line 8:"))) << r.notJoining.at(1).toStdString();
  group.members += r.joining;
  EXPECT_TRUE(testGroupProblem(group).isEmpty()) << testGroupProblem(group).toStdString();
}

TEST(GroupRoster, AFileWithoutAnSsnColumnAddsNobody) {
  const GroupRosterResult r =
      rosterForGroup(previewRoster("Name,Rank\r\nAble,PV2\r\n", {}), rangeDayGroup(), QStringLiteral("general"));
  EXPECT_FALSE(r.error.isEmpty());
  EXPECT_TRUE(r.joining.isEmpty());
}
