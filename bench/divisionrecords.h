#pragma once
// What the benches over a division's records share: the soldiers and their
// five-event records as the file and the server hold them, and the timing
// in turns against the engine answering the same question.
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "dbfile.h"
#include "fitnessrecords.h"

namespace quillon::bench {

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Soldier s's nine digits; each soldier's records alternate between the
// two ways an SSN is written.
inline QString digitsOf(int s) { return QString::number(100000000 + s * 7919); }
inline QString writtenAs(int s, int test) {
  const QString d = digitsOf(s);
  return test % 2 ? d : d.left(3) + '-' + d.mid(3, 2) + '-' + d.mid(5);
}
inline QDate dateOf(int test) { return QDate(2001, 1, 1).addDays(test * 73); }

[[noreturn]] inline void die(const char* what, const QString& detail = QString()) {
  std::fprintf(stderr, "%s %s\n", what, qPrintable(detail));
  std::exit(1);
}

inline void check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) die("sqlite:", QString::fromUtf8(sqlite3_errmsg(db)));
}

// Runs `sql` prepared once, binding `values(row)` for each row.
inline void insertAll(sqlite3* db, const QByteArray& sql, int rows, const std::function<QList<QByteArray>(int)>& values) {
  sqlite3_stmt* st = nullptr;
  check(db, sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr));
  for (int r = 0; r < rows; ++r) {
    const QList<QByteArray> v = values(r);
    for (int c = 0; c < v.size(); ++c)
      check(db, v[c].isNull() ? sqlite3_bind_null(st, c + 1)
                              : sqlite3_bind_text(st, c + 1, v[c].constData(), int(v[c].size()), SQLITE_TRANSIENT));
    check(db, sqlite3_step(st));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

inline const char* const kFiveColumns =
    "name, rank, ssn, sex, dob, unit, mos, pay_grade, standard, test_date, deadlift_1, deadlift_2, pushup, sdc_s, "
    "plank_s, run_s, deadlift_pts, pushup_pts, sdc_pts, plank_pts, run_pts, deadlift_go, pushup_go, sdc_go, plank_go, "
    "run_go, total_pts, result_go, grader_deadlift, grader_pushup, grader_sdc, grader_plank, grader_run, "
    "oic_ncoic_name";

// The statement that adds one fiveEventRow.
inline QByteArray fiveEventInsert() {
  return QByteArray("INSERT INTO fitness_tests (") + kFiveColumns + ") VALUES (?" +
         QByteArray(",?").repeated(QByteArray(kFiveColumns).count(',')) + ")";
}

inline QList<QByteArray> fiveEventRow(int s, int t) {
  const QByteArray n = QByteArray::number((s * 31 + t * 17) % 97);
  const bool go = (s + t) % 9 != 0;
  return {QStringLiteral("Soldier%1, Pat %2").arg(s, 5, 10, QLatin1Char('0')).arg(QChar('A' + t % 26)).toUtf8(),
          "SGT",
          writtenAs(s, t).toUtf8(),
          s % 3 ? "M" : "F",
          "1990-04-12",
          QStringLiteral("%1 CO 1-5 IN").arg(QChar('A' + s % 6)).toUtf8(),
          "11B",
          "E-5",
          "general",
          dateOf(t).toString(Qt::ISODate).toUtf8(),
          "180",
          "190",
          "3" + n.right(1),
          "13" + n.right(1),
          "20" + n.right(1),
          "110" + n.right(1),
          "7" + n.right(1),
          "6" + n.right(1),
          "8" + n.right(1),
          "7" + n.right(1),
          "6" + n.right(1),
          "GO",
          "GO",
          "GO",
          "GO",
          go ? "GO" : "NO-GO",
          "36" + n.right(1),
          go ? "GO" : "NO-GO",
          "JK",
          "LM",
          "NO",
          "PQ",
          "RS",
          "SFC Tanaka"};
}

inline double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// A records file made once in `folder` beside the bench and kept there as
// `name` for later runs: made as the program makes one, then `fill` writes
// its rows in one transaction (the five-event table made before them, its
// indexes after), and `opened` opens it as the program would, adding what
// the program adds to any file, before it takes its name.
inline QString keptRecordsFile(const QString& folder, const QString& name, const std::function<void(sqlite3*)>& fill,
                               const std::function<void(const QString&)>& opened) {
  const QString dir = QDir(QCoreApplication::applicationDirPath()).filePath(folder);
  const QString path = QDir(dir).filePath(name);
  if (QFileInfo::exists(path)) return path;
  QDir().mkpath(dir);
  const QString making = QDir(dir).filePath(QStringLiteral("making.mdb"));
  QFile::remove(making);
  std::printf("making %s (once)...\n", qPrintable(path));
  std::fflush(stdout);
  QElapsedTimer t;
  t.start();
  createRecordsDatabase(making);
  sqlite3* db = nullptr;
  check(db, sqlite3_open_v2(QFile::encodeName(making).constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
  check(db, sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr));
  const QStringList ddl = fitnessTableSqliteDdl();
  check(db, sqlite3_exec(db, ddl.first().toUtf8().constData(), nullptr, nullptr, nullptr));
  fill(db);
  for (const QString& sql : ddl.mid(1))
    check(db, sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr));
  check(db, sqlite3_exec(db, "COMMIT; ANALYZE", nullptr, nullptr, nullptr));
  sqlite3_close(db);
  opened(making);
  if (!QFile::rename(making, path)) die("cannot keep", path);
  std::printf("made in %.1f s\n", double(t.elapsed()) / 1000.0);
  return path;
}

// Every field of every row of a prepared statement, as text; the count.
inline int readEveryField(sqlite3_stmt* st, size_t& bytes) {
  int rows = 0;
  const int n = sqlite3_column_count(st);
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++rows;
    for (int c = 0; c < n; ++c)
      if (sqlite3_column_text(st, c)) bytes += size_t(sqlite3_column_bytes(st, c));
  }
  return rows;
}

