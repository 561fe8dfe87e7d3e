// Start to rows shown on the records server: a station's connect and read of
// every row of a 100,000-row table through the window's record store (the
// server backend, rows kept as the window keeps them), against psql
// running the same query into /dev/null, measured in turns in the same run.
// Reports the median of the per-turn ratios. Needs a server through the PG*
// environment, e.g.  pg_virtualenv build-bench/bench/bench_pgread
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "pgscratch.h"
#include "pgbackend.h"
#include "recordstore.h"

using namespace quillon;

namespace {

constexpr int kRows = 100000;
constexpr int kTurns = 9;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Names in no particular order, so the order is the server's work.
void fill(pg::Connection& admin) {
  admin.exec(
      "INSERT INTO info (lname, rank, ssn, sex, dob, dot, raw_pu, raw_su, run_m, run_s, c_pu, c_su, c_run, total, "
      "stat, profile, remark) "
      "SELECT initcap(substr(md5(i::text), 1, 3 + i % 9)), 'SGT', lpad((100000000 + i)::text, 9, '0'), "
      "CASE WHEN i % 3 = 0 THEN 'F' ELSE 'M' END, '01/02/1990', '06/01/2026', '42', '55', '15', '30', '71', "
      "'68', '80', '219', 'PASS', '', 'remark ' || repeat('x', i % 40) "
      "FROM generate_series(1, $1) AS i",
      {QByteArray::number(kRows)});
  admin.exec("ANALYZE info");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::fprintf(stderr, "No records server (run under pg_virtualenv): %s\n", qPrintable(scratch.error()));
    return 1;
  }
  fill(scratch.admin());

  auto station = [&] {
    QElapsedTimer t;
    t.start();
    RecordStore store;
    store.setBackend(PgBackend::fromConnInfo(scratch.conninfo()));
    store.setRecordSource(RecordStore::rowSourceQuery());
    store.refresh();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (store.rowCount() != kRows) {
      std::fprintf(stderr, "read %d rows, expected %d\n", store.rowCount(), kRows);
      std::exit(1);
    }
    return ms;
  };
  // Plain is what the clerk's comparison means; unaligned (-A -t) spares
  // psql the measuring of column widths and is the harder floor.
  auto psql = [&](bool unaligned = false) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    QStringList args{"-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", scratch.conninfo(), "-c", pg::PgStore::rowSourceQuery()};
    if (unaligned) args << "-A" << "-t";
    p.start("psql", args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
      std::fprintf(stderr, "psql failed: %s\n", p.readAllStandardError().constData());
      std::exit(1);
    }
    return double(t.nsecsElapsed()) / 1e6;
  };

  station();  // warm the server's cache for both
  psql();
  std::vector<double> ours, theirs, ratios, bare, bareRatios;
  for (int i = 0; i < kTurns; ++i) {
    const double a = (i % 2) ? psql() : 0;  // alternate who goes first
    const double s = station();
    const double b = (i % 2) ? a : psql();
    ours.push_back(s);
    theirs.push_back(b);
    ratios.push_back(s / b);
    const double u = psql(true);
    bare.push_back(u);
    bareRatios.push_back(s / u);
    std::printf("turn %d: station %.1f ms, psql %.1f ms (ratio %.2f), psql -A -t %.1f ms (ratio %.2f)\n", i + 1, s,
                b, s / b, u, s / u);
  }
  std::printf(
      "%d rows: station median %.1f ms; psql median %.1f ms, median ratio %.2f (target <= 1.5); "
      "psql -A -t median %.1f ms, median ratio %.2f\n",
      kRows, median(ours), median(theirs), median(ratios), median(bare), median(bareRatios));
  return 0;
}
