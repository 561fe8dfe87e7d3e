// The scorer's start timed from outside, as the clerk meets it: the ravelin
// program started as a process on a folder of records until its window has
// painted its first rows, against the database engine alone running the
// window's row source (its ORDER BY included) on the same file, each in a
// process of its own, in turns whose order alternates; the median of the
// per-turn ratios is printed. The engine runs twice a turn: as a process of
// this bench that reads every field of every row as text through the
// engine's library (the goal's baseline), and as the engine's own shell
// (sqlite3) writing every row out.
// Also, from the same runs:
//   requery  the window's re-query (activation to rows painted, as ravelin
//            reports it), against the same engine run;
//   memory   ravelin's peak resident size once its rows are shown and after
//            three re-queries, above ravelin on an empty folder, against the
//            file's size.
// Several ravelin programs (an older build and this one) are measured in the
// same turns, and the last is compared with the first turn by turn.
//
// ravelin reports through QUILLON_FIRST_ROWS (see ravelin_main.cpp).
//
//   QUILLON_START_RECORDS  records on file (default 1000000)
//   QUILLON_START_TURNS    turns (default 7)
//   QUILLON_RAVELIN        ravelin programs, separated by ':' (default the
//                          one built beside this bench)
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "recordstore.h"
#include "threeeventrecords.h"

extern char** environ;

namespace {

constexpr int kRequeries = 3;

struct Outcome {
  double ms = 0;             // start to exit
  double firstRowsMs = -1;   // start to "first rows"
  std::vector<double> requeryMs;
  double peakBytes = 0;      // the process's peak resident size
};

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "bench_start: %s\n", why.c_str());
  std::exit(1);
}

// Runs `argv` in `folder` with `extraEnv` added, its output read line by
// line when `readOutput` (else thrown away). The peak resident size comes
// from the kernel's account of the finished process; this process stays
// small, so the account's share from before exec() is not what is seen.
Outcome run(const std::vector<std::string>& argv, const QString& folder, const std::vector<std::string>& extraEnv,
            bool readOutput) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envStrings(extraEnv);
  for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
  std::vector<char*> env;
  for (std::string& e : envStrings) env.push_back(e.data());
  env.push_back(nullptr);
  const QByteArray dir = QFile::encodeName(folder);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) fail("no pipe");
  const auto t0 = std::chrono::steady_clock::now();
  auto since = [&] { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count(); };
  const pid_t pid = fork();
  if (pid < 0) fail("no fork");
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDWR);
    if (chdir(dir.constData()) != 0) _exit(126);
    dup2(devnull, 0);
    dup2(readOutput ? fds[1] : devnull, 1);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  close(fds[1]);
  Outcome o;
  FILE* out = fdopen(fds[0], "r");
  char* line = nullptr;
  size_t cap = 0;
  while (getline(&line, &cap, out) > 0) {
    if (std::strncmp(line, "first rows", 10) == 0) o.firstRowsMs = since();
    if (std::strncmp(line, "requery ", 8) == 0) o.requeryMs.push_back(std::atof(line + 8));
  }
  std::free(line);
  std::fclose(out);
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) fail("lost " + argv[0]);
  o.ms = since();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(argv[0] + " failed");
  o.peakBytes = double(ru.ru_maxrss) * 1024.0;
  return o;
}

// ravelin until its first rows are shown, then `requeries` re-queries.
Outcome ravelin(const std::string& program, const QString& folder, int requeries) {
  Outcome o = run({program}, folder, {"QUILLON_FIRST_ROWS=" + std::to_string(requeries)}, true);
  if (o.firstRowsMs < 0 || int(o.requeryMs.size()) != requeries) fail(program + " did not report its rows");
  return o;
}

std::string self;

double engine(const QString& folder) {
  return run({self, "--engine"}, folder, {}, false).ms;
}

double shell(const QString& folder) {
  const std::string sql = quillon::RecordStore::rowSourceQuery().toStdString();
  return run({"/usr/bin/sqlite3", "-readonly", "info.mdb", sql}, folder, {}, false).ms;
}

// The engine alone, in this process: open info.mdb, run the row source,
// read every field of every row as text.
int engineChild() {
  const QByteArray sql = quillon::RecordStore::rowSourceQuery().toUtf8();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("info.mdb", &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 1;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) return 1;
  size_t bytes = 0;
  const int n = sqlite3_column_count(st);
  while (sqlite3_step(st) == SQLITE_ROW)
    for (int c = 0; c < n; ++c)
      if (sqlite3_column_text(st, c)) bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return bytes > 0 ? 0 : 1;
}

// A folder as the scorer is installed into: the records and the tables.
void fillFolder(const QString& folder) {
  const QDir data(QStringLiteral(QUILLON_DATA_DIR));
  for (const char* f : {"2m.dat", "su.dat", "pu.dat", "As.dat"})
    if (!QFile::copy(data.filePath(QLatin1String(f)), QDir(folder).filePath(QLatin1String(f))))
      fail(std::string("no ") + f + " in " QUILLON_DATA_DIR);
}

