#include <QUndoStack>
#include <gtest/gtest.h>

#include "cardsfromrecords.h"
#include "dbfile.h"
#include "fitnessrecords.h"
#include "grouproster.h"
#include "laneentry.h"
#include "rosters.h"
#include "testgroupfixture.h"
#include "testsupport.h"

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

namespace {

// A roster as a unit's spreadsheet gives it: the soldier's unit, the
// standard they are scored under and their rank, and a column no record
// keeps.
const QByteArray kUnitRoster =
    "Name,SSN,Sex,DOB,Rank,Unit,Scoring Standard,Shoe Size\r\n"
    "\"Yates, Ann\",111-22-3333,F,1998-02-28,SGT,A Co 1-5,Combat,7\r\n"
    "\"Bell, Bo\",222-33-4444,M,1999-03-01,spc,B Co 1-5,g,10\r\n"
    "\"Cole, Cy\",333-44-5555,M,1997-04-02,PFC,A Co 1-5,elite,9\r\n"
    "\"Dunn, Di\",444-55-6666,F,1996-05-03,PV2,A Co 1-5,,6\r\n";

TestGroup emptyGroup() {
  TestGroup g = rangeDayGroup();
  g.members.clear();
  return g;
}

}  // namespace

TEST(GroupRoster, EachLineJoinsWithItsUnitStandardAndRankAndAStandardThatIsNeitherRefusesItsLine) {
  const RosterPreview preview = previewRoster(kUnitRoster, {});
  const GroupRosterResult r = rosterForGroup(preview, emptyGroup(), QStringLiteral("general"));
  ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
  ASSERT_EQ(r.joining.size(), 2);
  EXPECT_EQ(r.joining.at(0).unit, QStringLiteral("A Co 1-5"));
  EXPECT_EQ(r.joining.at(0).standard, QStringLiteral("combat"));
  EXPECT_EQ(r.joining.at(0).rank, QStringLiteral("SGT"));
  EXPECT_EQ(r.joining.at(1).unit, QStringLiteral("B Co 1-5"));
  EXPECT_EQ(r.joining.at(1).standard, QStringLiteral("general"));
  EXPECT_EQ(r.joining.at(1).rank, QStringLiteral("SPC"));
  // A wrong standard scores the soldier on the wrong column: never guessed,
  // not even the default for a blank cell.
  EXPECT_EQ(r.notJoining,
            (QStringList{QStringLiteral("line 4: column \"Scoring Standard\": \"elite\" is neither combat nor general"),
                         QStringLiteral("line 5: column \"Scoring Standard\": \"\" is neither combat nor general")}));
  EXPECT_EQ(r.unusedColumns, QStringList{QStringLiteral("Shoe Size")});
  // The three-event records keep no unit and no standard: their import says
  // it drops them.
  EXPECT_EQ(preview.ignoredColumns,
            (QStringList{QStringLiteral("Shoe Size"), QStringLiteral("Unit"), QStringLiteral("Scoring Standard")}));
  TestGroup group = emptyGroup();
  group.members = r.joining;
  EXPECT_TRUE(testGroupProblem(group).isEmpty()) << testGroupProblem(group).toStdString();
}

TEST(GroupRoster, ARosterWithoutAStandardColumnGivesEveryoneTheStandardChosen) {
  const GroupRosterResult r =
      rosterForGroup(previewRoster("Name,SSN,Sex,DOB,Unit\r\n\"Yates, Ann\",111223333,F,1998-02-28,HHC\r\n", {}),
                     emptyGroup(), QStringLiteral("combat"));
  ASSERT_EQ(r.joining.size(), 1);
  EXPECT_EQ(r.joining.at(0).standard, QStringLiteral("combat"));
  EXPECT_EQ(r.joining.at(0).unit, QStringLiteral("HHC"));
  EXPECT_TRUE(r.joining.at(0).rank.isEmpty());
  EXPECT_TRUE(r.unusedColumns.isEmpty());
}

// Through storage and lane entry to the card, on the file: what the roster
// said is what the card shows.
TEST(GroupRoster, TheRostersUnitStandardAndRankReachTheStoredGroupAndTheCard) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestGroup group = emptyGroup();
  group.members = rosterForGroup(previewRoster(kUnitRoster, {}), group, QStringLiteral("general")).joining;
  ASSERT_EQ(group.members.size(), 2);
  const TestGroup saved = TestGroups::forDatabase(path)->save(group);
  const std::optional<TestGroup> again = TestGroups::forDatabase(path)->load(saved.id);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->members, group.members);

  const std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path);
  QUndoStack undo;
  LaneSheet sheet(saved, *store, undo);
  EXPECT_EQ(sheet.enter(0, LaneField::PushUp, QStringLiteral("30")), QString());
  EXPECT_EQ(sheet.enter(1, LaneField::PushUp, QStringLiteral("30")), QString());
  const QList<FitnessCard> cards = cardsForGroup(saved, store->readAll());
  ASSERT_EQ(cards.size(), 2);
  EXPECT_EQ(cards.at(0).unit, QStringLiteral("A Co 1-5"));
  ASSERT_EQ(cards.at(0).tests.size(), 1);
  EXPECT_EQ(cards.at(0).tests.at(0).payGrade, QStringLiteral("E-5"));
  EXPECT_EQ(cards.at(0).tests.at(0).standard, CardStandard::Combat);
  ASSERT_EQ(cards.at(1).tests.size(), 1);
  EXPECT_EQ(cards.at(1).tests.at(0).payGrade, QStringLiteral("E-4"));
  EXPECT_EQ(cards.at(1).tests.at(0).standard, CardStandard::General);
}
