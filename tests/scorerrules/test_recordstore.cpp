// The record store on its own: the cursor over real records (a folder's
// file and the records server), its edit buffer, that a row changed by
// another station is never written over unseen, and that every engine
// failure reaches the caller.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <libpq-fe.h>

#include "storefixture.h"

using quillon::ConflictError;
using quillon::DbError;
using quillon::RecordStore;
using quillon::StoreConflict;
using quillon::test::FileRecords;

namespace {

using quillon::test::Backends;
using quillon::test::BackendNames;

template <typename Records>
class StoreTest : public quillon::test::StoreTest<Records> {
 protected:
  void openStore() { this->store->refresh(); }
};
TYPED_TEST_SUITE(StoreTest, Backends, BackendNames);

TYPED_TEST(StoreTest, EmptyTableHasNoCurrentRow) {
  this->openStore();
  EXPECT_TRUE(this->store->eof());
  EXPECT_EQ(this->store->currentRow(), -1);
  EXPECT_THROW(this->store->field("LNAME"), DbError);
  EXPECT_THROW(this->store->edit(), DbError);
  EXPECT_THROW(this->store->deleteCurrent(), DbError);
  EXPECT_THROW(this->store->moveLast(), DbError);
}

TYPED_TEST(StoreTest, RowSourceOrdersByNameAndFieldsAreFoundWithoutCase) {
  this->addNames({"Miller", "Adams", "Zeller", "Adams"});
  this->openStore();
  EXPECT_EQ(this->namesInOrder(), QStringList({"Adams", "Adams", "Miller", "Zeller"}));
  EXPECT_EQ(this->store->currentRow(), 0);
  EXPECT_EQ(this->store->field("lname"), "Adams");
  EXPECT_EQ(this->store->field("LName"), "Adams");
  EXPECT_EQ(this->store->fieldIndex("raw_pu"), this->store->fieldIndex("RAW_PU"));
  // The eighteen fields, and on a file the two it gains when first opened.
  for (const QString& f : quillon::infoFieldNames()) EXPECT_GE(this->store->fieldIndex(f), 0) << f.toStdString();
  EXPECT_LE(this->store->fieldNames().size(), quillon::infoFieldNames().size() + 2);
  EXPECT_THROW(this->store->field("NOSUCH"), DbError);
}

TYPED_TEST(StoreTest, AddNewStoresAnEmptyRowThatMoveLastMakesCurrent) {
  this->addNames({"Baker", "Carter"});
  this->openStore();
  this->store->edit();
  this->store->addNew();
  this->store->update();
  // The new row is stored but the cursor has not moved yet.
  EXPECT_EQ(this->store->field("LNAME"), "Baker");
  this->store->moveLast();
  EXPECT_EQ(this->store->currentRow(), 2);
  EXPECT_EQ(this->store->field("LNAME"), "");
  const QString id = this->store->field("ID");
  EXPECT_FALSE(id.isEmpty());
  EXPECT_EQ(this->records.scalar("SELECT COUNT(*) FROM info WHERE ID=" + id + " AND LNAME IS NULL"), "1");
  // Even a name that sorts first stays at the end until the next re-query.
  this->store->edit();
  this->store->setField("LNAME", "Aaron");
  this->store->update();
  EXPECT_EQ(this->namesInOrder(), QStringList({"Baker", "Carter", "Aaron"}));
  this->store->refresh();
  EXPECT_EQ(this->namesInOrder(), QStringList({"Aaron", "Baker", "Carter"}));
}

TYPED_TEST(StoreTest, EditUpdateWritesOnlyTheChangedFields) {
  this->addNames({"Baker"});
  this->records.exec("UPDATE info SET REMARK='kept', DOB='01/02/1990'");
  this->openStore();
  RecordStore& store = *this->store;
  store.edit();
  store.setField("DOB", "03/04/1991");
  EXPECT_EQ(store.field("DOB"), "03/04/1991");  // the buffer is what the row reads while editing
  store.update();
  EXPECT_FALSE(store.editing());
  EXPECT_EQ(this->records.scalar("SELECT DOB FROM info"), "03/04/1991");
  EXPECT_EQ(this->records.scalar("SELECT REMARK FROM info"), "kept");
  EXPECT_THROW(store.setField("DOB", "x"), DbError);  // no Edit or AddNew pending
  EXPECT_THROW(store.update(), DbError);
  store.edit();
  EXPECT_THROW(store.setField("ID", "99"), DbError);
}

// Two scorers (or stations) have read the same row; the second to store it
// must not write over the first one's change unseen.
TYPED_TEST(StoreTest, ARowChangedElsewhereIsNotWrittenOverAndTheClerkChooses) {
  this->addNames({"Baker"});
  this->records.exec("UPDATE info SET RAW_PU='40', REMARK='first'");
  this->openStore();
  std::unique_ptr<RecordStore> other = this->records.store();
  other->refresh();
  RecordStore& store = *this->store;
  const qint64 key = store.rowKey(0);
  const int pu = store.fieldIndex("RAW_PU");
  const int remark = store.fieldIndex("REMARK");

  other->updateByKey(other->rowKey(0), {{pu, "45"}, {remark, "retested"}});
  QSignalSpy stored(&store, &RecordStore::recordStored);
  StoreConflict conflict;
  try {
    store.updateByKey(key, {{pu, "50"}});
    ADD_FAILURE() << "stored over the other station's change";
  } catch (const ConflictError& e) {
    conflict = e.conflict();
  }
  // Nothing written, and the clerk is told both sides of each field.
  EXPECT_EQ(this->records.scalar("SELECT RAW_PU FROM info"), "45");
  EXPECT_EQ(stored.count(), 0);
  ASSERT_EQ(conflict.clashes.size(), 2);
  for (const quillon::FieldClash& c : conflict.clashes) {
    if (c.field.toUpper() == "RAW_PU") {
      EXPECT_EQ(c.theirs, "45");
      EXPECT_EQ(c.asRead, "40");
      EXPECT_EQ(c.ours, "50");
      EXPECT_TRUE(c.changedByUs);
    } else {
      EXPECT_EQ(c.field.toUpper(), "REMARK");
      EXPECT_EQ(c.theirs, "retested");
      EXPECT_FALSE(c.changedByUs);
    }
  }
  // The row still shows what was read until the clerk chooses.
  EXPECT_EQ(store.value(0, pu), "40");

  // Store ours: our field goes over theirs, their other change stays.
  store.storeOurs(conflict, {{pu, "50"}});
  EXPECT_EQ(this->records.scalar("SELECT RAW_PU || '/' || REMARK FROM info"), "50/retested");
  EXPECT_EQ(store.value(0, remark), "retested");
  EXPECT_EQ(stored.count(), 1);

  // Keep theirs: the row takes their values and the next store builds on them.
  this->records.exec("UPDATE info SET REMARK='third'");
  try {
    store.updateByKey(key, {{pu, "55"}});
    ADD_FAILURE() << "stored over the other station's change";
  } catch (const ConflictError& e) {
    conflict = e.conflict();
  }
  store.keepTheirs(conflict);
  EXPECT_EQ(store.value(0, remark), "third");
  EXPECT_EQ(store.value(0, pu), "50");
  store.updateByKey(key, {{pu, "60"}});
  EXPECT_EQ(this->records.scalar("SELECT RAW_PU || '/' || REMARK FROM info"), "60/third");

  // A row deleted elsewhere is an error naming the deletion, never a silent no-op.
  this->records.exec("DELETE FROM info");
  try {
    store.updateByKey(key, {{pu, "70"}});
    ADD_FAILURE() << "no error";
  } catch (const ConflictError&) {
    ADD_FAILURE() << "a deleted row reported as changed";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("deleted")) << e.message().toStdString();
  }
  EXPECT_FALSE(store.storedRecord(key).has_value());
}

