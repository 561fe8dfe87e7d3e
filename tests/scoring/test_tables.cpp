// The points tables: which record and field each look-up reads, where in the
// file that is, the results that need no read, and what the clerk is told
// when a table file is missing, short or damaged. Where a look-up read shows
// in the table file's open descriptor, which a read leaves just past the
// record's fields and a look-up that reads nothing leaves where it was.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <functional>

#include <gtest/gtest.h>

#include "fileoffset.h"
#include "tables.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::openFileOffset;
using quillon::test::ScratchDir;

namespace {

// A field that names its own record and field: record r, field k holds
// r + 150 * (k - 1) (mod 1000), right-aligned in three characters. No two
// records of a column and no two fields of a record hold the same number.
QByteArray markerField(const TableLayout&, int r, int k) {
  return QByteArray::number((r + 150 * (k - 1)) % 1000).rightJustified(3, ' ');
}

// The age-sex keys in field order.
const char* const kAgeSexKeys[] = {"AM", "AF", "BM", "BF", "CM", "CF", "DM", "DF", "EM", "EF",
                                   "FM", "FF", "GM", "GF", "HM", "HF", "IM", "IF", "JM", "JF"};

using FieldFn = std::function<QByteArray(int r, int k)>;

// `records` records of `l`; `cut` bytes are dropped from the end.
QByteArray buildTable(const TableLayout& l, int records, const FieldFn& field, int cut = 0) {
  QByteArray out;
  for (int r = 1; r <= records; ++r) {
    for (int k = 1; k <= l.fieldCount; ++k) out += field(r, k);
    out += "\r\n";
  }
  out.chop(cut);
  return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
  ASSERT_EQ(f.write(bytes), bytes.size());
}

// Where the descriptor stands after reading the fields of `record`.
qint64 pastRecord(Table t, int record) {
  const TableLayout& l = layoutOf(t);
  return qint64(record - 1) * l.recordLength + l.fieldCount * 3;
}

// All three tables made of marker fields, in a scratch folder.
struct MarkerTables {
  ScratchDir dir;
  ScoringTables tables;
  MarkerTables() {
    for (Table t : {Table::Run, Table::SitUp, Table::PushUp}) {
      const TableLayout& l = layoutOf(t);
      writeFile(dir.file(QString::fromLatin1(l.fileName)),
                buildTable(l, l.lastRecord, [&](int r, int k) { return markerField(l, r, k); }));
    }
    tables.open(dir.path());
  }
  QString marker(Table t, int r, int k) const { return QString::fromLatin1(markerField(layoutOf(t), r, k)); }
  // Where the table's descriptor stands: 0 until its first read.
  qint64 offset(Table t) const { return openFileOffset(dir.file(QString::fromLatin1(layoutOf(t).fileName))); }
};

}  // namespace

TEST(RunLookupTest, RecordNumbersAtTheMinuteAndStepEdges) {
  MarkerTables m;
  const struct {
    const char* min;
    int sec;
    int record;
  } cases[] = {{"13", 0, 1},   {"13", 1, 2},    {"13", 6, 2},    {"13", 7, 3},   {"13", 12, 3},  {"13", 13, 4},
               {"13", 54, 10}, {"13", 55, 11},  {"13", 59, 11},  {"14", 0, 11},  {"14", 1, 12},  {"20", 0, 71},
               {"26", 48, 139}, {"26", 49, 140}, {"26", 54, 140}, {"26", 55, 141}, {"26", 59, 141}, {"13.5", 0, 11}, {"12.51", 0, 1},
               {" 26 ", 30, 136}, {"+13", 18, 4}};
  ASSERT_EQ(m.offset(Table::Run), 0);
  for (const auto& c : cases) {
    const Lookup r = m.tables.RunPoints(QString::fromLatin1(c.min), c.sec, QStringLiteral("AM"));
    ASSERT_EQ(r.kind, Lookup::Points) << c.min << ":" << c.sec << " " << qPrintable(r.message);
    EXPECT_EQ(r.text, m.marker(Table::Run, c.record, 1)) << c.min << ":" << c.sec;
    EXPECT_EQ(m.offset(Table::Run), pastRecord(Table::Run, c.record)) << c.min << ":" << c.sec;
  }
}

