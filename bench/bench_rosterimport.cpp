// The whole roster import as the Records menu runs it, less the clerk's time
// in the preview: read and check the file, plan the batch, store it in one
// transaction with the rows shown following, and record the one Undo step.
// Baseline in the same run: the same rows, already in their stored form,
// inserted with one prepared statement in one transaction (a bare loop).
//
// Runs interleaved pairs (the order within a pair alternating) at 10,000 and
// 100,000 rows and prints the median of the pairs' ratios against the goal,
// and where the import's time went: parsing and checks, planning, storing
// (the rows shown included) and the Undo step.
//   bench_rosterimport [pairs at 10,000] [pairs at 100,000]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

#include "dbfile.h"
#include "importplan.h"
#include "recordhistory.h"
#include "recordstore.h"
#include "rosters.h"

using namespace quillon;

namespace {

constexpr double kGoal = 3.0;

struct Phases {
  double parse = 0, plan = 0, store = 0, undo = 0;
  double total() const { return parse + plan + store + undo; }
};

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

QString freshDatabase(const QTemporaryDir& dir) {
  static int n = 0;
  const QString path = dir.filePath(QStringLiteral("info%1.mdb").arg(n++));
  createRecordsDatabase(path);
  return path;
}

double bareLoop(const QString& path, const QList<RosterRow>& rows) {
  QElapsedTimer t;
  t.start();
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB) VALUES (?,?,?,?,?)", -1, &st, nullptr);
  for (const RosterRow& r : rows) {
    int b = 1;
    for (const QString* v : {&r.name, &r.rank, &r.ssn, &r.sex, &r.dob}) {
      if (v->isEmpty())
        sqlite3_bind_null(st, b++);
      else
        sqlite3_bind_text16(st, b++, v->utf16(), int(v->size() * 2), SQLITE_TRANSIENT);
    }
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return msSince(t);
}

// Empty when the import stored every row as it should.
QString wholeImport(const QString& path, const QString& rosterPath, int rows, Phases& ph) {
  RecordStore store;
  store.setDatabaseName(path);
  store.refresh();
  RecordHistory history(store);
  QElapsedTimer t;
  t.start();
  const RosterPreview preview = previewRosterFile(rosterPath, {});
  ph.parse = msSince(t);
  t.start();
  const auto ops = rosterPlan(preview, true, [&](qint64 id) { return store.storedRecord(id); });
  ph.plan = msSince(t);
  t.start();
  const auto done = store.applyBatch(ops, [](int, int) { return true; });
  ph.store = msSince(t);
  if (!done) return QStringLiteral("the batch was not stored");
  t.start();
  history.recordBatch(QStringLiteral("Import of roster.csv"), *done);
  ph.undo = msSince(t);
  if (done->size() != rows || store.rowCount() != rows) return QStringLiteral("rows missing");
  if (!history.stack().canUndo()) return QStringLiteral("no Undo step");
  return {};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool runSize(int rows, int pairs) {
  QTemporaryDir dir;
  const QString rosterPath = dir.filePath(QStringLiteral("roster.csv"));
  {
    QFile f(rosterPath);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(test::generatedRoster(rows));
  }
  const RosterPreview preview = previewRosterFile(rosterPath, {});
  if (preview.toAdd.size() != rows) {
    std::fprintf(stderr, "the generated roster gave %lld rows to add, not %d\n", qlonglong(preview.toAdd.size()), rows);
    return false;
  }
  std::vector<double> ratios, bare, whole;
  std::vector<Phases> phases;
  for (int p = 0; p < pairs; ++p) {
    const QString a = freshDatabase(dir), b = freshDatabase(dir);
    double base = 0;
    Phases ph;
    QString why;
    if (p % 2 == 0) {
      base = bareLoop(a, preview.toAdd);
      why = wholeImport(b, rosterPath, rows, ph);
    } else {
      why = wholeImport(b, rosterPath, rows, ph);
      base = bareLoop(a, preview.toAdd);
    }
    if (!why.isEmpty()) {
      std::fprintf(stderr, "%d rows: %s\n", rows, qPrintable(why));
      return false;
    }
    QFile::remove(a);
    QFile::remove(b);
    bare.push_back(base);
    whole.push_back(ph.total());
    phases.push_back(ph);
    ratios.push_back(ph.total() / base);
  }
  const double ratio = median(ratios);
  auto phaseMedian = [&](double Phases::*m) {
    std::vector<double> v;
    for (const Phases& ph : phases) v.push_back(ph.*m);
    return median(v);
  };
  std::printf("%d rows, %d pairs: import %.1f ms, bare INSERT loop %.1f ms (medians)\n", rows, pairs, median(whole),
              median(bare));
  std::printf("  where the import's time went: parse and checks %.1f ms, plan %.1f ms, store %.1f ms, Undo step %.1f ms\n",
              phaseMedian(&Phases::parse), phaseMedian(&Phases::plan), phaseMedian(&Phases::store),
              phaseMedian(&Phases::undo));
  std::printf("  import / bare loop: %.2fx (median of pairs; goal <= %.0fx): %s\n", ratio, kGoal,
              ratio <= kGoal ? "met" : "NOT met");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int small = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
  const int large = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
  const bool ok = runSize(10000, small) && runSize(100000, large);
  return ok ? 0 : 1;
}
