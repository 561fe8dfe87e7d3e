#include "tables.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <algorithm>

#include "numeric.h"

namespace quillon {
namespace {

constexpr int kFieldWidth = 3;

const TableLayout kRun{"2m.dat", 62, 20, 141};
const TableLayout kSitUp{"su.dat", 32, 10, 62};
const TableLayout kPushUp{"pu.dat", 62, 20, 73};

const char* const kAgeSexKeys[] = {"AM", "AF", "BM", "BF", "CM", "CF", "DM", "DF", "EM", "EF",
                                   "FM", "FF", "GM", "GF", "HM", "HF", "IM", "IF", "JM", "JF"};
const char* const kGroups[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};

Lookup points(const QString& text) { return {Lookup::Points, text, {}}; }
Lookup fault(const QString& message) { return {Lookup::TableFault, {}, message}; }

bool fieldIsWholeNumber(const QByteArray& f) {
  // Digits with spaces before or after them only; no sign, no point.
  int i = 0;
  while (i < f.size() && f[i] == ' ') ++i;
  const int start = i;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') ++i;
  const int digits = i - start;
  while (i < f.size() && f[i] == ' ') ++i;
  return digits > 0 && i == f.size();
}

QString describeBytes(const QByteArray& f) {
  QString out;
  for (const char ch : f) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x20 && b < 0x7f)
      out += QLatin1Char(ch);
    else
      out += QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
  }
  return out;
}

}  // namespace

const TableLayout& layoutOf(Table t) {
  switch (t) {
    case Table::Run: return kRun;
    case Table::SitUp: return kSitUp;
    case Table::PushUp: return kPushUp;
  }
  return kRun;
}

int ageSexField(const QString& ageSexKey) {
  for (int i = 0; i < 20; ++i)
    if (ageSexKey == QLatin1String(kAgeSexKeys[i])) return i + 1;
  return 0;
}

int ageGroupField(const QString& ageGroup) {
  for (int i = 0; i < 10; ++i)
    if (ageGroup == QLatin1String(kGroups[i])) return i + 1;
  return 0;
}

Lookup readPointsField(QIODevice& dev, const TableLayout& layout, int record, int field,
                       const QString& invalidKeyMessage, QByteArray& row) {
  const QString name = QString::fromLatin1(layout.fileName);
  const qint64 wanted = qint64(layout.fieldCount) * kFieldWidth;
  if (record < 1)
    return fault(QStringLiteral("Record %1 of the points table %2 was asked for; records are numbered from 1.")
                     .arg(record)
                     .arg(name));
  const qint64 offset = qint64(record - 1) * layout.recordLength;
  const QString tooShort =
      QStringLiteral("The points table %1 has no record %2 (the file is too short).").arg(name).arg(record);
  if (!dev.isSequential() && dev.size() < offset + wanted) {
    row.clear();
    return fault(tooShort);
  }
  row = dev.seek(offset) ? dev.read(wanted) : QByteArray();
  if (row.size() != wanted) {
    if (dev.isSequential() || dev.size() < offset + wanted) return fault(tooShort);
    return fault(QStringLiteral("Record %1 of the points table %2 could not be read (%3).")
                     .arg(record)
                     .arg(name, dev.errorString()));
  }
  if (field < 1 || field > layout.fieldCount) return {Lookup::InvalidKey, {}, invalidKeyMessage};
  const QByteArray f = row.mid((field - 1) * kFieldWidth, kFieldWidth);
  if (!fieldIsWholeNumber(f))
    return fault(QStringLiteral("Record %1 of the points table %2 holds \"%3\" in field %4, which is not a whole "
                                "number of points. The table file is damaged.")
                     .arg(record)
                     .arg(name, describeBytes(f))
                     .arg(field));
  return points(QString::fromLatin1(f));
}

ScoringTables::ScoringTables() = default;
ScoringTables::~ScoringTables() = default;

QFile& ScoringTables::file(Table t) {
  switch (t) {
    case Table::Run: return run_;
    case Table::SitUp: return sitUp_;
    case Table::PushUp: return pushUp_;
  }
  return run_;
}

void ScoringTables::open(const QString& dir) {
  dir_ = dir;
  for (Table t : {Table::Run, Table::SitUp, Table::PushUp}) {
    QFile& f = file(t);
    f.close();
    f.setFileName(QDir(dir).filePath(QString::fromLatin1(layoutOf(t).fileName)));
    // Unbuffered: every look-up reads the file itself, nothing is kept.
    f.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }
}

Lookup ScoringTables::look(Table t, int record, int field, const QString& invalidKeyMessage) {
  QFile& f = file(t);
  const TableLayout& layout = layoutOf(t);
  if (!f.isOpen()) {
    // A table missing at start-up may have been put in place since.
    if (f.fileName().isEmpty())
      f.setFileName(QDir(dir_.isEmpty() ? QDir::currentPath() : dir_).filePath(QString::fromLatin1(layout.fileName)));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
      return fault(QStringLiteral("The points table %1 could not be opened in %2 (%3), so record %4 cannot be read.")
                       .arg(QString::fromLatin1(layout.fileName),
                            QDir::toNativeSeparators(QFileInfo(f.fileName()).absolutePath()),
                            f.errorString())
                       .arg(record));
  }
  QByteArray row;
  return readPointsField(f, layout, record, field, invalidKeyMessage, row);
}

Lookup ScoringTables::RunPoints(const QString& minutes, int seconds, const QString& ageSexKey) {
  const auto m = roundedWhole(minutes);
  if (!m) return {Lookup::InvalidKey, {}, QStringLiteral("Run minutes must be numeric")};
  if (seconds < 0 || seconds > 59) return {Lookup::InvalidKey, {}, QStringLiteral("Seconds invalid")};
  const int step = (seconds + 5) / 6;  // six-second steps, rounded up
  if (*m <= 6) return points(QStringLiteral("0"));
  if (*m <= 12) return points(QStringLiteral("100"));
  if (*m >= 27) return points(QStringLiteral("0"));
  const int record = 10 * int(*m - 13) + 1 + step;
  return look(Table::Run, record, ageSexField(ageSexKey), QStringLiteral("Invalid DOB or Sex"));
}

Lookup ScoringTables::SitUpPoints(const QString& entry, const QString& ageGroup) {
  const auto n = roundedWhole(entry);
  if (!n) return {Lookup::InvalidKey, {}, QStringLiteral("Sit up entry must be numeric")};
  if (*n <= 20) return points(QStringLiteral("0"));
  if (*n >= 83) return points(QStringLiteral("100"));
  // A halfway entry such as 82.5 rounds to 82 but its record to 0; keep
  // the record inside the table, on the side the rounded count lies.
  const qint64 record = std::clamp<qint64>(*roundedDifference(83, entry), 1, kSitUp.lastRecord);
  return look(Table::SitUp, int(record), ageGroupField(ageGroup), QStringLiteral("Invalid DOB or Sex entry"));
}

Lookup ScoringTables::PushUpPoints(const QString& entry, const QString& ageSexKey) {
  const auto n = roundedWhole(entry);
  if (!n) return {Lookup::InvalidKey, {}, QStringLiteral("Push up entry must be numeric")};
  if (*n <= 4) return points(QStringLiteral("0"));
  if (*n >= 78) return points(QStringLiteral("100"));
  const qint64 record = std::clamp<qint64>(*roundedDifference(78, entry), 1, kPushUp.lastRecord);
  return look(Table::PushUp, int(record), ageSexField(ageSexKey), QStringLiteral("Invalid DOB or Sex"));
}

}  // namespace quillon
