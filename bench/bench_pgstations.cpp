// Many stations at once on one records server: 50 processes making 200
// updates each to rows of a 10,000-row table, a quarter of the updates to a
// small set of rows every station works on. Each update raises the row's
// TOTAL by one from what the station last saw and writes the station's mark
// into REMARK; every store is timed where the station calls it.
//
// Checked afterwards: every update was reported either stored or as a
// conflict, every row holds exactly as many raises as were reported stored
// for it (no update lost unreported), its version agrees, its REMARK is the
// last stored update's mark, and its other fields are untouched.
//
// Baseline in the same run: the same UPDATE statement the store sends, run
// alone from psql on the idle server (before the stations start and again
// after they end), timed by psql. Prints the median and the 99th percentile
// store time, each as a ratio to the baseline's, against the goal p99 <= 10x.
// Beside them, to tell what is the store's from what is the machine's: the
// same UPDATE from psql while the stations run (on rows of its own, at the
// stations' pace), and, with a pace, from psql alone on the idle server at
// that pace; and the stores split into those stored and those answered with
// a conflict.
// With a pace, each station pauses a random time between updates (the given
// milliseconds on average), as clerks entering scores do; without one they
// update back to back, where on a small server the store time is mostly the
// wait for the other stations' updates.
// Without a pace given it runs twice, back to back and then at a clerk's
// pace, each on a fresh table with its own baseline, and prints the load
// average with each.
// Needs a server through the PG* environment, e.g.
//   pg_virtualenv build/bench/bench_pgstations [stations updates [pace-ms]]
// With "lanes": lane stations of the five-event test instead (pglanestations.h).
//   pg_virtualenv -t -o max_connections=120 build/bench/bench_pgstations lanes
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "dbfile.h"
#include "pgscratch.h"
#include "pglanestations.h"
#include "pgstore.h"

using namespace quillon;
using Kind = pg::StoreOutcome::Kind;

