// Fuzzes what reads outside input: the entry parsers (numeric test, rounding,
// dates of birth) and the points table reader, both on an in-memory device
// and through the look-ups on a table file in a scratch folder.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "numeric.h"
#include "tables.h"

using namespace quillon;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void fuzzParsers(const QString& s) {
  const bool numeric = isNumeric(s);
  const auto whole = roundedWhole(s);
  const auto diff = roundedDifference(83, s);
  const auto value = numericValue(s);
  check(numeric == whole.has_value());
  check(numeric == diff.has_value());
  check(numeric == value.has_value());
  if (numeric && *whole > -1000000 && *whole < 1000000) {
    // Rounding is off by at most one half from the value, and k - x rounds
    // to k minus the rounding of x, give or take the halfway parity.
    check(std::abs(double(*whole) - *value) <= 0.5 + 1e-9);
    const qint64 d = *diff - (83 - *whole);
    check(d >= -1 && d <= 1);
  }
  if (const auto n = wholeNumber(s)) check(numeric);
  if (const auto d = parseDateOfBirth(s)) {
    check(d->isValid());
    check(parseDateOfBirth(formatDateOfTest(*d)) == *d);
    check(scoringAge(*d, QDate(2026, 12, 7)) == d->daysTo(QDate(2026, 12, 7)) * 4 / 1461);
  }
  if (whole) {
    const QString g = ageGroupOf(*whole);
    check(g.size() == 1 && g[0] >= u'A' && g[0] <= u'J');
  }
}

void checkLookup(const Lookup& r) {
  if (r.kind == Lookup::Points) {
    check(r.text == QStringLiteral("0") || r.text == QStringLiteral("100") || r.text.size() == 3);
    check(wholeNumber(r.text).has_value());
  } else {
    check(!r.message.isEmpty());
    check(r.text.isEmpty());
  }
}

void fuzzDevice(const uint8_t* data, size_t size) {
  if (size < 3) return;
  const Table t = static_cast<Table>(data[0] % 3);
  const int record = int(int8_t(data[1])) + (t == Table::Run ? 70 : 30);
  const int field = data[2] % 24;
  QByteArray bytes(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
  QBuffer buf(&bytes);
  buf.open(QIODevice::ReadOnly);
  QByteArray row;
  const Lookup r = readPointsField(buf, layoutOf(t), record, field, QStringLiteral("bad key"), row);
  checkLookup(r);
  if (r.kind == Lookup::Points) check(row.size() == layoutOf(t).fieldCount * 3);
}

// The record a look-up asks for, as its failure on an empty table file
// names it; 0 when it read nothing (a fixed result or an entry refused).
int recordAskedFor(const Lookup& onEmpty) {
  static const QRegularExpression noRecord(QStringLiteral("^The points table \\S+ has no record (-?\\d+) "));
  const QRegularExpressionMatch m = noRecord.match(onEmpty.message);
  if (onEmpty.kind == Lookup::TableFault) check(m.hasMatch());
  return m.hasMatch() ? m.captured(1).toInt() : 0;
}

void fuzzLookups(const uint8_t* data, size_t size) {
  static QTemporaryDir dir;
  static QTemporaryDir emptyDir;
  if (size < 4 || !dir.isValid() || !emptyDir.isValid()) return;
  // Split: two entries of up to 4 characters, a key, then the table bytes.
  const QString e1 = QString::fromLatin1(reinterpret_cast<const char*>(data), 4).left(data[0] % 5);
  const QString key = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), 2);
  const int seconds = int(data[3] % 64) - 2;
  const QByteArray table(reinterpret_cast<const char*>(data + 4), qsizetype(size - 4));
  for (const char* name : {"2m.dat", "su.dat", "pu.dat"}) {
    QFile f(QDir(dir.path()).filePath(QLatin1String(name)));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    f.write(table);
  }
  ScoringTables tables;
  tables.open(dir.path());
  checkLookup(tables.RunPoints(e1, seconds, key));
  checkLookup(tables.SitUpPoints(e1, key.left(1)));
  checkLookup(tables.PushUpPoints(e1, key));

  // The same look-ups on empty files: any record asked for lies inside its table.
  for (const char* name : {"2m.dat", "su.dat", "pu.dat"}) {
    QFile f(QDir(emptyDir.path()).filePath(QLatin1String(name)));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  }
  ScoringTables empty;
  empty.open(emptyDir.path());
  const Lookup asked[] = {empty.RunPoints(e1, seconds, key), empty.SitUpPoints(e1, key.left(1)),
                          empty.PushUpPoints(e1, key)};
  const Table order[] = {Table::Run, Table::SitUp, Table::PushUp};
  for (int i = 0; i < 3; ++i) {
    checkLookup(asked[i]);
    const int rec = recordAskedFor(asked[i]);
    check(rec == 0 || (rec >= 1 && rec <= layoutOf(order[i]).lastRecord));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0] % 4;
  ++data;
  --size;
  switch (mode) {
    case 0: fuzzParsers(QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size))); break;
    case 1: fuzzParsers(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size))); break;
    case 2: fuzzDevice(data, size); break;
    default: fuzzLookups(data, size); break;
  }
  return 0;
}
