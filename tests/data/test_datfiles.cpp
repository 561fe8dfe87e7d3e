// The generated table files must decode, by their record layout alone, to
// exactly the reviewed CSV values.
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include "testsupport.h"

namespace {

struct Layout {
  const char* dat;
  const char* csv;
  int recordLength;
  int fields;
  int width;
  int records;
};

QByteArray readAll(const QString& path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(path);
  return f.readAll();
}

QList<QStringList> csvRows(const QString& path) {
  QList<QStringList> rows;
  const QStringList lines = QString::fromUtf8(readAll(path)).split('\n', Qt::SkipEmptyParts);
  for (int i = 1; i < lines.size(); ++i) rows << lines[i].trimmed().split(',');
  return rows;
}

class DatFile : public ::testing::TestWithParam<Layout> {};

TEST_P(DatFile, DecodesToTheCsvCellByCell) {
  const Layout l = GetParam();
  const QByteArray dat = readAll(quillon::test::dataFile(l.dat));
  const QList<QStringList> csv = csvRows(quillon::test::sourceFile(QString("data/") + l.csv));
  ASSERT_EQ(csv.size(), l.records);
  // A file that ends right after its last record: no header, no trailer.
  ASSERT_EQ(dat.size(), l.records * l.recordLength);
  for (int n = 1; n <= l.records; ++n) {
    const int rec = (n - 1) * l.recordLength;
    for (int k = 1; k <= l.fields; ++k) {
      const QByteArray field = dat.mid(rec + l.width * (k - 1), l.width);
      ASSERT_EQ(field.size(), l.width);
      // Right-aligned: spaces only before the digits.
      EXPECT_EQ(field, field.trimmed().rightJustified(l.width, ' ')) << l.dat << " record " << n << " field " << k;
      bool ok = false;
      const int v = field.trimmed().toInt(&ok);
      ASSERT_TRUE(ok) << l.dat << " record " << n << " field " << k << " '" << field.constData() << "'";
      EXPECT_EQ(v, csv[n - 1][k].toInt()) << l.dat << " record " << n << " field " << k;
    }
    EXPECT_EQ(dat.mid(rec + l.recordLength - 2, 2), QByteArray("\r\n")) << l.dat << " record " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, DatFile,
                         ::testing::Values(Layout{"2m.dat", "run.csv", 62, 20, 3, 141},
                                           Layout{"su.dat", "situps.csv", 32, 10, 3, 62},
                                           Layout{"pu.dat", "pushups.csv", 62, 20, 3, 73},
                                           Layout{"As.dat", "alternate.csv", 82, 20, 4, 3}),
                         [](const auto& info) { return std::string(info.param.csv).substr(0, std::string(info.param.csv).find('.')); });

// Hand-picked cells read from the published tables (see docs/scoring-sources.md),
// at the byte offsets the look-ups use.
TEST(DatFileAnchors, PublishedCellsSitAtTheirOffsets) {
  const QByteArray run = readAll(quillon::test::dataFile("2m.dat"));
  const QByteArray su = readAll(quillon::test::dataFile("su.dat"));
  const QByteArray pu = readAll(quillon::test::dataFile("pu.dat"));
  const QByteArray as = readAll(quillon::test::dataFile("As.dat"));
  auto field = [](const QByteArray& f, int len, int rec, int k, int w) { return f.mid((rec - 1) * len + w * (k - 1), w); };
  // Push-ups AM 42 reps = 60 (record 78-42 = 36, field 1); AF 19 = 60 (record 59, field 2).
  EXPECT_EQ(field(pu, 62, 36, 1, 3), QByteArray(" 60"));
  EXPECT_EQ(field(pu, 62, 59, 2, 3), QByteArray(" 60"));
  // Sit-ups group A, 53 reps = 60 (record 30, field 1); 78 reps = 100 (record 5).
  EXPECT_EQ(field(su, 32, 30, 1, 3), QByteArray(" 60"));
  EXPECT_EQ(field(su, 32, 5, 1, 3), QByteArray("100"));
  // Run AM 15:54 = 60: record 10*(15-13)+1+9 = 30, field 1; AF 18:54 = 60: record 60, field 2.
  EXPECT_EQ(field(run, 62, 30, 1, 3), QByteArray(" 60"));
  EXPECT_EQ(field(run, 62, 60, 2, 3), QByteArray(" 60"));
  // The last records the look-ups read lie at the documented offsets.
  EXPECT_GE(run.size(), 8740);
  EXPECT_EQ(run.mid(8680, 60).size(), 60);
  EXPECT_EQ(su.mid(1952, 30).size(), 30);
  EXPECT_EQ(pu.mid(4464, 60).size(), 60);
  // 6.2M Bike, BF: record 2, field 4 = 25:30.
  EXPECT_EQ(field(as, 82, 2, 4, 4), QByteArray("2530"));
  EXPECT_EQ(field(as, 82, 1, 1, 4), QByteArray("2000"));
}

}  // namespace
