#include <gtest/gtest.h>

#include "dbfile.h"
#include "fitnessrecordsfixture.h"
#include "groupreports.h"
#include "recordsdb.h"
#include "sqlitedb.h"
#include "testgroupbackends.h"
#include "testgroupfixture.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

QStringList tablesOf(const QString& path) {
  sqlite::Database db(path, sqlite::Database::Mode::ReadOnly);
  sqlite::Statement st(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"));
  QStringList out;
  while (st.step()) out << st.text(0);
  return out;
}

}  // namespace

template <typename Backend>
using GroupStore = GroupBackendTest<Backend>;
TYPED_TEST_SUITE(GroupStore, GroupBackends, GroupBackendNames);

TYPED_TEST(GroupStore, AGroupComesBackWholeFromAnotherStoreAndASecondSaveReplacesItsMembers) {
  TestGroup saved = this->backend.groups()->save(rangeDayGroup());
  ASSERT_NE(saved.id, 0);

  // As after closing the program and starting it again.
  std::unique_ptr<TestGroups> reopened = this->backend.groups();
  ASSERT_EQ(reopened->all().size(), 1);
  EXPECT_EQ(reopened->all().first(), saved);

  // The clerk drops the first soldier, moves the last to the front and
  // corrects the place: the same group, not a second one.
  saved.location = QStringLiteral("Gym");
  saved.members = {saved.members.at(2), saved.members.at(1)};
  reopened->save(saved);
  const QList<TestGroup> all = this->backend.groups()->all();
  ASSERT_EQ(all.size(), 1);
  EXPECT_EQ(all.first(), saved);
}

TYPED_TEST(GroupStore, GroupsComeNewestFirst) {
  std::unique_ptr<TestGroups> groups = this->backend.groups();
  TestGroup older = rangeDayGroup();
  older.testDate = QStringLiteral("2025-12-31");
  groups->save(older);
  groups->save(rangeDayGroup());
  const QList<TestGroup> all = groups->all();
  ASSERT_EQ(all.size(), 2);
  EXPECT_EQ(all.at(0).testDate, QStringLiteral("2026-06-12"));
  EXPECT_EQ(all.at(1).testDate, QStringLiteral("2025-12-31"));
}

TYPED_TEST(GroupStore, AGroupThatCannotBeSavedNamesFieldAndValueAndStoresNothing) {
  std::unique_ptr<TestGroups> groups = this->backend.groups();
  struct Case {
    std::function<void(TestGroup&)> spoil;
    QString field, value;
  };
  const QList<Case> cases = {
      {[](TestGroup& g) { g.members[1].ssn = g.members[0].ssn; }, "SSN", "123456789"},
      {[](TestGroup& g) { g.members[2].ssn = "98765432"; }, "SSN", "98765432"},
      {[](TestGroup& g) { g.members[0].standard = "elite"; }, "Standard", "elite"},
      {[](TestGroup& g) { g.members[0].sex = "X"; }, "Sex", "X"},
      {[](TestGroup& g) { g.members[1].dob = "1998-02-30"; }, "Date of birth", "1998-02-30"},
      {[](TestGroup& g) { g.testDate = "2026-13-01"; }, "Date of test", "2026-13-01"},
      {[](TestGroup& g) { g.location = "  "; }, "Location", ""},
  };
  for (const Case& c : cases) {
    TestGroup g = rangeDayGroup();
    c.spoil(g);
    try {
      groups->save(g);
      ADD_FAILURE() << "saved with " << c.field.toStdString() << " " << c.value.toStdString();
    } catch (const DbError& e) {
      EXPECT_TRUE(e.message().startsWith(c.field + ":")) << e.message().toStdString();
      EXPECT_TRUE(e.message().contains(c.value)) << e.message().toStdString();
    }
  }
  EXPECT_TRUE(groups->all().isEmpty());
}

TEST(TestGroups, AnUpgradeThatFailsHalfwayLeavesTheFileAsItWas) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  // A table of the members' name already stands, so the second statement of
  // the upgrade fails after the first made test_groups.
  execSql(path, "CREATE TABLE test_group_members (x)");
  const QStringList before = tablesOf(path);
  EXPECT_THROW(TestGroups::forDatabase(path)->all(), DbError);
  EXPECT_EQ(tablesOf(path), before);
}

TEST(TestGroups, AFileWithoutThreeEventRecordsGainsNoTables) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("other.db"));
  QFile(path).open(QIODevice::WriteOnly);
  EXPECT_THROW(TestGroups::forDatabase(path)->all(), DbError);
  EXPECT_TRUE(tablesOf(path).isEmpty());
}

TEST(TestGroupsOnAServer, AServerSetUpBeforeTestGroupsSaysHowToAddThem) {
  GroupsOnAServer server;
  if (const QString why = server.setUp(); !why.isEmpty()) {
    if (qEnvironmentVariableIntValue("QUILLON_REQUIRE_PG") == 1) FAIL() << qPrintable(why);
    GTEST_SKIP() << qPrintable(why);
  }
  server.scratch().admin().runScript("DROP TABLE test_group_members; DROP TABLE test_groups;");
  try {
    server.groups()->all();
    ADD_FAILURE() << "read groups from a server without their tables";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("setup.sql"))) << e.message().toStdString();
  }
}