TEST(RunLookupTest, TimesOutsideTheTableNeedNoRead) {
  MarkerTables m;
  const struct {
    const char* min;
    int sec;
    const char* points;
  } cases[] = {{"0", 0, "0"},   {"6", 59, "0"},    {"-3", 0, "0"},   {"6.5", 0, "0"},  {"7", 0, "100"},
               {"12", 59, "100"}, {"12.5", 59, "100"}, {"27", 0, "0"}, {"27", 59, "0"}, {"99", 0, "0"},
               {"26.5", 0, "100"}};
  // 26.5 rounds to 26 (even) and so is in the table: checked separately below.
  for (const auto& c : cases) {
    if (QByteArray(c.min) == "26.5") continue;
    const Lookup r = m.tables.RunPoints(QString::fromLatin1(c.min), c.sec, QStringLiteral("AM"));
    EXPECT_EQ(r.kind, Lookup::Points);
    EXPECT_EQ(r.text, QLatin1String(c.points)) << c.min << ":" << c.sec;
  }
  EXPECT_EQ(m.offset(Table::Run), 0) << "nothing read";
  EXPECT_EQ(m.tables.RunPoints(QStringLiteral("26.5"), 0, QStringLiteral("AM")).text, m.marker(Table::Run, 131, 1));
  EXPECT_EQ(m.offset(Table::Run), pastRecord(Table::Run, 131));
}

TEST(SitUpAndPushUpLookupTest, RecordNumbersAndFixedResults) {
  MarkerTables m;
  const struct {
    const char* entry;
    int record;  // 0: no read
    const char* fixed;
  } su[] = {{"20", 0, "0"}, {"0", 0, "0"},  {"20.5", 0, "0"}, {"83", 0, "100"}, {"99", 0, "100"},
            {"21", 62, ""}, {"82", 1, ""},  {"50", 33, ""},   {"21.5", 62, ""},  {"22.5", 60, ""},
            {"82.5", 1, ""}, {" 60 ", 23, ""}, {"83", 0, "100"}};
  qint64 offset = 0;
  for (const auto& c : su) {
    const Lookup r = m.tables.SitUpPoints(QString::fromLatin1(c.entry), QStringLiteral("A"));
    ASSERT_EQ(r.kind, Lookup::Points) << c.entry << " " << qPrintable(r.message);
    if (c.record == 0) {
      EXPECT_EQ(r.text, QLatin1String(c.fixed)) << c.entry;
    } else {
      offset = pastRecord(Table::SitUp, c.record);
      EXPECT_EQ(r.text, m.marker(Table::SitUp, c.record, 1)) << c.entry;
    }
    EXPECT_EQ(m.offset(Table::SitUp), offset) << c.entry;
  }

  const struct {
    const char* entry;
    int record;
    const char* fixed;
  } pu[] = {{"4", 0, "0"}, {"4.5", 0, "0"}, {"-1", 0, "0"}, {"78", 0, "100"}, {"77.5", 0, "100"}, {"5", 73, ""},
            {"77", 1, ""}, {"40", 38, ""},  {"5.5", 72, ""}, {"78", 0, "100"}};
  offset = 0;
  for (const auto& c : pu) {
    const Lookup r = m.tables.PushUpPoints(QString::fromLatin1(c.entry), QStringLiteral("AM"));
    ASSERT_EQ(r.kind, Lookup::Points) << c.entry << " " << qPrintable(r.message);
    if (c.record == 0) {
      EXPECT_EQ(r.text, QLatin1String(c.fixed)) << c.entry;
    } else {
      offset = pastRecord(Table::PushUp, c.record);
      EXPECT_EQ(r.text, m.marker(Table::PushUp, c.record, 1)) << c.entry;
    }
    EXPECT_EQ(m.offset(Table::PushUp), offset) << c.entry;
  }
  EXPECT_EQ(m.offset(Table::Run), 0);
}

