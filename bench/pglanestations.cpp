// Lane stations on one records server, for bench_pgstations: groups of
// soldiers, two stations each entering their own lane of every soldier of
// the group at a clerk's pace, and both the same third lane of the group's
// first few soldiers (those clash). Every station polls every two seconds
// as the lane window does. Sizes from the environment:
//   QUILLON_BENCH_LANE_STATIONS (50), QUILLON_BENCH_LANE_GROUP (100),
//   QUILLON_BENCH_LANE_PACE_MS (1000, a clerk's pause between values, on
//   average), QUILLON_BENCH_IDLE_SECONDS (20), QUILLON_BENCH_IDLE_PAIRS (2).
// The server must take a connection for every station and every bare
// client: pg_virtualenv -t -o max_connections=120 bench_pgstations lanes.
//
// Idle: every station opens its group and only polls; the server's CPU
// (its stations' processes, from /proc) is measured over the window, in
// interleaved pairs: the records without their change counter (each poll
// reads every soldier, as before the counter) and with it.
//
// Entering: each value's time from Enter to stored, at the station; beside
// them, as many bare clients as stations, each a libpq connection of its own
// that sends the same UPDATE as many times at the same pace on rows of its
// own: the station's statement text, prepared once in its session as each
// station's is, timed from sending to the answer. Both 99th percentiles
// rest on as many stores.
// Checked afterwards: every value reported stored is in the records unless
// a later store of the same lane was reported, every value not stored was
// reported as a clash, and after a last poll every station shows every
// lane as stored.

#include "pglanestations.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUndoStack>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <libpq-fe.h>
#include <map>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "laneentry.h"
#include "pgscratch.h"
#include "testgroups.h"

using namespace quillon;

namespace {

constexpr double kGoalP99 = 1.5;  // p99 of a store against the bare clients' beside it
constexpr int kClashing = 5;      // soldiers of each group whose third lane both stations enter
const char* const kDate = "2026-06-12";

int envInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v > 0 ? v : fallback;
}

struct Sizes {
  int stations = envInt("QUILLON_BENCH_LANE_STATIONS", 50);
  int group = envInt("QUILLON_BENCH_LANE_GROUP", 100);
  int paceMs = envInt("QUILLON_BENCH_LANE_PACE_MS", 1000);
  int idleSeconds = envInt("QUILLON_BENCH_IDLE_SECONDS", 20);
  int idlePairs = envInt("QUILLON_BENCH_IDLE_PAIRS", 2);
  int groups() const { return (stations + 1) / 2; }
};

QString ssnOf(int group, int member) { return QString::number(400000000 + group * 1000 + member); }

// Each station's own lane, and the values it enters (in the form the lane
// shows them), different for the two stations of a group.
LaneField ownLane(int station) { return station % 2 == 0 ? LaneField::PushUp : LaneField::Plank; }
QString valueFor(LaneField f, int station, int member) {
  const int v = (station * 7 + member * 3) % 20;
  switch (f) {
    case LaneField::PushUp: return QString::number(20 + v);
    case LaneField::Plank: return QStringLiteral("2:%1").arg(10 + v, 2, 10, QLatin1Char('0'));
    default: return QStringLiteral("1:%1").arg(40 + v % 15 + (station % 2) * 5, 2, 10, QLatin1Char('0'));
  }
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t at = size_t(std::ceil(p * double(v.size()))) - 1;
  return v[std::min(at, v.size() - 1)];
}

double median(std::vector<double> v) { return percentile(std::move(v), 0.5); }

