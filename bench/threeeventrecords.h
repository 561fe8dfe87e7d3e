#pragma once
// A records file for the main window's benches: `records` three-event rows
// with names in no particular order, so an ordered read really sorts.
#include <QFile>
#include <QString>
#include <QStringList>
#include <sqlite3.h>

#include "dbfile.h"
#include "ranks.h"

namespace quillon::bench {

inline void makeThreeEventDatabase(const QString& path, int records) {
  createRecordsDatabase(path);
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, "
                     "C_RUN, TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &st, nullptr);
  const QStringList& ranks = rankList();
  for (int i = 0; i < records; ++i) {
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    const QByteArray vals[] = {
        QStringLiteral("Soldier %1, %2").arg(h % 1000000, 6, 10, QLatin1Char('0')).arg(i).toUtf8(),
        ranks[static_cast<int>(h % 33)].toUtf8(),
        QStringLiteral("000-00-%1").arg(i % 10000, 4, 10, QLatin1Char('0')).toUtf8(),
        (h & 1) ? "F" : "M",
        "03/14/1994",
        "12/01/2026",
        QByteArray::number(30 + i % 40),
        QByteArray::number(40 + i % 40),
        QByteArray::number(13 + i % 6),
        QByteArray::number(i % 60),
        "72",
        "80",
        "65",
        "217",
        "PASS",
        "",
        (i % 7 == 0) ? "retest" : ""};
    for (int c = 0; c < 17; ++c) sqlite3_bind_text(st, c + 1, vals[c].constData(), -1, SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace quillon::bench
