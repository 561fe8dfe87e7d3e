// A soldier known by the DoD ID number, with or without an SSN, on the file
// and on the records server: stored, found through an index, held to one
// record a day and one place in a group; and a file made before the number
// gains it at its first open keeping every record and every member.

#include <gtest/gtest.h>

#include <map>

#include "fitnessrecordsfixture.h"
#include "recordsdb.h"
#include "sqlitedb.h"
#include "testgroupbackends.h"
#include "testgroupfixture.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kDodId = QStringLiteral("1234567890");

Record dodIdOnly(const QString& date = QStringLiteral("2025-09-30")) {
  Record r = fullFitnessRecord(3);
  r.remove(QStringLiteral("ssn"));
  r.insert(QStringLiteral("dod_id"), kDodId);
  r.insert(QStringLiteral("test_date"), date);
  return r;
}

QString refusal(const std::function<void()>& f) {
  try {
    f();
  } catch (const DbError& e) {
    return e.message();
  }
  return QStringLiteral("(nothing refused)");
}

template <typename Backend>
using DodIdGroups = GroupBackendTest<Backend>;
TYPED_TEST_SUITE(DodIdGroups, GroupBackends, GroupBackendNames);

TYPED_TEST(DodIdGroups, ARecordByDodIdAloneIsFoundByItAndHeldToOneADay) {
  std::unique_ptr<FitnessRecords> s = this->backend.records();
  s->open();
  const RowAsRead kept = s->add(dodIdOnly());
  // Found among other soldiers' records by the number, and by SSN the others.
  s->add(fullFitnessRecord(4));
  const std::vector<RowAsRead> found = s->readOfSoldiers({kDodId, QStringLiteral("200000004")});
  ASSERT_EQ(found.size(), 2u);
  std::unique_ptr<FitnessRecords> other = this->backend.records();
  other->open();
  const std::optional<RowAsRead> byId = other->findByDodId(kDodId, QStringLiteral("2025-09-30"));
  ASSERT_TRUE(byId);
  EXPECT_EQ(byName(*byId), byName(kept));
  EXPECT_EQ(byName(*byId).value(QStringLiteral("dod_id")), kDodId);
  EXPECT_TRUE(byName(*byId).value(QStringLiteral("ssn")).isEmpty());

  // A second record that day, even with an SSN beside the number, is refused by name.
  Record twice = dodIdOnly();
  twice.insert(QStringLiteral("ssn"), QStringLiteral("200000009"));
  const QString second = refusal([&] { other->add(twice); });
  EXPECT_TRUE(second.contains(QStringLiteral("DoD ID 1234567890")) && second.contains(QStringLiteral("2025-09-30")))
      << qPrintable(second);
  // An SSN in its place, a wrong count of digits: refused.
  Record none = dodIdOnly(QStringLiteral("2026-01-05"));
  none.insert(QStringLiteral("dod_id"), QStringLiteral("123-45-6789"));
  EXPECT_TRUE(refusal([&] { s->add(none); }).contains(QStringLiteral("is an SSN")));
  none.insert(QStringLiteral("dod_id"), QStringLiteral("123456789012"));
  EXPECT_TRUE(refusal([&] { s->add(none); }).contains(QStringLiteral("ten digits")));
  // A change that would leave the record naming no one is refused too.
  EXPECT_TRUE(refusal([&] { s->store(kept, {{QStringLiteral("dod_id"), QString()}}); })
                  .contains(QStringLiteral("SSN or DoD ID")));
  EXPECT_EQ(s->readAll().size(), 2u);
}

