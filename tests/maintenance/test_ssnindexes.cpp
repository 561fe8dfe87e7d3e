// The index by SSN of both tables of a records file: a file made before it
// gains it at its first open, the engine answers a soldier's query from it
// (not by reading every row), and Compact and Repair leave it in place.

#include <QDir>
#include <gtest/gtest.h>

#include "dbengine.h"
#include "fitnessrecords.h"
#include "fitnessrecordsfixture.h"
#include "infofields.h"
#include "recordbackend.h"
#include "recordsfixture.h"
#include "ssnkey.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using namespace quillon::dbtool::test;
using quillon::test::fullFitnessRecord;
using quillon::test::ScratchDir;

namespace {

QString path() { return QDir::current().filePath("info.mdb"); }

QStringList ssnIndexes() {
  SqlDb d(path(), SQLITE_OPEN_READONLY);
  QStringList names;
  for (const QStringList& r : d.rows("SELECT name FROM sqlite_master WHERE type='index' AND name LIKE '%ssn_key' "
                                     "ORDER BY name"))
    names << r.value(0);
  return names;
}
const QStringList kBoth = {"fitness_tests_ssn_key", "info_ssn_key"};

// A records file as the scorer left it before the index: both tables, some
// records of each, no index by SSN.
void makeOlderFile() {
  makeRecords("info.mdb", 120);
  auto five = FitnessRecords::forDatabase(path());
  for (int i = 1; i <= 80; ++i) five->add(fullFitnessRecord(i));
  five->close();
  SqlDb d(path());
  d.exec("DROP INDEX info_ssn_key");
  d.exec("DROP INDEX fitness_tests_ssn_key");
}

void openAsTheScorerDoes() {
  auto info = RecordBackend::forDatabase(path());
  info->open();
  info->close();
}

}  // namespace

TEST(SsnIndexes, AnOlderFileGainsBothAtItsFirstOpenAndTheEngineUsesThem) {
  ScratchDir dir;
  makeOlderFile();
  ASSERT_TRUE(ssnIndexes().isEmpty());
  // The eighteen fields of every record (the open may add fields of its own).
  const auto eighteen = [] {
    QMap<qint64, QStringList> rows = records("info.mdb");
    for (QStringList& r : rows) r = r.mid(0, infoFieldNames().size());
    return rows;
  };
  const auto before = eighteen();
  ASSERT_EQ(before.size(), 120);
  openAsTheScorerDoes();
  EXPECT_EQ(ssnIndexes(), kBoth);
  EXPECT_EQ(eighteen(), before);

  // Each table's query for one soldier is answered from its index.
  SqlDb d(path(), SQLITE_OPEN_READONLY);
  const auto plan = [&](const QString& sql) {
    QStringList steps;
    for (const QStringList& r : d.rows("EXPLAIN QUERY PLAN " + sql)) steps << r.value(3);
    return steps.join(" / ");
  };
  EXPECT_TRUE(plan("SELECT * FROM info WHERE " + ssnKeySqlite("SSN") + " = '200000001'").contains("info_ssn_key"));
  EXPECT_TRUE(plan("SELECT * FROM fitness_tests WHERE " + ssnKeySqlite("ssn") +
                   " IN (SELECT value FROM json_each('[\"200000001\"]')) ORDER BY test_date, name, id")
                  .contains("fitness_tests_ssn_key"));
}

TEST(SsnIndexes, TheFiveEventStoreAloneAddsThemToo) {
  ScratchDir dir;
  makeOlderFile();
  auto five = FitnessRecords::forDatabase(path());
  five->open();
  five->close();
  EXPECT_EQ(ssnIndexes(), kBoth);
}

TEST(SsnIndexes, CompactAndRepairKeepThem) {
  ScratchDir dir;
  makeOlderFile();
  openAsTheScorerDoes();
  const RecordingMessages compacted = runCommand(false, "info.mdb");
  ASSERT_EQ(compacted.boxes.size(), 1u);
  ASSERT_EQ(compacted.boxes[0].text, "Compact database successful!");
  EXPECT_EQ(ssnIndexes(), kBoth);
  // Damage the engine cannot read past: the file is rebuilt from its schema.
  const qint64 root = SqlDb(path(), SQLITE_OPEN_READONLY)
                          .value("SELECT rootpage FROM sqlite_master WHERE name='fitness_tests'")
                          .toLongLong();
  damagePage("info.mdb", root, 4096);
  DBEngine engine;
  ASSERT_TRUE(engine.RepairDatabase(path()).rebuilt);
  EXPECT_EQ(ssnIndexes(), kBoth);
}

TEST(SsnIndexes, ARepairThatLostTheSchemaLeavesThemToTheNextOpen) {
  ScratchDir dir;
  makeOlderFile();
  openAsTheScorerDoes();
  damagePage("info.mdb", 1, 4096);
  DBEngine engine;
  ASSERT_TRUE(engine.RepairDatabase(path()).rebuilt);
  openAsTheScorerDoes();
  EXPECT_EQ(ssnIndexes(), kBoth);
  SqlDb d(path(), SQLITE_OPEN_READONLY);
  EXPECT_EQ(d.value("PRAGMA integrity_check"), "ok");
}

TEST(SsnIndexes, TheFilesKeyTrimsEveryCharacterQtCallsWhiteSpace) {
  // The rules match an SSN after QString::trimmed(): a space the key kept
  // would hide that soldier's record from the index.
  for (char32_t c = 0; c <= 0xffff; ++c) {
    if (QChar::isSpace(c)) {
      EXPECT_TRUE(ssnSpaceCharacters().contains(QChar(c))) << "U+" << std::hex << unsigned(c);
    }
  }
}
