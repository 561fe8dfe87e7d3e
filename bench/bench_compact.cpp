// Compacting a records database of about 100 MB, against the floor of a
// plain copy of the same file made in the same run. Both write their
// result to disk (flushed) and remove it again after each iteration.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>

#include "dbengine.h"
#include "dbfile.h"
#include "fsops.h"

namespace {

QTemporaryDir* workDir = nullptr;

QString sourcePath() { return QDir(workDir->path()).filePath("info.mdb"); }
QString destPath() { return QDir(workDir->path()).filePath("out.mdb"); }

// About 100 MB of records, with a tenth of them deleted so the compaction
// has free pages to drop, as a real file in use for years would.
void makeSource() {
  const QString path = sourcePath();
  quillon::createRecordsDatabase(path);
  sqlite3* db = nullptr;
  sqlite3_open(QFile::encodeName(path).constData(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, "
                     "C_RUN, TOTAL, STAT, PROFILE, REMARK) VALUES (?1, 'SGT', ?2, 'M', '01/02/1990', '06/01/2026', "
                     "'42', '55', '15', '30', '71', '68', '80', '219', 'PASS', '', ?3)",
                     -1, &ins, nullptr);
  const std::string remark(150, 'r');
  for (int i = 0; QFileInfo(path).size() < 100LL * 1024 * 1024 || i % 1000; ++i) {
    const std::string name = "SOLDIER" + std::to_string(i);
    const std::string ssn = std::to_string(100000000 + i);
    sqlite3_bind_text(ins, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 2, ssn.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, remark.c_str(), -1, SQLITE_STATIC);
    sqlite3_step(ins);
    sqlite3_reset(ins);
    if (i % 20000 == 19999) {
      sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
    }
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT; DELETE FROM info WHERE ID % 10 = 0", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

void BM_PlainCopy(benchmark::State& state) {
  for (auto _ : state) {
    if (!QFile::copy(sourcePath(), destPath())) state.SkipWithError("copy failed");
    quillon::dbtool::fs::syncPath(destPath());
    state.PauseTiming();
    QFile::remove(destPath());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * QFileInfo(sourcePath()).size());
}

void BM_Compact(benchmark::State& state) {
  quillon::dbtool::DBEngine engine;
  for (auto _ : state) {
    engine.CompactDatabase(sourcePath(), destPath());
    state.PauseTiming();
    QFile::remove(destPath());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * QFileInfo(sourcePath()).size());
}

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Compact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  QTemporaryDir dir;
  workDir = &dir;
  makeSource();
  std::printf("records database: %.1f MB\n", QFileInfo(sourcePath()).size() / 1048576.0);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto copy = reporter.seconds.find("BM_PlainCopy/iterations:5/real_time");
  const auto compact = reporter.seconds.find("BM_Compact/iterations:5/real_time");
  if (copy != reporter.seconds.end() && compact != reporter.seconds.end() && copy->second > 0)
    std::printf("compact / plain copy: %.2f\n", compact->second / copy->second);
  benchmark::Shutdown();
  return 0;
}