// No value and empty text look the same to the clerk, so a field another
// station only turned from one into the other is no change to be asked about:
// the store goes through on the file and on the server alike.
TYPED_TEST(StoreTest, AFieldEmptiedElsewhereFromNoValueOrBackIsNoConflict) {
  this->addNames({"Baker", "Cole"});
  this->records.exec("UPDATE info SET REMARK='' WHERE LNAME='Baker'");
  this->records.exec("UPDATE info SET REMARK=NULL WHERE LNAME='Cole'");
  this->openStore();
  RecordStore& store = *this->store;
  const int pu = store.fieldIndex("RAW_PU");
  const qint64 baker = store.rowKey(0), cole = store.rowKey(1);
  this->records.exec("UPDATE info SET REMARK=NULL WHERE LNAME='Baker'");
  this->records.exec("UPDATE info SET REMARK='' WHERE LNAME='Cole'");
  try {
    store.updateByKey(baker, {{pu, "41"}});
    store.updateByKey(cole, {{pu, "42"}});
  } catch (const ConflictError& e) {
    ADD_FAILURE() << "a clash over " << e.conflict().clashes.size() << " field(s), first "
                  << qPrintable(e.conflict().clashes.value(0).field);
  }
  EXPECT_EQ(this->records.scalar("SELECT RAW_PU FROM info WHERE LNAME='Baker'"), "41");
  EXPECT_EQ(this->records.scalar("SELECT RAW_PU FROM info WHERE LNAME='Cole'"), "42");

  // A real value put in elsewhere over the empty one still is a change.
  this->records.exec("UPDATE info SET REMARK='retested' WHERE LNAME='Baker'");
  EXPECT_THROW(store.updateByKey(baker, {{pu, "43"}}), ConflictError);
}

