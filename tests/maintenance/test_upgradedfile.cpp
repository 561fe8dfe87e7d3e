// A records file the scorer has brought up to date (two fields added after
// the eighteen; older rows stored without them, newer ones with them) is
// repaired and compacted by the database tool like any other.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "dbengine.h"
#include "dbfile.h"
#include "recordsfixture.h"
#include "salvage.h"
#include "schemaupgrade.h"
#include "sqlitedb.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using namespace quillon::dbtool::test;
using quillon::test::ScratchDir;

namespace {

// `n` records, of which every third was converted with an alternate event
// after the file was brought up to date.
void makeUpgradedRecords(const QString& path, int n) {
  makeRecords(path, n);
  {
    sqlite::Database db(path, sqlite::Database::Mode::ReadWrite);
    upgradeRecordsSchema(db);
  }
  SqlDb d(path);
  d.exec("UPDATE info SET ALT_EVENT='800 Y Swim', ALT_TIME='15:' || (ID % 60) WHERE ID % 3 = 0");
}

TEST(UpgradedFile, RepairKeepsTheAddedFieldsOfEveryRowOnUndamagedPages) {
  ScratchDir dir;
  const int n = 3000;
  makeUpgradedRecords("info.mdb", n);
  const auto original = records("info.mdb");
  ASSERT_EQ(original.first().size(), 20);
  ASSERT_EQ(original.value(3).value(18), "800 Y Swim");
  damagePage("info.mdb", QFileInfo("info.mdb").size() / 4096 / 2, 4096);

  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_TRUE(r.rebuilt);
  const auto after = records("info.mdb");
  EXPECT_GE(r.rowsKept, n - 80);
  EXPECT_LT(r.rowsKept, n);
  for (auto it = after.cbegin(); it != after.cend(); ++it) EXPECT_EQ(it.value(), original.value(it.key())) << it.key();
}

// What repair falls back on when the engine cannot read a page: rows stored
// before the upgrade hold eighteen fields, rows written since twenty.
TEST(UpgradedFile, PageScanReadsRowsWithAndWithoutTheAddedFields) {
  ScratchDir dir;
  makeUpgradedRecords("info.mdb", 900);
  QFile f("info.mdb");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const salvage::Scan s = salvage::scanInfoRows(f.readAll());
  ASSERT_EQ(s.rows.size(), 900u);
  int withEvent = 0;
  for (const salvage::Row& r : s.rows) {
    if (r.rowid % 3 != 0) continue;
    ASSERT_EQ(r.fields.size(), 20) << r.rowid;
    EXPECT_EQ(r.fields[18].bytes, "800 Y Swim");
    ++withEvent;
  }
  EXPECT_EQ(withEvent, 300);
}

TEST(UpgradedFile, CompactKeepsTheAddedFields) {
  ScratchDir dir;
  makeUpgradedRecords("info.mdb", 500);
  const auto original = records("info.mdb");
  DBEngine engine;
  engine.CompactDatabase(QDir::current().filePath("info.mdb"), QDir::current().filePath("compact.mdb"));
  EXPECT_EQ(records("compact.mdb"), original);
}

}  // namespace
