// The record store on its own: the cursor over a real info.mdb, its edit
// buffer, and that every engine failure reaches the caller.
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "recordstore.h"
#include "schemaupgrade.h"
#include "testsupport.h"

using quillon::DbError;
using quillon::RecordStore;
using quillon::test::ScratchDir;

namespace {

void exec(const QString& path, const QString& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  char* msg = nullptr;
  const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &msg);
  EXPECT_EQ(rc, SQLITE_OK) << (msg ? msg : "");
  sqlite3_free(msg);
  sqlite3_close(db);
}

QString scalar(const QString& path, const QString& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  QString out = QStringLiteral("<none>");
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    out = t ? QString::fromUtf8(t) : QStringLiteral("<null>");
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("info.mdb");
    quillon::createRecordsDatabase(path);
  }
  void addNames(const QStringList& names) {
    for (const QString& n : names) exec(path, "INSERT INTO info (LNAME) VALUES ('" + n + "')");
  }
  void openStore() {
    store.setDatabaseName(path);
    store.setRecordSource(RecordStore::rowSourceQuery());
    store.refresh();
  }
  QStringList namesInOrder() const {
    QStringList out;
    const int c = store.fieldIndex("LNAME");
    for (int i = 0; i < store.rowCount(); ++i) out << store.value(i, c);
    return out;
  }

  ScratchDir dir;
  QString path;
  RecordStore store;
};

TEST_F(RecordStoreTest, EmptyTableHasNoCurrentRow) {
  openStore();
  EXPECT_TRUE(store.eof());
  EXPECT_EQ(store.currentRow(), -1);
  EXPECT_THROW(store.field("LNAME"), DbError);
  EXPECT_THROW(store.edit(), DbError);
  EXPECT_THROW(store.deleteCurrent(), DbError);
  EXPECT_THROW(store.moveLast(), DbError);
}

TEST_F(RecordStoreTest, RowSourceOrdersByNameAndFieldsAreFoundWithoutCase) {
  addNames({"Miller", "Adams", "Zeller", "Adams"});
  openStore();
  EXPECT_EQ(namesInOrder(), QStringList({"Adams", "Adams", "Miller", "Zeller"}));
  EXPECT_EQ(store.currentRow(), 0);
  EXPECT_EQ(store.field("lname"), "Adams");
  EXPECT_EQ(store.field("LName"), "Adams");
  EXPECT_EQ(store.fieldIndex("raw_pu"), store.fieldIndex("RAW_PU"));
  EXPECT_EQ(store.fieldNames().size(), quillon::infoFieldNames().size() + quillon::alternateFieldNames().size());
  EXPECT_THROW(store.field("NOSUCH"), DbError);
}

TEST_F(RecordStoreTest, AddNewStoresAnEmptyRowThatMoveLastMakesCurrent) {
  addNames({"Baker", "Carter"});
  openStore();
  store.edit();
  store.addNew();
  store.update();
  // The new row is stored but the cursor has not moved yet.
  EXPECT_EQ(store.field("LNAME"), "Baker");
  store.moveLast();
  EXPECT_EQ(store.currentRow(), 2);
  EXPECT_EQ(store.field("LNAME"), "");
  const QString id = store.field("ID");
  EXPECT_FALSE(id.isEmpty());
  EXPECT_EQ(scalar(path, "SELECT COUNT(*) FROM info WHERE ID=" + id + " AND LNAME IS NULL"), "1");
  // Even a name that sorts first stays at the end until the next re-query.
  store.edit();
  store.setField("LNAME", "Aaron");
  store.update();
  EXPECT_EQ(namesInOrder(), QStringList({"Baker", "Carter", "Aaron"}));
  store.refresh();
  EXPECT_EQ(namesInOrder(), QStringList({"Aaron", "Baker", "Carter"}));
}

TEST_F(RecordStoreTest, EditUpdateWritesOnlyTheChangedFieldsByID) {
  addNames({"Baker"});
  exec(path, "UPDATE info SET REMARK='kept', DOB='01/02/1990'");
  openStore();
  store.edit();
  store.setField("DOB", "03/04/1991");
  EXPECT_EQ(store.field("DOB"), "03/04/1991");  // the buffer is what the row reads while editing
  // Another program changes a field this store did not touch.
  exec(path, "UPDATE info SET REMARK='changed elsewhere'");
  store.update();
  EXPECT_FALSE(store.editing());
  EXPECT_EQ(scalar(path, "SELECT DOB FROM info"), "03/04/1991");
  EXPECT_EQ(scalar(path, "SELECT REMARK FROM info"), "changed elsewhere");
  EXPECT_THROW(store.setField("DOB", "x"), DbError);  // no Edit or AddNew pending
  EXPECT_THROW(store.update(), DbError);
  store.edit();
  EXPECT_THROW(store.setField("ID", "99"), DbError);
}

TEST_F(RecordStoreTest, DeleteThenMoveNextWalksOffTheEnd) {
  addNames({"A", "B", "C"});
  openStore();
  store.moveNext();
  store.deleteCurrent();  // B
  EXPECT_EQ(store.currentRow(), -1);  // standing on the deleted row
  EXPECT_THROW(store.field("LNAME"), DbError);
  store.moveNext();
  EXPECT_EQ(store.field("LNAME"), "C");
  store.deleteCurrent();  // C, the last one
  store.moveNext();
  EXPECT_TRUE(store.eof());
  EXPECT_THROW(store.moveNext(), DbError);
  EXPECT_THROW(store.deleteCurrent(), DbError);
  EXPECT_EQ(scalar(path, "SELECT group_concat(LNAME) FROM info"), "A");
}

