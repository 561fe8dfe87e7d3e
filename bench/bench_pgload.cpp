// Eight stations at once on one records server: each a process of its own
// making 500 updates to rows of a 10,000-row table, a quarter of them to a
// small set of rows every station works on, so that their changes collide.
// Each update raises the row's TOTAL by one from what the station last saw
// and writes the station's mark into REMARK. Afterwards every row must hold
// exactly as many raises as updates were reported stored for it (none lost
// unreported), its version must agree, its REMARK must be the last stored
// update's mark, and its other fields must be untouched. Reports updates per
// second and the conflicts. Needs a server through the PG* environment, e.g.
//   pg_virtualenv build-bench/bench/bench_pgload
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "pgscratch.h"
#include "pgstore.h"

using namespace quillon;
using Kind = pg::StoreOutcome::Kind;

namespace {

constexpr int kStations = 8;
constexpr int kUpdates = 500;
constexpr int kRows = 10000;
constexpr int kShared = 40;  // rows every station works on

// One station: reads the table as the window does, then updates. Writes one
// line per update to `log`: "S id version mark" stored, "C id" conflict.
int runStation(int k, const QString& conninfo, const QString& log, int startFd) {
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
    const int own = (kRows - kShared) / kStations;
    for (int u = 0; u < kUpdates; ++u) {
      const bool shared = rnd() % 4 == 0;
      const size_t i = shared ? rnd() % kShared : size_t(kShared + k * own + int(rnd() % own));
      pg::PgRecord& r = seen.at(ids[i]);
      const QString mark = QStringLiteral("s%1u%2").arg(k).arg(u);
      const pg::StoreOutcome o =
          store.store(r, {{"TOTAL", QString::number(r.field("TOTAL").toInt() + 1)}, {"REMARK", mark}});
      if (o.kind == Kind::Done) {
        std::fprintf(out, "S %lld %lld %s\n", o.row.id, o.row.version, qPrintable(mark));
      } else if (o.kind == Kind::Conflict) {
        std::fprintf(out, "C %lld\n", r.id);  // the clerk keeps theirs
      } else {
        std::fprintf(out, "D %lld\n", r.id);
      }
      r = o.row;
    }
  } catch (const DbError& e) {
    std::fprintf(out, "E %s\n", qPrintable(e.message()));
  }
  std::fclose(out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::fprintf(stderr, "No records server (run under pg_virtualenv): %s\n", qPrintable(scratch.error()));
    return 1;
  }
  pg::Connection& admin = scratch.admin();
  admin.exec(
      "INSERT INTO info (lname, ssn, sex, dob, raw_pu, total, remark) "
      "SELECT 'Soldier ' || i, lpad(i::text, 9, '0'), 'M', '01/02/1990', '40', '0', '' "
      "FROM generate_series(1, $1) AS i",
      {QByteArray::number(kRows)});
  QTemporaryDir logs;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return 1;

  std::vector<pid_t> children;
  for (int k = 0; k < kStations; ++k) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(pipeFds[1]);
      // _exit: the parent's connection, inherited here, must not be closed by us.
      ::_exit(runStation(k, scratch.conninfo(), logs.filePath(QString::number(k)), pipeFds[0]));
    }
    children.push_back(pid);
  }
  ::close(pipeFds[0]);
  ::sleep(2);  // let every station connect and read
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

  // What the stations said, per row: stored updates and the last mark.
  struct Said {
    int stored = 0;
    qint64 lastVersion = 0;
    QString lastMark;
  };
  std::map<qint64, Said> said;
  int stored = 0, conflicts = 0, other = 0;
  for (int k = 0; k < kStations; ++k) {
    QFile f(logs.filePath(QString::number(k)));
    if (!f.open(QIODevice::ReadOnly)) ok = false;
    int lines = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (line.isEmpty()) continue;
      ++lines;
      const QList<QByteArray> p = line.split(' ');
      if (p[0] == "S") {
        ++stored;
        Said& s = said[p[1].toLongLong()];
        ++s.stored;
        if (p[2].toLongLong() > s.lastVersion) {
          s.lastVersion = p[2].toLongLong();
          s.lastMark = QString::fromUtf8(p[3]);
        }
      } else if (p[0] == "C") {
        ++conflicts;
      } else {
        ++other;
        std::fprintf(stderr, "station %d: %s\n", k, line.constData());
      }
    }
    if (lines != kUpdates) {
      std::fprintf(stderr, "station %d reported %d of %d updates\n", k, lines, kUpdates);
      ok = false;
    }
  }

  int damaged = 0, lost = 0;
  const pg::Result rows = admin.exec("SELECT id, lname, ssn, sex, dob, raw_pu, total, remark, version FROM info");
  for (int i = 0; i < rows.rows(); ++i) {
    const qint64 id = rows.integer(i, 0);
    const Said s = said.count(id) ? said.at(id) : Said{};
    if (rows.value(i, 1) != QStringLiteral("Soldier %1").arg(id) || rows.value(i, 2).toLongLong() != id ||
        rows.value(i, 3) != "M" || rows.value(i, 4) != "01/02/1990" || rows.value(i, 5) != "40")
      ++damaged;
    if (rows.value(i, 6).toInt() != s.stored || rows.integer(i, 8) != s.stored + 1 ||
        (s.stored > 0 && rows.value(i, 7) != s.lastMark))
      ++lost;
  }
  ok = ok && other == 0 && damaged == 0 && lost == 0 && rows.rows() == kRows &&
       stored + conflicts == kStations * kUpdates;
  std::printf(
      "%d stations x %d updates on %d rows (%d shared): %d stored, %d conflicts reported, %d other; "
      "%.2f s, %.0f updates/s; rows damaged %d, rows with an update lost unreported %d: %s\n",
      kStations, kUpdates, kRows, kShared, stored, conflicts, other, seconds, kStations * kUpdates / seconds, damaged,
      lost, ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
