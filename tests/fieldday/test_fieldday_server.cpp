// A test day without a network, through quillon-fieldday on a records
// server: three laptops take one group out, each enters its own lanes, a
// station on the server enters meanwhile, and the three merges make one
// record per soldier; a company clerk's merge stores only their company's.

#include <QRegularExpression>
#include <gtest/gtest.h>

#include "backendpair.h"
#include "dbfile.h"
#include "fielddayfixture.h"
#include "pgscratch.h"
#include "serversetup.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kAlpha = QStringLiteral("A CO 1-5 IN");
const QString kBravo = QStringLiteral("B CO 1-5 IN");

class FieldDayOnAServer : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::make_unique<PgScratch>(setupSqlPath());
    if (!scratch_->error().isEmpty()) return failOrSkipWithoutServer(scratch_->error());
    const QString s = scratch_->schema();
    alpha_ = s + "_alpha";
    bravo_ = s + "_bravo";
    alice_ = s + "_alice";
    carol_ = s + "_carol";
    // The clerks log in with the test server's own password, from the environment.
    const QString pw = qEnvironmentVariable("PGPASSWORD").replace('\'', "''");
    const QString login = pw.isEmpty() ? QStringLiteral("LOGIN") : "LOGIN PASSWORD '" + pw + "'";
    scratch_->admin().runScript(("SELECT quillon_add_unit('" + kAlpha + "', '" + alpha_ + "');" +
                                 "SELECT quillon_add_unit('" + kBravo + "', '" + bravo_ + "');" + "CREATE ROLE " +
                                 alice_ + " " + login + " IN ROLE " + alpha_ + ";" + "CREATE ROLE " + carol_ + " " +
                                 login + " IN ROLE quillon_battalion;")
                                    .toUtf8());
    rolesMade_ = true;
    battalion_ = dir_.file(QStringLiteral("battalion"));
    company_ = dir_.file(QStringLiteral("alpha"));
    makeServerFolder(battalion_, as(carol_));
    makeServerFolder(company_, as(alice_));
  }
  void TearDown() override {
    if (!rolesMade_) return;
    try {
      scratch_->admin().runScript(
          ("DROP ROLE IF EXISTS " + alice_ + ", " + carol_ + ", " + alpha_ + ", " + bravo_).toUtf8());
    } catch (const DbError& e) {
      ADD_FAILURE() << qPrintable(e.message());
    }
  }
  QString as(const QString& login) const {
    return "user=" + login + " options='-c search_path=" + scratch_->schema() + "'";
  }
  QString laptop(int n) const { return dir_.file(QStringLiteral("lane%1").arg(n)); }
  QString records(const QString& folder) const { return QDir(folder).filePath(QStringLiteral("info.mdb")); }
  qint64 adminCount(const QString& where) {
    return scratch_->admin()
        .exec(("SELECT count(*) FROM fitness_tests WHERE " + where).toUtf8().constData())
        .integer(0, 0);
  }
  QString adminValue(const QString& sql) { return scratch_->admin().exec(sql.toUtf8().constData()).value(0, 0); }
  TestGroup saveGroup(const QList<GroupMember>& members, const QString& place) {
    TestGroup g{0, QStringLiteral("2026-11-20"), place, members};
    return TestGroups::onServer(as(carol_))->save(g);
  }

  ScratchDir dir_;
  std::unique_ptr<PgScratch> scratch_;
  QString alpha_, bravo_, alice_, carol_;
  bool rolesMade_ = false;
  QString battalion_, company_;
};

