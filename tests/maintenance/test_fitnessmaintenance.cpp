// Repair and Compact on a records file that holds five-event records beside
// the three-event ones: every five-event record on a readable leaf page
// survives damage the engine cannot read past, and Compact keeps them all.

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dbengine.h"
#include "fitnessrecordsfixture.h"
#include "fitnessrecords.h"
#include "recordsfixture.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using namespace quillon::dbtool::test;
using quillon::test::ScratchDir;
using quillon::test::byName;
using quillon::test::fullFitnessRecord;

namespace {

// info.mdb with `infoRows` three-event records and `n` five-event records,
// enough of them to fill many pages.
void makeBothKinds(int infoRows, int n) {
  makeRecords("info.mdb", infoRows);
  auto file = FitnessRecords::forDatabase(QDir::current().filePath("info.mdb"));
  for (int i = 1; i <= n; ++i) {
    Record r = fullFitnessRecord(i);
    r.insert("remark", QString(400, QChar('a' + i % 26)) + QString::number(i));
    file->add(r);
  }
}

std::vector<Record> fitnessRows() {
  auto file = FitnessRecords::forDatabase(QDir::current().filePath("info.mdb"));
  std::vector<Record> out;
  for (const RowAsRead& r : file->readAll()) {
    Record rec = byName(r);
    rec.insert("id", QString::number(r.key));
    out.push_back(rec);
  }
  return out;
}

qint64 rootPage(const QString& table) {
  SqlDb d("info.mdb", SQLITE_OPEN_READONLY);
  return d.value("SELECT rootpage FROM sqlite_master WHERE name='" + table + "'").toLongLong();
}

}  // namespace

TEST(FitnessRepair, RecordsUnderADamagedIndexPageAreAllKept) {
  ScratchDir dir;
  makeBothKinds(200, 150);
  const auto info = records("info.mdb");
  const std::vector<Record> before = fitnessRows();
  ASSERT_EQ(before.size(), 150u);
  // The table's top page: the engine reaches none of its rows any more.
  const qint64 root = rootPage(fitnessTableName());
  {
    SqlDb d("info.mdb", SQLITE_OPEN_READONLY);
    ASSERT_GT(d.value("SELECT count(*) FROM dbstat WHERE name='" + fitnessTableName() + "' AND pagetype='leaf'").toInt(), 5)
        << "the records must spread over several pages under one index page";
  }
  damagePage("info.mdb", root, 4096);

  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_TRUE(r.rebuilt);
  EXPECT_EQ(r.rowsKept, 200 + 150);
  EXPECT_EQ(fitnessRows(), before);
  EXPECT_EQ(records("info.mdb"), info);
  SqlDb d("info.mdb", SQLITE_OPEN_READONLY);
  EXPECT_EQ(d.value("PRAGMA integrity_check"), "ok");
}

TEST(FitnessRepair, RecordsAreKeptWhenTheFirstPageAndSchemaAreLost) {
  ScratchDir dir;
  makeBothKinds(100, 120);
  const auto info = records("info.mdb");
  const std::vector<Record> before = fitnessRows();
  damagePage("info.mdb", 1, 4096);

  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_TRUE(r.rebuilt);
  EXPECT_EQ(fitnessRows(), before);
  EXPECT_EQ(records("info.mdb"), info);
  // The table is made again whole: a second record of a soldier on one date
  // is still refused.
  auto file = FitnessRecords::forDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_THROW(file->add(fullFitnessRecord(1)), DbError);
  // And a new record takes an ID no salvaged one holds.
  qint64 highest = 0;
  for (const Record& rec : before) highest = std::max(highest, rec.value("id").toLongLong());
  EXPECT_GT(file->add(fullFitnessRecord(500)).key, highest);
}

// A file whose records were stored both before the DoD ID was added (rows
// one field shorter) and after keeps all of them, with their numbers.
TEST(FitnessRepair, RecordsStoredBeforeTheDodIdAndAfterAreKeptWhenTheFirstPageIsLost) {
  ScratchDir dir;
  makeRecords("info.mdb", 50);
  {
    SqlDb d("info.mdb");
    QStringList ddl = fitnessTableSqliteDdl();
    ddl[0].remove(QStringLiteral(", dod_id TEXT"));
    for (const QString& sql : ddl)
      if (!sql.contains(QStringLiteral("dod_id"))) d.exec(sql);
    for (int i = 1; i <= 60; ++i)
      d.exec(QStringLiteral("INSERT INTO fitness_tests (name, ssn, test_date, remark) VALUES "
                            "('Old, Soldier %1', '%2', '2024-01-01', '%3')")
                 .arg(i)
                 .arg(300000000 + i)
                 .arg(QString(400, QChar('a' + i % 26))));
  }
  auto file = FitnessRecords::forDatabase(QDir::current().filePath("info.mdb"));
  for (int i = 1; i <= 60; ++i) {
    Record r = fullFitnessRecord(i);
    r.insert("dod_id", QString::number(1300000000 + i));
    r.insert("remark", QString(400, QChar('a' + i % 26)));
    file->add(r);
  }
  file.reset();
  const std::vector<Record> before = fitnessRows();
  ASSERT_EQ(before.size(), 120u);
  damagePage("info.mdb", 1, 4096);

  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_TRUE(r.rebuilt);
  EXPECT_EQ(fitnessRows(), before);
}

TEST(FitnessCompact, CompactKeepsEveryFiveEventRecordAndTheThreeEventOnes) {
  ScratchDir dir;
  makeBothKinds(50, 40);
  const auto info = records("info.mdb");
  const std::vector<Record> before = fitnessRows();
  const RecordingMessages seam = runCommand(false, "info.mdb");
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, "Compact database successful!");
  EXPECT_EQ(fitnessRows(), before);
  EXPECT_EQ(records("info.mdb"), info);
}