TYPED_TEST(StoreTest, DeleteThenMoveNextWalksOffTheEnd) {
  this->addNames({"A", "B", "C"});
  this->openStore();
  this->store->moveNext();
  this->store->deleteCurrent();  // B
  EXPECT_EQ(this->store->currentRow(), -1);  // standing on the deleted row
  EXPECT_THROW(this->store->field("LNAME"), DbError);
  this->store->moveNext();
  EXPECT_EQ(this->store->field("LNAME"), "C");
  this->store->deleteCurrent();  // C, the last one
  this->store->moveNext();
  EXPECT_TRUE(this->store->eof());
  EXPECT_THROW(this->store->moveNext(), DbError);
  EXPECT_THROW(this->store->deleteCurrent(), DbError);
  EXPECT_EQ(this->records.scalar("SELECT count(*) || LNAME FROM info GROUP BY LNAME"), "1A");
}

TYPED_TEST(StoreTest, RemoveRowKeepsTheCursorOnItsRecord) {
  this->addNames({"A", "B", "C", "D"});
  this->openStore();
  this->store->moveTo(2);  // C
  QSignalSpy removed(this->store.get(), &RecordStore::rowRemoved);
  this->store->removeRow(0);
  EXPECT_EQ(removed.count(), 1);
  EXPECT_EQ(this->store->field("LNAME"), "C");
  this->store->removeRow(1);  // C itself: the row after it takes its place
  EXPECT_EQ(this->store->field("LNAME"), "D");
  EXPECT_EQ(this->namesInOrder(), QStringList({"B", "D"}));
}

TYPED_TEST(StoreTest, UpdateByKeyAndInsertRowReachTheFile) {
  this->addNames({"A"});
  this->openStore();
  const qint64 id = this->store->rowKey(0);
  QSignalSpy changed(this->store.get(), &RecordStore::rowChanged);
  this->store->updateByKey(id, {{this->store->fieldIndex("STAT"), "PASS"}, {this->store->fieldIndex("TOTAL"), "300"}});
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(this->records.scalar("SELECT STAT || '/' || TOTAL FROM info"), "PASS/300");
  const int row = this->store->insertRow({{this->store->fieldIndex("LNAME"), "Grid"}, {this->store->fieldIndex("SEX"), "M"}});
  EXPECT_EQ(row, 1);
  EXPECT_EQ(this->store->value(row, this->store->fieldIndex("ID")), QString::number(this->store->rowKey(row)));
  EXPECT_EQ(this->records.scalar("SELECT SEX FROM info WHERE LNAME='Grid'"), "M");
  // A row removed behind the store's back is an error, not a silent no-op.
  this->records.exec("DELETE FROM info WHERE ID=" + QString::number(id));
  try {
    this->store->updateByKey(id, {{this->store->fieldIndex("STAT"), "FAIL"}});
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("deleted")) << e.message().toStdString();
  }
}

