// Merging a laptop's folder of N soldiers' complete five-event records into
// the records, against a bare INSERT of the same rows in one transaction
// from the same client (the gateway's own INSERT, one per row), into a file
// and into a server. Each pair runs both on an empty target, in turn which
// goes first; the figure is the median ratio of the pairs, against the goal
// of 2x. Sizes from the environment:
//   QUILLON_BENCH_MERGE_SOLDIERS (1000), QUILLON_BENCH_MERGE_PAIRS (5).
// The server's half needs one through the PG* environment, e.g.
//   pg_virtualenv -t build/bench/bench_merge
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "gateway.h"
#include "merge.h"
#include "pgscratch.h"
#include "recordssession.h"
#include "recordtables.h"

using namespace quillon;

namespace {

int envInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v > 0 ? v : fallback;
}

QString dbOf(const QString& folder) { return QDir(folder).filePath(QStringLiteral("info.mdb")); }

std::vector<Record> soldiers(int n) {
  std::vector<Record> out;
  for (int i = 0; i < n; ++i) {
    const auto raw = [&](int base, int spread) { return QString::number(base + i % spread); };
    out.push_back(checkedFitnessValues({{"name", QStringLiteral("Soldier%1, Pat").arg(i)},
                                        {"rank", "SPC"},
                                        {"ssn", QString::number(400000000 + i)},
                                        {"sex", i % 3 ? "M" : "F"},
                                        {"dob", QStringLiteral("199%1-03-1%1").arg(i % 10)},
                                        {"unit", "A CO 1-5 IN"},
                                        {"standard", "general"},
                                        {"test_date", "2026-11-20"},
                                        {"deadlift_1", raw(150, 100)},
                                        {"deadlift_2", raw(160, 100)},
                                        {"pushup", raw(15, 40)},
                                        {"sdc_s", raw(100, 80)},
                                        {"plank_s", raw(90, 120)},
                                        {"run_s", raw(900, 500)},
                                        {"grader_deadlift", "AB"},
                                        {"grader_run", "CD"},
                                        {"remark", QStringLiteral("lane %1").arg(i % 4 + 1)}}));
  }
  return out;
}

void bareInsert(const QString& folder, const std::vector<Record>& rows) {
  std::shared_ptr<RecordsSession> s = RecordsSession::forDatabase(dbOf(folder));
  Gateway g(s, fitnessTable());
  RecordsSession::Transaction tx(*s, RecordsSession::Needs::FiveEvent);
  for (const Record& r : rows) g.add(r);
  tx.commit();
}

double msOf(const std::function<void()>& f) {
  QElapsedTimer t;
  t.start();
  f();
  return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs `pairs` interleaved pairs, `reset` emptying the target before each run.
void measure(const char* what, int pairs, const std::function<void()>& reset, const std::function<void()>& merge,
             const std::function<void()>& bare) {
  std::vector<double> ratios, merges, bares;
  for (int p = 0; p < pairs; ++p) {
    double m = 0, b = 0;
    for (int k = 0; k < 2; ++k) {
      reset();
      if ((p + k) % 2 == 0) m = msOf(merge);
      else b = msOf(bare);
    }
    merges.push_back(m);
    bares.push_back(b);
    ratios.push_back(m / b);
  }
  const double r = median(ratios);
  std::printf("merge into %s: median %.1f ms, bare INSERT %.1f ms; ratio %.2f (goal at most 2.00): %s\n", what,
              median(merges), median(bares), r, r <= 2.0 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int n = envInt("QUILLON_BENCH_MERGE_SOLDIERS", 1000);
  const int pairs = envInt("QUILLON_BENCH_MERGE_PAIRS", 5);
  std::printf("%d soldiers' complete records, %d pairs\n", n, pairs);
  QTemporaryDir dir;
  const QString laptop = dir.filePath(QStringLiteral("laptop"));
  QDir().mkpath(laptop);
  createRecordsDatabase(dbOf(laptop));
  const std::vector<Record> rows = soldiers(n);
  bareInsert(laptop, rows);

  const QString file = dir.filePath(QStringLiteral("office"));
  QDir().mkpath(file);
  const auto resetFile = [&] {
    QFile::remove(dbOf(file));
    createRecordsDatabase(dbOf(file));
  };
  measure("a file", pairs, resetFile, [&] { fieldday::mergeFolder(laptop, file); }, [&] { bareInsert(file, rows); });

  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::printf("merge into a server: not measured, no records server (%s)\n", qPrintable(scratch.error()));
    return 0;
  }
  const QString server = dir.filePath(QStringLiteral("server"));
  QDir().mkpath(server);
  {
    QFile f(pg::connFilePath(server));
    f.open(QIODevice::WriteOnly);
    f.write(scratch.conninfo().toUtf8() + "\n");
  }
  const auto resetServer = [&] { scratch.admin().runScript("TRUNCATE fitness_tests, test_groups CASCADE"); };
  measure("a server", pairs, resetServer, [&] { fieldday::mergeFolder(laptop, server); },
          [&] { bareInsert(server, rows); });
  return 0;
}
