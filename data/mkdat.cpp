// Build-time tool: turns the reviewed CSV tables into the fixed-length
// record files the programs read. Every record is the fields right-aligned
// in fixed-width text, closed by CR LF, with no header, so record N starts
// at (N - 1) * record length.
//
//   mkdat <kind> <input.csv> <output.dat>
//   kind: run | situps | pushups | alternate

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace {

struct Kind {
  const char* name;
  int rows;
  int fields;
  int width;
};

constexpr Kind kKinds[] = {
    {"run", 141, 20, 3},
    {"situps", 62, 10, 3},
    {"pushups", 73, 20, 3},
    {"alternate", 3, 20, 4},
};

const char* const kAgeSex[] = {"AM", "AF", "BM", "BF", "CM", "CF", "DM", "DF", "EM", "EF",
                               "FM", "FF", "GM", "GF", "HM", "HF", "IM", "IF", "JM", "JF"};
const char* const kAge[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
const char* const kEvents[] = {"800 Y Swim", "6.2M Bike", "2.5M Walk"};

int fail(const QString& why) {
  std::fprintf(stderr, "mkdat: %s\n", qPrintable(why));
  return 1;
}

// The key a CSV row must carry to sit at record number `record` (from 1).
QString expectedKey(const QString& kind, int record) {
  if (kind == "run") {
    const int secs = 13 * 60 + 6 * (record - 1);
    return QString::asprintf("%d:%02d", secs / 60, secs % 60);
  }
  if (kind == "situps") return QString::number(83 - record);
  if (kind == "pushups") return QString::number(78 - record);
  return QString::fromLatin1(kEvents[record - 1]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return fail("usage: mkdat <run|situps|pushups|alternate> <in.csv> <out.dat>");
  const QString kindName = QString::fromLocal8Bit(argv[1]);
  const Kind* kind = nullptr;
  for (const Kind& k : kKinds)
    if (kindName == QLatin1String(k.name)) kind = &k;
  if (!kind) return fail("unknown table kind " + kindName);

  QFile in(QString::fromLocal8Bit(argv[2]));
  if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return fail(in.fileName() + ": " + in.errorString());
  QStringList lines = QString::fromUtf8(in.readAll()).split('\n', Qt::SkipEmptyParts);
  if (lines.isEmpty()) return fail(in.fileName() + ": empty");

  QStringList header = lines.takeFirst().trimmed().split(',');
  QStringList wantHeader;
  for (int f = 0; f < kind->fields; ++f)
    wantHeader << QString::fromLatin1(kind->fields == 20 ? kAgeSex[f] : kAge[f]);
  header.removeFirst();
  if (header != wantHeader) return fail(in.fileName() + ": header columns are not in key order");
  if (lines.size() != kind->rows)
    return fail(QString("%1: %2 data rows, expected %3").arg(in.fileName()).arg(lines.size()).arg(kind->rows));

  QByteArray out;
  for (int r = 0; r < kind->rows; ++r) {
    const QStringList cells = lines[r].trimmed().split(',');
    const QString where = QString("%1 line %2").arg(in.fileName()).arg(r + 2);
    if (cells.size() != kind->fields + 1) return fail(where + ": wrong number of cells");
    if (cells[0] != expectedKey(kindName, r + 1))
      return fail(where + ": key " + cells[0] + " where " + expectedKey(kindName, r + 1) + " belongs");
    for (int f = 1; f <= kind->fields; ++f) {
      bool ok = false;
      const int v = cells[f].toInt(&ok);
      const QByteArray text = QByteArray::number(v).rightJustified(kind->width, ' ');
      if (!ok || v < 0 || text.size() != kind->width) return fail(where + ": bad value " + cells[f]);
      out += text;
    }
    out += "\r\n";
  }

  QSaveFile dat(QString::fromLocal8Bit(argv[3]));
  if (!dat.open(QIODevice::WriteOnly) || dat.write(out) != out.size() || !dat.commit())
    return fail(dat.fileName() + ": " + dat.errorString());
  return 0;
}
