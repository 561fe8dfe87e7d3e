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

inline Row rowNamed(const QString& path, const QString& name) {
  for (const Row& r : readRows(path))
    if (r.value("LNAME") == name) return r;
  return Row();
}

}  // namespace quillon::test