TEST_F(FieldDayOnAServer, ThreeLaptopsLanesBecomeOneCompleteRecordPerSoldierAndTheClashIsTheClerksChoice) {
  const int soldiers = 30;
  const TestGroup group = saveGroup(fieldDaySoldiers(soldiers, kAlpha), QStringLiteral("Range 4"));
  const QString id = QString::number(group.id);
  for (int n = 1; n <= 3; ++n) {
    const CommandRun out = runFieldDay({"take-out", "--group", id, battalion_, laptop(n)});
    ASSERT_EQ(out.exit, 0) << qPrintable(out.err);
  }

  QList<LaneValueTyped> lane1, lane2, lane3;
  for (int m = 0; m < soldiers; ++m) {
    lane1 << LaneValueTyped{m, LaneField::DeadliftFirst, QString::number(180 + m)}
          << LaneValueTyped{m, LaneField::PushUp, m == 0 ? QStringLiteral("45") : QString::number(20 + m)};
    lane2 << LaneValueTyped{m, LaneField::SprintDragCarry, QStringLiteral("2:05")}
          << LaneValueTyped{m, LaneField::Plank, QStringLiteral("2:40")};
    // One soldier on a profile walks instead of running.
    lane3 << LaneValueTyped{m, LaneField::Run, m == 7 ? QStringLiteral("walk 30:00") : QStringLiteral("17:30")};
  }
  enterLanes(records(laptop(1)), group.id, lane1);
  enterLanes(records(laptop(2)), group.id, lane2);
  enterLanes(records(laptop(3)), group.id, lane3);
  // Meanwhile a station at the office enters the first soldier's push-up too.
  enterLanes(records(battalion_), group.id, {{0, LaneField::PushUp, QStringLiteral("50")}});
  const auto untouched = folderDigest(laptop(1));

  CommandRun one = runFieldDay({"merge", laptop(1), battalion_});
  EXPECT_EQ(one.exit, 2) << qPrintable(one.out + one.err);
  EXPECT_EQ(one.summary(), "stored 29, unchanged 0, conflicts 1, refused 0");
  const QStringList clash = one.lines().filter(QRegularExpression(QStringLiteral("^conflict ")));
  ASSERT_EQ(clash.size(), 1) << qPrintable(one.out);
  EXPECT_TRUE(clash[0].startsWith("conflict ***-**-0000 2026-11-20 " + fieldDayName(300000000) + ": "))
      << qPrintable(clash[0]);
  // Both values, and when and where each was entered.
  EXPECT_TRUE(clash[0].contains(QRegularExpression(
      "pushup: from 45 \\(entered 20\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d UTC by [^)]+\\), into 50 \\(entered [^)]* by " +
      carol_ + "( at [^)]*)?\\)")))
      << qPrintable(clash[0]);
  // Nothing is stored over the clash; the soldier's deadlift is.
  EXPECT_EQ(adminValue("SELECT pushup || '/' || deadlift_1 FROM fitness_tests WHERE ssn = '300000000'"), "50/180");

  // The clerk keeps the laptop's value.
  one = runFieldDay({"merge", "--prefer", "source", laptop(1), battalion_});
  EXPECT_EQ(one.exit, 0) << qPrintable(one.out + one.err);
  EXPECT_EQ(one.summary(), "stored 1, unchanged 29, conflicts 0, refused 0");
  EXPECT_EQ(adminValue("SELECT pushup FROM fitness_tests WHERE ssn = '300000000'"), "45");

  for (int n : {2, 3}) {
    const CommandRun r = runFieldDay({"merge", laptop(n), battalion_});
    EXPECT_EQ(r.exit, 0) << qPrintable(r.out + r.err);
    EXPECT_EQ(r.summary(), "stored 30, unchanged 0, conflicts 0, refused 0");
  }
  EXPECT_EQ(adminCount("true"), soldiers);
  // Every event in, scored as one test: each record has its total and result.
  EXPECT_EQ(adminCount("deadlift_1 IS NOT NULL AND pushup IS NOT NULL AND sdc_s IS NOT NULL AND plank_s IS NOT NULL "
                       "AND (run_s IS NOT NULL OR alt_time_s IS NOT NULL) AND total_pts IS NOT NULL "
                       "AND result_go IN ('GO', 'NO-GO')"),
            soldiers);
  EXPECT_EQ(adminValue("SELECT alt_event FROM fitness_tests WHERE ssn = '300000007'"), "walk");
  EXPECT_EQ(adminCount("test_group = " + id), soldiers);

  const QString before = adminValue("SELECT string_agg(id || ':' || version, ',' ORDER BY id) FROM fitness_tests");
  for (int n = 1; n <= 3; ++n) {
    const CommandRun again = runFieldDay({"merge", laptop(n), battalion_});
    EXPECT_EQ(again.exit, 0) << qPrintable(again.out + again.err);
    EXPECT_EQ(again.summary(), "stored 0, unchanged 30, conflicts 0, refused 0");
  }
  EXPECT_EQ(adminValue("SELECT string_agg(id || ':' || version, ',' ORDER BY id) FROM fitness_tests"), before);
  EXPECT_EQ(folderDigest(laptop(1)), untouched);
}