TEST_F(RecordStoreTest, RemoveRowKeepsTheCursorOnItsRecord) {
  addNames({"A", "B", "C", "D"});
  openStore();
  store.moveTo(2);  // C
  QSignalSpy removed(&store, &RecordStore::rowRemoved);
  store.removeRow(0);
  EXPECT_EQ(removed.count(), 1);
  EXPECT_EQ(store.field("LNAME"), "C");
  store.removeRow(1);  // C itself: the row after it takes its place
  EXPECT_EQ(store.field("LNAME"), "D");
  EXPECT_EQ(namesInOrder(), QStringList({"B", "D"}));
}

TEST_F(RecordStoreTest, UpdateByKeyAndInsertRowReachTheFile) {
  addNames({"A"});
  openStore();
  const qint64 id = store.rowKey(0);
  QSignalSpy changed(&store, &RecordStore::rowChanged);
  store.updateByKey(id, {{store.fieldIndex("STAT"), "PASS"}, {store.fieldIndex("TOTAL"), "300"}});
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(scalar(path, "SELECT STAT || '/' || TOTAL FROM info"), "PASS/300");
  const int row = store.insertRow({{store.fieldIndex("LNAME"), "Grid"}, {store.fieldIndex("SEX"), "M"}});
  EXPECT_EQ(row, 1);
  EXPECT_EQ(store.value(row, store.fieldIndex("ID")), QString::number(store.rowKey(row)));
  EXPECT_EQ(scalar(path, "SELECT SEX FROM info WHERE LNAME='Grid'"), "M");
  // A row removed behind the store's back is an error, not a silent no-op.
  exec(path, "DELETE FROM info WHERE ID=" + QString::number(id));
  try {
    store.updateByKey(id, {{store.fieldIndex("STAT"), "FAIL"}});
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("deleted")) << e.message().toStdString();
  }
}

TEST_F(RecordStoreTest, WritingOneFieldKeepsTheOthersOfTheRowAndItsNeighbours) {
  exec(path, QString::fromUtf8("INSERT INTO info (LNAME, REMARK, DOB) VALUES ('Ångström', 'ß and é', '01/02/1990')"));
  exec(path, "INSERT INTO info (LNAME, REMARK) VALUES ('Baker', 'next')");
  openStore();
  ASSERT_EQ(store.rowCount(), 2);
  EXPECT_EQ(store.value(1, store.fieldIndex("LNAME")), QString::fromUtf8("Ångström"));
  store.updateByKey(store.rowKey(1), {{store.fieldIndex("DOB"), "03/04/1991"}});
  EXPECT_EQ(store.value(1, store.fieldIndex("REMARK")), QString::fromUtf8("ß and é"));
  EXPECT_EQ(store.value(1, store.fieldIndex("DOB")), "03/04/1991");
  EXPECT_EQ(store.value(1, store.fieldIndex("ID")), QString::number(store.rowKey(1)));
  EXPECT_EQ(store.value(0, store.fieldIndex("REMARK")), "next");
  EXPECT_EQ(store.value(0, store.fieldIndex("DOB")), "");
  store.removeRow(0);
  EXPECT_EQ(store.value(0, store.fieldIndex("DOB")), "03/04/1991");
  EXPECT_EQ(scalar(path, "SELECT REMARK FROM info"), QString::fromUtf8("ß and é"));
}

TEST_F(RecordStoreTest, EngineFailuresCarryTheEngineMessage) {
  addNames({"A"});
  openStore();
  exec(path, "DROP TABLE info");
  try {
    store.updateByKey(store.rowKey(0), {{store.fieldIndex("LNAME"), "B"}});
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("no such table: info")) << e.message().toStdString();
  }
  EXPECT_THROW(store.insertRow({}), DbError);
  try {
    store.refresh();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("no such table: info")) << e.message().toStdString();
  }
  // A failed re-query leaves nothing behind to work on.
  EXPECT_FALSE(store.isOpen());
  EXPECT_EQ(store.rowCount(), 0);
  EXPECT_THROW(store.addNew(), DbError);
}

TEST_F(RecordStoreTest, AMissingFileIsNeverCreated) {
  const QString missing = dir.file("other.mdb");
  store.setDatabaseName(missing);
  store.setRecordSource(RecordStore::rowSourceQuery());
  try {
    store.refresh();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("unable to open")) << e.message().toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(RecordStoreTest, AFileThatIsNotADatabaseIsReported) {
  QFile f(dir.file("junk.mdb"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(4096, 'x'));
  f.close();
  store.setDatabaseName(f.fileName());
  store.setRecordSource(RecordStore::rowSourceQuery());
  try {
    store.refresh();
    ADD_FAILURE() << "no error";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("not a database")) << e.message().toStdString();
  }
}

TEST_F(RecordStoreTest, TheWholeTableIsTheRowSourceUntilAQueryIsSet) {
  addNames({"Zed", "Abe"});
  store.setDatabaseName(path);
  store.refresh();  // the table itself, in stored order
  EXPECT_EQ(namesInOrder(), QStringList({"Zed", "Abe"}));
}

}  // namespace