qint64 nowNs() {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A station's group as saved on the server.
TestGroup groupOf(const QList<TestGroup>& groups, int station) { return groups.at(station / 2); }

void signal(int fd) {
  const char c = 1;
  if (::write(fd, &c, 1) != 1) std::perror("write");
}

void waitFor(int fd, int count) {
  char c;
  for (int n = 0; n < count;)
    if (::read(fd, &c, 1) == 1) ++n;
}

// A station that only polls, every two seconds, after saying it is ready,
// until `stopFd` is closed.
int idleStation(const TestGroup& group, const QString& conninfo, int readyFd, int stopFd) {
  try {
    auto store = FitnessRecords::onServer(conninfo);
    store->open();
    QUndoStack undo;
    LaneSheet sheet(group, *store, undo);
    signal(readyFd);
    pollfd stop{stopFd, POLLIN, 0};
    while (::poll(&stop, 1, 2000) == 0) sheet.readChanges();
  } catch (const DbError& e) {
    std::fprintf(stderr, "idle station: %s\n", qPrintable(e.message()));
    signal(readyFd);
    return 1;
  }
  return 0;
}

// One station entering its lane. Log lines: "S member lane value ns endNs"
// stored, "C member lane value ns" refused as a clash, "E ..." otherwise;
// after the last poll "V member lane shown" for every lane it checks.
int enteringStation(int k, const Sizes& z, const TestGroup& group, const QString& conninfo, const QString& log,
                    int readyFd, int startFd, int doneFd, int finishFd) {
  FILE* out = std::fopen(QFile::encodeName(log).constData(), "w");
  if (!out) return 2;
  try {
    auto store = FitnessRecords::onServer(conninfo);
    store->open();
    QUndoStack undo;
    LaneSheet sheet(group, *store, undo);
    signal(readyFd);
    char go;
    if (::read(startFd, &go, 1) < 0) return 2;
    std::mt19937 rnd(unsigned(k) * 7919u + 3u);
    QElapsedTimer sincePoll, t;
    sincePoll.start();
    const auto enter = [&](int m, LaneField f) {
      ::usleep(useconds_t(rnd() % unsigned(2 * z.paceMs + 1)) * 1000u);
      if (sincePoll.elapsed() >= 2000) {
        sheet.readChanges();
        sincePoll.restart();
      }
      const QString value = valueFor(f, k, m);
      t.start();
      const QString why = sheet.enter(m, f, value);
      const qint64 ns = t.nsecsElapsed();
      if (why.isEmpty())
        std::fprintf(out, "S %d %d %s %lld %lld\n", m, int(f), qPrintable(value), ns, nowNs());
      else if (why.contains(QLatin1String("stored now")))
        std::fprintf(out, "C %d %d %s %lld\n", m, int(f), qPrintable(value), ns);
      else
        std::fprintf(out, "E %d %d %s\n", m, int(f), qPrintable(why.simplified()));
    };
    for (int m = 0; m < z.group; ++m) {
      enter(m, ownLane(k));
      if (m < kClashing) enter(m, LaneField::SprintDragCarry);
    }
    signal(doneFd);
    if (::read(finishFd, &go, 1) < 0) return 2;
    sheet.readChanges();
    for (int m = 0; m < z.group; ++m)
      for (LaneField f : {LaneField::PushUp, LaneField::Plank, LaneField::SprintDragCarry})
        std::fprintf(out, "V %d %d %s\n", m, int(f), qPrintable(sheet.shown(m, f)));
  } catch (const DbError& e) {
    std::fprintf(out, "E %s\n", qPrintable(e.message().simplified()));
  }
  std::fclose(out);
  return 0;
}

// The server processes of this database.
QStringList serverPids(pg::Connection& admin) {
  const pg::Result r = admin.exec("SELECT pid FROM pg_stat_activity WHERE datname = current_database()");
  QStringList pids;
  for (int i = 0; i < r.rows(); ++i) pids << r.value(i, 0);
  return pids;
}

// CPU ticks those processes have used so far.
qint64 serverTicks(const QStringList& pids) {
  qint64 ticks = 0;
  for (const QString& pid : pids) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) continue;
    const QByteArray s = f.readAll();
    // Fields after the command's closing parenthesis: utime and stime are
    // the 12th and 13th of them.
    const QList<QByteArray> p = s.mid(s.lastIndexOf(')') + 2).split(' ');
    if (p.size() > 12) ticks += p.at(11).toLongLong() + p.at(12).toLongLong();
  }
  return ticks;
}