TEST(LookupColumnsTest, FieldChosenByKeyOrGroupLetter) {
  MarkerTables m;
  for (int k = 1; k <= 20; ++k) {
    const QString key = QString::fromLatin1(kAgeSexKeys[k - 1]);
    EXPECT_EQ(m.tables.RunPoints(QStringLiteral("20"), 0, key).text, m.marker(Table::Run, 71, k)) << kAgeSexKeys[k - 1];
    EXPECT_EQ(m.tables.PushUpPoints(QStringLiteral("40"), key).text, m.marker(Table::PushUp, 38, k)) << kAgeSexKeys[k - 1];
  }
  const char* groups = "ABCDEFGHIJ";
  for (int g = 0; g < 10; ++g)
    EXPECT_EQ(m.tables.SitUpPoints(QStringLiteral("50"), QString(QLatin1Char(groups[g]))).text,
              m.marker(Table::SitUp, 33, g + 1))
        << groups[g];
  // A woman in group B: field 4; a man in group J: field 19; su.dat fields 2 and 10.
  EXPECT_EQ(ageSexField(QStringLiteral("BF")), 4);
  EXPECT_EQ(ageSexField(QStringLiteral("JM")), 19);
  EXPECT_EQ(ageGroupField(QStringLiteral("B")), 2);
  EXPECT_EQ(ageGroupField(QStringLiteral("J")), 10);
}

TEST(LookupColumnsTest, UnknownKeyIsReportedAfterTheRecordWasRead) {
  MarkerTables m;
  // Each key first moves the descriptor elsewhere, so the read of record 26 is this key's own.
  for (const char* key : {"", "am", "KM", "A", "AMX", " AM", "AM "}) {
    ASSERT_EQ(m.tables.RunPoints(QStringLiteral("13"), 0, QStringLiteral("AM")).kind, Lookup::Points);
    const Lookup r = m.tables.RunPoints(QStringLiteral("15"), 30, QString::fromLatin1(key));
    EXPECT_EQ(r.kind, Lookup::InvalidKey) << key;
    EXPECT_EQ(r.message, QStringLiteral("Invalid DOB or Sex")) << key;
    EXPECT_EQ(m.offset(Table::Run), pastRecord(Table::Run, 26)) << key;
  }
  const Lookup su = m.tables.SitUpPoints(QStringLiteral("30"), QStringLiteral("K"));
  EXPECT_EQ(su.kind, Lookup::InvalidKey);
  EXPECT_EQ(su.message, QStringLiteral("Invalid DOB or Sex entry"));
  EXPECT_EQ(m.offset(Table::SitUp), pastRecord(Table::SitUp, 53));
  const Lookup pu = m.tables.PushUpPoints(QStringLiteral("30"), QStringLiteral("BX"));
  EXPECT_EQ(pu.kind, Lookup::InvalidKey);
  EXPECT_EQ(pu.message, QStringLiteral("Invalid DOB or Sex"));
  EXPECT_EQ(m.offset(Table::PushUp), pastRecord(Table::PushUp, 48));
  // Fixed results compare no key at all.
  EXPECT_EQ(m.tables.RunPoints(QStringLiteral("10"), 0, QStringLiteral("??")).text, QStringLiteral("100"));
  EXPECT_EQ(m.tables.SitUpPoints(QStringLiteral("90"), QString()).text, QStringLiteral("100"));
}

// Record 141 of 2m.dat at 8680..8739, record 62 of su.dat at 1952..1981,
// record 73 of pu.dat at 4464..4523: every field of the record is read from
// there, a file ending right after those fields is long enough, one byte
// less is not.
TEST(TableOffsetTest, LastRecordsLieWhereTheLayoutSays) {
  const struct {
    Table t;
    int record;
    qint64 first;
    qint64 last;
  } cases[] = {{Table::Run, 141, 8680, 8739}, {Table::SitUp, 62, 1952, 1981}, {Table::PushUp, 73, 4464, 4523}};
  for (const auto& c : cases) {
    const TableLayout& l = layoutOf(c.t);
    const QString name = QString::fromLatin1(l.fileName);
    // Every byte outside the wanted record is a different digit pattern, so
    // reading one byte off either way changes what comes back.
    const FieldFn field = [&](int r, int k) {
      return r == c.record ? QByteArray::number(100 + k) : QByteArray::number(k % 10).repeated(3);
    };
    // Field k of the last record: age-sex key k of 2m.dat and pu.dat, group letter k of su.dat.
    auto lookupLast = [&](ScoringTables& tables, int k) {
      const QString key = QString::fromLatin1(kAgeSexKeys[k - 1]);
      switch (c.t) {
        case Table::Run: return tables.RunPoints(QStringLiteral("26"), 57, key);
        case Table::SitUp: return tables.SitUpPoints(QStringLiteral("21"), QString(QLatin1Char("ABCDEFGHIJ"[k - 1])));
        case Table::PushUp: return tables.PushUpPoints(QStringLiteral("5"), key);
      }
      return Lookup{};
    };
    {
      ScratchDir dir;
      const QByteArray bytes = buildTable(l, c.record, field, 2);  // no CR LF after the last record
      ASSERT_EQ(bytes.size(), c.last + 1) << qPrintable(name);
      writeFile(dir.file(name), bytes);
      ScoringTables tables;
      tables.open(dir.path());
      // The bytes at the offset are the record's fields, and the look-ups return them.
      for (int k = 1; k <= l.fieldCount; ++k) {
        const QByteArray atOffset = bytes.mid(c.first + 3 * (k - 1), 3);
        EXPECT_EQ(atOffset, QByteArray::number(100 + k)) << qPrintable(name) << " field " << k;
        const Lookup r = lookupLast(tables, k);
        ASSERT_EQ(r.kind, Lookup::Points) << qPrintable(name) << " field " << k << " " << qPrintable(r.message);
        EXPECT_EQ(r.text, QString::fromLatin1(atOffset)) << qPrintable(name) << " field " << k;
      }
      EXPECT_EQ(openFileOffset(dir.file(name)), c.last + 1) << qPrintable(name);
    }
    {
      ScratchDir dir;
      writeFile(dir.file(name), buildTable(l, c.record, field, 3));
      ScoringTables tables;
      tables.open(dir.path());
      const Lookup r = lookupLast(tables, l.fieldCount);
      EXPECT_EQ(r.kind, Lookup::TableFault);
      EXPECT_EQ(r.message, QStringLiteral("The points table %1 has no record %2 (the file is too short).")
                               .arg(name)
                               .arg(c.record));
    }
  }
}

