#pragma once
// What the report benchmarks share: the records they print (every field
// filled, names in scrambled order so a sort has work to do), built once
// per size and kept in the temporary folder for the next run, the report
// file they print, and how they read memory and take medians.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

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

// The folder holding info.mdb with `records` records, built the first time
// (a million take minutes) and kept for the next run.
inline QString cachedFolder(int records) {
  const QString folder = QDir::temp().filePath(QStringLiteral("quillon-bench-reportwindow-%1").arg(records));
  const QString db = QDir(folder).filePath(QStringLiteral("info.mdb"));
  if (!QFileInfo(db).isFile()) {
    std::printf("building %d records in %s\n", records, qPrintable(db));
    std::fflush(stdout);
    QDir().mkpath(folder);
    makeDatabase(db + QStringLiteral(".part"), records);
    QFile::rename(db + QStringLiteral(".part"), db);
  }
  return folder;
}

// basic.rpt from the current folder or the build's data folder; empty when
// neither has it.
inline QString layoutFile() {
  for (const QString& d : {QDir::currentPath(), QCoreApplication::applicationDirPath() + QStringLiteral("/../data")})
    if (QFileInfo(QDir(d).filePath(QStringLiteral("basic.rpt"))).isFile()) return QDir(d).filePath(QStringLiteral("basic.rpt"));
  return QString();
}

// A field of /proc/self/status in kB.
inline long statusKb(const char* field) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(field)) return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').value(0).toLong();
  return -1;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace quillon::bench
