// The three-event rows of a records file made by hand: its columns are its
// own, their names need not be plain words, and an ID may occur twice, so
// every change reaches exactly the row it was read from, field by field.

#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "recordsdb.h"
#include "rowarena.h"
#include "sqlitebackend.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

const QString kRemark = QStringLiteral("Remark `B`");
const QString kOrder = QStringLiteral("order");

class HandMadeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file(QStringLiteral("info.mdb"));
    createHandMadeInfo(path, {"ID", "LNAME"});
    execSql(path, "ALTER TABLE info ADD COLUMN \"Remark `B`\" TEXT");
    execSql(path, "ALTER TABLE info ADD COLUMN \"order\" TEXT");
    // Two rows under one ID: only the engine's row number tells them apart.
    execSql(path, "INSERT INTO info (_rowid_, ID, LNAME, \"Remark `B`\", \"order\") VALUES "
                  "(1, 7, 'Baker', 'r1', 'o1'), (2, 7, 'Cole', 'r2', 'o2')");
    backend.open();
    RowArena arena;
    backend.readRows(QStringLiteral("info"), arena);
  }
  // The field as the file holds it, "<none>" for no such row.
  QString field(qint64 rowid, const QString& column) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    const QString sql = "SELECT \"" + column + "\" FROM info WHERE _rowid_ = " + QString::number(rowid);
    QString out = QStringLiteral("<none>");
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }
  RowAsRead row(qint64 key) {
    std::optional<RowAsRead> r = backend.fetch(key);
    EXPECT_TRUE(r.has_value());
    return r.value_or(RowAsRead{});
  }
  int col(const QString& name) { return backend.column(name); }

  ScratchDir dir;
  QString path;
  SqliteBackend backend{dir.file(QStringLiteral("info.mdb"))};
};

}  // namespace

TEST_F(HandMadeFile, AStoreWritesColumnsWhateverTheirNamesIntoTheOneRowRead) {
  const RowAsRead stored = backend.store(row(1), {{col(kRemark), "kept"}, {col(kOrder), "first"}}, true);
  EXPECT_EQ(stored.key, 1);
  EXPECT_EQ(stored.fields.value(col(kRemark)), "kept");
  EXPECT_EQ(stored.fields.value(col(kOrder)), "first");
  EXPECT_EQ(field(1, kRemark), "kept");
  EXPECT_EQ(field(1, kOrder), "first");
  // The other row of the same ID is left alone.
  EXPECT_EQ(field(2, kRemark), "r2");
  EXPECT_EQ(field(2, kOrder), "o2");
}

TEST_F(HandMadeFile, AnOddColumnChangedElsewhereClashesAndNothingIsStored) {
  const RowAsRead asRead = row(1);
  execSql(path, "UPDATE info SET \"Remark `B`\" = 'theirs' WHERE _rowid_ = 1");
  try {
    backend.store(asRead, {{col("LNAME"), "Able"}}, true);
    ADD_FAILURE() << "stored over another station's change";
  } catch (const ConflictError& e) {
    ASSERT_EQ(e.conflict().clashes.size(), 1);
    const FieldClash& c = e.conflict().clashes.first();
    EXPECT_EQ(c.field, kRemark);
    EXPECT_EQ(c.theirs, "theirs");
    EXPECT_EQ(c.asRead, "r1");
    EXPECT_FALSE(c.changedByUs);
    EXPECT_EQ(e.conflict().theirs.fields.value(col(kRemark)), "theirs");
  }
  EXPECT_EQ(field(1, "LNAME"), "Baker");
}

TEST_F(HandMadeFile, TheSameValueStoredAtBothIsNoClashAndTheRestIsWritten) {
  const RowAsRead asRead = row(1);
  execSql(path, "UPDATE info SET LNAME = 'Able' WHERE _rowid_ = 1");
  const RowAsRead stored = backend.store(asRead, {{col("LNAME"), "Able"}, {col(kOrder), "mine"}}, true);
  EXPECT_EQ(stored.fields.value(col(kOrder)), "mine");
  EXPECT_EQ(field(1, "LNAME"), "Able");
  EXPECT_EQ(field(1, kOrder), "mine");
}

TEST_F(HandMadeFile, ARowDeletedAndPutBackKeepsItsNumberAndItsOddColumns) {
  const std::optional<RowAsRead> gone = backend.remove(1);
  ASSERT_TRUE(gone.has_value());
  EXPECT_EQ(gone->fields.value(col(kRemark)), "r1");
  EXPECT_EQ(field(1, "LNAME"), "<none>");
  try {
    backend.store(RowAsRead{1, 0, gone->fields}, {{col(kOrder), "x"}}, true);
    ADD_FAILURE() << "stored into a deleted row";
  } catch (const ConflictError&) {
    ADD_FAILURE() << "a deleted row reported as changed";
  } catch (const DbError& e) {
    EXPECT_EQ(e.message(), deletedMessage("7"));
  }
  Record record;
  for (int c = 0; c < backend.columns().size(); ++c) record.insert(backend.columns().at(c), gone->fields.at(c));
  const RowAsRead back = backend.restore(1, record);
  EXPECT_EQ(back.key, 1);
  EXPECT_EQ(field(1, kRemark), "r1");
  EXPECT_EQ(field(1, kOrder), "o1");
  // A new row never takes the number of the one deleted in this run.
  EXPECT_GT(backend.add({{col("LNAME"), "Dunn"}}).key, 2);
}
