// Fuzzes the report-file reader: any bytes a clerk saves as a report file
// either give a layout whose every field is one of table info's, or are
// refused with a message naming the file; never a crash or a hang.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "report.h"
#include "reportdetail.h"

using namespace quillon;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool known(const QString& field) { return detail::fieldIndex(field) >= 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QTemporaryDir dir;
  if (!dir.isValid()) return 0;
  const QString path = dir.filePath(QStringLiteral("fuzzed.rpt"));
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
  }
  try {
    const ReportLayout L = readReportFile(path);
    check(L.sourceFile == path);
    for (const SortKey& k : L.sort) check(known(k.field));
    for (const auto& t : L.titleForKey) check(known(t.first.field) && !t.second.isEmpty());
    for (const Condition& c : L.select) check(known(c.field));
    if (!L.group.isEmpty()) check(known(L.group));
    for (const ReportColumn& c : L.columns) {
      check(!c.fields.isEmpty());
      for (const QString& f : c.fields) check(known(f));
      check(c.width > 0 && std::isfinite(c.width));
    }
    for (const ChartCategory& c : L.categories) check(c.other || known(c.condition.field));
    check(L.marginMm >= 0 && L.marginMm <= 60 && L.fontPt >= 5 && L.fontPt <= 24);
  } catch (const ReportError& e) {
    check(e.message().contains(QDir::toNativeSeparators(path)));
  }
  return 0;
}
