// Fuzzes the page scan that Repair reads damaged databases with: any bytes
// at all, taken as a database file image, must give rows that hold together,
// and what Repair makes of them must give every row its own ID.

#include <QByteArray>
#include <QSet>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "repair.h"
#include "salvage.h"

using namespace quillon::dbtool;

namespace {

[[noreturn]] void failed(const char* what) {
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

#define check(ok) ((ok) ? void() : failed(#ok))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  const salvage::Scan s = salvage::scanInfoRows(file);
  check(s.damagedCells >= 0 && s.damagedPages >= 0 && s.conflictingCopies >= 0 && s.strayRowsIgnored >= 0);
  if (!s.rows.empty()) check(s.pageSize >= 512 && s.pageSize <= 65536);
  const QSet<quint32> leaves(s.leafPages.begin(), s.leafPages.end());
  check(qsizetype(leaves.size()) == qsizetype(s.leafPages.size()));
  for (const quint32 p : s.leafPages) check(p >= 1 && p <= s.pagesInFile);
  for (size_t i = 0; i < s.rows.size(); ++i) {
    const salvage::Row& r = s.rows[i];
    if (i > 0) check(s.rows[i - 1].rowid < r.rowid);
    // A row stored since the two fields a later scorer adds carries twenty.
    check(r.fields.size() == salvage::kFieldCount || r.fields.size() == salvage::kFieldCount + 2);
    check(leaves.contains(r.page));
    check(r.fields[0].kind == salvage::Value::Null || r.fields[0].kind == salvage::Value::Integer);
  }
  if (!s.treeWhole) check(s.strayRowsIgnored == 0);

  const SalvagePlan plan = planSalvage(s.rows, 0);
  check(plan.records.size() == s.rows.size());
  QSet<qint64> ids;
  qint64 renumbered = 0;
  for (const SalvagedRecord& r : plan.records) {
    check(!ids.contains(r.id));
    ids.insert(r.id);
    renumbered += r.renumbered ? 1 : 0;
  }
  check(renumbered == plan.renumbered);
  return 0;
}
