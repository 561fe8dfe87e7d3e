// Fuzzes quillon-score's work on a whole input file: reading, scoring and
// writing must never crash, must keep one output row per input row, and the
// output must read back as CSV with the input's fields unchanged.

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "batchscore.h"
#include "csvreader.h"

using namespace quillon;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const batch::BatchResult r = batch::scoreCsv(bytes);
  if (r.status == batch::kUnreadable) {
    check(r.output.isEmpty() && !r.error.isEmpty());
    return 0;
  }
  check((r.status == batch::kSomeRefused) == !r.refusals.isEmpty());
  const CsvTable in = parseCsv(bytes);
  const CsvTable out = parseCsv(r.output);
  check(out.ok());
  check(out.records.size() == in.records.size());
  for (qsizetype i = 0; i < in.records.size(); ++i) {
    const QStringList& before = in.records[i].fields;
    const QStringList& after = out.records[i].fields;
    check(after.size() == before.size() + batch::outputColumns().size());
    check(after.mid(0, before.size()) == before);
  }
  return 0;
}
