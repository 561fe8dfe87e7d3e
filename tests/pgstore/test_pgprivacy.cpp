// Every table naming a soldier, held to units on a records server, tried by
// three clerks who log in as themselves (company A, company B, battalion)
// with plain SQL; and the server's trail of changes, which records who made
// each change and from where, and which no clerk can change or delete.

#include <QFile>
#include <gtest/gtest.h>

#include "changetrail.h"
#include "fitnessrecordsfixture.h"
#include "fitnessrecords.h"
#include "pgtest.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class ThreeClerks : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const QString s = scratch_->schema();
    alpha_ = s + "_alpha";
    bravo_ = s + "_bravo";
    alice_ = s + "_alice";
    bob_ = s + "_bob";
    carol_ = s + "_carol";
    // The clerks log in with the password of the test server's own user,
    // which libpq takes from the environment as for every other test.
    const QString pw = qEnvironmentVariable("PGPASSWORD").replace('\'', "''");
    const QString login = pw.isEmpty() ? QStringLiteral("LOGIN") : "LOGIN PASSWORD '" + pw + "'";
    admin().runScript(("SELECT quillon_add_unit('A CO 1-5 IN', '" + alpha_ + "');"
                       "SELECT quillon_add_unit('B CO 1-5 IN', '" + bravo_ + "');"
                       "CREATE ROLE " + alice_ + " " + login + " IN ROLE " + alpha_ + ";" +
                       "CREATE ROLE " + bob_ + " " + login + " IN ROLE " + bravo_ + ";" +
                       "CREATE ROLE " + carol_ + " " + login + " IN ROLE quillon_battalion;")
                          .toUtf8());
    rolesMade_ = true;
    // Set up by the administrator: a five-event record, a three-event record
    // and a group member of each company.
    auto all = FitnessRecords::onServer(scratch_->conninfo());
    a1_ = all->add(fullFitnessRecord(1, "A CO 1-5 IN")).key;
    b1_ = all->add(fullFitnessRecord(2, " b co 1-5 in")).key;
    admin().runScript(
        "INSERT INTO info (lname, ssn, unit) VALUES ('ALPHA', '100000001', 'a co 1-5 in'), "
        "('BRAVO', '100000002', 'B CO 1-5 IN');"
        "INSERT INTO test_groups (test_date, location) VALUES ('2025-09-30', 'Field 3');"
        "INSERT INTO test_group_members (group_id, position, ssn, name, unit, standard) "
        "SELECT id, 0, '100000001', 'ALPHA', 'A CO 1-5 IN', 'general' FROM test_groups UNION ALL "
        "SELECT id, 1, '100000002', 'BRAVO', 'B CO 1-5 IN ', 'general' FROM test_groups;"
        // A field-day merge's kept choice about each company's soldier.
        "INSERT INTO merge_settled (takeout, record, field, value, unit) VALUES "
        "('laptop-1', '100000001/2025-09-30', 'pushup', '40', 'A CO 1-5 IN'), "
        "('laptop-1', '100000002/2025-09-30', 'pushup', '41', 'B CO 1-5 IN')");
  }
  void TearDown() override {
    if (!rolesMade_) return;
    try {
      admin().runScript(("DROP ROLE IF EXISTS " + alice_ + ", " + bob_ + ", " + carol_ + ", " + alpha_ + ", " +
                         bravo_)
                            .toUtf8());
    } catch (const DbError& e) {
      ADD_FAILURE() << qPrintable(e.message());
    }
  }
  // A connection string of the scratch schema for a clerk's own login, at
  // the station named.
  QString as(const QString& login, const QString& station = QStringLiteral("psql")) const {
    return "user=" + login + " application_name=" + station + " options='-c search_path=" + scratch_->schema() + "'";
  }
  qint64 adminCount(const QString& sql) { return admin().exec(sql.toUtf8().constData()).integer(0, 0); }
  static int rows(pg::Connection& c, const char* sql) { return c.exec(sql).rows(); }

  QString alpha_, bravo_, alice_, bob_, carol_;
  bool rolesMade_ = false;
  qint64 a1_ = 0, b1_ = 0;
};