namespace {

constexpr int kRows = 10000;
constexpr int kShared = 40;         // rows every station works on
constexpr int kBaselineRows = 200;  // updates in each psql baseline run
constexpr double kGoalP99 = 10.0;
constexpr int kClerkPaceMs = 250;  // a clerk entering scores, on average

struct Options {
  int stations = 50;
  int updates = 200;
  int paceMs = 0;  // a clerk's pause between updates, on average; 0: none
};

// One station: reads the table as the window does, then updates. Writes one
// line per update to `log`: "S id version mark ns" stored, "C id ns" conflict.
int runStation(int k, const Options& o, const QString& conninfo, const QString& log, int startFd) {
  FILE* out = std::fopen(QFile::encodeName(log).constData(), "w");
  if (!out) return 2;
  try {
    pg::PgStore store(conninfo);
    store.open();
    std::map<qint64, pg::PgRecord> seen;
    for (pg::PgRecord& r : store.readAll()) seen.emplace(r.id, std::move(r));
    std::vector<qint64> ids;
    for (const auto& [id, r] : seen) ids.push_back(id);
    char go;
    if (::read(startFd, &go, 1) < 0) return 2;  // all start together when the parent closes the pipe
    std::mt19937 rnd(static_cast<unsigned>(k) * 7919u + 1u);
    const int own = (kRows - kShared) / o.stations;
    QElapsedTimer t;
    for (int u = 0; u < o.updates; ++u) {
      if (o.paceMs > 0) ::usleep(useconds_t(rnd() % unsigned(2 * o.paceMs + 1)) * 1000u);
      const bool shared = rnd() % 4 == 0;
      const size_t i = shared ? rnd() % kShared : size_t(kShared + k * own + int(rnd() % own));
      pg::PgRecord& r = seen.at(ids[i]);
      const QString mark = QStringLiteral("s%1u%2").arg(k).arg(u);
      const QHash<QString, QString> change{{"TOTAL", QString::number(r.field("TOTAL").toInt() + 1)}, {"REMARK", mark}};
      t.start();
      const pg::StoreOutcome res = store.store(r, change);
      const qint64 ns = t.nsecsElapsed();
      if (res.kind == Kind::Done)
        std::fprintf(out, "S %lld %lld %s %lld\n", res.row.id, res.row.version, qPrintable(mark), ns);
      else if (res.kind == Kind::Conflict)
        std::fprintf(out, "C %lld %lld\n", r.id, ns);  // the clerk keeps theirs
      else
        std::fprintf(out, "D %lld %lld\n", r.id, ns);
      r = res.row;
    }
  } catch (const DbError& e) {
    std::fprintf(out, "E %s\n", qPrintable(e.message()));
  }
  std::fclose(out);
  return 0;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t at = size_t(std::ceil(p * double(v.size()))) - 1;
  return v[std::min(at, v.size() - 1)];
}

// The stations' UPDATE for `count` rows from `firstId` on, one statement per
// row, as a psql script timed by psql. With a pace, psql pauses before each
// statement as a station does (the same random spread), so the server and
// psql are as idle before each statement as they are for a clerk.
QByteArray psqlScript(pg::Connection& admin, qint64 firstId, int count, int paceMs, unsigned seed) {
  const QString list = infoFieldNames().join(QStringLiteral(", ")).toLower() + QStringLiteral(", version");
  const pg::Result rows = admin.exec("SELECT id, total, version FROM info WHERE id >= $1 ORDER BY id LIMIT $2",
                                     {QByteArray::number(firstId), QByteArray::number(count)});
  std::mt19937 rnd(seed);
  QByteArray script = "\\timing on\n";
  for (int i = 0; i < rows.rows(); ++i) {
    if (paceMs > 0)
      script += "\\! sleep " + QByteArray::number(double(rnd() % unsigned(2 * paceMs + 1)) / 1000.0) + '\n';
    script += QStringLiteral("UPDATE info SET total = '%1', remark = 'b%2' WHERE id = %2 AND version = %3 RETURNING %4;\n")
                  .arg(rows.value(i, 1).toInt() + 1)
                  .arg(rows.integer(i, 0))
                  .arg(rows.integer(i, 2))
                  .arg(list)
                  .toUtf8();
  }
  return script;
}

// psql running a script of psqlScript; its rows go nowhere, so that what
// psql prints is its timing alone and never fills a pipe nobody reads.
class Psql {
 public:
  Psql(const QString& conninfo, const QByteArray& script) {
    file_.open();
    file_.write(script);
    file_.flush();
    proc_.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-At"),
                                         QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-v"),
                                         QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"), file_.fileName(),
                                         QStringLiteral("-d"), conninfo});
    expected_ = int(script.count("UPDATE "));
  }
  // The milliseconds psql reports per statement, or nothing when psql failed.
  std::vector<double> times() {
    if (!proc_.waitForFinished(-1) || proc_.exitCode() != 0) {
      std::fprintf(stderr, "psql failed: %s\n", proc_.readAllStandardError().constData());
      return {};
    }
    std::vector<double> ms;
    for (const QByteArray& line : proc_.readAllStandardOutput().split('\n'))
      if (line.startsWith("Time: ")) ms.push_back(line.mid(6).split(' ').first().toDouble());
    if (int(ms.size()) != expected_) {
      std::fprintf(stderr, "psql timed %zu of %d updates\n", ms.size(), expected_);
      return {};
    }
    return ms;
  }

 private:
  QTemporaryFile file_;
  QProcess proc_;
  int expected_ = 0;
};

// The machine's load as uptime gives it: on a shared machine every figure
// means little without it.
QByteArray loadAverage() {
  QFile f(QStringLiteral("/proc/loadavg"));
  if (!f.open(QIODevice::ReadOnly)) return "unknown";
  return f.readAll().split(' ').mid(0, 3).join(", ");
}

