// quillon-score on 100,000 soldiers, as a ratio to reading and writing the
// same CSV without scoring (goal <= 2x). The scorer runs as a clerk's script
// runs it, a separate process from a file to a file; the baseline is a
// process of the same make (bench_score_copy) that reads the file with the
// same reader and writes every record back, the part of the scorer's work
// that is not scoring. The same pair in this process is printed beside it.
// Median of five alternating turns.
// Both wall time and processor time (user + system, the scorer's taken from
// its exit) are shown; the goal is judged on processor time, which other
// programs sharing the machine do not inflate.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

#include "batchscore.h"
#include "rawentry.h"

using namespace quillon;

namespace {

constexpr int kSoldiers = 100000;

QByteArray soldiers() {
  QRandomGenerator rng(20250601);
  QByteArray out = "name,unit,sex,dob,test_date,standard,deadlift,pushup,sdc,plank,run,alternate,alternate_time\n";
  static const char* alternates[] = {"walk", "bike", "swim", "row"};
  for (int i = 0; i < kSoldiers; ++i) {
    const QDate test(2025, 6, 1 + rng.bounded(29));
    const QDate dob = test.addDays(-(17 * 365 + 5 + rng.bounded(45 * 365)));
    const bool alternate = rng.bounded(20) == 0;
    QStringList f{QStringLiteral("Soldier %1, A").arg(i), QStringLiteral("B Co \"%1\"").arg(i % 7),
                  rng.bounded(3) ? "M" : "F", dob.toString(Qt::ISODate),
                  i % 2 ? test.toString("MM/dd/yyyy") : test.toString(Qt::ISODate),
                  rng.bounded(4) ? "general" : "combat", QString::number(80 + 10 * rng.bounded(28)),
                  QString::number(rng.bounded(70)), fitness::formatTime(85 + rng.bounded(200)),
                  fitness::formatTime(40 + rng.bounded(200)),
                  alternate ? QString() : fitness::formatTime(780 + rng.bounded(900)),
                  alternate ? alternates[rng.bounded(4)] : "", alternate ? fitness::formatTime(1500 + rng.bounded(700)) : ""};
    batch::appendCsvRecord(out, f);
  }
  return out;
}

double ownCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double childrenCpuMs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString scorer = QDir(QCoreApplication::applicationDirPath()).filePath("../src/app/quillon-score");
  QTemporaryDir dir;
  const QString in = QDir(dir.path()).filePath("soldiers.csv");
  const QString out = QDir(dir.path()).filePath("scored.csv");
  {
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly) || f.write(soldiers()) < 0) return 1;
  }
  int refused = 0;
  const QString copier = QDir(QCoreApplication::applicationDirPath()).filePath("bench_score_copy");
  auto runProcess = [&out](const QString& program, const QString& input) {
    QProcess p;
    p.setStandardOutputFile(out);
    p.start(program, {input});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() == 1) {
      std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
      return false;
    }
    return true;
  };
  std::vector<double> copyMs, copyCpu, procRatio, procCpuRatio;
  std::vector<double> baseMs, cliMs, libMs, cliRatio, libRatio, baseCpu, cliCpu, libCpu, cliCpuRatio, libCpuRatio;
  for (int turn = 0; turn < 5; ++turn) {
    QElapsedTimer t;
    t.start();
    double cpu = ownCpuMs();
    {
      QFile f(in), o(out);
      if (!f.open(QIODevice::ReadOnly) || !o.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
      o.write(batch::copyCsv(f.readAll()));
    }
    const double base = t.nsecsElapsed() / 1e6;
    const double baseC = ownCpuMs() - cpu;
    cpu = childrenCpuMs();

    t.restart();
    if (!runProcess(scorer, in)) return 1;
    const double cli = t.nsecsElapsed() / 1e6;
    const double cliC = childrenCpuMs() - cpu;
    cpu = ownCpuMs();

    t.restart();
    {
      QFile f(in), o(out);
      if (!f.open(QIODevice::ReadOnly) || !o.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
      const batch::BatchResult r = batch::scoreCsv(f.readAll());
      if (r.rows != kSoldiers) return 1;
      refused = int(r.refusals.size());
      o.write(r.output);
    }
    const double lib = t.nsecsElapsed() / 1e6;
    const double libC = ownCpuMs() - cpu;
    t.restart();
    cpu = childrenCpuMs();
    if (!runProcess(copier, in)) return 1;
    const double copyW = t.nsecsElapsed() / 1e6;
    const double copyC = childrenCpuMs() - cpu;
    copyMs.push_back(copyW);
    copyCpu.push_back(copyC);
    procRatio.push_back(cli / copyW);
    procCpuRatio.push_back(cliC / copyC);
    baseCpu.push_back(baseC);
    cliCpu.push_back(cliC);
    libCpu.push_back(libC);
    cliCpuRatio.push_back(cliC / baseC);
    libCpuRatio.push_back(libC / baseC);
    baseMs.push_back(base);
    cliMs.push_back(cli);
    libMs.push_back(lib);
    cliRatio.push_back(cli / base);
    libRatio.push_back(lib / base);
  }
  std::printf("%d soldiers, %d refused\n", kSoldiers, refused);
  std::printf("processor time: copy process %.1f ms | quillon-score %.1f ms  x%.2f (goal <= 2)"
              " | in-process copy %.1f ms, scoring %.1f ms  x%.2f\n",
              median(copyCpu), median(cliCpu), median(procCpuRatio), median(baseCpu), median(libCpu), median(libCpuRatio));
  std::printf("wall time:      copy process %.1f ms | quillon-score %.1f ms  x%.2f"
              " | in-process copy %.1f ms, scoring %.1f ms  x%.2f\n",
              median(copyMs), median(cliMs), median(procRatio), median(baseMs), median(libMs), median(libRatio));
  return 0;
}