TYPED_TEST(DodIdGroups, AReadInNoOrderHoldsTheSameRecordsAsTheOrderedRead) {
  std::unique_ptr<FitnessRecords> s = this->backend.records();
  s->open();
  // Entered out of the read's order: a record with both the number and the
  // SSN, the SSN written with dashes, the number alone, another soldier.
  Record both = fullFitnessRecord(4);
  both.insert(QStringLiteral("dod_id"), kDodId);
  both.insert(QStringLiteral("test_date"), QStringLiteral("2026-01-05"));
  s->add(both);
  Record dashed = fullFitnessRecord(4);
  dashed.insert(QStringLiteral("ssn"), QStringLiteral("200-00-0004"));
  dashed.insert(QStringLiteral("test_date"), QStringLiteral("2024-03-01"));
  s->add(dashed);
  s->add(fullFitnessRecord(4));
  s->add(dodIdOnly());
  s->add(fullFitnessRecord(5));
  const auto byKey = [](const std::vector<RowAsRead>& rows) {
    std::map<qint64, QStringList> out;
    for (const RowAsRead& r : rows) EXPECT_TRUE(out.emplace(r.key, r.fields).second) << "read twice: " << r.key;
    return out;
  };
  const QString ssn = QStringLiteral("200000004");
  const QList<std::pair<QStringList, size_t>> asked = {
      {{kDodId, ssn}, 4}, {{ssn}, 3}, {{kDodId}, 2}, {{ssn, QStringLiteral("200000005")}, 4}, {{"999999999"}, 0}};
  for (const auto& [soldiers, count] : asked) {
    const std::vector<RowAsRead> unordered = s->readOfSoldiersUnordered(soldiers);
    EXPECT_EQ(unordered.size(), count) << qPrintable(soldiers.join(','));
    EXPECT_EQ(byKey(unordered), byKey(s->readOfSoldiers(soldiers))) << qPrintable(soldiers.join(','));
  }
}

TYPED_TEST(DodIdGroups, AMemberByDodIdAloneComesBackAndOneTwiceOrUnnamedIsRefused) {
  std::unique_ptr<TestGroups> groups = this->backend.groups();
  TestGroup g = rangeDayGroup();
  g.members[0].ssn.clear();
  g.members[0].dodId = kDodId;
  g.members[1].dodId = QStringLiteral("0987654321");  // both identifiers
  const TestGroup saved = groups->save(g);
  EXPECT_EQ(this->backend.groups()->load(saved.id)->members, g.members);

  TestGroup twice = saved;
  twice.members[1].dodId = kDodId;
  EXPECT_TRUE(refusal([&] { groups->save(twice); }).contains(QStringLiteral("DoD ID: 1234567890 is in the group twice")));
  TestGroup unnamed = saved;
  unnamed.members[0].dodId.clear();
  EXPECT_TRUE(refusal([&] { groups->save(unnamed); }).contains(QStringLiteral("neither")));
  TestGroup swapped = saved;
  swapped.members[0].dodId = QStringLiteral("123456789");
  EXPECT_TRUE(refusal([&] { groups->save(swapped); }).startsWith(QStringLiteral("DoD ID:")));
  EXPECT_EQ(this->backend.groups()->load(saved.id)->members, g.members);
}

QString queryPlan(const QString& path, const QString& sql) {
  sqlite::Database db(path, sqlite::Database::Mode::ReadOnly);
  sqlite::Statement st(db, "EXPLAIN QUERY PLAN " + sql);
  QStringList out;
  while (st.step()) out << st.text(3);
  return out.join('\n');
}

QStringList rowsOf(const QString& path, const QString& sql) {
  sqlite::Database db(path, sqlite::Database::Mode::ReadOnly);
  sqlite::Statement st(db, sql);
  QStringList out;
  while (st.step()) {
    QStringList cells;
    for (int c = 0; c < st.columnCount(); ++c) cells << st.text(c);
    out << cells.join('|');
  }
  return out;
}