// One run on a fresh table; 0 when every check held, else 1.
int measure(const Options& o) {
  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::fprintf(stderr, "No records server (run under pg_virtualenv): %s\n", qPrintable(scratch.error()));
    return 1;
  }
  std::printf("load average at the start: %s\n", loadAverage().constData());
  pg::Connection& admin = scratch.admin();
  admin.exec(
      "INSERT INTO info (lname, ssn, sex, dob, raw_pu, total, remark) "
      "SELECT 'Soldier ' || i, lpad(i::text, 9, '0'), 'M', '01/02/1990', '40', '0', '' "
      "FROM generate_series(1, $1) AS i",
      {QByteArray::number(kRows)});
  const qint64 firstId = admin.exec("SELECT min(id) FROM info").integer(0, 0);

  std::vector<double> baseline = Psql(scratch.conninfo(), psqlScript(admin, firstId, kBaselineRows, 0, 1)).times();
  // What each row holds before the stations start: the baseline raised some.
  struct Start {
    int total = 0;
    qint64 version = 0;
  };
  std::map<qint64, Start> start;
  {
    const pg::Result r = admin.exec("SELECT id, total, version FROM info");
    for (int i = 0; i < r.rows(); ++i) start[r.integer(i, 0)] = {r.value(i, 1).toInt(), r.integer(i, 2)};
  }

  QTemporaryDir logs;
  int pipeFds[2];
  // Close-on-exec: psql, started later, must not hold the pipe open and so
  // keep the stations waiting until it ends.
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 1;
  std::vector<pid_t> children;
  for (int k = 0; k < o.stations; ++k) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(pipeFds[1]);
      // _exit: the parent's connection, inherited here, must not be closed by us.
      ::_exit(runStation(k, o, scratch.conninfo(), logs.filePath(QString::number(k)), pipeFds[0]));
    }
    children.push_back(pid);
  }
  ::close(pipeFds[0]);
  ::sleep(std::max(2, o.stations / 5));  // let every station connect and read
  // psql beside the stations, at their pace, on rows of its own that the
  // stations never read: what the server gives the bare statement under the
  // same load. As many updates as a station makes, so that it runs about as
  // long as they do.
  const int besideRows = std::min(kBaselineRows, o.updates);
  admin.exec(
      "INSERT INTO info (lname, ssn, sex, dob, raw_pu, total, remark) "
      "SELECT 'Beside ' || i, '', 'M', '01/02/1990', '40', '0', '' FROM generate_series(1, $1) AS i",
      {QByteArray::number(besideRows)});
  const qint64 besideId = admin.exec("SELECT max(id) FROM info").integer(0, 0) - besideRows + 1;
  Psql beside(scratch.conninfo(), psqlScript(admin, besideId, besideRows, o.paceMs, 2));
  QElapsedTimer t;
  t.start();
  ::close(pipeFds[1]);
  bool ok = true;
  for (pid_t c : children) {
    int status = 0;
    ::waitpid(c, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const double seconds = double(t.nsecsElapsed()) / 1e9;
  const std::vector<double> underLoad = beside.times();
  const double besideSeconds = double(t.nsecsElapsed()) / 1e9;

  struct Said {
    int stored = 0;
    qint64 lastVersion = 0;
    QString lastMark;
  };
  std::map<qint64, Said> said;
  std::vector<double> storeMs, storedMs, conflictMs;
  int stored = 0, conflicts = 0, other = 0;
  for (int k = 0; k < o.stations; ++k) {
    QFile f(logs.filePath(QString::number(k)));
    if (!f.open(QIODevice::ReadOnly)) ok = false;
    int lines = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (line.isEmpty()) continue;
      ++lines;
      const QList<QByteArray> p = line.split(' ');
      if (p[0] == "S" && p.size() == 5) {
        ++stored;
        storeMs.push_back(p[4].toDouble() / 1e6);
        storedMs.push_back(storeMs.back());
        Said& s = said[p[1].toLongLong()];
        ++s.stored;
        if (p[2].toLongLong() > s.lastVersion) {
          s.lastVersion = p[2].toLongLong();
          s.lastMark = QString::fromUtf8(p[3]);
        }
      } else if (p[0] == "C" && p.size() == 3) {
        ++conflicts;
        storeMs.push_back(p[2].toDouble() / 1e6);
        conflictMs.push_back(storeMs.back());
      } else {
        ++other;
        std::fprintf(stderr, "station %d: %s\n", k, line.constData());
      }
    }
    if (lines != o.updates) {
      std::fprintf(stderr, "station %d reported %d of %d updates\n", k, lines, o.updates);
      ok = false;
    }
  }

  int damaged = 0, lost = 0;
  const pg::Result rows = admin.exec(
      "SELECT id, lname, ssn, sex, dob, raw_pu, total, remark, version FROM info WHERE id < $1",
      {QByteArray::number(besideId)});
  for (int i = 0; i < rows.rows(); ++i) {
    const qint64 id = rows.integer(i, 0);
    const Said s = said.count(id) ? said.at(id) : Said{};
    const Start was = start.count(id) ? start.at(id) : Start{};
    if (rows.value(i, 1) != QStringLiteral("Soldier %1").arg(id) || rows.value(i, 2).toLongLong() != id ||
        rows.value(i, 3) != "M" || rows.value(i, 4) != "01/02/1990" || rows.value(i, 5) != "40")
      ++damaged;
    if (rows.value(i, 6).toInt() != was.total + s.stored || rows.integer(i, 8) != was.version + s.stored ||
        (s.stored > 0 && rows.value(i, 7) != s.lastMark))
      ++lost;
  }

  // The server idle again: the baseline once more.
  const std::vector<double> after =
      Psql(scratch.conninfo(), psqlScript(admin, firstId + kRows / 2, kBaselineRows, 0, 3)).times();
  baseline.insert(baseline.end(), after.begin(), after.end());
  // And at the stations' pace, alone: what a pause before each statement
  // costs by itself, with nothing else running.
  std::vector<double> pacedAlone;
  if (o.paceMs > 0)
    pacedAlone = Psql(scratch.conninfo(), psqlScript(admin, firstId + kRows / 4, kBaselineRows, o.paceMs, 4)).times();

  ok = ok && other == 0 && damaged == 0 && lost == 0 && rows.rows() == kRows &&
       stored + conflicts == o.stations * o.updates && !baseline.empty() && int(after.size()) == kBaselineRows &&
       int(underLoad.size()) == besideRows && (o.paceMs == 0 || int(pacedAlone.size()) == kBaselineRows);
  std::printf(
      "%d stations x %d updates on %d rows (%d shared): %d stored, %d conflicts reported, %d other; "
      "%.2f s, %.0f updates/s; rows damaged %d, rows with an update lost unreported %d\n",
      o.stations, o.updates, kRows, kShared, stored, conflicts, other, seconds, o.stations * o.updates / seconds,
      damaged, lost);
  if (o.paceMs > 0)
    std::printf("stations paused between updates: %d ms on average\n", o.paceMs);
  else
    std::printf("stations updated back to back, with no pause between updates\n");
  const double baseMedian = percentile(baseline, 0.5), baseP99 = percentile(baseline, 0.99);
  const double median = percentile(storeMs, 0.5), p99 = percentile(storeMs, 0.99);
  std::printf("psql alone on the idle server (%zu updates): median %.3f ms, p99 %.3f ms\n", baseline.size(),
              baseMedian, baseP99);
  std::printf("store time at the stations (%zu updates): median %.3f ms, p99 %.3f ms\n", storeMs.size(), median,
              p99);
  const double medianRatio = baseMedian > 0 ? median / baseMedian : 0;
  const double p99Ratio = baseMedian > 0 ? p99 / baseMedian : 0;
  std::printf("  of them stored (%zu): median %.3f ms, p99 %.3f ms; conflicts (%zu): median %.3f ms, p99 %.3f ms\n",
              storedMs.size(), percentile(storedMs, 0.5), percentile(storedMs, 0.99), conflictMs.size(),
              percentile(conflictMs, 0.5), percentile(conflictMs, 0.99));
  std::printf("psql beside the stations, same pace (%zu updates, %.2f s): median %.3f ms, p99 %.3f ms\n",
              underLoad.size(), besideSeconds, percentile(underLoad, 0.5), percentile(underLoad, 0.99));
  if (o.paceMs > 0)
    std::printf("psql alone on the idle server at the stations' pace (%zu updates): median %.3f ms, p99 %.3f ms\n",
                pacedAlone.size(), percentile(pacedAlone, 0.5), percentile(pacedAlone, 0.99));
  std::printf("median store time: %.1fx the baseline median\n", medianRatio);
  std::printf("p99 store time: %.1fx the baseline median (goal <= %.0fx): %s\n", p99Ratio, kGoalP99,
              p99Ratio <= kGoalP99 ? "met" : "NOT met");
  std::printf("p99 store time: %.1fx the baseline p99\n", baseP99 > 0 ? p99 / baseP99 : 0);
  const double besideP99 = percentile(underLoad, 0.99);
  std::printf("p99 store time: %.1fx the p99 of psql beside the stations\n", besideP99 > 0 ? p99 / besideP99 : 0);
  std::printf("load average at the end: %s\n", loadAverage().constData());
  std::printf("%s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc >= 2 && qstrcmp(argv[1], "lanes") == 0) return measureLanes();
  Options o;
  if (argc >= 3) {
    o.stations = std::max(1, atoi(argv[1]));
    o.updates = std::max(1, atoi(argv[2]));
  }
  // A pace given: that run alone. Else both, back to back first.
  if (argc >= 4) {
    o.paceMs = std::max(0, atoi(argv[3]));
    return measure(o);
  }
  int failed = 0;
  for (const int pace : {0, kClerkPaceMs}) {
    o.paceMs = pace;
    failed |= measure(o);
    std::printf("\n");
  }
  return failed;
}
