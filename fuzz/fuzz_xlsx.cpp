// Fuzzes the workbook reader: zip directory, part unpacking and the XML of
// the workbook, its relationships, shared strings, styles and sheet, then
// the roster checks over whatever rows come back.

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "roster.h"
#include "xlsxreader.h"

using namespace quillon;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const CsvTable t = readXlsx(bytes);
  if (!t.ok()) {
    check(t.records.isEmpty() && t.errorLine >= 0);
    return 0;
  }
  // Rows come in sheet order, each once, all as wide as the first.
  for (qsizetype i = 0; i < t.records.size(); ++i) {
    check(t.records[i].fields.size() == t.records.first().fields.size());
    check(i == 0 || t.records[i - 1].line < t.records[i].line);
    bool any = false;
    for (const QString& f : t.records[i].fields) any = any || !f.isEmpty();
    check(any);
  }
  const RosterPreview p = previewRosterTable(t, {});
  check(p.ok() || (p.toAdd.isEmpty() && p.refused.isEmpty()));
  return 0;
}