TYPED_TEST(GroupStore, AGroupsSoldierWithNoRecordYetIsOnTheDueList) {
  // Known by the group alone: nothing in info, nothing in fitness_tests.
  const TestGroup g = this->backend.groups()->save(rangeDayGroup());
  const ReportTable due =
      dueList(readTestDayRecords(this->backend.recordsPath(), true), QDate::fromString(g.testDate, Qt::ISODate), 6);
  ASSERT_EQ(due.rows.size(), g.members.size());
  for (const GroupMember& m : g.members) {
    const auto row = std::find_if(due.rows.begin(), due.rows.end(), [&](const QStringList& r) { return r.contains(m.ssn); });
    ASSERT_NE(row, due.rows.end()) << m.name.toStdString();
    EXPECT_TRUE(row->contains(QStringLiteral("No five-event test"))) << row->join('|').toStdString();
  }
}

TYPED_TEST(GroupStore, TheDueListFromEachSoldiersLatestRecordsIsTheOneFromAllOfThem) {
  std::unique_ptr<FitnessRecords> records = this->backend.records();
  QList<qint64> odd;
  const auto add = [&](int n, const QString& ssn, const QString& name, const QString& date, const QString& result) {
    Record r = fullFitnessRecord(n);
    r.insert(QStringLiteral("ssn"), ssn);
    r.insert(QStringLiteral("name"), name);
    r.insert(QStringLiteral("test_date"), date);
    r.insert(QStringLiteral("result_go"), result);
    return records->add(r).key;
  };
  // One soldier under both ways of writing an SSN, a different name on
  // each record of the latest day (the read order picks the name), the
  // latest of them without a result.
  add(1, "111-22-3333", "Able, Ann", "2024-03-01", "GO");
  add(1, "111223333", "Able, Ann B", "2025-01-10", "NO-GO");
  add(1, "111-22-3333", "Able, Anne", "2025-05-02", "");
  add(1, "111223333", "Able, Anna", "2025-05-02", "");
  // Tested after the day the list is for, a NO-GO before it.
  add(2, "222334444", "Baker, Bo", "2025-02-01", "GO");
  add(2, "222334444", "Baker, Bo", "2025-04-01", "NO-GO");
  add(2, "222334444", "Baker, Bob", "2026-01-15", "GO");
  // Dates only another program writes: past the month's end, another
  // form, none, nonsense; one of them later than every plain date.
  add(3, "333445555", "Cole, Cy", "2024-06-30", "GO");
  odd << add(3, "333445555", "Cole, Cy A", "2024-07-01", "GO") << add(3, "333445555", "Cole, Cyd", "2024-07-02", "GO")
      << add(4, "444556666", "Dunn, Di", "2024-07-03", "GO") << add(4, "444556666", "Dunn, Dee", "2024-07-04", "");
  add(5, "", "Nobody, No", "2025-01-01", "GO");
  const QStringList oddDates{"2025-02-29", "06/30/2025", "", "2025-13-01"};
  QStringList writes;
  for (int i = 0; i < odd.size(); ++i)
    writes << QStringLiteral("UPDATE fitness_tests SET test_date = %1 WHERE id = %2")
                  .arg(oddDates[i].isEmpty() ? QStringLiteral("NULL") : "'" + oddDates[i] + "'")
                  .arg(odd[i]);
  // Three-event records as the earlier program kept them, which the list
  // reads by key, date of test, SSN and name alone: blanks around them,
  // another way of writing an SSN and a date, a date past the list's day,
  // none or nonsense; a soldier of both tests and soldiers of this one only.
  writes << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES (' Able, A ', ' 111-22-3333 ', '01/15/2023', 'GO')"
         << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES ('Egan, Ed', '555667777', '03/01/2025', 'GO')"
         << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES ('Egan, Eddie', '555-66-7777', ' 2025-04-02', 'NO-GO')"
         << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES ('Egan, E', '555667777', 'junk', '')"
         << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES ('Fox, Fay', '666778888', '07/04/2026', 'GO')"
         << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES ('Fox, Fae', '666778888', NULL, 'GO')"
         << "INSERT INTO info (LNAME, SSN, DOT, STAT) VALUES ('Gray, Gus', '', '05/05/2024', 'GO')";
  if constexpr (std::is_same_v<TypeParam, GroupsInAFile>)
    sqlite::Database(this->backend.recordsPath(), sqlite::Database::Mode::ReadWrite).exec(writes.join(';'));
  else
    this->backend.scratch().admin().runScript(writes.join(';').toUtf8());

  this->backend.groups()->save(rangeDayGroup());
  const QString path = this->backend.recordsPath();
  for (const char* day : {"2024-12-31", "2025-05-01", "2025-06-30", "2026-06-12"}) {
    const QDate asOf = QDate::fromString(QLatin1String(day), Qt::ISODate);
    const ReportTable fromAll = dueList(readTestDayRecords(path, true), asOf, 6);
    const ReportTable fromLatest = dueList(readDueListRecords(path, asOf), asOf, 6);
    ASSERT_FALSE(fromAll.rows.isEmpty()) << day;
    EXPECT_EQ(fromLatest.rows, fromAll.rows) << day;
    const auto egan = std::find_if(fromAll.rows.cbegin(), fromAll.rows.cend(),
                                   [](const QStringList& r) { return r.value(1) == QLatin1String("555667777"); });
    ASSERT_NE(egan, fromAll.rows.cend()) << day << ": a soldier of the three-event test alone is due";
  }
  // Fewer records were read for it: Able's and Baker's older ones stay.
  EXPECT_LT(records->readLatest(QStringLiteral("2025-06-30")).size(), records->readAll().size());
}