TEST(DodIdFileUpgrade, AFileMadeBeforeGainsTheNumberAtItsFirstOpenAndKeepsEveryRecordAndMember) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  // The five-event table and the groups as the program made them before
  // the number: no dod_id, members keyed by their SSN.
  QStringList ddl = fitnessTableSqliteDdl();
  ddl[0].remove(QStringLiteral(", dod_id TEXT"));
  ASSERT_FALSE(ddl[0].contains(QStringLiteral("dod_id")));
  for (const QString& sql : ddl)
    if (!sql.contains(QStringLiteral("dod_id"))) execSql(path, sql);
  execSql(path, "CREATE TABLE test_groups (id INTEGER PRIMARY KEY, test_date TEXT NOT NULL, "
                "location TEXT NOT NULL, version INTEGER NOT NULL DEFAULT 1)");
  execSql(path, "CREATE TABLE test_group_members (group_id INTEGER NOT NULL REFERENCES test_groups(id) "
                "ON DELETE CASCADE, position INTEGER NOT NULL, ssn TEXT NOT NULL, name TEXT, sex TEXT, "
                "dob TEXT, unit TEXT, standard TEXT NOT NULL, rank TEXT, PRIMARY KEY (group_id, ssn))");
  execSql(path, "INSERT INTO test_groups (id, test_date, location) VALUES (7, '2026-06-12', 'Gym')");
  execSql(path, "INSERT INTO test_group_members VALUES (7, 1, '123456789', 'Yates, Ann B', 'F', '1998-02-28', "
                "'A Co', 'combat', 'SGT'), (7, 0, '223456789', 'Zorn, Al', 'M', '1990-01-01', 'A Co', 'general', NULL)");
  execSql(path, "INSERT INTO fitness_tests (id, name, ssn, test_date, pushup) VALUES "
                "(4, 'Yates, Ann B', '123-45-6789', '2025-05-01', 40), (9, 'Zorn, Al', '223456789', '2025-05-01', 51)");
  const QStringList recordsBefore = rowsOf(path, QStringLiteral("SELECT * FROM fitness_tests ORDER BY id"));
  const QStringList membersBefore = rowsOf(
      path, QStringLiteral("SELECT group_id, position, ssn, name, sex, dob, unit, standard, rank FROM "
                           "test_group_members ORDER BY position"));

  std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(path);
  records->open();
  const std::optional<TestGroup> g = TestGroups::forDatabase(path)->load(7);
  ASSERT_TRUE(g);
  ASSERT_EQ(g->members.size(), 2);
  EXPECT_EQ(g->members.at(0), (GroupMember{"223456789", "Zorn, Al", "M", "1990-01-01", "A Co", "general", ""}));
  EXPECT_EQ(g->members.at(1), (GroupMember{"123456789", "Yates, Ann B", "F", "1998-02-28", "A Co", "combat", "SGT"}));
  // Every record as it was, with the new column last and empty.
  QStringList recordsAfter;
  for (const QString& r : rowsOf(path, QStringLiteral("SELECT * FROM fitness_tests ORDER BY id")))
    recordsAfter << r.chopped(1);  // the empty dod_id and its separator
  EXPECT_EQ(recordsAfter, recordsBefore);
  EXPECT_EQ(rowsOf(path, QStringLiteral("SELECT group_id, position, ssn, name, sex, dob, unit, standard, rank FROM "
                                        "test_group_members ORDER BY position")),
            membersBefore);

  // The upgraded file takes a member and a record by the number alone, and
  // finds them through its indexes.
  TestGroup more = *g;
  more.members << GroupMember{"", "Abel, Cy", "M", "1999-09-09", "A Co", "general", "", kDodId};
  TestGroups::forDatabase(path)->save(more);
  EXPECT_EQ(TestGroups::forDatabase(path)->load(7)->members, more.members);
  records->add(dodIdOnly());
  EXPECT_EQ(records->readOfSoldiers({kDodId}).size(), 1u);
  EXPECT_TRUE(queryPlan(path, "SELECT id FROM fitness_tests WHERE dod_id = '" + kDodId + "'")
                  .contains(QStringLiteral("INDEX fitness_tests_dod_id")));
  EXPECT_TRUE(queryPlan(path, "SELECT * FROM test_group_members WHERE dod_id = '" + kDodId + "'")
                  .contains(QStringLiteral("INDEX test_group_members_dod_id")));
  // The file itself refuses a member named by neither identifier.
  {
    sqlite::Database db(path, sqlite::Database::Mode::ReadWrite);
    EXPECT_FALSE(db.tryExec(
        QStringLiteral("INSERT INTO test_group_members (group_id, position, standard) VALUES (7, 5, 'general')")));
  }
  // Opening again changes nothing more.
  const QStringList schema = rowsOf(path, QStringLiteral("SELECT name, sql FROM sqlite_master ORDER BY name"));
  FitnessRecords::forDatabase(path)->open();
  EXPECT_EQ(rowsOf(path, QStringLiteral("SELECT name, sql FROM sqlite_master ORDER BY name")), schema);
}

}  // namespace