TYPED_TEST(StoreTest, WritingOneFieldKeepsTheOthersOfTheRowAndItsNeighbours) {
  this->records.exec(QString::fromUtf8("INSERT INTO info (LNAME, REMARK, DOB) VALUES ('Ångström', 'ß and é', '01/02/1990')"));
  this->records.exec("INSERT INTO info (LNAME, REMARK) VALUES ('Baker', 'next')");
  this->openStore();
  ASSERT_EQ(this->store->rowCount(), 2);
  EXPECT_EQ(this->store->value(1, this->store->fieldIndex("LNAME")), QString::fromUtf8("Ångström"));
  this->store->updateByKey(this->store->rowKey(1), {{this->store->fieldIndex("DOB"), "03/04/1991"}});
  EXPECT_EQ(this->store->value(1, this->store->fieldIndex("REMARK")), QString::fromUtf8("ß and é"));
  EXPECT_EQ(this->store->value(1, this->store->fieldIndex("DOB")), "03/04/1991");
  EXPECT_EQ(this->store->value(1, this->store->fieldIndex("ID")), QString::number(this->store->rowKey(1)));
  EXPECT_EQ(this->store->value(0, this->store->fieldIndex("REMARK")), "next");
  EXPECT_EQ(this->store->value(0, this->store->fieldIndex("DOB")), "");
  this->store->removeRow(0);
  EXPECT_EQ(this->store->value(0, this->store->fieldIndex("DOB")), "03/04/1991");
  EXPECT_EQ(this->records.scalar("SELECT REMARK FROM info"), QString::fromUtf8("ß and é"));
}


class FileStoreTest : public quillon::test::StoreTest<FileRecords> {
 protected:
  void openStore() { store->refresh(); }
  const QString& path() const { return records.path(); }
  RecordStore& st() { return *store; }
};

TEST_F(FileStoreTest, EngineFailuresCarryTheEngineMessage) {
  addNames({"A"});
  openStore();
  records.exec("DROP TABLE info");
  try {
    st().updateByKey(st().rowKey(0), {{st().fieldIndex("LNAME"), "B"}});
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("no such table: info")) << e.message().toStdString();
  }
  EXPECT_THROW(st().insertRow({}), DbError);
  try {
    st().refresh();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("no such table: info")) << e.message().toStdString();
  }
  // A failed re-query leaves nothing behind to work on.
  EXPECT_FALSE(st().isOpen());
  EXPECT_EQ(st().rowCount(), 0);
  EXPECT_THROW(st().addNew(), DbError);
}

TEST_F(FileStoreTest, AMissingFileIsNeverCreated) {
  const QString missing = records.dir().file("other.mdb");
  st().setDatabaseName(missing);
  st().setRecordSource(RecordStore::rowSourceQuery());
  try {
    st().refresh();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("unable to open")) << e.message().toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(FileStoreTest, AFileThatIsNotADatabaseIsReported) {
  QFile f(records.dir().file("junk.mdb"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(4096, 'x'));
  f.close();
  st().setDatabaseName(f.fileName());
  st().setRecordSource(RecordStore::rowSourceQuery());
  try {
    st().refresh();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("not a database")) << e.message().toStdString();
  }
}

TEST_F(FileStoreTest, TheWholeTableIsTheRowSourceUntilAQueryIsSet) {
  addNames({"Zed", "Abe"});
  store = std::make_unique<RecordStore>();
  st().setDatabaseName(path());
  st().refresh();  // the table itself, in stored order
  EXPECT_EQ(namesInOrder(), QStringList({"Zed", "Abe"}));
}

// A folder with a connection file works on the server it names; one that
// cannot be reached is named in the message, a password never.
TEST_F(FileStoreTest, AConnectionFileSendsTheStoreToItsServer) {
  addNames({"Local"});
  QFile conn(records.dir().file("info.pgconn"));
  ASSERT_TRUE(conn.open(QIODevice::WriteOnly));
  conn.write("# the unit's server\nhost=127.0.0.1 port=1 dbname=quillon user=clerk1 connect_timeout=2\n");
  conn.close();
  try {
    openStore();
    ADD_FAILURE() << "opened a server that is not there";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("database quillon on 127.0.0.1:1 as clerk1")) << qPrintable(e.message());
  }
  EXPECT_FALSE(st().isOpen());
  ASSERT_TRUE(conn.open(QIODevice::WriteOnly | QIODevice::Truncate));
  conn.write("host=127.0.0.1 port=1 dbname=quillon user=clerk1 password=secret\n");
  conn.close();
  try {
    openStore();
    ADD_FAILURE() << "a password was accepted";
  } catch (const DbError& e) {
    EXPECT_FALSE(e.message().contains("secret")) << qPrintable(e.message());
    EXPECT_TRUE(e.message().contains("password")) << qPrintable(e.message());
  }
  // Without the file the folder's own records are back.
  ASSERT_TRUE(QFile::remove(conn.fileName()));
  openStore();
  EXPECT_EQ(namesInOrder(), QStringList({"Local"}));
  EXPECT_EQ(st().describe(), QDir::toNativeSeparators(path()));
}

