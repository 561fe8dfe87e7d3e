// Fuzzes the roster import: the CSV reader and the checks and sorting of its
// rows, against a few stored records, and the CSV export's guard against
// formulas.

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "exportwriter.h"
#include "roster.h"

using namespace quillon;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  const CsvTable table = parseCsv(bytes);
  check(table.ok() == table.error.isEmpty());
  check(table.ok() || table.errorLine >= 1);
  for (const CsvRecord& r : table.records) {
    check(r.fields.size() == table.records.first().fields.size());
    check(r.line >= table.records.first().line);
  }

  static const SsnIndex existing = [] {
    SsnIndex index;
    addToSsnIndex(index, "123-45-6789", 1);
    addToSsnIndex(index, "000000002", 2);
    return index;
  }();
  const RosterPreview p = previewRoster(bytes, existing);
  // Checked line by line as the file is read, it sorts every line as the
  // whole table read first does.
  const RosterPreview q = previewRosterTable(table, existing);
  check(p.error == q.error && p.errorLine == q.errorLine && p.toAdd.size() == q.toAdd.size() &&
        p.matches.size() == q.matches.size() && p.refused.size() == q.refused.size() &&
        p.ignoredColumns == q.ignoredColumns);
  for (qsizetype i = 0; i < p.refused.size(); ++i)
    check(p.refused[i].line == q.refused[i].line && p.refused[i].reason == q.refused[i].reason);
  for (qsizetype i = 0; i < p.toAdd.size(); ++i)
    check(p.toAdd[i].line == q.toAdd[i].line && p.toAdd[i].name == q.toAdd[i].name && p.toAdd[i].ssn == q.toAdd[i].ssn &&
          p.toAdd[i].rank == q.toAdd[i].rank && p.toAdd[i].sex == q.toAdd[i].sex && p.toAdd[i].dob == q.toAdd[i].dob);
  if (!p.ok()) {
    check(p.toAdd.isEmpty() && p.matches.isEmpty() && p.refused.isEmpty());
    return 0;
  }
  auto accepted = [](const RosterRow& row) {
    check(!row.name.isEmpty() && row.name.size() <= 25);
    check(normalizedSsn(row.ssn) == row.ssn);
    check(row.sex.isEmpty() || row.sex == "M" || row.sex == "F");
    check(row.dob.isEmpty() || normalizedDate(row.dob) == row.dob);
    check(recordFromRoster(row).size() == 18);
  };
  for (const RosterRow& row : p.toAdd) accepted(row);
  for (const RosterMatch& m : p.matches) {
    accepted(m.row);
    check(!m.ids.isEmpty());
  }
  for (qsizetype i = 0; i < p.refused.size(); ++i) {
    check(!p.refused[i].reason.isEmpty());
    check(i == 0 || p.refused[i - 1].line <= p.refused[i].line);
  }

  const QString text = QString::fromUtf8(bytes);
  const QString safe = csvSafeText(text);
  check(safe.isEmpty() || !QStringLiteral("=+-@\t\r").contains(safe.front()));
  return 0;
}
