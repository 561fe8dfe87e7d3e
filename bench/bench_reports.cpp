// Rendering the by Name report to PDF for 10,000 records, against the
// engine's baseline: SQLite reading the same rows in the same run. The
// ratio says how much the layout and PDF output cost beyond the read.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <sqlite3.h>

#include "dbfile.h"
#include "report.h"

using namespace quillon;

namespace {

constexpr int kRecords = 10000;
QTemporaryDir* workDir = nullptr;

QString workFile(const QString& name) { return QDir(workDir->path()).filePath(name); }

void makeDatabase() {
  createRecordsDatabase(workFile("info.mdb"));
  sqlite3* db = nullptr;
  sqlite3_open(QFile::encodeName(workFile("info.mdb")).constData(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, "
                     "C_RUN, TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &st, nullptr);
  static const char* ranks[] = {"PVT", "SPC", "SGT", "SSG", "SFC", "2LT", "CPT"};
  for (int i = 0; i < kRecords; ++i) {
    // Names in scrambled order so the sort has work to do.
    const unsigned k = (static_cast<unsigned>(i) * 7919u) % kRecords;
    const QByteArray v[] = {
        QStringLiteral("Soldier%1, Pat").arg(k, 5, 10, QLatin1Char('0')).toUtf8(),
        ranks[i % 7],
        QByteArray::number(100000000 + i),
        i % 3 ? "M" : "F",
        QStringLiteral("%1/%2/19%3").arg(1 + i % 12, 2, 10, QLatin1Char('0')).arg(1 + i % 28, 2, 10, QLatin1Char('0')).arg(60 + i % 40).toUtf8(),
        QStringLiteral("%1/15/2026").arg(1 + i % 12, 2, 10, QLatin1Char('0')).toUtf8(),
        QByteArray::number(20 + i % 60),
        QByteArray::number(30 + i % 50),
        QByteArray::number(12 + i % 8),
        QByteArray::number(i % 60),
        QByteArray::number(40 + i % 61),
        QByteArray::number(45 + i % 56),
        QByteArray::number(50 + i % 51),
        QByteArray::number(135 + i % 166),
        i % 4 ? "PASS" : "FAIL",
        i % 25 ? "" : "PROFILE",
        i % 9 ? "" : "retest scheduled",
    };
    for (int c = 0; c < 17; ++c) sqlite3_bind_text(st, c + 1, v[c].constData(), v[c].size(), SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// The shipped layout: from the current folder, else from the build's data
// folder beside this program's.
bool copyLayout() {
  for (const QString& dir : {QDir::currentPath(), QCoreApplication::applicationDirPath() + QStringLiteral("/../data")}) {
    const QString from = QDir(dir).filePath(QStringLiteral("basic.rpt"));
    if (QFileInfo(from).isFile()) return QFile::copy(from, workFile(QStringLiteral("basic.rpt")));
  }
  std::fprintf(stderr, "basic.rpt not found in the current folder or the build's data folder\n");
  return false;
}

// Baseline: the same rows, read by SQLite alone.
void BM_SqliteReadRows(benchmark::State& state) {
  const QByteArray path = QFile::encodeName(workFile("info.mdb"));
  const QByteArray sql = ("SELECT " + infoFieldNames().join(", ") + " FROM info").toUtf8();
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    size_t bytes = 0;
    int rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < 18; ++c) {
        benchmark::DoNotOptimize(sqlite3_column_text(st, c));
        bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
      }
      ++rows;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (rows != kRecords) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(bytes);
  }
}

// The engine's read, selection and sort, without drawing.
void BM_PrepareByName(benchmark::State& state) {
  ReportObject r(QStringLiteral("NameReport"));
  r.setReportFileName(workFile("basic.rpt"));
  r.setSortFields(0, QStringLiteral("+{info.LNAME}"));
  for (auto _ : state) {
    PreparedReport p = r.prepare();
    if (p.rows.size() != kRecords) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(p);
  }
}

// The whole by Name command with its output going to a PDF file.
void BM_ByNameToPdf(benchmark::State& state) {
  ReportObject r(QStringLiteral("NameReport"));
  bool failed = false;
  r.onError = [&](const QString& m) {
    std::fprintf(stderr, "%s\n", qPrintable(m));
    failed = true;
  };
  r.setPdfDestination(workFile("byname.pdf"));
  for (auto _ : state) {
    r.setReportFileName(workFile("basic.rpt"));
    r.setSortFields(0, QStringLiteral("+{info.LNAME}"));
    r.Action(0);
    if (failed) state.SkipWithError("report failed");
  }
  state.counters["pdf_kB"] = QFileInfo(workFile("byname.pdf")).size() / 1024.0;
}

BENCHMARK(BM_SqliteReadRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_PrepareByName)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ByNameToPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  QTemporaryDir dir;
  workDir = &dir;
  makeDatabase();
  if (!copyLayout()) return 1;
  // The engine reads info.mdb from the current folder, as in the program.
  const QString home = QDir::currentPath();
  QDir::setCurrent(dir.path());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double base = reporter.seconds["BM_SqliteReadRows"];
  if (base > 0) {
    for (const char* n : {"BM_PrepareByName", "BM_ByNameToPdf"})
      if (reporter.seconds.count(n)) std::printf("%s / BM_SqliteReadRows: %.1f\n", n, reporter.seconds[n] / base);
  }
  benchmark::Shutdown();
  QDir::setCurrent(home);
  return 0;
}
