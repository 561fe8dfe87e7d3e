// What a lane station's poll costs and what it sees, on the file and on the
// records server: one statement (one round trip) whatever the group's size,
// every other station's value and every change made outside the program,
// and a change that was still being made when one poll looked is seen by
// the next.

#include <QUndoStack>
#include <gtest/gtest.h>

#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "fitnessrows.h"
#include "laneentry.h"
#include "recordssession.h"
#include "sqlitedb.h"
#include "testgroupbackends.h"
#include "testgroupfixture.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int kSoldiers = 60;

TestGroup bigGroup() {
  TestGroup g = rangeDayGroup();
  g.members.clear();
  for (int i = 0; i < kSoldiers; ++i)
    g.members << groupMember(QString::number(310000000 + i), QStringLiteral("Soldier, Number %1").arg(i));
  return g;
}

// Another client of the same records, outside the program (psql, a second
// program on the file): its statements run in a transaction of its own that
// the test commits when it says.
class OutsideClient {
 public:
  explicit OutsideClient(GroupsInAFile& f) : file_(f.path(), sqlite::Database::Mode::ReadWrite) {}
  explicit OutsideClient(GroupsOnAServer& s) : server_(&s.scratch().admin()) {}
  void begin() { exec(QStringLiteral("BEGIN")); }
  void exec(const QString& sql) {
    if (server_)
      server_->runScript(sql.toUtf8());
    else
      file_.exec(sql);
  }

 private:
  sqlite::Database file_;
  pg::Connection* server_ = nullptr;
};

template <typename Backend>
using LanePoll = GroupBackendTest<Backend>;
TYPED_TEST_SUITE(LanePoll, GroupBackends, GroupBackendNames);

}  // namespace

TYPED_TEST(LanePoll, AnIdlePollIsOneStatementWhateverTheGroupSizeAndShowsWhatOthersStored) {
  const TestGroup group = this->backend.groups()->save(bigGroup());
  std::unique_ptr<FitnessRecords> storeA = this->backend.records(), storeB = this->backend.records();
  QUndoStack undoA, undoB;
  LaneSheet a(group, *storeA, undoA), b(group, *storeB, undoB);
  RecordsSession& session = dynamic_cast<FitnessRows&>(*storeA).session();

  // Soldiers with a record and soldiers without one: the poll follows both.
  for (int m : {0, 7, kSoldiers - 1}) ASSERT_EQ(b.enter(m, LaneField::PushUp, QStringLiteral("41")), QString());
  ASSERT_EQ(a.enter(7, LaneField::Plank, QStringLiteral("2:10")), QString());
  ASSERT_EQ(b.enter(3, LaneField::Run, QStringLiteral("18:20")), QString());

  quint64 statements = session.statements(), roundTrips = session.roundTrips();
  const QList<int> changed = a.readChanges();
  EXPECT_EQ(session.statements() - statements, 1u);
  EXPECT_EQ(session.roundTrips() - roundTrips, session.isServer() ? 1u : 0u);
  // Soldier 7's push-ups came back with A's own plank: nothing new to show.
  EXPECT_EQ(QSet<int>(changed.begin(), changed.end()), (QSet<int>{0, 3, kSoldiers - 1}));
  for (int m : {0, 7, kSoldiers - 1}) EXPECT_EQ(a.shown(m, LaneField::PushUp), QStringLiteral("41")) << m;
  EXPECT_EQ(a.shown(7, LaneField::Plank), QStringLiteral("2:10"));
  EXPECT_EQ(a.shown(3, LaneField::Run), QStringLiteral("18:20"));

  // Nothing moved: one statement again, and no line to show again.
  statements = session.statements();
  roundTrips = session.roundTrips();
  EXPECT_TRUE(a.readChanges().isEmpty());
  EXPECT_EQ(session.statements() - statements, 1u);
  EXPECT_EQ(session.roundTrips() - roundTrips, session.isServer() ? 1u : 0u);

  // A change made outside the program counts as much as a station's.
  OutsideClient outside(this->backend);
  outside.exec(QStringLiteral("UPDATE fitness_tests SET remark = 'by hand' WHERE ssn = '%1'").arg(group.members.at(7).ssn));
  EXPECT_EQ(a.readChanges(), QList<int>{7});
  EXPECT_EQ(a.line(7).shown[static_cast<int>(LaneField::Plank)], QStringLiteral("2:10"));
}