// The server went away in the middle of work: the store that met it fails
// and says so, nothing typed is lost, and the next store connects again.
class ServerStoreTest : public quillon::test::StoreTest<quillon::test::ServerRecords> {};

TEST_F(ServerStoreTest, ALostConnectionFailsOneStoreAndTheNextReconnects) {
  addNames({"Hale"});
  auto backend = quillon::PgBackend::fromConnInfo(records.conninfo());
  quillon::PgBackend* server = backend.get();
  store->setBackend(std::move(backend));
  store->refresh();
  const int pid = PQbackendPID(server->connection()->handle());
  records.exec("SELECT pg_terminate_backend(" + QString::number(pid) + ")");
  const int runM = store->fieldIndex("RUN_M");
  try {
    store->updateByKey(store->rowKey(0), {{runM, "14"}});
    ADD_FAILURE() << "the terminated connection still answered";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("lost")) << qPrintable(e.message());
  }
  EXPECT_TRUE(store->isOpen());  // so the window still stores what was typed at the next move
  store->updateByKey(store->rowKey(0), {{runM, "14"}});
  EXPECT_EQ(records.scalar("SELECT run_m FROM info"), "14");
  EXPECT_NE(PQbackendPID(server->connection()->handle()), pid);
}

}  // namespace

// The file's rows are ordered here rather than by the engine wherever the
// row source allows it; the order must be the engine's own, down to case,
// prefixes, empty and missing names, bytes, and equal names in entry order.
TEST_F(FileStoreTest, RowsComeInExactlyTheEnginesOrder) {
  records.exec(
      "INSERT INTO info (LNAME, RANK) VALUES ('b','SGT'),('a','sgt'),('B','PVT'),('A',NULL),('a',''),(NULL,'CPT'),"
      "('','Sgt'),('A','PVT'),('ä','SGT'),('Ä','a'),('Z','B'),('ab','b'),('Ab ',''),('abc',NULL),('10','SGT'),"
      "('9','x'),(X'41','y'),(X'00','z'),('a'||char(0)||'b','PVT'),('_under','SGT'),('[bracket','SGT'),"
      "('Adams, Zoe','a'),('ADAMS, amy','b'),('adams','c'),(NULL,NULL)");
  const auto engineOrder = [&](const QString& orderBy) {
    QStringList keys;
    for (int offset = 0;; ++offset) {
      const QString k = records.scalar(
          QStringLiteral("SELECT _rowid_ FROM info ORDER BY %1 LIMIT 1 OFFSET %2").arg(orderBy).arg(offset));
      if (k == QLatin1String("<none>")) break;
      keys << k;
    }
    return keys;
  };
  const auto compare = [&] {
    for (const QString orderBy : {"LName Asc", "lname DESC", "LNAME", "RANK", "Rank desc", "TOTAL", "ID DESC"}) {
      st().setRecordSource("SELECT * FROM info ORDER BY " + orderBy);
      st().refresh();
      QStringList keys;
      for (int i = 0; i < st().rowCount(); ++i) keys << QString::number(st().rowKey(i));
      EXPECT_EQ(keys.join(QLatin1Char(' ')).toStdString(), engineOrder(orderBy).join(QLatin1Char(' ')).toStdString())
          << orderBy.toStdString();
    }
  };
  compare();
  // Values sharing a long beginning, differing only far along or by case.
  records.exec(
      "DELETE FROM info; INSERT INTO info (LNAME, RANK) VALUES ('Soldier 10, a','Sgt 1'),('soldier 9','SGT 1'),"
      "('SOLDIER 10, A','Sgt 10'),('Soldier','Sgt'),('Soldier 1'||char(0)||'x','Sgt 1x'),"
      "('Soldier 1'||char(0)||'a','Sgt 1a'),('Soldiers','Sgt 2'),('soldier 10, b',NULL),"
      "('Soldier 123456789012, b','Sgt 123456789012'),('Soldier 123456789012, a','Sgt 123456789011'),"
      "('Soldier 123456789012, B','Sgt 12345678901'),(NULL,'Sgt 1'),('Soldier 10, a','Sgt 1')");
  compare();
}