// The change counter taken away (as a server set up before it) or given back.
void counter(pg::Connection& admin, bool on) {
  if (on)
    admin.runScript(
        "ALTER TABLE fitness_changes_off RENAME TO fitness_changes;"
        "CREATE TRIGGER fitness_tests_changes AFTER INSERT OR UPDATE ON fitness_tests "
        "FOR EACH ROW EXECUTE FUNCTION fitness_tests_note_change();");
  else
    admin.runScript(
        "DROP TRIGGER fitness_tests_changes ON fitness_tests;"
        "ALTER TABLE fitness_changes RENAME TO fitness_changes_off;");
}

// The server's CPU, in percent of one core, while every station idles.
double idleCpu(const Sizes& z, const QList<TestGroup>& groups, test::PgScratch& scratch) {
  int ready[2], stop[2];
  if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(stop, O_CLOEXEC) != 0) return -1;
  std::vector<pid_t> children;
  for (int k = 0; k < z.stations; ++k) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      ::_exit(idleStation(groupOf(groups, k), scratch.conninfo(), ready[1], stop[0]));
    }
    children.push_back(pid);
  }
  ::close(ready[1]);
  ::close(stop[0]);
  waitFor(ready[0], z.stations);
  ::close(ready[0]);
  ::sleep(1);
  const QStringList pids = serverPids(scratch.admin());
  const qint64 before = serverTicks(pids);
  QElapsedTimer t;
  t.start();
  ::sleep(unsigned(z.idleSeconds));
  const qint64 used = serverTicks(pids) - before;
  const double seconds = double(t.nsecsElapsed()) / 1e9;
  ::close(stop[1]);
  for (pid_t c : children) ::waitpid(c, nullptr, 0);
  return 100.0 * double(used) / double(sysconf(_SC_CLK_TCK)) / seconds;
}

// The UPDATE a lane store sends for a push-up value of a record already
// there (the value, its points and verdict, the total and result, each
// checked to hold what was read or what is meant), word for word as the
// station's gateway sends it.
QByteArray laneUpdate() {
  const QStringList written = {QStringLiteral("pushup"), QStringLiteral("pushup_pts"), QStringLiteral("pushup_go"),
                               QStringLiteral("total_pts"), QStringLiteral("result_go")};
  QStringList sets, tests{QStringLiteral("t.id = $%1").arg(written.size() + 1)};
  int n = int(written.size()) + 1;
  for (int i = 0; i < written.size(); ++i) {
    sets << QStringLiteral("%1 = $%2").arg(written.at(i)).arg(i + 1);
    const QString field = QStringLiteral("coalesce(t.%1::text, '')").arg(written.at(i));
    tests << QStringLiteral("(%1 = $%2 OR %1 = $%3)").arg(field).arg(n + 1).arg(n + 2);
    n += 2;
  }
  return QStringLiteral("UPDATE fitness_tests AS t SET %1 WHERE %2 RETURNING %3, version")
      .arg(sets.join(QStringLiteral(", ")), tests.join(QStringLiteral(" AND ")),
           fitnessFieldNames().join(QStringLiteral(", ")))
      .toUtf8();
}

// A bare client beside the stations: prepares the stations' UPDATE once,
// then sends it for each of `rows` after the stations' pause, timing each
// from sending to the answer. Log lines: "B ns", or "E why".
int besideClient(int k, const Sizes& z, const QList<qint64>& rows, const QString& conninfo, const QString& log,
                 int readyFd, int startFd) {
  FILE* out = std::fopen(QFile::encodeName(log).constData(), "w");
  if (!out) return 2;
  PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
  const auto fail = [&](const char* what) {
    std::fprintf(out, "E %s: %s\n", what, PQerrorMessage(c));
    std::fclose(out);
    PQfinish(c);
    return 1;
  };
  if (PQstatus(c) != CONNECTION_OK) {
    signal(readyFd);
    return fail("connect");
  }
  PGresult* prepared = PQprepare(c, "lane_store", laneUpdate().constData(), 0, nullptr);
  const bool ready = PQresultStatus(prepared) == PGRES_COMMAND_OK;
  PQclear(prepared);
  signal(readyFd);
  if (!ready) return fail("prepare");
  char go;
  if (::read(startFd, &go, 1) < 0) return 2;
  std::mt19937 rnd(unsigned(k) * 104729u + 5u);
  QElapsedTimer t;
  for (const qint64 row : rows) {
    ::usleep(useconds_t(rnd() % unsigned(2 * z.paceMs + 1)) * 1000u);
    const QByteArray id = QByteArray::number(row);
    // What a first push-up value of a record sends: no total yet.
    const char* values[16] = {"41", "70", "GO", nullptr, nullptr, id.constData(), "", "41", "", "70", "", "GO",
                              "", "", "", ""};
    t.start();
    PGresult* r = PQexecPrepared(c, "lane_store", 16, values, nullptr, nullptr, 0);
    const qint64 ns = t.nsecsElapsed();
    const bool stored = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
    PQclear(r);
    if (!stored) return fail("update");
    std::fprintf(out, "B %lld\n", ns);
  }
  std::fclose(out);
  PQfinish(c);
  return 0;
}

}  // namespace

