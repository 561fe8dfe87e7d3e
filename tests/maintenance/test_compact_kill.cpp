// Compact killed outright at each of its steps, in a child process: what the
// folder holds at that moment, and what the start-up recovery makes of it.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "fsops.h"
#include "leftovers.h"
#include "recordsdb.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::Row;
using quillon::test::ScratchDir;

namespace {

QByteArray hashOf(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A records database of `n` soldiers with every fourth one deleted, so the
// compacted copy differs from the file as it was.
void makeRecords(const QString& path, int n, const QString& tag) {
  createRecordsDatabase(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
  QString sql = "PRAGMA synchronous=OFF; BEGIN;";
  for (int i = 1; i <= n; ++i)
    sql += QString("INSERT INTO info (LNAME, SSN, REMARK) VALUES ('%1%2', '%3', '%4');")
               .arg(tag)
               .arg(i)
               .arg(100000000 + i)
               .arg(QString(120, QChar('r')));
  sql += "DELETE FROM info WHERE ID % 4 = 0; COMMIT;";
  EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

QStringList namesIn(const QString& dir) {
  QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  names.removeIf([](const QString& n) { return n.endsWith(".ldb"); });
  return names;
}

TEST(CompactKilled, AtEveryStepTheRecordsKeepTheirNameAndStartUpSettlesTheRest) {
  ScratchDir dir;
  int kills = 0;
  for (int k = 1; k < 100; ++k) {
    SCOPED_TRACE("killed at step " + std::to_string(k));
    const QString run = dir.file(QString("run%1").arg(k));
    ASSERT_TRUE(QDir().mkpath(run));
    const QDir r(run);
    makeRecords(r.filePath("info.mdb"), 400, "NOW");
    makeRecords(r.filePath("info.old"), 6, "BEFORE");
    const QList<Row> nowRows = test::readRows(r.filePath("info.mdb"));
    const QByteArray now = hashOf(r.filePath("info.mdb")), before = hashOf(r.filePath("info.old"));

    QProcess victim;
    victim.start(QStringLiteral(COMPACT_VICTIM), {run, QString::number(k)});
    ASSERT_TRUE(victim.waitForFinished(-1));
    if (victim.exitStatus() == QProcess::NormalExit) {
      // No step that far: the run went through.
      EXPECT_TRUE(victim.readAllStandardOutput().contains("Compact database successful!"));
      EXPECT_EQ(test::readRows(r.filePath("info.mdb")), nowRows);
      EXPECT_EQ(hashOf(r.filePath("info.old")), now);
      EXPECT_EQ(namesIn(run), QStringList({"info.mdb", "info.old"}));
      break;
    }
    ++kills;
    const QString where = QString::fromLocal8Bit(victim.readAllStandardError()).trimmed();
    SCOPED_TRACE(where.toStdString());

    // Right after the kill: the records are whole under their own name and
    // a backup exists, the earlier one (perhaps hidden) or the new one.
    EXPECT_EQ(test::readRows(r.filePath("info.mdb")), nowRows);
    const QByteArray old = hashOf(r.filePath("info.old"));
    EXPECT_TRUE(old == before || old == now || hashOf(r.filePath(".info.old.keep")) == before);

    // The next start puts the rest right, asking nothing.
    EXPECT_EQ(settleLeftovers(r.filePath("info.mdb")), QStringList());
    EXPECT_EQ(namesIn(run), QStringList({"info.mdb", "info.old"}));
    EXPECT_EQ(test::readRows(r.filePath("info.mdb")), nowRows);
    // Either nothing happened, or the compaction counts as done: the backup
    // is then the file as it was, on its own and not a second name.
    const QByteArray mdbAfter = hashOf(r.filePath("info.mdb")), oldAfter = hashOf(r.filePath("info.old"));
    if (oldAfter == before) {
      EXPECT_EQ(mdbAfter, now);
    } else {
      EXPECT_EQ(oldAfter, now);
      EXPECT_NE(mdbAfter, now);
      EXPECT_FALSE(dbtool::fs::sameFile(r.filePath("info.mdb"), r.filePath("info.old")));
    }
  }
  EXPECT_GE(kills, 15) << "the compaction has fewer steps than expected";
}

// What the earlier way of compacting left when cut short: the records only
// under the backup's name, the previous backup hidden, a half-written copy
// beside them and the lock file of the dead tool.
TEST(CompactKilled, RecordsFoundOnlyUnderTheBackupNameReturnToTheirName) {
  ScratchDir dir;
  makeRecords(dir.file("info.old"), 50, "NOW");
  makeRecords(dir.file(".info.old.keep"), 5, "BEFORE");
  const QByteArray now = hashOf(dir.file("info.old")), before = hashOf(dir.file(".info.old.keep"));
  QFile half(dir.file("info.mdb.Ab12Cd.tmp"));
  ASSERT_TRUE(half.open(QIODevice::WriteOnly));
  half.write(QByteArray(3000, 'x'));
  half.close();
  QFile(dir.file("info.mdb.Ab12Cd.tmp-journal")).open(QIODevice::WriteOnly);
  QFile(dir.file("info.ldb")).open(QIODevice::WriteOnly);

  EXPECT_EQ(databasesWithLeftovers(dir.path()), QStringList{dir.file("info.mdb")});
  EXPECT_EQ(settleLeftovers(dir.file("info.mdb")), QStringList());
  EXPECT_EQ(hashOf(dir.file("info.mdb")), now);
  EXPECT_EQ(hashOf(dir.file("info.old")), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"info.mdb", "info.old"}));
}

// A copy beside a database that fails its check may be the best there is of
// some records: it stays, and the clerk is told.
TEST(CompactKilled, CopyBesideADamagedDatabaseIsKept) {
  ScratchDir dir;
  makeRecords(dir.file("info.mdb.Zz9Yy8.tmp"), 60, "COPY");
  QFile damaged(dir.file("info.mdb"));
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write(QByteArray("SQLite format 3\0", 16) + QByteArray(8192, '\x7f'));
  damaged.close();
  const QByteArray copy = hashOf(dir.file("info.mdb.Zz9Yy8.tmp"));
  const QStringList problems = settleLeftovers(dir.file("info.mdb"));
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(problems[0].contains("info.mdb.Zz9Yy8.tmp")) << qPrintable(problems[0]);
  EXPECT_EQ(hashOf(dir.file("info.mdb.Zz9Yy8.tmp")), copy);
}

}  // namespace
