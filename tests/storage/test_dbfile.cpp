// The records database file: creation, its table, owner-only permissions and
// the in-use lock shared between the two programs.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "testsupport.h"

using quillon::DbInUseLock;

namespace {

TEST(RecordsDatabase, CreatedEmptyWithTheEighteenFieldsAndOwnerOnly) {
  quillon::test::ScratchDir dir;
  const QString path = dir.file("info.mdb");
  quillon::createRecordsDatabase(path);
  EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
            QFile::Permissions());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT * FROM info", -1, &st, nullptr), SQLITE_OK);
  QStringList cols;
  for (int i = 0; i < sqlite3_column_count(st); ++i) cols << QString::fromUtf8(sqlite3_column_name(st, i));
  EXPECT_EQ(cols, quillon::infoFieldNames());
  EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  // Text is kept as written: a padded points text is not turned into a number.
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO info (LNAME, TOTAL, C_PU) VALUES ('X', '0180', ' 60')", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT ID, TOTAL, C_PU FROM info", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)), "0180");
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)), " 60");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(RecordsDatabase, NameOrderIgnoresLetterCase) {
  quillon::test::ScratchDir dir;
  const QString path = dir.file("info.mdb");
  quillon::createRecordsDatabase(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO info (LNAME) VALUES ('Zane'), ('de Silva'), ('Davis'), ('evans')", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT * FROM info ORDER BY LName Asc", -1, &st, nullptr), SQLITE_OK);
  QStringList order;
  while (sqlite3_step(st) == SQLITE_ROW) order << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_EQ(order, QStringList({"Davis", "de Silva", "evans", "Zane"}));
}

TEST(RecordsDatabase, NeverOverwritesAnExistingFile) {
  quillon::test::ScratchDir dir;
  QFile f(dir.file("info.mdb"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("keep me");
  f.close();
  EXPECT_THROW(quillon::createRecordsDatabase(dir.file("info.mdb")), quillon::DbError);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}

TEST(InUseLock, SharedHoldersBlockTheExclusiveOneUntilReleased) {
  quillon::test::ScratchDir dir;
  const QString db = dir.file("info.mdb");
  EXPECT_EQ(quillon::lockFilePath(db), dir.file("info.ldb"));
  DbInUseLock a, b, tool;
  ASSERT_TRUE(a.acquireShared(db));
  ASSERT_TRUE(b.acquireShared(db));  // two scorers may share it
  QString why;
  EXPECT_FALSE(tool.acquireExclusive(db, &why));
  EXPECT_FALSE(why.isEmpty());
  EXPECT_TRUE(tool.inUseElsewhere());
  a.release();
  EXPECT_FALSE(tool.acquireExclusive(db));
  b.release();
  EXPECT_TRUE(tool.acquireExclusive(db));
  DbInUseLock late;
  EXPECT_FALSE(late.acquireShared(db));  // a scorer cannot start while the tool works
}

TEST(InUseLock, NoLockFileTellsNoLockPossibleFromInUse) {
  quillon::test::ScratchDir dir;
  const QString db = dir.file("info.mdb");
  ASSERT_TRUE(QDir(dir.path()).mkdir("info.ldb"));  // nothing can be locked here
  DbInUseLock lock;
  QString why;
  EXPECT_FALSE(lock.acquireShared(db, &why));
  EXPECT_FALSE(lock.inUseElsewhere());
  EXPECT_TRUE(why.contains("info.ldb")) << why.toStdString();
}

TEST(InUseLock, HeldByAnotherProcessAndDroppedWhenItDies) {
  quillon::test::ScratchDir dir;
  const QString db = dir.file("info.mdb");
  QFile(quillon::lockFilePath(db)).open(QIODevice::WriteOnly);
  QProcess holder;
  // flock(1) takes a shared lock and becomes the sleep that holds it.
  holder.start("flock", {"--shared", "--no-fork", quillon::lockFilePath(db), "sleep", "30"});
  ASSERT_TRUE(holder.waitForStarted());
  DbInUseLock tool;
  bool refused = false;
  for (int i = 0; i < 200 && !refused; ++i) {
    refused = !tool.acquireExclusive(db);
    if (!refused) tool.release(), QThread::msleep(10);
  }
  EXPECT_TRUE(refused);
  holder.kill();
  holder.waitForFinished();
  EXPECT_TRUE(tool.acquireExclusive(db));
}

// The lock file goes with its last holder, not before.
TEST(InUseLock, LastHolderRemovesTheLockFileAndNoOneLocksAGhost) {
  quillon::test::ScratchDir dir;
  const QString db = dir.file("info.mdb");
  const QString lf = quillon::lockFilePath(db);
  DbInUseLock a, b;
  ASSERT_TRUE(a.acquireShared(db));
  ASSERT_TRUE(b.acquireShared(db));
  a.release();
  EXPECT_TRUE(QFileInfo::exists(lf)) << "still held by the second scorer";
  b.release();
  EXPECT_FALSE(QFileInfo::exists(lf));

  // The file is made afresh by the next one, and locks as before.
  DbInUseLock tool, second;
  ASSERT_TRUE(tool.acquireExclusive(db));
  EXPECT_TRUE(QFileInfo::exists(lf));
  EXPECT_FALSE(second.acquireShared(db));
  tool.release();
  EXPECT_FALSE(QFileInfo::exists(lf));
}

}  // namespace