int measureLanes() {
  const Sizes z;
  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::fprintf(stderr, "No records server (run under pg_virtualenv): %s\n", qPrintable(scratch.error()));
    return 1;
  }
  pg::Connection& admin = scratch.admin();
  // Every station and every bare client holds a connection of its own.
  const int connections = admin.exec("SHOW max_connections").value(0, 0).toInt();
  if (connections < 2 * z.stations + 10) {
    std::fprintf(stderr, "The server takes %d connections; %d stations and as many bare clients need %d "
                         "(pg_virtualenv -t -o max_connections=%d ...)\n",
                 connections, z.stations, 2 * z.stations + 10, 2 * z.stations + 10);
    return 1;
  }
  std::unique_ptr<TestGroups> groupStore = TestGroups::onServer(scratch.conninfo());
  QList<TestGroup> groups;
  for (int g = 0; g < z.groups(); ++g) {
    TestGroup group;
    group.testDate = QString::fromLatin1(kDate);
    group.location = QStringLiteral("Lane %1").arg(g);
    for (int m = 0; m < z.group; ++m)
      group.members << GroupMember{ssnOf(g, m), QStringLiteral("Soldier, Lane %1 %2").arg(g).arg(m), QStringLiteral("M"),
                                   QStringLiteral("1998-02-28"), QStringLiteral("A Co"), QStringLiteral("general")};
    groups << groupStore->save(group);
  }
  // A day under way: every soldier has a record; a division's other
  // records beside them; the bare clients' own rows.
  admin.exec(
      "INSERT INTO fitness_tests (test_group, name, ssn, sex, dob, unit, standard, test_date) "
      "SELECT NULL, 'Other ' || i, (500000000 + i)::text, 'M', '1990-01-01', 'B Co', 'general', "
      "(date '2015-01-01' + (i % 3000))::text FROM generate_series(1, 20000) AS i");
  admin.exec(
      "INSERT INTO fitness_tests (test_group, name, ssn, sex, dob, unit, standard, test_date) "
      "SELECT NULL, 'Beside ' || i, (600000000 + i)::text, 'M', '1990-01-01', 'B Co', 'general', '2000-01-01' "
      "FROM generate_series(1, $1::int) AS i",
      {QByteArray::number(z.stations * (z.group + kClashing))});
  for (const TestGroup& g : groups)
    for (const GroupMember& m : g.members)
      admin.exec("INSERT INTO fitness_tests (test_group, name, ssn, sex, dob, unit, standard, test_date) "
                 "VALUES ($1, $2, $3, 'M', '1998-02-28', 'A Co', 'general', $4)",
                 {QByteArray::number(g.id), m.name.toUtf8(), m.ssn.toUtf8(), g.testDate.toUtf8()});
  admin.exec("ANALYZE fitness_tests");
  admin.exec("ANALYZE fitness_changes");

  QFile load(QStringLiteral("/proc/loadavg"));
  const QByteArray loadAverage = load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("unknown");
  std::printf("%d lane stations, %d groups of %d, on one server; load average %s\n", z.stations, z.groups(), z.group,
              loadAverage.constData());
  // Idle, in interleaved pairs: each poll reading every soldier, then one
  // read of what changed.
  std::vector<double> perSoldier, byCounter, ratios;
  for (int pair = 0; pair < z.idlePairs; ++pair) {
    counter(admin, false);
    perSoldier.push_back(idleCpu(z, groups, scratch));
    counter(admin, true);
    byCounter.push_back(idleCpu(z, groups, scratch));
    ratios.push_back(perSoldier.back() > 0 ? byCounter.back() / perSoldier.back() : 0);
    std::printf("  idle pair %d: server CPU %.1f%% of a core polling each soldier, %.1f%% asking what changed\n",
                pair + 1, perSoldier.back(), byCounter.back());
  }
  std::printf("server CPU with %d idle stations (%d s each, median of %d pairs): before %.1f%%, after %.1f%% of a "
              "core; after/before %.3f\n",
              z.stations, z.idleSeconds, z.idlePairs, median(perSoldier), median(byCounter), median(ratios));

  // Entering.
  QTemporaryDir logs;
  int ready[2], start[2], done[2], finish[2];
  if (::pipe2(ready, O_CLOEXEC) || ::pipe2(start, O_CLOEXEC) || ::pipe2(done, O_CLOEXEC) ||
      ::pipe2(finish, O_CLOEXEC))
    return 1;
  // Each bare client's own rows, as many as a station's values.
  const int perStation = z.group + kClashing;
  const pg::Result besideRows = admin.exec("SELECT id FROM fitness_tests WHERE test_date = '2000-01-01' ORDER BY id");
  std::vector<pid_t> children;
  for (int k = 0; k < z.stations; ++k) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      ::close(start[1]);
      ::close(done[0]);
      ::close(finish[1]);
      ::_exit(enteringStation(k, z, groupOf(groups, k), scratch.conninfo(), logs.filePath(QString::number(k)),
                              ready[1], start[0], done[1], finish[0]));
    }
    children.push_back(pid);
  }
  std::vector<pid_t> besideClients;
  for (int k = 0; k < z.stations; ++k) {
    QList<qint64> own;
    for (int i = k * perStation; i < (k + 1) * perStation && i < besideRows.rows(); ++i)
      own << besideRows.integer(i, 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      ::close(start[1]);
      ::close(done[0]);
      ::close(finish[1]);
      ::_exit(besideClient(k, z, own, scratch.conninfo(), logs.filePath(QStringLiteral("beside%1").arg(k)), ready[1],
                           start[0]));
    }
    besideClients.push_back(pid);
  }
  ::close(ready[1]);
  ::close(start[0]);
  ::close(done[1]);
  ::close(finish[0]);
  waitFor(ready[0], 2 * z.stations);
  QElapsedTimer t;
  t.start();
  ::close(start[1]);
  waitFor(done[0], z.stations);
  const double seconds = double(t.nsecsElapsed()) / 1e9;
  ::close(finish[1]);
  for (pid_t c : children) ::waitpid(c, nullptr, 0);
  for (pid_t c : besideClients) ::waitpid(c, nullptr, 0);
  std::vector<double> beside;
  int besideFailed = 0;
  for (int k = 0; k < z.stations; ++k) {
    QFile f(logs.filePath(QStringLiteral("beside%1").arg(k)));
    if (!f.open(QIODevice::ReadOnly)) ++besideFailed;
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (line.startsWith("B ")) {
        beside.push_back(line.mid(2).toDouble() / 1e6);
      } else if (!line.isEmpty()) {
        ++besideFailed;
        std::fprintf(stderr, "bare client %d: %s\n", k, line.constData());
      }
    }
  }
  if (besideFailed == 0 && int(beside.size()) != z.stations * perStation) ++besideFailed;

  // What each station said, per lane of each soldier of each group.
  struct Stored {
    QString value;
    qint64 at = 0;
  };
  std::map<std::tuple<int, int, int>, std::vector<Stored>> stored;  // group, member, lane
  std::vector<double> storeMs, storedMs, clashMs;
  int clashes = 0, other = 0, wrongView = 0, lost = 0, unreported = 0;
  std::vector<std::map<std::pair<int, int>, QString>> views(size_t(z.stations));
  for (int k = 0; k < z.stations; ++k) {
    QFile f(logs.filePath(QString::number(k)));
    if (!f.open(QIODevice::ReadOnly)) ++other;
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (line.isEmpty()) continue;
      const QList<QByteArray> p = line.split(' ');
      if (p[0] == "S" && p.size() == 6) {
        stored[{k / 2, p[1].toInt(), p[2].toInt()}].push_back({QString::fromUtf8(p[3]), p[5].toLongLong()});
        storeMs.push_back(p[4].toDouble() / 1e6);
        storedMs.push_back(storeMs.back());
      } else if (p[0] == "C" && p.size() == 5) {
        ++clashes;
        storeMs.push_back(p[4].toDouble() / 1e6);
        clashMs.push_back(storeMs.back());
      } else if (p[0] == "V") {
        views[size_t(k)][{p[1].toInt(), p[2].toInt()}] = p.size() > 3 ? QString::fromUtf8(p[3]) : QString();
      } else {
        ++other;
        std::fprintf(stderr, "station %d: %s\n", k, line.constData());
      }
    }
  }
  // The records as stored, in the form the lanes show them.
  auto reader = FitnessRecords::onServer(scratch.conninfo());
  reader->open();
  for (int g = 0; g < z.groups(); ++g) {
    QUndoStack undo;
    LaneSheet now(groups.at(g), *reader, undo);
    for (int m = 0; m < z.group; ++m)
      for (LaneField f : {LaneField::PushUp, LaneField::Plank, LaneField::SprintDragCarry}) {
        const QString inRecords = now.shown(m, f);
        auto it = stored.find({g, m, int(f)});
        QString expected;
        if (it != stored.end()) {
          const auto last = std::max_element(it->second.begin(), it->second.end(),
                                             [](const Stored& a, const Stored& b) { return a.at < b.at; });
          expected = last->value;
        }
        if (inRecords != expected) ++lost;
        if (it == stored.end() && !inRecords.isEmpty()) ++unreported;
        for (int k = 2 * g; k < std::min(z.stations, 2 * g + 2); ++k)
          if (views[size_t(k)][{m, int(f)}] != inRecords) ++wrongView;
      }
  }
  const int expectedEntries = z.stations * (z.group + kClashing);
  const bool ok = other == 0 && lost == 0 && unreported == 0 && wrongView == 0 &&
                  int(storeMs.size()) == expectedEntries && besideFailed == 0;
  const double p99 = percentile(storeMs, 0.99), besideP99 = percentile(beside, 0.99);
  std::printf("entering: %d values in %.1f s at %d ms on average between values; %zu stored, %d clashes reported, "
              "%d other; values lost %d, stored unreported %d, lanes a station shows otherwise than stored %d\n",
              expectedEntries, seconds, z.paceMs, storeMs.size() - size_t(clashes), clashes, other, lost, unreported,
              wrongView);
  std::printf("store at the stations (%zu): median %.3f ms, p99 %.3f ms; %d bare clients beside them, same UPDATE, "
              "same pace (%zu): median %.3f ms, p99 %.3f ms%s\n",
              storeMs.size(), percentile(storeMs, 0.5), p99, z.stations, beside.size(), percentile(beside, 0.5),
              besideP99, besideFailed ? " (SOME FAILED)" : "");
  std::printf("  of them stored: p99 %.3f ms (%.2fx the bare clients'); clashes (a second statement reads the row): "
              "p99 %.3f ms\n",
              percentile(storedMs, 0.99), besideP99 > 0 ? percentile(storedMs, 0.99) / besideP99 : 0,
              percentile(clashMs, 0.99));
  std::printf("p99 store: %.2fx the bare clients' beside it (goal <= %.1fx): %s\n",
              besideP99 > 0 ? p99 / besideP99 : 0, kGoalP99,
              besideP99 > 0 && p99 / besideP99 <= kGoalP99 ? "met" : "NOT met");
  std::printf("%s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