// A change whose transaction began before a poll and ended after it, while
// other changes ended in between, is not skipped by the polls after it.
TYPED_TEST(LanePoll, AChangeStillBeingMadeWhenAPollLookedIsSeenByALaterOne) {
  const TestGroup group = this->backend.groups()->save(bigGroup());
  std::unique_ptr<FitnessRecords> storeA = this->backend.records(), storeB = this->backend.records();
  QUndoStack undoA, undoB;
  for (int m : {1, 2}) {
    LaneSheet maker(group, *storeB, undoB);
    ASSERT_EQ(maker.enter(m, LaneField::PushUp, QStringLiteral("30")), QString());
  }
  LaneSheet a(group, *storeA, undoA);
  ASSERT_EQ(a.shown(1, LaneField::PushUp), QStringLiteral("30"));

  OutsideClient outside(this->backend);
  outside.begin();
  outside.exec(QStringLiteral("UPDATE fitness_tests SET pushup = 55 WHERE ssn = '%1'").arg(group.members.at(1).ssn));
  EXPECT_TRUE(a.readChanges().isEmpty()) << "not committed yet";
  if (this->backend.kName == std::string("server")) {
    // The server takes other stores meanwhile, and those end first.
    LaneSheet b(group, *storeB, undoB);
    ASSERT_EQ(b.enter(2, LaneField::Plank, QStringLiteral("1:50")), QString());
    EXPECT_EQ(a.readChanges(), QList<int>{2});
  }
  outside.exec(QStringLiteral("COMMIT"));
  EXPECT_EQ(a.readChanges(), QList<int>{1});
  EXPECT_EQ(a.shown(1, LaneField::PushUp), QStringLiteral("55"));
  EXPECT_TRUE(a.readChanges().isEmpty());
}

// Soldiers known by the DoD ID number alone are followed in the same one
// statement: a record another station stores for one of them shows at the
// next poll, and its later changes after that.
TYPED_TEST(LanePoll, SoldiersKnownByTheDodIdAloneArePolledInTheSameOneStatement) {
  TestGroup numbered = bigGroup();
  for (int i = 0; i < kSoldiers; i += 2) {
    numbered.members[i].ssn.clear();
    numbered.members[i].dodId = QString::number(1200000000 + i);
  }
  const TestGroup group = this->backend.groups()->save(numbered);
  std::unique_ptr<FitnessRecords> storeA = this->backend.records(), storeB = this->backend.records();
  QUndoStack undoA, undoB;
  LaneSheet a(group, *storeA, undoA), b(group, *storeB, undoB);
  RecordsSession& session = dynamic_cast<FitnessRows&>(*storeA).session();

  quint64 statements = session.statements(), roundTrips = session.roundTrips();
  EXPECT_TRUE(a.readChanges().isEmpty());
  EXPECT_EQ(session.statements() - statements, 1u);
  EXPECT_EQ(session.roundTrips() - roundTrips, session.isServer() ? 1u : 0u);

  // The first record of a soldier by the number, and one by the SSN beside it.
  ASSERT_EQ(b.enter(4, LaneField::PushUp, QStringLiteral("41")), QString());
  ASSERT_EQ(b.enter(5, LaneField::PushUp, QStringLiteral("33")), QString());
  statements = session.statements();
  roundTrips = session.roundTrips();
  const QList<int> changed = a.readChanges();
  EXPECT_EQ(session.statements() - statements, 1u);
  EXPECT_EQ(session.roundTrips() - roundTrips, session.isServer() ? 1u : 0u);
  EXPECT_EQ(QSet<int>(changed.begin(), changed.end()), (QSet<int>{4, 5}));
  EXPECT_EQ(a.shown(4, LaneField::PushUp), QStringLiteral("41"));
  EXPECT_EQ(a.shown(5, LaneField::PushUp), QStringLiteral("33"));
  EXPECT_EQ(a.shown(6, LaneField::PushUp), QString());

  // Held now: followed by its record's ID from here on.
  ASSERT_EQ(b.enter(4, LaneField::Plank, QStringLiteral("2:05")), QString());
  EXPECT_EQ(a.readChanges(), QList<int>{4});
  EXPECT_EQ(a.shown(4, LaneField::Plank), QStringLiteral("2:05"));
  EXPECT_EQ(a.shown(4, LaneField::PushUp), QStringLiteral("41"));
  statements = session.statements();
  EXPECT_TRUE(a.readChanges().isEmpty());
  EXPECT_EQ(session.statements() - statements, 1u);
}
