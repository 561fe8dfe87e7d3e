// The scorer and the database tool's in-use lock: what the clerk is told
// when the records are away from their name while the tool holds the lock,
// and when only a dead tool's lock file is left.
#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "dbfile.h"
#include "mainformfixture.h"

using namespace quillon;

namespace {

class ScorerLock : public test::MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    makeDb({{{"LNAME", "Able"}}});
    // The tool has moved the records aside, as a compaction once did.
    ASSERT_TRUE(QFile::rename(dbPath(), dir.file("info.old")));
  }
};

TEST_F(ScorerLock, RecordsMovedAsideWhileTheToolHoldsTheLockAreLeftAlone) {
  DbInUseLock tool;
  ASSERT_TRUE(tool.acquireExclusive(dir.file("info.mdb")));
  start();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains("being worked on by the database tool")) << qPrintable(seam.shown[0].text);
  EXPECT_TRUE(seam.shown[0].text.contains(QDir::toNativeSeparators(dir.file("info.mdb"))));
  EXPECT_FALSE(store().isOpen());
  EXPECT_FALSE(QFileInfo::exists(dir.file("info.mdb"))) << "nothing is made in the tool's place";
}

TEST_F(ScorerLock, LockFileOfADeadToolIsNoReasonToWait) {
  QFile(lockFilePath(dir.file("info.mdb"))).open(QIODevice::WriteOnly);
  start();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains("could not be opened")) << qPrintable(seam.shown[0].text);
  EXPECT_FALSE(seam.shown[0].text.contains("database tool"));
}

}  // namespace
