// Start-up and re-query of the main window over 100,000 records, each as a
// ratio against the database engine alone running the same row source
// query over the same file in the same run.
//
//   bench_mainform [--benchmark_repetitions=N]
//
// Counter "x_engine" = time per iteration / time of the engine-only query.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sqlite3.h>

#include "dbfile.h"
#include "mainform.h"
#include "recordgrid.h"
#include "recordstore.h"

namespace {

constexpr int kRecords = 100000;
QString g_db;
double g_engineSeconds = 0;  // per run of the query, from BM_EngineQuery

using Clock = std::chrono::steady_clock;

// Nothing may go wrong quietly during a measurement.
class LoudSeam : public quillon::MessageSeam {
 public:
  void message(const QString& text, const QString&, quillon::MsgIcon) override {
    std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
    std::abort();
  }
  bool askYesNo(const QString& text, const QString&) override {
    std::fprintf(stderr, "unexpected question: %s\n", qPrintable(text));
    std::abort();
  }
};

void makeDatabase(const QString& path) {
  quillon::createRecordsDatabase(path);
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, "
                     "C_RUN, TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &st, nullptr);
  const QStringList& ranks = quillon::rankList();
  for (int i = 0; i < kRecords; ++i) {
    // Names in no particular order, so the query really sorts.
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    const QByteArray vals[] = {
        QStringLiteral("Soldier %1, %2").arg(h % 1000000, 6, 10, QLatin1Char('0')).arg(i).toUtf8(),
        ranks[static_cast<int>(h % 33)].toUtf8(),
        QStringLiteral("000-00-%1").arg(i % 10000, 4, 10, QLatin1Char('0')).toUtf8(),
        (h & 1) ? "F" : "M",
        "03/14/1994",
        "12/01/2026",
        QByteArray::number(30 + i % 40),
        QByteArray::number(40 + i % 40),
        QByteArray::number(13 + i % 6),
        QByteArray::number(i % 60),
        "72",
        "80",
        "65",
        "217",
        "PASS",
        "",
        (i % 7 == 0) ? "retest" : ""};
    for (int c = 0; c < 17; ++c) sqlite3_bind_text(st, c + 1, vals[c].constData(), -1, SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// The engine alone: open the file, run the row source, read every field of
// every row as text.
void BM_EngineQuery(benchmark::State& state) {
  const QByteArray path = QFile::encodeName(g_db);
  const QByteArray sql = quillon::RecordStore::rowSourceQuery().toUtf8();
  double total = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    size_t bytes = 0;
    const int n = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW)
      for (int c = 0; c < n; ++c) {
        benchmark::DoNotOptimize(sqlite3_column_text(st, c));
        bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
      }
    benchmark::DoNotOptimize(bytes);
    sqlite3_finalize(st);
    sqlite3_close(db);
    total += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  g_engineSeconds = total / static_cast<double>(state.iterations());
  state.counters["x_engine"] = 1.0;
}
BENCHMARK(BM_EngineQuery)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// From constructing the window to the grid having painted its first rows.
void BM_MainFormStart(benchmark::State& state) {
  LoudSeam seam;
  double total = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    auto form = std::make_unique<quillon::MainForm>();
    form->setMessageSeam(&seam);
    form->show();
    while (form->gridModel()->rowCount() == 0) QApplication::processEvents();
    form->TDBGrid1->viewport()->repaint();
    total += std::chrono::duration<double>(Clock::now() - t0).count();
    if (form->Data1->rowCount() != kRecords) state.SkipWithError("rows missing");
    state.PauseTiming();
    form.reset();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  const double per = total / static_cast<double>(state.iterations());
  state.counters["x_engine"] = g_engineSeconds > 0 ? per / g_engineSeconds : 0;
}
BENCHMARK(BM_MainFormStart)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The activation step: store nothing, re-query, show the first row.
void BM_ActivationRequery(benchmark::State& state) {
  LoudSeam seam;
  quillon::MainForm form;
  form.setMessageSeam(&seam);
  form.show();
  while (form.gridModel()->rowCount() == 0) QApplication::processEvents();
  double total = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    form.Form_Activate();
    form.TDBGrid1->viewport()->repaint();
    total += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  if (form.Data1->rowCount() != kRecords) state.SkipWithError("rows missing");
  const double per = total / static_cast<double>(state.iterations());
  state.counters["x_engine"] = g_engineSeconds > 0 ? per / g_engineSeconds : 0;
}
BENCHMARK(BM_ActivationRequery)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir tmp;
  if (!tmp.isValid()) return 1;
  QDir::setCurrent(tmp.path());  // the window looks for info.mdb here
  g_db = QDir(tmp.path()).filePath(QStringLiteral("info.mdb"));
  makeDatabase(g_db);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
