// One records session per folder: the scorer's records, the five-event
// records and the test groups of one folder go through one connection, and
// a file the database tool put in the place of the one open is what every
// holder reads after the scorer opens the records again.

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "fitnessrows.h"
#include "recordbackend.h"
#include "recordsdb.h"
#include "recordssession.h"
#include "rowarena.h"
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