TEST(TableContentTest, FieldKeepsItsSpacesAsTheCaption) {
  ScratchDir dir;
  const TableLayout& l = layoutOf(Table::PushUp);
  writeFile(dir.file("pu.dat"), buildTable(l, 73, [](int r, int k) -> QByteArray {
              if (r == 38 && k == 4) return " 7 ";
              if (r == 38 && k == 3) return "8  ";
              return "  9";
            }));
  ScoringTables tables;
  tables.open(dir.path());
  EXPECT_EQ(tables.PushUpPoints(QStringLiteral("40"), QStringLiteral("BF")).text, QStringLiteral(" 7 "));
  EXPECT_EQ(tables.PushUpPoints(QStringLiteral("40"), QStringLiteral("BM")).text, QStringLiteral("8  "));
  EXPECT_EQ(tables.PushUpPoints(QStringLiteral("40"), QStringLiteral("AM")).text, QStringLiteral("  9"));
}

TEST(TableContentTest, EveryLookupReadsTheFileAgain) {
  ScratchDir dir;
  const TableLayout& l = layoutOf(Table::SitUp);
  writeFile(dir.file("su.dat"), buildTable(l, 62, [](int, int) { return QByteArray(" 50"); }));
  ScoringTables tables;
  tables.open(dir.path());
  EXPECT_EQ(tables.SitUpPoints(QStringLiteral("40"), QStringLiteral("C")).text, QStringLiteral(" 50"));
  // Rewrite the file in place (same inode, the reader keeps its handle).
  {
    QFile f(dir.file("su.dat"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek((43 - 1) * 32 + 2 * 3));
    ASSERT_EQ(f.write(" 61"), 3);
  }
  EXPECT_EQ(tables.SitUpPoints(QStringLiteral("40"), QStringLiteral("C")).text, QStringLiteral(" 61"));
}

TEST(BrokenTableTest, MissingFileIsReportedByTheLookupAndPickedUpOnceItExists) {
  ScratchDir dir;
  ScoringTables tables;
  tables.open(dir.path());  // nothing there; reports nothing and makes nothing
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  // Results outside the table still need no file.
  EXPECT_EQ(tables.RunPoints(QStringLiteral("10"), 0, QStringLiteral("AM")).text, QStringLiteral("100"));
  const Lookup r = tables.RunPoints(QStringLiteral("26"), 56, QStringLiteral("AM"));
  ASSERT_EQ(r.kind, Lookup::TableFault);
  EXPECT_TRUE(r.text.isEmpty());
  EXPECT_TRUE(r.message.startsWith(QStringLiteral("The points table 2m.dat could not be opened in "))) << qPrintable(r.message);
  EXPECT_TRUE(r.message.contains(QStringLiteral("record 141"))) << qPrintable(r.message);

  const TableLayout& l = layoutOf(Table::Run);
  writeFile(dir.file("2m.dat"), buildTable(l, 141, [&](int rr, int k) { return markerField(l, rr, k); }));
  const Lookup again = tables.RunPoints(QStringLiteral("26"), 56, QStringLiteral("AM"));
  ASSERT_EQ(again.kind, Lookup::Points) << qPrintable(again.message);
  EXPECT_EQ(again.text, QString::fromLatin1(markerField(l, 141, 1)));
}

TEST(BrokenTableTest, DirectoryOrEmptyFileInsteadOfATable) {
  ScratchDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("su.dat")));
  writeFile(dir.file("pu.dat"), QByteArray());
  ScoringTables tables;
  tables.open(dir.path());
  const Lookup su = tables.SitUpPoints(QStringLiteral("82"), QStringLiteral("A"));
  EXPECT_EQ(su.kind, Lookup::TableFault);
  EXPECT_TRUE(su.message.contains(QStringLiteral("su.dat"))) << qPrintable(su.message);
  const Lookup pu = tables.PushUpPoints(QStringLiteral("77"), QStringLiteral("AM"));
  EXPECT_EQ(pu.kind, Lookup::TableFault);
  EXPECT_EQ(pu.message, QStringLiteral("The points table pu.dat has no record 1 (the file is too short)."));
}