TEST_F(FieldDayOnAServer, ACompanyClerksMergeStoresTheirCompanysRecordsAndListsTheOthersForTheBattalion) {
  QList<GroupMember> members = fieldDaySoldiers(2, kAlpha, 310000000) + fieldDaySoldiers(2, kBravo, 320000000);
  const TestGroup group = saveGroup(members, QStringLiteral("Track 2"));
  ASSERT_EQ(runFieldDay({"take-out", "--group", QString::number(group.id), battalion_, laptop(4)}).exit, 0);
  QList<LaneValueTyped> pushups;
  for (int m = 0; m < 4; ++m) pushups << LaneValueTyped{m, LaneField::PushUp, QString::number(30 + m)};
  enterLanes(records(laptop(4)), group.id, pushups);

  const CommandRun alpha = runFieldDay({"merge", laptop(4), company_});
  EXPECT_EQ(alpha.exit, 2) << qPrintable(alpha.out + alpha.err);
  EXPECT_EQ(alpha.summary(), "stored 2, unchanged 0, conflicts 0, refused 2");
  const QStringList refused = alpha.lines().filter(QRegularExpression(QStringLiteral("^refused ")));
  ASSERT_EQ(refused.size(), 2);
  for (const QString& line : refused) {
    EXPECT_TRUE(line.startsWith("refused ***-**-000")) << qPrintable(line);
    EXPECT_TRUE(line.contains(fieldDayName(320000000).left(8))) << qPrintable(line);
    EXPECT_TRUE(line.contains(kBravo)) << qPrintable(line);
  }
  EXPECT_EQ(adminCount("unit = '" + kAlpha + "'"), 2);
  EXPECT_EQ(adminCount("unit = '" + kBravo + "'"), 0);

  // The refused records are still on the laptop: the battalion's merge brings them.
  const CommandRun battalion = runFieldDay({"merge", laptop(4), battalion_});
  EXPECT_EQ(battalion.exit, 0) << qPrintable(battalion.out + battalion.err);
  EXPECT_EQ(battalion.summary(), "stored 2, unchanged 2, conflicts 0, refused 0");
  EXPECT_EQ(adminCount("unit = '" + kBravo + "' AND pushup IS NOT NULL"), 2);

  // A folder of the other company alone is refused whole.
  const TestGroup bravoOnly = saveGroup(fieldDaySoldiers(2, kBravo, 330000000), QStringLiteral("Track 3"));
  ASSERT_EQ(runFieldDay({"take-out", "--group", QString::number(bravoOnly.id), battalion_, laptop(5)}).exit, 0);
  enterLanes(records(laptop(5)), bravoOnly.id, {{0, LaneField::PushUp, QStringLiteral("40")}});
  const CommandRun other = runFieldDay({"merge", laptop(5), company_});
  EXPECT_EQ(other.exit, 1);
  EXPECT_TRUE(other.err.contains("only records of other units")) << qPrintable(other.err);
  EXPECT_EQ(other.out, QString());
}

