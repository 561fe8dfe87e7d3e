#pragma once
// Roster files as a clerk's spreadsheet exports them, for the import tests
// and the import benchmark.

#include <QByteArray>
#include <QString>

namespace quillon::test {

// `rows` soldiers with distinct valid SSNs (000-01-0000 upward), names
// "Surname<n>, Given<n>", ranks, sexes and dates of birth in the forms the
// window accepts, a stray column the import ignores, CRLF line ends and a
// remark-like quoted field holding a comma and a line break every tenth row.
inline QByteArray generatedRoster(int rows) {
  static const char* const ranks[] = {"PV2", "spc", "SGT", "1LT", "N/A", "CSM"};
  QByteArray out = "\xEF\xBB\xBFLast Name,First Name,Rank,SSN,Gender,Date of Birth,Unit\r\n";
  out.reserve(out.size() + rows * 64);
  for (int i = 0; i < rows; ++i) {
    const int n = 10000 + i;
    out += "Surname" + QByteArray::number(i) + ",Given" + QByteArray::number(i) + ',' + ranks[i % 6] + ',';
    out += (i % 2 ? QString::asprintf("000-%02d-%04d", n / 10000, n % 10000)
                  : QString::asprintf("000%02d%04d", n / 10000, n % 10000)).toLatin1();
    out += i % 3 ? ",M," : ",female,";
    out += (i % 2 ? QString::asprintf("%d/%d/19%02d", i % 12 + 1, i % 28 + 1, 60 + i % 40)
                  : QString::asprintf("19%02d-%02d-%02d", 60 + i % 40, i % 12 + 1, i % 28 + 1)).toLatin1();
    out += i % 10 ? ",A Co\r\n" : ",\"HQ, 1st\nPlatoon\"\r\n";
  }
  return out;
}

}  // namespace quillon::test