// The engine's own answer on the file: open, run `queries` (each bound to
// `arg`), read every field, close.
inline double engineOnFile(const QString& path, const QStringList& queries, const QByteArray& arg, int expectRows) {
  QElapsedTimer t;
  t.start();
  sqlite3* db = nullptr;
  check(db, sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
  size_t bytes = 0;
  int rows = 0;
  for (const QString& q : queries) {
    sqlite3_stmt* st = nullptr;
    check(db, sqlite3_prepare_v2(db, q.toUtf8().constData(), -1, &st, nullptr));
    if (sqlite3_bind_parameter_count(st) > 0) sqlite3_bind_text(st, 1, arg.constData(), int(arg.size()), SQLITE_STATIC);
    rows += readEveryField(st, bytes);
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  const double ms = msSince(t);
  if (expectRows >= 0 && rows != expectRows) die("engine rows:", QString::number(rows));
  if (bytes == 0) die("engine read nothing");
  return ms;
}

struct Pair {
  std::vector<double> ours, engine, ratios;
};

// Runs both in turns, who goes first alternating; prints each turn.
inline Pair inTurns(const char* name, int turns, const std::function<double(int)>& ours,
             const std::function<double(int)>& engine) {
  ours(0);  // both warm the page cache
  engine(0);
  Pair p;
  for (int i = 0; i < turns; ++i) {
    // This turn's rows into the page cache first, so neither side pays for
    // reading them from disk; each side reads them once, so that one holding
    // its connection open finds them in its own cache as the other does.
    engine(i);
    ours(i);
    double a = 0, b = 0;
    if (i % 2) {
      b = engine(i);
      a = ours(i);
    } else {
      a = ours(i);
      b = engine(i);
    }
    p.ours.push_back(a);
    p.engine.push_back(b);
    p.ratios.push_back(a / b);
    std::printf("  %s turn %d: %.2f ms, engine %.2f ms, ratio %.2f\n", name, i + 1, a, b, a / b);
    std::fflush(stdout);
  }
  return p;
}

inline void report(const char* what, const Pair& p, double goal) {
  const double r = median(p.ratios);
  std::printf("%s: median %.2f ms, engine %.2f ms, median ratio %.2f (goal <= %.1f) %s\n", what, median(p.ours),
              median(p.engine), r, goal, r <= goal ? "met" : "NOT MET");
  std::fflush(stdout);
}

}  // namespace quillon::bench