TEST_F(FieldDayOnAServer, AMergeKilledMidTransactionLeavesTheServerAsItWasAndTheNextRunCompletesIt) {
  const TestGroup group = saveGroup(fieldDaySoldiers(4, kAlpha, 340000000), QStringLiteral("Range 1"));
  enterLanes(records(battalion_), group.id, {{0, LaneField::PushUp, QStringLiteral("44")}});
  ASSERT_EQ(runFieldDay({"take-out", "--group", QString::number(group.id), battalion_, laptop(6)}).exit, 0);
  QList<LaneValueTyped> lanes;
  for (int m = 0; m < 4; ++m) lanes << LaneValueTyped{m, LaneField::Plank, QStringLiteral("2:1%1").arg(m)};
  // A soldier added at the lanes joins the group on the server too.
  {
    TestGroup grown = *TestGroups::forDatabase(records(laptop(6)))->load(group.id);
    grown.members << fieldDaySoldiers(1, kAlpha, 340000099);
    TestGroups::forDatabase(records(laptop(6)))->save(grown);
  }
  lanes << LaneValueTyped{4, LaneField::Plank, QStringLiteral("2:20")};
  enterLanes(records(laptop(6)), group.id, lanes);
  const QString state =
      "SELECT coalesce(string_agg(ssn || ':' || coalesce(pushup::text, '') || ':' || coalesce(plank_s::text, ''), ','"
      " ORDER BY ssn), '') || ' / ' || (SELECT count(*) FROM test_group_members) FROM fitness_tests";
  const QString before = adminValue(state);

  // What the merge adds, taken away again by the administrator.
  const auto putBack = [&] {
    scratch_->admin().runScript(
        "DELETE FROM fitness_tests WHERE ssn <> '340000000'; UPDATE fitness_tests SET plank_s = NULL, "
        "plank_pts = NULL, plank_go = NULL; DELETE FROM test_group_members WHERE ssn = '340000099'");
  };
  // A whole merge, counting its statements.
  const int statements = mergeCountingStatements(laptop(6), battalion_);
  const QString whole = adminValue(state);
  ASSERT_NE(whole, before);
  ASSERT_GE(statements, 6);
  putBack();
  ASSERT_EQ(adminValue(state), before);

  for (int at = 1; at <= statements; ++at) {
    ASSERT_TRUE(mergeKilledAt(laptop(6), battalion_, at)) << at;
    EXPECT_EQ(adminValue(state), before) << "killed before statement " << at;
    const CommandRun again = runFieldDay({"merge", laptop(6), battalion_});
    EXPECT_EQ(again.exit, 0) << qPrintable(again.out + again.err);
    EXPECT_EQ(adminValue(state), whole) << "run again after a kill before statement " << at;
    putBack();
  }
}

TEST_F(FieldDayOnAServer, AMemberOfAnotherUnitACompanyClerkCannotAddToTheGroupIsListedWithTheReason) {
  const TestGroup group =
      saveGroup(fieldDaySoldiers(1, kAlpha, 350000000) + fieldDaySoldiers(1, kBravo, 360000000), QStringLiteral("Track 5"));
  ASSERT_EQ(runFieldDay({"take-out", "--group", QString::number(group.id), battalion_, laptop(7)}).exit, 0);
  // A soldier of each company joins the group at the lanes; only the
  // first one tests that day.
  {
    TestGroup grown = *TestGroups::forDatabase(records(laptop(7)))->load(group.id);
    grown.members << fieldDaySoldiers(1, kAlpha, 350000001) << fieldDaySoldiers(1, kBravo, 360000001);
    TestGroups::forDatabase(records(laptop(7)))->save(grown);
  }
  enterLanes(records(laptop(7)), group.id, {{2, LaneField::PushUp, QStringLiteral("33")}});

  const CommandRun alpha = runFieldDay({"merge", laptop(7), company_});
  EXPECT_EQ(alpha.exit, 2) << qPrintable(alpha.out + alpha.err);
  // The company clerk sees no member of the other company, the one taken
  // out included: both are listed, neither is added nor lost.
  EXPECT_EQ(alpha.summary(), "stored 1, unchanged 0, conflicts 0, refused 2");
  const QStringList refused = alpha.lines().filter(QRegularExpression(QStringLiteral("^refused ")));
  ASSERT_EQ(refused.size(), 2) << qPrintable(alpha.out);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(refused[i], QStringLiteral("refused ***-**-000%1 2026-11-20 ").arg(i) + fieldDayName(360000000 + i) +
                              ": a member of the group at Track 5, of unit " + kBravo +
                              ", which this clerk may not store");
  EXPECT_EQ(adminCount("ssn = '350000001'"), 1);
  EXPECT_EQ(adminValue("SELECT string_agg(ssn, ',' ORDER BY ssn) FROM test_group_members WHERE group_id = " +
                       QString::number(group.id)),
            "350000000,350000001,360000000");
  // The battalion's merge adds the member.
  EXPECT_EQ(runFieldDay({"merge", laptop(7), battalion_}).exit, 0);
  EXPECT_EQ(adminCount("true"), 1);
  EXPECT_EQ(adminValue("SELECT count(*) FROM test_group_members WHERE group_id = " + QString::number(group.id)), "4");
}

