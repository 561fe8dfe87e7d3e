#pragma once
// The records the report benchmarks print: every field filled, names in
// scrambled order so a sort has work to do.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <sqlite3.h>

#include "dbfile.h"

namespace quillon::bench {

inline void makeDatabase(const QString& path, int records) {
  createRecordsDatabase(path);
  sqlite3* db = nullptr;
  sqlite3_open(QFile::encodeName(path).constData(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, "
                     "C_RUN, TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &st, nullptr);
  static const char* ranks[] = {"PVT", "SPC", "SGT", "SSG", "SFC", "2LT", "CPT"};
  for (int i = 0; i < records; ++i) {
    // Names in scrambled order so the sort has work to do.
    const long long k = (static_cast<long long>(i) * 7919) % records;
    const QByteArray v[] = {
        QStringLiteral("Soldier%1, Pat").arg(k, 7, 10, QLatin1Char('0')).toUtf8(),
        ranks[i % 7],
        QByteArray::number(100000000 + i),
        i % 3 ? "M" : "F",
        QStringLiteral("%1/%2/19%3").arg(1 + i % 12, 2, 10, QLatin1Char('0')).arg(1 + i % 28, 2, 10, QLatin1Char('0')).arg(60 + i % 40).toUtf8(),
        QStringLiteral("%1/15/2026").arg(1 + i % 12, 2, 10, QLatin1Char('0')).toUtf8(),
        QByteArray::number(20 + i % 60),
        QByteArray::number(30 + i % 50),
        QByteArray::number(12 + i % 8),
        QByteArray::number(i % 60),
        QByteArray::number(40 + i % 61),
        QByteArray::number(45 + i % 56),
        QByteArray::number(50 + i % 51),
        QByteArray::number(135 + i % 166),
        i % 4 ? "PASS" : "FAIL",
        i % 25 ? "" : "PROFILE",
        i % 9 ? "" : "retest scheduled",
    };
    for (int c = 0; c < 17; ++c) sqlite3_bind_text(st, c + 1, v[c].constData(), v[c].size(), SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace quillon::bench
