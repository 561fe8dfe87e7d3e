// The sample database the run command puts into a fresh working folder:
// scored with the shipped tables, never written over a clerk's records.
#include <QDate>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include "recordsdb.h"
#include "testsupport.h"

using quillon::test::readRows;
using quillon::test::rowNamed;
using quillon::test::ScratchDir;

namespace {

// The published figure for `key` (reps or time) in column `column` of a CSV table.
QString csvCell(const QString& csv, const QString& key, const QString& column) {
  QFile f(quillon::test::sourceFile("data/" + csv));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
  const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  const int col = lines.value(0).split(',').indexOf(column);
  for (const QString& line : lines) {
    const QStringList cells = line.split(',');
    if (cells.value(0) == key) return cells.value(col);
  }
  return QString();
}

// The age group a soldier born on `born` falls in when tested on `day`.
QString groupOf(QDate born, QDate day) {
  const int age = int(born.daysTo(day) / 365.25);
  const int bounds[] = {21, 26, 31, 36, 41, 46, 51, 56, 61};
  int g = 0;
  while (g < 9 && age > bounds[g]) ++g;
  return QString(QChar('A' + g));
}

int runSampleDb(const QString& path, QString* output = nullptr) {
  QProcess p;
  p.start(QStringLiteral(SAMPLEDB_PROGRAM), {path});
  EXPECT_TRUE(p.waitForFinished(-1));
  if (output) *output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
  return p.exitCode();
}

TEST(SampleDatabase, TestedSoldiersCarryThePublishedPoints) {
  ScratchDir dir;
  dir.copyTables();
  ASSERT_EQ(runSampleDb(dir.file("info.mdb")), 0);
  EXPECT_EQ(readRows(dir.file("info.mdb")).size(), 12);
  // A man born 03/14/1994 with 62 push-ups, 70 sit-ups and a 14:48 run; his
  // age group depends on the day the sample was made (32 in December 2026:
  // group D, 87 + 93 + 86 = 266), so the figures are read off the CSV tables.
  const auto a = rowNamed(dir.file("info.mdb"), "Abernathy, Cole");
  const QDate tested = QDate::fromString(a.value("DOT"), "MM/dd/yyyy");
  ASSERT_TRUE(tested.isValid()) << a.value("DOT").toStdString();
  const QString g = groupOf(QDate(1994, 3, 14), tested);
  const QString pu = csvCell("pushups.csv", "62", g + "M");
  const QString su = csvCell("situps.csv", "70", g);
  const QString run = csvCell("run.csv", "14:48", g + "M");
  EXPECT_EQ(a.value("C_PU").trimmed(), pu);
  EXPECT_EQ(a.value("C_SU").trimmed(), su);
  EXPECT_EQ(a.value("C_RUN").trimmed(), run);
  EXPECT_EQ(a.value("TOTAL").toInt(), pu.toInt() + su.toInt() + run.toInt());
  EXPECT_EQ(a.value("STAT"), pu.toInt() >= 60 && su.toInt() >= 60 && run.toInt() >= 60 ? "PASS" : "FAIL");
  // Push-ups not taken, on a permanent profile: total 0, still passing.
  const auto d = rowNamed(dir.file("info.mdb"), "Dunmore, Reese");
  EXPECT_EQ(d.value("TOTAL"), "0");
  EXPECT_EQ(d.value("PROFILE"), "PROFILE");
  EXPECT_EQ(d.value("STAT"), "PASS");
  // Not yet tested: no results at all.
  const auto untested = rowNamed(dir.file("info.mdb"), "Galloway, Penn");
  EXPECT_TRUE(untested.value("TOTAL").isEmpty());
  EXPECT_TRUE(untested.value("DOT").isEmpty());
}

TEST(SampleDatabase, NeverWritesOverAnExistingFileAndNeedsTheTables) {
  ScratchDir dir;
  QFile f(dir.file("info.mdb"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("the clerk's records");
  f.close();
  QString said;
  EXPECT_EQ(runSampleDb(dir.file("info.mdb"), &said), 0);
  EXPECT_TRUE(said.contains("left unchanged")) << said.toStdString();
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("the clerk's records"));
  f.close();

  // Without the points tables nothing can be scored, and no database is left.
  ASSERT_TRUE(QFile::remove(dir.file("info.mdb")));
  EXPECT_NE(runSampleDb(dir.file("info.mdb"), &said), 0);
  EXPECT_TRUE(said.contains("2m.dat") || said.contains("su.dat") || said.contains("pu.dat")) << said.toStdString();
  EXPECT_FALSE(QFile::exists(dir.file("info.mdb")));
}

}  // namespace