TEST_F(FieldDayOnAServer, ALostConnectionLeavesTheServerAsItWasAndTheNextRunCompletesIt) {
  const TestGroup group = saveGroup(fieldDaySoldiers(3, kAlpha, 370000000), QStringLiteral("Range 2"));
  enterLanes(records(battalion_), group.id, {{0, LaneField::PushUp, QStringLiteral("44")}});
  ASSERT_EQ(runFieldDay({"take-out", "--group", QString::number(group.id), battalion_, laptop(8)}).exit, 0);
  QList<LaneValueTyped> lanes;
  for (int m = 0; m < 3; ++m) lanes << LaneValueTyped{m, LaneField::Plank, QStringLiteral("2:2%1").arg(m)};
  enterLanes(records(laptop(8)), group.id, lanes);
  // A field both changed, the office's kept, so the merge writes a choice too.
  enterLanes(records(laptop(8)), group.id, {{0, LaneField::PushUp, QStringLiteral("41")}});
  enterLanes(records(battalion_), group.id, {{0, LaneField::PushUp, QStringLiteral("46")}});
  const QString state =
      "SELECT string_agg(ssn || ':' || coalesce(pushup::text, '') || ':' || coalesce(plank_s::text, ''), ',' "
      "ORDER BY ssn) || ' / ' || (SELECT count(*) FROM merge_settled) FROM fitness_tests";
  const QString before = adminValue(state);
  const auto putBack = [&] {
    scratch_->admin().runScript(
        "DELETE FROM fitness_tests WHERE ssn <> '370000000'; DELETE FROM merge_settled; "
        "UPDATE fitness_tests SET plank_s = NULL, plank_pts = NULL, plank_go = NULL");
  };
  fieldday::MergeOptions keepOffice;
  keepOffice.prefer = fieldday::Prefer::Target;
  int statements = 0;
  keepOffice.beforeStatement = [&](int n) { statements = n; };
  fieldday::mergeFolder(laptop(8), battalion_, keepOffice);
  const QString whole = adminValue(state);
  ASSERT_NE(whole.section(" / ", 1), "0");
  putBack();
  ASSERT_EQ(adminValue(state), before);

  // The server ends the merge's connection before each of its statements.
  for (int at = 1; at <= statements; ++at) {
    keepOffice.beforeStatement = [&](int n) {
      if (n != at) return;
      scratch_->admin().runScript(("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '" +
                                   carol_ + "' AND pid <> pg_backend_pid()")
                                      .toUtf8());
    };
    try {
      fieldday::mergeFolder(laptop(8), battalion_, keepOffice);
      ADD_FAILURE() << "the merge went on without its connection, ended before statement " << at;
    } catch (const Error& e) {
      // The reason the command puts on standard error.
      EXPECT_TRUE(e.message().contains("records server")) << at << ": " << qPrintable(e.message());
    }
    EXPECT_EQ(adminValue(state), before) << "connection ended before statement " << at;
    const CommandRun again = runFieldDay({"merge", "--prefer", "target", laptop(8), battalion_});
    EXPECT_EQ(again.exit, 0) << qPrintable(again.out + again.err);
    EXPECT_EQ(adminValue(state), whole) << "run again after the connection ended before statement " << at;
    putBack();
  }
}

