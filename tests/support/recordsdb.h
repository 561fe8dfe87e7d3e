#pragma once
// Direct access to a test's info.mdb, bypassing the program: rows are put in
// before the window opens and read back afterwards to see what was stored.

#include <QFile>
#include <QList>
#include <QMap>
#include <QStringList>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace quillon::test {

using Row = QMap<QString, QString>;

inline void insertRows(const QString& path, const QList<Row>& rows) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  // One commit: a test's hundreds of rows would otherwise wait for the disk
  // once each.
  ASSERT_EQ(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
  for (const Row& r : rows) {
    QStringList cols, marks;
    for (auto it = r.cbegin(); it != r.cend(); ++it) {
      cols << it.key();
      marks << "?";
    }
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = ("INSERT INTO info (" + cols.join(',') + ") VALUES (" + marks.join(',') + ")").toUtf8();
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr), SQLITE_OK);
    int i = 1;
    for (const QString& v : r) sqlite3_bind_text(st, i++, v.toUtf8().constData(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
  }
  EXPECT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

// Every row of info.mdb in ID order, NULL read as empty; no rows when the
// file cannot be opened.
inline QList<Row> readRows(const QString& path) {
  QList<Row> out;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return out;
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT * FROM info ORDER BY ID", -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      Row r;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        r[QString::fromUtf8(sqlite3_column_name(st, i))] = t ? QString::fromUtf8(t) : QString();
      }
      out << r;
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

// Runs SQL on a test's info.mdb as another program would.
inline void execSql(const QString& path, const QString& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  char* msg = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
  sqlite3_free(msg);
  sqlite3_close(db);
}

// From now on every change of a stored row fails with the engine's `message`.
inline void refuseUpdates(const QString& path, const QString& message) {
  execSql(path, "CREATE TRIGGER refuse_updates BEFORE UPDATE ON info BEGIN SELECT RAISE(ABORT, '" + message + "'); END");
}

// A table `info` as a user might make it by hand: by default ID is an
// ordinary number column (so an ID may occur twice), the other fields text.
inline void createHandMadeInfo(const QString& path, const QStringList& fields, const QString& idType = "INTEGER") {
  QStringList cols;
  for (const QString& f : fields) cols << (f == "ID" ? "ID " + idType : f + " TEXT");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  execSql(path, "CREATE TABLE info (" + cols.join(',') + ")");
}

inline Row rowNamed(const QString& path, const QString& name) {
  for (const Row& r : readRows(path))
    if (r.value("LNAME") == name) return r;
  return Row();
}

}  // namespace quillon::test