struct Figures {
  std::vector<double> startRatio, startShellRatio, startMs, requeryRatio, requeryMs, loaded, requeried;
  // Against the first program's run of the same turn.
  std::vector<double> startVsFirst, requeryVsFirst, loadedVsFirst, requeriedVsFirst;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--engine") == 0) return engineChild();
  self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int records = qEnvironmentVariableIsSet("QUILLON_START_RECORDS")
                          ? qEnvironmentVariableIntValue("QUILLON_START_RECORDS") : 1000000;
  const int turns = qEnvironmentVariableIsSet("QUILLON_START_TURNS")
                        ? std::max(1, qEnvironmentVariableIntValue("QUILLON_START_TURNS")) : 7;
  QStringList programs = qEnvironmentVariable("QUILLON_RAVELIN").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  if (programs.isEmpty()) programs << QStringLiteral(QUILLON_RAVELIN);
  std::vector<std::string> progs;
  for (const QString& p : programs) progs.push_back(QFileInfo(p).absoluteFilePath().toStdString());

  QTemporaryDir empty, full;
  fillFolder(empty.path());
  fillFolder(full.path());
  quillon::createRecordsDatabase(QDir(empty.path()).filePath(QStringLiteral("info.mdb")));
  const QString db = QDir(full.path()).filePath(QStringLiteral("info.mdb"));
  quillon::bench::makeThreeEventDatabase(db, records);

  // Each program once first: whatever a program adds to a file on its first
  // open is done before the file is measured, and the file is in the page
  // cache for everyone.
  std::vector<double> emptyPeak;
  for (const std::string& p : progs) {
    ravelin(p, full.path(), 0);
    std::vector<double> peaks;
    for (int i = 0; i < 3; ++i) peaks.push_back(ravelin(p, empty.path(), kRequeries).peakBytes);
    emptyPeak.push_back(median(peaks));
  }
  engine(full.path());
  const double fileBytes = double(QFileInfo(db).size());

  std::vector<Figures> fig(progs.size());
  std::vector<double> engineMs, shellMs;
  for (int t = 0; t < turns; ++t) {
    // Who goes first turns around each turn, so nobody always meets the
    // warmer (or the busier) machine.
    std::vector<int> order;  // -1 the engine, -2 its shell, else a program
    order.push_back(-2);
    order.push_back(-1);
    for (int i = 0; i < int(progs.size()); ++i) order.push_back(i);
    if (t % 2) std::reverse(order.begin(), order.end());
    double e = 0, sh = 0;
    std::vector<Outcome> started(progs.size()), requeried(progs.size());
    for (int who : order) {
      if (who == -1) {
        e = engine(full.path());
        continue;
      }
      if (who == -2) {
        sh = shell(full.path());
        continue;
      }
      started[who] = ravelin(progs[who], full.path(), 0);
      requeried[who] = ravelin(progs[who], full.path(), kRequeries);
    }
    engineMs.push_back(e);
    shellMs.push_back(sh);
    for (size_t i = 0; i < progs.size(); ++i) {
      Figures& f = fig[i];
      f.startMs.push_back(started[i].firstRowsMs);
      f.startRatio.push_back(started[i].firstRowsMs / e);
      f.startShellRatio.push_back(started[i].firstRowsMs / sh);
      const double r = median(requeried[i].requeryMs);
      f.requeryMs.push_back(r);
      f.requeryRatio.push_back(r / e);
      f.loaded.push_back((started[i].peakBytes - emptyPeak[i]) / fileBytes);
      f.requeried.push_back((requeried[i].peakBytes - emptyPeak[i]) / fileBytes);
      const Figures& first = fig.front();
      f.startVsFirst.push_back(f.startMs.back() / first.startMs.back());
      f.requeryVsFirst.push_back(r / first.requeryMs.back());
      f.loadedVsFirst.push_back(f.loaded.back() / first.loaded.back());
      f.requeriedVsFirst.push_back(f.requeried.back() / first.requeried.back());
    }
  }

  std::printf("%d records, file %.1f MiB, %d turns | engine %.1f ms | its shell %.1f ms\n", records,
              fileBytes / 1048576.0, turns, median(engineMs), median(shellMs));
  for (size_t i = 0; i < progs.size(); ++i) {
    const Figures& f = fig[i];
    std::printf(
        "%s\n  start %8.1f ms  x%.3f engine (goal <= 1.0), x%.3f shell | requery %8.1f ms  x%.3f engine | memory "
        "above empty x%.3f file, after %d re-queries x%.3f | empty %.1f MiB\n",
        progs[i].c_str(), median(f.startMs), median(f.startRatio), median(f.startShellRatio), median(f.requeryMs),
        median(f.requeryRatio), median(f.loaded), kRequeries, median(f.requeried), emptyPeak[i] / 1048576.0);
  }
  if (progs.size() > 1) {
    const Figures& b = fig.back();
    std::printf(
        "last against first, turn by turn: start x%.3f | requery x%.3f (goal <= 1.05) | memory x%.3f, after "
        "re-queries x%.3f (goal <= 1.05)\n",
        median(b.startVsFirst), median(b.requeryVsFirst), median(b.loadedVsFirst), median(b.requeriedVsFirst));
  }
  return 0;
}