TEST_F(FieldDayOnAServer, SoldiersKnownByTheDodIdJoinTheServersGroupOnceAndADodIdOfOneWithTheSsnOfAnotherIsRefused) {
  const TestGroup group = saveGroup(fieldDaySoldiers(3, kAlpha, 370000000), QStringLiteral("Range 4"));
  takeOutAndAddDodIds(battalion_, group.id, laptop(1));
  CommandRun r = runFieldDay({"merge", laptop(1), company_});
  EXPECT_EQ(r.exit, 0) << qPrintable(r.out + r.err);
  EXPECT_EQ(r.summary(), "stored 3, unchanged 0, conflicts 0, refused 0");
  EXPECT_TRUE(r.out.contains("***-**-0000 DoD ID " + kGainedDodId)) << qPrintable(r.out);
  EXPECT_TRUE(r.out.contains("stored DoD ID " + kDodIdOnly + " 2026-11-20 Dodson, Lee")) << qPrintable(r.out);
  EXPECT_FALSE(r.out.contains("370000000"));
  expectEachSoldierOnceWithTheirResults(battalion_, group.id, group);
  const QString members = "SELECT string_agg(ssn || ':' || dod_id, ',' ORDER BY position) FROM test_group_members";
  const QString merged = adminValue(members);
  EXPECT_EQ(runFieldDay({"merge", laptop(1), company_}).summary(), "stored 0, unchanged 3, conflicts 0, refused 0");
  EXPECT_EQ(adminValue(members), merged);

  const QString before = adminValue(members);
  const qint64 records = adminCount("true");
  laptopWithOneSoldier(laptop(2), group, kDodIdOnly, group.members.at(2).ssn);
  r = runFieldDay({"merge", laptop(2), company_});
  EXPECT_EQ(r.summary(), "stored 0, unchanged 0, conflicts 0, refused 1");
  EXPECT_TRUE(r.out.contains(QStringLiteral("refused ***-**-0002 DoD ID %1 2026-11-20 Twofold, Kim: its DoD ID is that "
                                            "of Dodson, Lee and its SSN that of %2")
                                 .arg(kDodIdOnly, group.members.at(2).name)))
      << qPrintable(r.out);
  EXPECT_EQ(adminValue(members), before);
  EXPECT_EQ(adminCount("true"), records);
  EXPECT_EQ(adminCount("pushup = 50"), 0);

  // The DoD ID that member 0 gained there, with the SSN of member 2, who
  // has none: refused, and member 2 is given no number.
  laptopWithOneSoldier(laptop(3), group, kGainedDodId, group.members.at(2).ssn);
  r = runFieldDay({"merge", laptop(3), company_});
  EXPECT_EQ(r.summary(), "stored 0, unchanged 0, conflicts 0, refused 1");
  EXPECT_TRUE(r.out.contains(QStringLiteral("its DoD ID is that of %1 and its SSN that of %2")
                                 .arg(group.members.at(0).name, group.members.at(2).name)))
      << qPrintable(r.out);
  EXPECT_EQ(adminValue(members), before);
  EXPECT_EQ(adminCount("pushup = 50"), 0);
}