// Every statement a clerk might try on another company's soldiers, in each
// table that names them, and what it must come to.
TEST_F(ThreeClerks, NoClerkOfOneCompanyReachesAnotherCompanysSoldierInAnyTable) {
  pg::Connection alice(as(alice_));
  // Read: none of B's rows in any table, the trail included.
  for (const char* table : {"fitness_tests", "info", "test_group_members", "change_trail", "merge_settled"}) {
    const QString sql = QString("SELECT count(*) FROM %1 WHERE upper(btrim(unit)) = 'B CO 1-5 IN'").arg(table);
    EXPECT_EQ(alice.exec(sql.toUtf8().constData()).integer(0, 0), 0) << table;
    const QString own = QString("SELECT count(*) FROM %1 WHERE upper(btrim(unit)) = 'A CO 1-5 IN'").arg(table);
    EXPECT_GT(alice.exec(own.toUtf8().constData()).integer(0, 0), 0) << table;
  }
  EXPECT_EQ(alice.exec("SELECT count(*) FROM info WHERE ssn = '100000002'").integer(0, 0), 0);
  EXPECT_EQ(alice.exec("SELECT count(*) FROM test_group_members WHERE ssn = '100000002'").integer(0, 0), 0);
  // Change and delete: every row asked for, only their own touched.
  EXPECT_EQ(rows(alice, "UPDATE fitness_tests SET remark = 'alice' RETURNING id"), 1);
  EXPECT_EQ(rows(alice, "UPDATE info SET remark = 'alice' RETURNING id"), 1);
  EXPECT_EQ(rows(alice, "UPDATE test_group_members SET name = 'alice' RETURNING ssn"), 1);
  EXPECT_EQ(rows(alice, "DELETE FROM fitness_tests WHERE unit ILIKE '%b co%' RETURNING id"), 0);
  EXPECT_EQ(rows(alice, "DELETE FROM info WHERE ssn = '100000002' RETURNING id"), 0);
  EXPECT_EQ(rows(alice, "DELETE FROM test_group_members WHERE ssn = '100000002' RETURNING ssn"), 0);
  EXPECT_EQ(rows(alice, "DELETE FROM merge_settled WHERE record LIKE '100000002/%' RETURNING record"), 0);
  // Nor through the group: its deletion would take B's member along.
  EXPECT_EQ(rows(alice, "DELETE FROM test_groups RETURNING id"), 0);
  // Add: not for B, and a three-event record is A's whatever it says.
  EXPECT_THROW(alice.exec("INSERT INTO fitness_tests (unit, ssn) VALUES ('B CO 1-5 IN', '9')"), pg::PgError);
  EXPECT_THROW(alice.exec("INSERT INTO test_group_members (group_id, position, ssn, unit, standard) "
                          "SELECT id, 5, '9', 'B CO 1-5 IN', 'general' FROM test_groups"),
               pg::PgError);
  EXPECT_EQ(alice.exec("INSERT INTO info (lname, unit) VALUES ('NEW', 'B CO 1-5 IN') RETURNING unit").value(0, 0),
            "A CO 1-5 IN");
  // Move: none of their own rows into B.
  EXPECT_THROW(alice.exec("UPDATE fitness_tests SET unit = 'B CO 1-5 IN'"), pg::PgError);
  EXPECT_THROW(alice.exec("UPDATE info SET unit = 'B CO 1-5 IN'"), pg::PgError);
  EXPECT_THROW(alice.exec("UPDATE test_group_members SET unit = 'B CO 1-5 IN'"), pg::PgError);
  EXPECT_THROW(alice.exec("UPDATE merge_settled SET unit = 'B CO 1-5 IN'"), pg::PgError);
  EXPECT_THROW(alice.exec("INSERT INTO merge_settled (takeout, record, field, unit) "
                          "VALUES ('laptop-2', '100000002/2025-09-30', 'plank', 'B CO 1-5 IN')"),
               pg::PgError);

  // Seen by the administrator: B's rows as they were, A's changed.
  EXPECT_EQ(adminCount("SELECT count(*) FROM fitness_tests WHERE remark = 'alice'"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM info WHERE remark = 'alice' AND unit = 'A CO 1-5 IN'"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM test_group_members WHERE name = 'alice' AND ssn = '100000001'"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM fitness_tests WHERE upper(btrim(unit)) = 'B CO 1-5 IN'"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM info WHERE unit = 'B CO 1-5 IN' AND remark IS NULL"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM test_group_members WHERE ssn = '100000002' AND name = 'BRAVO'"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM test_groups"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM merge_settled WHERE unit = 'B CO 1-5 IN' AND value = '41'"), 1);

  // The battalion reaches every company's rows in every table.
  pg::Connection carol(as(carol_));
  for (const char* table : {"fitness_tests", "info", "test_group_members", "change_trail", "merge_settled"}) {
    const QString sql = QString("SELECT count(*) FROM %1").arg(table);
    EXPECT_EQ(carol.exec(sql.toUtf8().constData()).integer(0, 0), adminCount(sql)) << table;
  }
  EXPECT_EQ(rows(carol, "UPDATE info SET remark = 'carol' WHERE ssn = '100000002' RETURNING id"), 1);
  EXPECT_EQ(rows(carol, "DELETE FROM test_groups RETURNING id"), 1);
  EXPECT_EQ(adminCount("SELECT count(*) FROM test_group_members"), 0);
}

TEST_F(ThreeClerks, AResultChangedAtTwoStationsIsTracedWithEachUserAndStation) {
  auto lane1 = FitnessRecords::onServer(as(alice_, "lane1"));
  const RowAsRead read = *lane1->fetch(a1_);
  lane1->store(read, {{"pushup", "41"}});
  auto lane2 = FitnessRecords::onServer(as(carol_, "lane2"));
  lane2->store(*lane2->fetch(a1_), {{"pushup", "43"}, {"grader_pushup", "XY"}});

  // Read by A's clerk through the storage, the way a History window would.
  const std::vector<TrailEntry> trail = ChangeTrail::onServer(as(alice_))->ofRecord(TracedTable::FiveEvent, a1_);
  std::vector<TrailEntry> pushups;
  for (const TrailEntry& e : trail)
    if (e.field == "pushup") pushups.push_back(e);
  ASSERT_EQ(pushups.size(), 3u);  // the add, then the two stations
  EXPECT_EQ(pushups[0].action, TrailEntry::Action::Add);
  EXPECT_TRUE(pushups[0].before.isNull());
  EXPECT_EQ(pushups[0].after, "34");
  EXPECT_EQ(pushups[1].action, TrailEntry::Action::Change);
  EXPECT_EQ(pushups[1].who, alice_);
  EXPECT_EQ(pushups[1].station, "lane1");
  EXPECT_EQ(pushups[1].before, "34");
  EXPECT_EQ(pushups[1].after, "41");
  EXPECT_EQ(pushups[2].who, carol_);
  EXPECT_EQ(pushups[2].station, "lane2");
  EXPECT_EQ(pushups[2].before, "41");
  EXPECT_EQ(pushups[2].after, "43");
  EXPECT_EQ(pushups[2].unit, "A CO 1-5 IN");
  EXPECT_TRUE(pushups[2].when.isValid());
  EXPECT_LE(pushups[1].when, pushups[2].when);
  // Only what changed: the grader beside the count, nothing else.
  qsizetype changes = 0;
  for (const TrailEntry& e : trail) changes += e.action == TrailEntry::Action::Change;
  EXPECT_EQ(changes, 3);

  // A clerk switching to another role is still traced as who logged in.
  pg::Connection bob(as(bob_));
  bob.exec(("SET ROLE " + bravo_).toUtf8().constData());
  bob.exec("UPDATE fitness_tests SET pushup = 12");
  const std::vector<TrailEntry> bravoTrail = ChangeTrail::onServer(as(bob_))->ofRecord(TracedTable::FiveEvent, b1_);
  ASSERT_FALSE(bravoTrail.empty());
  EXPECT_EQ(bravoTrail.back().who, bob_);
  EXPECT_EQ(bravoTrail.back().after, "12");
  // Neither company reads the other's trail.
  EXPECT_TRUE(ChangeTrail::onServer(as(bob_))->ofRecord(TracedTable::FiveEvent, a1_).empty());
  EXPECT_TRUE(ChangeTrail::onServer(as(alice_))->ofRecord(TracedTable::FiveEvent, b1_).empty());
  for (const TrailEntry& e : ChangeTrail::onServer(as(alice_))->all()) EXPECT_NE(e.record, b1_);
}

TEST_F(ThreeClerks, ADeletedRecordLeavesItsValuesInTheTrailForItsUnitOnly) {
  auto lane = FitnessRecords::onServer(as(bob_, "lane4"));
  ASSERT_TRUE(lane->remove(*lane->fetch(b1_)));
  const std::vector<TrailEntry> trail = ChangeTrail::onServer(as(bob_))->ofRecord(TracedTable::FiveEvent, b1_);
  std::optional<TrailEntry> pushup;
  for (const TrailEntry& e : trail)
    if (e.action == TrailEntry::Action::Delete && e.field == "pushup") pushup = e;
  ASSERT_TRUE(pushup);
  EXPECT_EQ(pushup->before, "34");
  EXPECT_TRUE(pushup->after.isNull());
  EXPECT_EQ(pushup->who, bob_);
  EXPECT_TRUE(ChangeTrail::onServer(as(alice_))->ofRecord(TracedTable::FiveEvent, b1_).empty());
}

TEST_F(ThreeClerks, TheTrailCannotBeChangedOrDeletedByAnyClerkEvenWithSql) {
  const qint64 before = adminCount("SELECT count(*) FROM change_trail");
  ASSERT_GT(before, 0);
  for (const QString& login : {alice_, carol_}) {
    pg::Connection c(as(login));
    for (const char* sql : {"UPDATE change_trail SET changed_by = 'someone else'", "DELETE FROM change_trail",
                            "TRUNCATE change_trail",
                            "INSERT INTO change_trail (changed_by, record_table, record_id, action, field) "
                            "VALUES ('x', 'info', 1, 'change', 'lname')",
                            // Nor can the triggers that write it be switched off.
                            "ALTER TABLE fitness_tests DISABLE TRIGGER fitness_tests_trail",
                            "SET session_replication_role = replica",
                            "DROP TRIGGER info_trail ON info"})
      EXPECT_THROW(c.exec(sql), pg::PgError) << qPrintable(login) << ": " << sql;
    // Nor fired from a table of their own to write rows of their choosing.
    c.exec("CREATE TEMP TABLE fitness_tests (id bigint, unit text)");
    EXPECT_THROW(c.exec("CREATE TRIGGER t AFTER INSERT ON pg_temp.fitness_tests FOR EACH ROW "
                        "EXECUTE FUNCTION quillon_trail_write()"),
                 pg::PgError)
        << qPrintable(login);
    // Gone before the login is: a session ends after its connection does.
    c.exec("DROP TABLE pg_temp.fitness_tests");
  }
  EXPECT_EQ(adminCount("SELECT count(*) FROM change_trail"), before);
  EXPECT_EQ(adminCount("SELECT count(*) FROM change_trail WHERE changed_by <> session_user"), 0);
}

// A server set up with the setup of before gains all of the above when the
// setup runs over it, twice, and keeps every record it held.
TEST_F(ThreeClerks, SetupRunOverAServerSetUpBeforeHoldsItsRecordsToUnits) {
  PgScratch old(sourceFile("tests/pgstore/data/setup-before-units.sql"));
  ASSERT_TRUE(old.error().isEmpty()) << qPrintable(old.error());
  old.admin().runScript(
      "INSERT INTO info (lname, ssn) VALUES ('KEPT', '1');"
      "INSERT INTO fitness_tests (unit, ssn, pushup) VALUES ('A CO 1-5 IN', '2', 40), ('B CO 1-5 IN', '3', 30);"
      "INSERT INTO test_groups (test_date, location) VALUES ('2025-09-30', 'Field 3');"
      "INSERT INTO test_group_members (group_id, position, ssn, unit, standard) "
      "SELECT id, 0, '3', 'B CO 1-5 IN', 'general' FROM test_groups");
  QFile f(setupSqlPath());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray setup = "SET search_path TO " + old.schema().toUtf8() + ";\n" + f.readAll();
  old.admin().runScript(setup);
  old.admin().runScript(setup);
  EXPECT_EQ(old.admin().exec("SELECT count(*) FROM info WHERE unit IS NULL").integer(0, 0), 1);
  const auto in = [&](const QString& login) {
    return "user=" + login + " options='-c search_path=" + old.schema() + "'";
  };
  {
    // Until the first unit is listed the database is one company's, as
    // before: its clerks share the three-event records and the groups.
    pg::Connection early(in(bob_));
    EXPECT_EQ(early.exec("SELECT lname FROM info").value(0, 0), "KEPT");
    EXPECT_EQ(early.exec("SELECT count(*) FROM test_group_members").integer(0, 0), 1);
  }
  old.admin().runScript(("SELECT quillon_add_unit('A CO 1-5 IN', '" + alpha_ + "');"
                         "SELECT quillon_add_unit('B CO 1-5 IN', '" + bravo_ + "')")
                            .toUtf8());

  pg::Connection alice(in(alice_)), bob(in(bob_));
  // A three-event record no administrator has assigned is no company's yet.
  EXPECT_EQ(alice.exec("SELECT count(*) FROM info").integer(0, 0), 0);
  EXPECT_EQ(bob.exec("SELECT count(*) FROM test_group_members").integer(0, 0), 1);
  EXPECT_EQ(alice.exec("SELECT count(*) FROM test_group_members").integer(0, 0), 0);
  EXPECT_EQ(alice.exec("SELECT pushup FROM fitness_tests").integer(0, 0), 40);
  old.admin().exec("UPDATE info SET unit = 'A CO 1-5 IN'");
  EXPECT_EQ(alice.exec("SELECT lname FROM info").value(0, 0), "KEPT");
  EXPECT_EQ(bob.exec("SELECT count(*) FROM info").integer(0, 0), 0);
  // Changes to the records kept are traced from now on.
  alice.exec("UPDATE fitness_tests SET pushup = 44");
  EXPECT_EQ(alice.exec("SELECT changed_by || ' ' || before || ' ' || after FROM change_trail WHERE field = 'pushup'")
                .value(0, 0),
            alice_ + " 40 44");
}

// A server set up before the DoD ID gains it when the setup runs over it,
// twice: every record and member kept as they were, a member known by the
// number alone held to its unit like any other, a change to the number
// traced with its clerk, and a lookup by it served by an index.
TEST_F(ThreeClerks, SetupRunOverAServerSetUpBeforeTheDodIdKeepsEveryRowAndHoldsTheNumberLikeTheRest) {
  PgScratch old(sourceFile("tests/pgstore/data/setup-before-units.sql"));
  ASSERT_TRUE(old.error().isEmpty()) << qPrintable(old.error());
  pg::Connection& admin = old.admin();
  admin.runScript(
      "INSERT INTO fitness_tests (unit, ssn, test_date, pushup) VALUES ('A CO 1-5 IN', '2', '2025-09-30', 40), "
      "('B CO 1-5 IN', '3', '2025-09-30', 30);"
      "INSERT INTO test_groups (test_date, location) VALUES ('2025-09-30', 'Field 3');"
      "INSERT INTO test_group_members (group_id, position, ssn, name, sex, dob, unit, standard) "
      "SELECT id, 0, '3', 'Bee, Al', 'M', '1990-01-01', 'B CO 1-5 IN', 'general' FROM test_groups UNION ALL "
      "SELECT id, 1, '2', 'Ay, Bo', 'F', '1991-02-02', 'A CO 1-5 IN', 'combat' FROM test_groups");
  const char* records = "SELECT string_agg((to_jsonb(f) - 'dod_id')::text, ';' ORDER BY id) FROM fitness_tests f";
  const char* members = "SELECT string_agg((group_id, position, ssn, name, sex, dob, unit, standard)::text, ';' "
                        "ORDER BY position) FROM test_group_members";
  const QString recordsBefore = admin.exec(records).value(0, 0), membersBefore = admin.exec(members).value(0, 0);
  QFile f(setupSqlPath());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray setup = "SET search_path TO " + old.schema().toUtf8() + ";\n" + f.readAll();
  admin.runScript(setup);
  admin.runScript(setup);
  EXPECT_EQ(admin.exec(records).value(0, 0), recordsBefore);
  EXPECT_EQ(admin.exec(members).value(0, 0), membersBefore);
  EXPECT_EQ(admin.exec("SELECT count(*) FROM fitness_tests WHERE dod_id IS NOT NULL").integer(0, 0), 0);
  admin.runScript(("SELECT quillon_add_unit('A CO 1-5 IN', '" + alpha_ + "');"
                   "SELECT quillon_add_unit('B CO 1-5 IN', '" + bravo_ + "')")
                      .toUtf8());
  const auto in = [&](const QString& login) {
    return "user=" + login + " options='-c search_path=" + old.schema() + "'";
  };
  pg::Connection alice(in(alice_)), bob(in(bob_));
  alice.exec("INSERT INTO test_group_members (group_id, position, dod_id, unit, standard) "
             "SELECT id, 2, '1234567890', 'A CO 1-5 IN', 'general' FROM test_groups");
  EXPECT_EQ(alice.exec("SELECT count(*) FROM test_group_members WHERE dod_id = '1234567890'").integer(0, 0), 1);
  EXPECT_EQ(bob.exec("SELECT count(*) FROM test_group_members WHERE dod_id = '1234567890'").integer(0, 0), 0);
  EXPECT_EQ(bob.exec("DELETE FROM test_group_members WHERE dod_id = '1234567890'").command(), "DELETE 0");
  // Named by neither, or by a number already in the group: refused.
  EXPECT_THROW(alice.exec("INSERT INTO test_group_members (group_id, position, unit, standard) "
                          "SELECT id, 3, 'A CO 1-5 IN', 'general' FROM test_groups"),
               pg::PgError);
  EXPECT_THROW(alice.exec("INSERT INTO test_group_members (group_id, position, ssn, dod_id, unit, standard) "
                          "SELECT id, 3, '4', '1234567890', 'A CO 1-5 IN', 'general' FROM test_groups"),
               pg::PgError);
  // Alice's update reaches her own record only; the trail names her.
  alice.exec("UPDATE fitness_tests SET dod_id = '1234567890'");
  EXPECT_EQ(admin.exec("SELECT changed_by || ' ' || coalesce(before, '-') || ' ' || after FROM change_trail "
                       "WHERE field = 'dod_id'")
                .value(0, 0),
            alice_ + " - 1234567890");
  EXPECT_EQ(admin.exec("SELECT count(*) FROM fitness_tests WHERE dod_id = '1234567890'").integer(0, 0), 1);
  admin.exec("SET enable_seqscan = off");
  for (const char* sql : {"EXPLAIN SELECT id FROM fitness_tests WHERE dod_id = '1234567890'",
                          "EXPLAIN SELECT group_id FROM test_group_members WHERE dod_id = '1234567890'"}) {
    const pg::Result plan = admin.exec(sql);
    QString text;
    for (int r = 0; r < plan.rows(); ++r) text += plan.value(r, 0) + '\n';
    EXPECT_TRUE(text.contains(QStringLiteral("_dod_id"))) << sql << "\n" << qPrintable(text);
  }
}

}  // namespace