TYPED_TEST(GroupStore, ASoldierKnownByTheDodIdAloneIsOnTheDueListReadFromTheLatestRecords) {
  std::unique_ptr<FitnessRecords> records = this->backend.records();
  Record known = fullFitnessRecord(1);
  known.insert(QStringLiteral("test_date"), QStringLiteral("2025-03-01"));
  known.insert(QStringLiteral("result_go"), QStringLiteral("GO"));
  records->add(known);
  Record numbered = fullFitnessRecord(2);
  numbered.remove(QStringLiteral("ssn"));
  numbered.insert(QStringLiteral("dod_id"), QStringLiteral("1234567890"));
  numbered.insert(QStringLiteral("name"), QStringLiteral("Numbered, Nia"));
  numbered.insert(QStringLiteral("test_date"), QStringLiteral("2025-04-01"));
  numbered.insert(QStringLiteral("result_go"), QStringLiteral("GO"));
  records->add(numbered);
  const QString path = this->backend.recordsPath();
  const QDate asOf(2025, 12, 1);
  const ReportTable fromAll = dueList(readTestDayRecords(path, true), asOf, 6);
  const ReportTable fromLatest = dueList(readDueListRecords(path, asOf), asOf, 6);
  const auto hers = std::find_if(fromAll.rows.begin(), fromAll.rows.end(),
                                 [](const QStringList& r) { return r.contains(QStringLiteral("Numbered, Nia")); });
  ASSERT_NE(hers, fromAll.rows.end());
  EXPECT_TRUE(hers->contains(QStringLiteral("1234567890"))) << hers->join('|').toStdString();
  EXPECT_EQ(fromLatest.rows, fromAll.rows);
}

TYPED_TEST(GroupStore, AMembersRankComesBackAndOneNotInTheListIsRefused) {
  std::unique_ptr<TestGroups> groups = this->backend.groups();
  TestGroup g = rangeDayGroup();
  g.members[0].rank = QStringLiteral("SGT");
  const TestGroup saved = groups->save(g);
  EXPECT_EQ(this->backend.groups()->load(saved.id)->members, g.members);
  g.members[1].rank = QStringLiteral("SARGE");
  try {
    groups->save(g);
    ADD_FAILURE() << "saved a rank not in the list";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Rank:"))) << e.message().toStdString();
    EXPECT_TRUE(e.message().contains(QStringLiteral("SARGE"))) << e.message().toStdString();
  }
}

TEST(TestGroups, AFileWhoseGroupsKeepNoRankGainsTheColumnAndKeepsItsGroups) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  // The tables as the groups first kept them.
  execSql(path, "CREATE TABLE test_groups (id INTEGER PRIMARY KEY, test_date TEXT NOT NULL, "
                "location TEXT NOT NULL, version INTEGER NOT NULL DEFAULT 1)");
  execSql(path, "CREATE TABLE test_group_members (group_id INTEGER NOT NULL REFERENCES test_groups(id) "
                "ON DELETE CASCADE, position INTEGER NOT NULL, ssn TEXT NOT NULL, name TEXT, sex TEXT, "
                "dob TEXT, unit TEXT, standard TEXT NOT NULL, PRIMARY KEY (group_id, ssn))");
  execSql(path, "INSERT INTO test_groups (id, test_date, location) VALUES (7, '2026-06-12', 'Gym')");
  execSql(path, "INSERT INTO test_group_members VALUES (7, 0, '123456789', 'Yates, Ann B', 'F', '1998-02-28', "
                "'A Co', 'combat')");
  std::optional<TestGroup> g = TestGroups::forDatabase(path)->load(7);
  ASSERT_TRUE(g);
  ASSERT_EQ(g->members.size(), 1);
  EXPECT_EQ(g->members.at(0), (GroupMember{"123456789", "Yates, Ann B", "F", "1998-02-28", "A Co", "combat"}));
  g->members[0].rank = QStringLiteral("CPL");
  TestGroups::forDatabase(path)->save(*g);
  EXPECT_EQ(TestGroups::forDatabase(path)->load(7)->members.at(0).rank, QStringLiteral("CPL"));
}