TEST(BrokenTableTest, FieldThatIsNotAWholeNumber) {
  const struct {
    QByteArray field;
    const char* shown;
  } cases[] = {{"x9 ", "x9 "}, {"   ", "   "}, {"6 0", "6 0"}, {"-10", "-10"}, {"1.5", "1.5"},
               {QByteArray("\0" "12", 3), "\\x0012"}, {"\xff" "10", "\\xff10"}};
  for (const auto& c : cases) {
    ScratchDir dir;
    const TableLayout& l = layoutOf(Table::Run);
    writeFile(dir.file("2m.dat"),
              buildTable(l, 141, [&](int r, int k) { return r == 20 && k == 6 ? c.field : QByteArray(" 70"); }));
    ScoringTables tables;
    tables.open(dir.path());
    const Lookup r = tables.RunPoints(QStringLiteral("14"), 50, QStringLiteral("CF"));
    EXPECT_EQ(r.kind, Lookup::TableFault) << c.shown;
    EXPECT_TRUE(r.text.isEmpty());
    EXPECT_EQ(r.message, QStringLiteral("Record 20 of the points table 2m.dat holds \"%1\" in field 6, which is not a "
                                        "whole number of points. The table file is damaged.")
                             .arg(QString::fromLatin1(c.shown)));
    // The neighbouring fields of the same record are fine.
    EXPECT_EQ(tables.RunPoints(QStringLiteral("14"), 50, QStringLiteral("CM")).text, QStringLiteral(" 70"));
  }
}

TEST(BrokenTableTest, ReaderOnAnyDevice) {
  QByteArray bytes = buildTable(layoutOf(Table::SitUp), 2, [](int r, int) { return QByteArray::number(r * 11).rightJustified(3); });
  QBuffer buf(&bytes);
  ASSERT_TRUE(buf.open(QIODevice::ReadOnly));
  QByteArray row;
  Lookup r = readPointsField(buf, layoutOf(Table::SitUp), 2, 10, {}, row);
  EXPECT_EQ(r.text, QStringLiteral(" 22"));
  EXPECT_EQ(row.size(), 30);
  r = readPointsField(buf, layoutOf(Table::SitUp), 3, 1, {}, row);
  EXPECT_EQ(r.kind, Lookup::TableFault);
  r = readPointsField(buf, layoutOf(Table::SitUp), 0, 1, {}, row);
  EXPECT_EQ(r.kind, Lookup::TableFault);
  r = readPointsField(buf, layoutOf(Table::SitUp), 1, 11, QStringLiteral("bad key"), row);
  EXPECT_EQ(r.kind, Lookup::InvalidKey);
  EXPECT_EQ(r.message, QStringLiteral("bad key"));
}