TEST_F(FieldDayOnAServer, AServerSetUpBeforeTheDodIdSaysWhichColumnItLacksAndThatItsSetupScriptRunsAgain) {
  const TestGroup group = saveGroup(fieldDaySoldiers(2, kAlpha, 360000000), QStringLiteral("Gym"));
  takeOutAndAddDodIds(battalion_, group.id, laptop(1));
  scratch_->admin().runScript("ALTER TABLE fitness_tests DROP COLUMN dod_id CASCADE;"
                              "ALTER TABLE test_group_members DROP COLUMN dod_id CASCADE;");
  const auto saysWhatToDo = [](const QString& message, const QString& table) {
    EXPECT_TRUE(message.contains(table + " has no column dod_id")) << qPrintable(message);
    EXPECT_TRUE(message.contains("runs the setup script " + installedSetupScript() + " on it again"))
        << qPrintable(message);
    EXPECT_FALSE(message.contains("does not exist")) << qPrintable(message);
  };
  std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(records(battalion_));
  try {
    store->open();
    ADD_FAILURE() << "the five-event records opened on a server without the DoD ID";
  } catch (const DbError& e) {
    saysWhatToDo(e.message(), "fitness_tests");
  }
  try {
    TestGroups::forDatabase(records(battalion_))->load(group.id);
    ADD_FAILURE() << "a group was read on a server without the DoD ID";
  } catch (const DbError& e) {
    saysWhatToDo(e.message(), "test_group_members");
  }
  const CommandRun r = runFieldDay({"merge", laptop(1), battalion_});
  EXPECT_NE(r.exit, 0);
  saysWhatToDo(r.err + r.out, "fitness_tests");
  EXPECT_EQ(adminCount("true"), 0);

  // What the message asks for is enough: the script run again, the merge stores.
  QFile setup(setupSqlPath());
  ASSERT_TRUE(setup.open(QIODevice::ReadOnly));
  scratch_->admin().runScript("SET search_path TO " + scratch_->schema().toUtf8() + ";\n" + setup.readAll());
  EXPECT_EQ(runFieldDay({"merge", laptop(1), battalion_}).summary(), "stored 3, unchanged 0, conflicts 0, refused 0");
  EXPECT_EQ(adminCount("dod_id = '" + kDodIdOnly + "'"), 1);
}

TEST_F(FieldDayOnAServer, AServersFolderMergesIntoAFileAsItsClerkMayReadItAndIsLeftAsItWas) {
  const TestGroup group =
      saveGroup(fieldDaySoldiers(2, kAlpha, 380000000) + fieldDaySoldiers(1, kBravo, 390000000), QStringLiteral("Gym"));
  QList<LaneValueTyped> pushups;
  for (int m = 0; m < 3; ++m) pushups << LaneValueTyped{m, LaneField::PushUp, QString::number(40 + m)};
  enterLanes(records(battalion_), group.id, pushups);
  const QString versions = "SELECT string_agg(id || ':' || version, ',' ORDER BY id) FROM fitness_tests";
  const QString before = adminValue(versions);

  // The company clerk's folder reads only the company's records.
  const QString file = dir_.file(QStringLiteral("office file"));
  QDir().mkpath(file);
  createRecordsDatabase(records(file));
  CommandRun r = runFieldDay({"merge", company_, file});
  EXPECT_EQ(r.exit, 0) << qPrintable(r.out + r.err);
  EXPECT_EQ(r.summary(), "stored 2, unchanged 0, conflicts 0, refused 0");
  r = runFieldDay({"merge", battalion_, file});
  EXPECT_EQ(r.exit, 0) << qPrintable(r.out + r.err);
  EXPECT_EQ(r.summary(), "stored 1, unchanged 2, conflicts 0, refused 0");
  r = runFieldDay({"merge", battalion_, file});
  EXPECT_EQ(r.summary(), "stored 0, unchanged 3, conflicts 0, refused 0");
  {
    std::unique_ptr<FitnessRecords> copied = FitnessRecords::forDatabase(records(file));
    copied->open();
    const std::optional<RowAsRead> bravo = copied->find(QStringLiteral("390000000"), QStringLiteral("2026-11-20"));
    ASSERT_TRUE(bravo);
    EXPECT_EQ(bravo->fields.value(fitnessFieldNames().indexOf("pushup")), "42");
    copied->close();
  }
  EXPECT_EQ(TestGroups::forDatabase(records(file))->all().value(0).members.size(), 3);
  EXPECT_EQ(adminValue(versions), before);
}

}  // namespace
