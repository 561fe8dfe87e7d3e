// Moving a folder's info.mdb onto the server.
#include <gtest/gtest.h>

#include "dbfile.h"
#include "pgimport.h"
#include "pgtest.h"
#include "recordsdb.h"
#include "testsupport.h"

using namespace quillon::pg;
using quillon::test::Row;

namespace {

class Import : public quillon::test::PgTest {
 protected:
  // A folder's records: IDs 3, 4, 9 and 12, with gaps as deletes leave them.
  QString makeFolder() { return makeFolderIn(dir_.path()); }
  QString makeFolderIn(const QString& folder) {
    const QString mdb = QDir(folder).filePath("info.mdb");
    quillon::createRecordsDatabase(mdb);
    quillon::test::insertRows(mdb, {Row{{"ID", "3"}, {"LNAME", "Irwin"}, {"RAW_PU", "41"}},
                                    Row{{"ID", "4"}, {"LNAME", "Jones"}, {"REMARK", "Ünal's team"}},
                                    Row{{"ID", "9"}, {"LNAME", "Kerr"}, {"TOTAL", "250"}},
                                    Row{{"ID", "12"}, {"LNAME", "Lowe"}}});
    return mdb;
  }
  // A row the server already holds under a chosen ID. Its RANK is empty where
  // the file's is NULL: the clerk cannot tell them apart, nor may the move.
  void serverRow(qint64 id, const QString& name, const QString& remark = QString()) {
    admin().exec("INSERT INTO info (id, lname, rank, remark) OVERRIDING SYSTEM VALUE VALUES ($1, $2, '', $3)",
                 {QByteArray::number(id), text(name), remark.isNull() ? Param() : text(remark)});
  }
  quillon::test::ScratchDir dir_;
};

}  // namespace

TEST_F(Import, KeepsFreeIdsListsTakenOnesAddsNothingTheSecondTimeAndMovesTheSequencePast) {
  const QString mdb = makeFolder();
  serverRow(4, "Jones", "Ünal's team");  // the same record: already there
  serverRow(9, "Someone Else");  // a different record under the file's ID: refused
  Connection server(scratch_->conninfo());

  ImportReport r = importRecords(server, mdb);
  EXPECT_EQ(r.read, 4);
  EXPECT_EQ(r.added, 2);
  EXPECT_EQ(r.alreadyThere, 1);
  ASSERT_EQ(r.refused.size(), 1);
  EXPECT_EQ(r.refused.front().id, 9);
  EXPECT_EQ(r.refused.front().ourName, "Kerr");
  EXPECT_EQ(r.refused.front().theirName, "Someone Else");

  auto station = this->station();
  const PgRecord irwin = *station->fetch(3);
  EXPECT_EQ(irwin.field("LNAME"), "Irwin");
  EXPECT_EQ(irwin.field("RAW_PU"), "41");
  EXPECT_EQ(station->fetch(4)->field("REMARK"), "Ünal's team");
  EXPECT_EQ(station->fetch(9)->field("LNAME"), "Someone Else");
  EXPECT_EQ(count(), 4);

  r = importRecords(server, mdb);
  EXPECT_EQ(r.added, 0);
  EXPECT_EQ(r.alreadyThere, 3);
  EXPECT_EQ(r.refused.size(), 1);
  EXPECT_EQ(count(), 4);

  EXPECT_EQ(station->add({{"LNAME", "Moss"}}).id, 13);
}

TEST_F(Import, NeverMovesTheSequenceBackBehindIdsStationsAlreadyGot) {
  const QString mdb = makeFolder();
  auto station = this->station();
  for (int i = 0; i < 20; ++i) station->add();
  Connection server(scratch_->conninfo());
  const ImportReport r = importRecords(server, mdb);
  EXPECT_EQ(r.added, 0);
  EXPECT_EQ(r.refused.size(), 4);  // the stations' blank rows hold 3, 4, 9 and 12
  EXPECT_EQ(station->add().id, 21);
}

TEST_F(Import, AFailureStoresNothing) {
  const QString mdb = makeFolder();
  // The last record holds bytes that are no UTF-8, which the server refuses
  // after the first three went in: they must go with it.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(mdb).constData(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE info SET REMARK = CAST(X'FF' AS TEXT) WHERE ID = 12", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  Connection server(scratch_->conninfo());
  try {
    importRecords(server, mdb);
    FAIL() << "bytes that are no UTF-8 were stored";
  } catch (const PgError& e) {
    EXPECT_EQ(e.sqlState(), "22021") << qPrintable(e.message());
  }
  EXPECT_EQ(count(), 0);
  // The connection is usable again afterwards: the transaction was ended.
  EXPECT_EQ(server.exec("SELECT 1").integer(0, 0), 1);

  // A clerk may not give IDs the server has not given.
  quillon::test::ScratchDir other;
  Connection clerk(scratch_->conninfo());
  clerk.exec("SET ROLE quillon_clerk");
  try {
    importRecords(clerk, makeFolderIn(other.path()));
    FAIL() << "a clerk gave IDs";
  } catch (const PgError& e) {
    EXPECT_EQ(e.sqlState(), "42501") << qPrintable(e.message());
  }
  EXPECT_EQ(count(), 0);

  EXPECT_THROW(importRecords(server, dir_.file("absent.mdb")), quillon::DbError);
  EXPECT_FALSE(QFile::exists(dir_.file("absent.mdb")));
}