// The shipped tables against the reviewed CSV figures.
TEST(ShippedTablesTest, HandPickedPointsFromTheCsv) {
  ScratchDir dir;
  dir.copyTables();
  ScoringTables t;
  t.open(dir.path());
  // run.csv: 13:00 AM 100; 13:06 AM 99 (13:01 rounds up to it); 14:00 AM 86,
  // BM 89 (13:59 reads the same record); 20:00 AM 3, BF 56, JF 100; 26:54 0.
  EXPECT_EQ(t.RunPoints("13", 0, "AM").text, "100");
  EXPECT_EQ(t.RunPoints("13", 1, "AM").text, " 99");
  EXPECT_EQ(t.RunPoints("13", 1, "AF").text, "100");
  EXPECT_EQ(t.RunPoints("13", 59, "AM").text, " 86");
  EXPECT_EQ(t.RunPoints("14", 0, "BM").text, " 89");
  EXPECT_EQ(t.RunPoints("20", 0, "AM").text, "  3");
  EXPECT_EQ(t.RunPoints("20", 0, "BF").text, " 56");
  EXPECT_EQ(t.RunPoints("19", 55, "JF").text, "100");
  EXPECT_EQ(t.RunPoints("20", 0, "IM").text, " 59");
  EXPECT_EQ(t.RunPoints("26", 54, "AF").text, "  0");
  // situps.csv: 50 reps C 65, J 86; 21 reps B 21, J 55; 82 reps A 100.
  EXPECT_EQ(t.SitUpPoints("50", "C").text, " 65");
  EXPECT_EQ(t.SitUpPoints("50", "J").text, " 86");
  EXPECT_EQ(t.SitUpPoints("21", "B").text, " 21");
  EXPECT_EQ(t.SitUpPoints("21", "J").text, " 55");
  EXPECT_EQ(t.SitUpPoints("82", "A").text, "100");
  // pushups.csv: 40 reps AM 57, BF 92, EF 100; 5 reps AM 9, JF 56.
  EXPECT_EQ(t.PushUpPoints("40", "AM").text, " 57");
  EXPECT_EQ(t.PushUpPoints("40", "BF").text, " 92");
  EXPECT_EQ(t.PushUpPoints("40", "EF").text, "100");
  EXPECT_EQ(t.PushUpPoints("5", "AM").text, "  9");
  EXPECT_EQ(t.PushUpPoints("5", "JF").text, " 56");
}

// Every tabulated run time, sit-up and push-up count and every column: the
// look-up of that result gives the CSV figure.
TEST(ShippedTablesTest, EveryCsvCellThroughTheLookups) {
  ScratchDir dir;
  dir.copyTables();
  ScoringTables t;
  t.open(dir.path());
  auto readCsv = [](const char* name) {
    QFile f(quillon::test::sourceFile(QStringLiteral("data/%1").arg(QLatin1String(name))));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text)) << name;
    QList<QStringList> rows;
    QTextStream in(&f);
    while (!in.atEnd()) {
      const QString line = in.readLine().trimmed();
      if (!line.isEmpty()) rows << line.split(u',');
    }
    return rows;
  };
  int cells = 0;
  for (const char* csv : {"run.csv", "situps.csv", "pushups.csv"}) {
    const auto rows = readCsv(csv);
    ASSERT_GT(rows.size(), 1) << csv;
    const QStringList head = rows.first();
    for (int i = 1; i < rows.size(); ++i) {
      const QStringList& row = rows[i];
      ASSERT_EQ(row.size(), head.size()) << csv << " row " << i;
      for (int c = 1; c < head.size(); ++c) {
        Lookup r;
        if (QLatin1String(csv) == QLatin1String("run.csv")) {
          const QStringList ms = row[0].split(u':');
          r = t.RunPoints(ms[0], ms[1].toInt(), head[c]);
        } else if (QLatin1String(csv) == QLatin1String("situps.csv")) {
          r = t.SitUpPoints(row[0], head[c]);
        } else {
          r = t.PushUpPoints(row[0], head[c]);
        }
        ++cells;
        // 27:00 is past the table's reach (the look-up gives a plain "0").
        if (r.text == QStringLiteral("0") && row[0] == QStringLiteral("27:00")) {
          EXPECT_EQ(row[c], QStringLiteral("0"));
          continue;
        }
        ASSERT_EQ(r.kind, Lookup::Points) << csv << " " << qPrintable(row[0]) << " " << qPrintable(head[c]);
        EXPECT_EQ(r.text.size(), 3);
        EXPECT_EQ(r.text.trimmed(), row[c]) << csv << " " << qPrintable(row[0]) << " " << qPrintable(head[c]);
      }
    }
  }
  EXPECT_EQ(cells, 141 * 20 + 62 * 10 + 73 * 20);
}
