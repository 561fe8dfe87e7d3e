// Records in and out for 10,000 soldiers. The roster import (parse, check,
// sort into the preview) and the two exports, each against a baseline in the
// same run: decoding the same bytes as UTF-8 text (import) and writing the
// same bytes to a file in one piece (export). The ratios say what the work
// costs beyond touching the data once.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "exportwriter.h"
#include "roster.h"
#include "rosters.h"

using namespace quillon;

namespace {

constexpr int kRows = 10000;

const QByteArray& roster() {
  static const QByteArray data = test::generatedRoster(kRows);
  return data;
}

// Half the roster's soldiers are already stored.
const SsnIndex& stored() {
  static const SsnIndex index = [] {
    SsnIndex i;
    const RosterPreview p = previewRoster(roster(), {});
    for (qsizetype k = 0; k < p.toAdd.size(); k += 2) addToSsnIndex(i, p.toAdd[k].ssn, k + 1);
    return i;
  }();
  return index;
}

QList<RecordRow> records() {
  QList<RecordRow> rows;
  const RosterPreview p = previewRoster(roster(), {});
  for (const RosterRow& r : p.toAdd) {
    RecordRow rec = recordFromRoster(r);
    rec[fieldIndex("ID")] = QString::number(r.line);
    rec[fieldIndex("DOT")] = "06/01/2026";
    for (const char* f : {"RAW_PU", "RAW_SU", "RUN_M", "RUN_S", "C_PU", "C_SU", "C_RUN"}) rec[fieldIndex(f)] = "42";
    rec[fieldIndex("TOTAL")] = "251";
    rec[fieldIndex("STAT")] = "PASS";
    rec[fieldIndex("REMARK")] = "=not a formula, \"quoted\"";
    rows << rec;
  }
  return rows;
}

void BM_DecodeRosterBaseline(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(QString::fromUtf8(roster()));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DecodeRosterBaseline)->Unit(benchmark::kMillisecond);

void BM_RosterPreview(benchmark::State& state) {
  const SsnIndex& index = stored();
  for (auto _ : state) {
    const RosterPreview p = previewRoster(roster(), index);
    if (p.toAdd.size() + p.matches.size() != kRows) state.SkipWithError("rows lost");
    benchmark::DoNotOptimize(p);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_RosterPreview)->Unit(benchmark::kMillisecond);

void BM_WriteBytesBaseline(benchmark::State& state) {
  QTemporaryDir dir;
  const QByteArray bytes(2 * 1024 * 1024, 'x');  // about the CSV's size
  for (auto _ : state) {
    QFile f(QDir(dir.path()).filePath("raw.bin"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    f.flush();
    fsync(f.handle());
  }
}
BENCHMARK(BM_WriteBytesBaseline)->Unit(benchmark::kMillisecond);

void BM_ExportCsv(benchmark::State& state) {
  QTemporaryDir dir;
  const QList<RecordRow> rows = records();
  for (auto _ : state)
    if (!writeRecordsCsv(QDir(dir.path()).filePath("out.csv"), rows).isEmpty()) state.SkipWithError("write failed");
  state.SetItemsProcessed(state.iterations() * rows.size());
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

void BM_ExportXlsx(benchmark::State& state) {
  QTemporaryDir dir;
  const QList<RecordRow> rows = records();
  for (auto _ : state)
    if (!writeRecordsXlsx(QDir(dir.path()).filePath("out.xlsx"), rows).isEmpty()) state.SkipWithError("write failed");
  state.SetItemsProcessed(state.iterations() * rows.size());
}
BENCHMARK(BM_ExportXlsx)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
