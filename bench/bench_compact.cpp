// Compact, with every file step around the engine (backup as a second name,
// compacted copy checked, flushed and renamed over the database), against
// the engine's own VACUUM INTO of the same file with the copy flushed, in
// the same run. One million records by default; QUILLON_BENCH_RECORDS sets
// another count.

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

#include "compact.h"
#include "dbengine.h"
#include "dbfile.h"
#include "fsops.h"

namespace {

QTemporaryDir* workDir = nullptr;

QString sourcePath() { return QDir(workDir->path()).filePath("info.mdb"); }
QString destPath() { return QDir(workDir->path()).filePath("out.mdb"); }

qint64 recordCount() {
  const qint64 n = qEnvironmentVariableIntValue("QUILLON_BENCH_RECORDS");
  return n > 0 ? n : 1000000;
}

// The records, with a tenth of them deleted so the compaction has free
// pages to drop, as a real file in use for years would.
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
  const std::string remark(60, 'r');
  for (qint64 i = 0; i < recordCount(); ++i) {
    const std::string name = "SOLDIER" + std::to_string(i);
    const std::string ssn = std::to_string(100000000 + i);
    sqlite3_bind_text(ins, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 2, ssn.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, remark.c_str(), -1, SQLITE_STATIC);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT; DELETE FROM info WHERE ID % 10 = 0", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// The floor: the engine's compaction alone, its copy flushed to disk.
void BM_VacuumInto(benchmark::State& state) {
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(sourcePath()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    const QByteArray sql = "VACUUM INTO '" + QFile::encodeName(destPath()) + "'";
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) state.SkipWithError("vacuum failed");
    sqlite3_close(db);
    quillon::dbtool::fs::syncPath(destPath());
    state.PauseTiming();
    QFile::remove(destPath());
    state.ResumeTiming();
  }
}

void BM_Compact(benchmark::State& state) {
  quillon::dbtool::DBEngine engine;
  const QString backup = QDir(workDir->path()).filePath("info.old");
  for (auto _ : state) {
    quillon::dbtool::compactKeepingBackup(engine, sourcePath(), backup, nullptr);
    state.PauseTiming();
    // Back to the file as it was, for the next round.
    QFile::remove(sourcePath());
    QFile::rename(backup, sourcePath());
    state.ResumeTiming();
  }
}

BENCHMARK(BM_VacuumInto)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Compact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
  std::printf("records database: %lld records, %.1f MB\n", recordCount(), QFileInfo(sourcePath()).size() / 1048576.0);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto floor = reporter.seconds.find("BM_VacuumInto/iterations:3/real_time");
  const auto compact = reporter.seconds.find("BM_Compact/iterations:3/real_time");
  if (floor != reporter.seconds.end() && compact != reporter.seconds.end() && floor->second > 0)
    std::printf("compact / VACUUM INTO + flush: %.2f\n", compact->second / floor->second);
  benchmark::Shutdown();
  return 0;
}
