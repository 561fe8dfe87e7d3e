// The whole roster import of 10,000 soldiers as the Records menu runs it,
// less the clerk's time in the preview: read and check the file, plan the
// batch, store it in one transaction with the rows shown following, and
// record the one Undo step. Baseline in the same run: the same number of
// rows inserted with one prepared statement in one transaction.

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "importplan.h"
#include "recordstore.h"
#include "rosters.h"
#include "undo.h"

using namespace quillon;

namespace {

constexpr int kRows = 10000;

QString freshDatabase(const QTemporaryDir& dir, int n) {
  const QString path = dir.filePath(QStringLiteral("info%1.mdb").arg(n));
  createRecordsDatabase(path);
  return path;
}

void BM_InsertBaseline(benchmark::State& state) {
  QTemporaryDir dir;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const QString path = freshDatabase(dir, n++);
    state.ResumeTiming();
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB) VALUES (?,?,?,?,?)", -1, &st, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const QByteArray name = "Surname" + QByteArray::number(i) + ", Given";
      sqlite3_bind_text(st, 1, name.constData(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, "SGT", -1, SQLITE_STATIC);
      sqlite3_bind_text(st, 3, "000-01-0000", -1, SQLITE_STATIC);
      sqlite3_bind_text(st, 4, "M", -1, SQLITE_STATIC);
      sqlite3_bind_text(st, 5, "01/02/1990", -1, SQLITE_STATIC);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_InsertBaseline)->Unit(benchmark::kMillisecond);

void BM_WholeRosterImport(benchmark::State& state) {
  QTemporaryDir dir;
  const QString rosterPath = dir.filePath(QStringLiteral("roster.csv"));
  {
    QFile f(rosterPath);
    f.open(QIODevice::WriteOnly);
    f.write(test::generatedRoster(kRows));
  }
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const QString path = freshDatabase(dir, n++);
    RecordStore store;
    store.setDatabaseName(path);
    store.refresh();
    RecordHistory history(store);
    state.ResumeTiming();
    const RosterPreview preview = previewRosterFile(rosterPath, {});
    const auto ops = rosterPlan(preview, true, [&](qint64 id) { return store.storedRecord(id); });
    const auto done = store.applyBatch(ops, [](int, int) { return true; });
    history.recordBatch(QStringLiteral("Import of roster.csv"), *done);
    if (!done || done->size() != kRows || store.rowCount() != kRows) state.SkipWithError("rows missing");
  }
}
BENCHMARK(BM_WholeRosterImport)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
