// One records session per folder: the scorer's records, the five-event
// records and the test groups of one folder go through one connection, and
// a file the database tool put in the place of the one open is what every
// holder reads after the scorer opens the records again.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "fitnessrows.h"
#include "recordbackend.h"
#include "recordsdb.h"
#include "recordssession.h"
#include "rowarena.h"
#include "sqlitedb.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

TEST(RecordsSession, EveryStoreOfOneFolderGoesThroughOneConnection) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  std::unique_ptr<RecordBackend> scorer = RecordBackend::forDatabase(path);
  scorer->open();
  std::unique_ptr<FitnessRecords> lanes = FitnessRecords::forDatabase(path);
  std::unique_ptr<TestGroups> groups = TestGroups::forDatabase(path);

  std::shared_ptr<RecordsSession> folder = RecordsSession::forDatabase(path);
  const quint64 before = folder->statements();
  lanes->add({{"ssn", "300000001"}, {"test_date", "2025-10-01"}});
  groups->all();
  scorer->fetch(1);
  // Every one of them counted by the folder's session: the same connection.
  EXPECT_GE(folder->statements() - before, 4u);
  EXPECT_EQ(&dynamic_cast<FitnessRows&>(*lanes).session(), folder.get());
}

TEST(RecordsSession, AFileTheToolPutInPlaceIsReadByEveryHolderOnceTheScorerOpensAgain) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  insertRows(path, {{{"LNAME", "Before"}}});
  std::unique_ptr<RecordBackend> scorer = RecordBackend::forDatabase(path);
  scorer->open();
  std::unique_ptr<FitnessRecords> lanes = FitnessRecords::forDatabase(path);
  lanes->add({{"ssn", "300000001"}, {"test_date", "2025-10-01"}});

  // The scorer lets go while the tool compacts: the tool writes a new file
  // and renames it over the old one.
  scorer->close();
  const QString made = dir.file(QStringLiteral("compacted.mdb"));
  createRecordsDatabase(made);
  insertRows(made, {{{"LNAME", "After"}}});
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(made, path));

  scorer->open();
  RowArena rows;
  scorer->readRows(QStringLiteral("info"), rows);
  ASSERT_EQ(rows.rowCount(), 1);
  EXPECT_EQ(rows.value(0, scorer->column(QStringLiteral("LNAME"))), "After");
  // The lanes, still holding the session, read the new file too: it holds
  // no five-event record yet.
  EXPECT_TRUE(lanes->readAll().empty());
}

namespace {

// The descriptors this process holds open on `path`.
int openDescriptorsOf(const QString& path) {
  const QString target = QFileInfo(path).canonicalFilePath();
  int n = 0;
  for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files))
    if (fd.symLinkTarget() == target) ++n;
  return n;
}

}  // namespace

// The folder's connection keeps its statements to run them again, and that
// must cost nobody else anything: a statement given up in the middle of its
// rows holds no read of the file that would keep another station from
// writing, a statement run again carries none of the last caller's values,
// two of the same text run one inside the other each keep their own rows,
// and closing the records lets go of the file.
TEST(RecordsSession, StatementsKeptForLaterHoldNoReadNoValuesAndNotTheFile) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  {
    std::shared_ptr<RecordsSession> folder = RecordsSession::forDatabase(path);
    sqlite::Database& db = folder->file(RecordsSession::Needs::FiveEvent);
    const QString tables = QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    {
      sqlite::Statement first(db, tables);
      ASSERT_TRUE(first.step());
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; CREATE TABLE written_elsewhere (x); COMMIT", nullptr, nullptr,
                           nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(other);
    sqlite3_close(other);

    const QString echo = QStringLiteral("SELECT ?");
    {
      sqlite::Statement given(db, echo);
      given.bindText(1, QStringLiteral("the last caller's"));
      ASSERT_TRUE(given.step());
    }
    sqlite::Statement unbound(db, echo);
    ASSERT_TRUE(unbound.step());
    EXPECT_TRUE(unbound.text(0).isNull()) << unbound.text(0).toStdString();

    QStringList outer, inner;
    sqlite::Statement a(db, tables);
    while (a.step()) {
      outer << a.text(0);
      if (outer.size() > 1) continue;
      sqlite::Statement b(db, tables);
      while (b.step()) inner << b.text(0);
    }
    EXPECT_TRUE(outer.contains(QStringLiteral("written_elsewhere"))) << "the table another station wrote";
    EXPECT_EQ(outer, inner);
    EXPECT_GE(openDescriptorsOf(path), 1);
  }
  EXPECT_EQ(openDescriptorsOf(path), 0) << "the file still held once the records were closed";
}
