// Repair on real files in scratch folders: sound and damaged databases, files
// of other kinds, and what is left on disk when any step fails.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "commands.h"
#include "dbengine.h"
#include "dbfile.h"
#include "leftovers.h"
#include "recordingmessages.h"
#include "recordsfixture.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using quillon::test::ScratchDir;
using quillon::dbtool::test::Box;
using quillon::dbtool::test::RecordingMessages;
using namespace quillon::dbtool::test;

// ---------------------------------------------------------------- repair

TEST(Commands, RepairOfASoundDatabaseLeavesNoBackupAndKeepsEveryRecord) {
  ScratchDir dir;
  makeRecords("info.mdb", 200);
  {
    SqlDb d("info.mdb");
    d.exec("CREATE INDEX byname ON info(LNAME)");
  }
  const auto before = records("info.mdb");
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.repair(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, "Database repair successful!");
  EXPECT_EQ(seam.boxes[0].title, "Task Complete");
  EXPECT_EQ(seam.boxes[0].icon, BoxIcon::None);
  EXPECT_EQ(records("info.mdb"), before);
  EXPECT_EQ(folderNames(), QStringList{"info.mdb"});
  EXPECT_TRUE(cmd.engineCreated());
}

TEST(Engine, RepairOfADamagedDatabaseKeepsEveryRowOnUndamagedPages) {
  ScratchDir dir;
  const int n = 3000;
  makeRecords("info.mdb", n);
  const auto original = records("info.mdb");
  const qint64 pages = QFileInfo("info.mdb").size() / 4096;
  ASSERT_GT(pages, 40);
  damagePage("info.mdb", pages / 2, 4096);
  {
    SqlDb d("info.mdb");
    ASSERT_NE(d.value("PRAGMA integrity_check"), "ok");
  }

  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_TRUE(r.rebuilt);
  const auto after = records("info.mdb");
  EXPECT_EQ(r.rowsKept, after.size());
  // A page holds a few dozen records; everything else is kept, unchanged.
  EXPECT_EQ(r.pagesDamaged, 1);
  EXPECT_GE(r.rowsKept, n - 80);
  EXPECT_LT(r.rowsKept, n);
  qint64 firstMissing = 0, lastMissing = 0;
  for (qint64 id = 1; id <= n; ++id) {
    if (after.contains(id)) {
      EXPECT_EQ(after.value(id), original.value(id)) << id;
    } else {
      if (!firstMissing) firstMissing = id;
      lastMissing = id;
    }
  }
  EXPECT_EQ(lastMissing - firstMissing + 1, n - r.rowsKept) << "the lost rows are those of one page";
  SqlDb d("info.mdb");
  EXPECT_EQ(d.value("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(d.value("SELECT seq FROM sqlite_sequence WHERE name='info'"), QString::number(n));
  EXPECT_EQ(folderNames(), QStringList({"info.mdb", "info.old"}));
}

TEST(Commands, RepairSaysHowManyRecordsWereRecoveredAndWhereTheOriginalIs) {
  ScratchDir dir;
  makeRecords("info.mdb", 2000);
  const qint64 pages = QFileInfo("info.mdb").size() / 4096;
  damagePage("info.mdb", pages / 3, 4096);
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.repair(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  const qint64 kept = records("info.mdb").size();
  ASSERT_LT(kept, 2000);
  const QString& text = seam.boxes[0].text;
  EXPECT_TRUE(text.startsWith("Database repair successful!\n\n"));
  EXPECT_TRUE(text.contains(QString("%1 record(s) were recovered.").arg(kept))) << qPrintable(text);
  EXPECT_TRUE(text.contains("1 page(s) of records could not be read at all")) << qPrintable(text);
  EXPECT_TRUE(text.contains("kept as " + QDir::toNativeSeparators(QDir::current().filePath("info.old"))))
      << qPrintable(text);
  EXPECT_FALSE(text.contains("found damaged")) << "no record was found half-readable";
  EXPECT_TRUE(seam.ends.empty());
}

TEST(Engine, RepairOfADamagedLastPageCountsThePageNotTheIdsAfterTheLastRecord) {
  ScratchDir dir;
  makeRecords("info.mdb", 1500);
  const qint64 pages = QFileInfo("info.mdb").size() / 4096;
  damagePage("info.mdb", pages, 4096);  // the right-most leaf: the newest rows
  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_EQ(r.pagesDamaged, 1);
  EXPECT_EQ(r.rowsDamaged, 0);
  EXPECT_LT(r.rowsKept, 1500);
  EXPECT_EQ(records("info.mdb").size(), r.rowsKept);
}

TEST(Engine, DamagedIndexIsRebuiltWithEveryRecordKept) {
  ScratchDir dir;
  makeRecords("info.mdb", 3000);
  qint64 indexRoot = 0;
  {
    SqlDb d("info.mdb");
    d.exec("CREATE INDEX byname ON info(LNAME)");
    indexRoot = d.value("SELECT rootpage FROM sqlite_master WHERE name='byname'").toLongLong();
  }
  const auto original = records("info.mdb");
  ASSERT_GT(indexRoot, 2);
  damagePage("info.mdb", indexRoot, 4096);
  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
  EXPECT_TRUE(r.rebuilt);
  EXPECT_EQ(r.rowsDamaged + r.pagesDamaged, 0);
  EXPECT_EQ(r.rowsKept, 3000);
  EXPECT_EQ(records("info.mdb"), original);
  SqlDb d("info.mdb");
  EXPECT_EQ(d.value("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(d.value("SELECT count(*) FROM sqlite_master WHERE name='byname'"), "1");
}

TEST(Engine, DatabaseOfWhichNothingCanBeReadIsNotReplacedByAnEmptyOne) {
  ScratchDir dir;
  makeRecords("info.mdb", 3000);
  // Every page but the first overwritten: not one record is left on them.
  for (qint64 p = 2; p <= QFileInfo("info.mdb").size() / 4096; ++p) damagePage("info.mdb", p, 4096);
  const QByteArray damaged = hashOf("info.mdb");
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.repair(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_TRUE(seam.boxes[0].text.startsWith(QString("Error %1: ").arg(SQLITE_CORRUPT))) << qPrintable(seam.boxes[0].text);
  EXPECT_EQ(seam.ends, std::vector<int>{1});
  EXPECT_EQ(hashOf("info.mdb"), damaged);
  EXPECT_EQ(folderNames(), QStringList{"info.mdb"});
}

TEST(Engine, FilesOfOtherKindsAreLeftByteForByte) {
  ScratchDir dir;
  QByteArray picture("\x89PNG\r\n\x1a\n", 8);
  picture += randomBytes(5000, 3);
  writeFile("picture.mdb", picture);
  writeFile("noise.mdb", randomBytes(8192, 11));
  writeFile("text.mdb", QByteArray("LNAME,RANK\nDOE,SGT\n").repeated(300));
  for (const char* name : {"picture.mdb", "noise.mdb", "text.mdb"}) {
    const QByteArray before = hashOf(name);
    DBEngine engine;
    try {
      engine.RepairDatabase(QDir::current().filePath(name));
      ADD_FAILURE() << name << " was taken for a database";
    } catch (const ToolError& e) {
      EXPECT_EQ(e.number(), SQLITE_NOTADB) << name;
      EXPECT_TRUE(e.description().endsWith("file is not a database")) << qPrintable(e.description());
    }
    EXPECT_EQ(hashOf(name), before) << name;
    EXPECT_THROW(engine.CompactDatabase(QDir::current().filePath(name), QDir::current().filePath("out.mdb")),
                 ToolError);
    EXPECT_FALSE(QFileInfo::exists("out.mdb"));
  }
  EXPECT_EQ(folderNames(), (QStringList{"noise.mdb", "picture.mdb", "text.mdb"}));
}

TEST(Repair, EachStepFailingInTurnLeavesTheFileReadable) {
  ScratchDir dir;
  bool completed = false;
  for (int k = 1; k < 100 && !completed; ++k) {
    const QString run = QDir(dir.path()).filePath(QString("run%1").arg(k));
    ASSERT_TRUE(QDir().mkpath(run));
    ASSERT_TRUE(QDir::setCurrent(run));
    makeRecords("info.mdb", 1200);
    const auto original = records("info.mdb");
    damagePage("info.mdb", QFileInfo("info.mdb").size() / 4096 / 2, 4096);
    const QByteArray damaged = hashOf("info.mdb");
    NthStepFails plan;
    plan.failAt = k;
    RecordingMessages seam;
    MaintenanceCommands cmd(seam, &plan);
    cmd.repair(chosen("info.mdb"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    if (plan.calls < k) {
      completed = true;
      EXPECT_TRUE(seam.boxes[0].text.startsWith(MaintenanceCommands::kRepairDone));
      EXPECT_GT(records("info.mdb").size(), 1100);
      EXPECT_EQ(hashOf("info.old"), damaged);
      break;
    }
    SCOPED_TRACE("failing step: " + plan.failedStep);
    EXPECT_EQ(seam.ends, std::vector<int>{1});
    // Up to the last rename the damaged file stays as it was; after it, the
    // rebuilt file is complete. A copy of the damaged file under the backup
    // name is that file, byte for byte.
    const QByteArray h = hashOf("info.mdb");
    if (h != damaged) {
      EXPECT_EQ(plan.failedStep, "flush directory");
      EXPECT_GT(records("info.mdb").size(), 1100);
      EXPECT_LE(records("info.mdb").size(), original.size());
    }
    QStringList names = folderNames();
    if (names.removeAll("info.old")) {
      EXPECT_EQ(hashOf("info.old"), damaged);
    }
    EXPECT_EQ(names, QStringList{"info.mdb"}) << "no temporary file left behind";
  }
  EXPECT_TRUE(completed);
}
