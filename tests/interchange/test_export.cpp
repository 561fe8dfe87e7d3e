// Export: the files are read back by independent readers (Python's csv and
// openpyxl), so what a spreadsheet sees is tested, not what we meant to write.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

#include "exportwriter.h"
#include "testsupport.h"

namespace quillon {
namespace {

RecordRow row(std::initializer_list<std::pair<const char*, QString>> values) {
  RecordRow r = blankRecordRow();
  for (const auto& [f, v] : values) r[fieldIndex(f)] = v;
  return r;
}

// Rows a spreadsheet could take the wrong way: formulas, text that looks
// like numbers or dates, dates Excel cannot hold, quotes, line breaks.
QList<RecordRow> trickyRows() {
  return {
      row({{"ID", "1"}, {"LNAME", "Abernathy, Cole"}, {"RANK", "SGT"}, {"SSN", "000-00-0001"}, {"SEX", "M"},
           {"DOB", "03/14/1994"}, {"DOT", "06/01/2026"}, {"RAW_PU", "62"}, {"RAW_SU", "70"}, {"RUN_M", "14"},
           {"RUN_S", "05"}, {"C_PU", "80"}, {"C_SU", "76"}, {"C_RUN", "92"}, {"TOTAL", "248"}, {"STAT", "PASS"},
           {"REMARK", "Squad leader; \"Doc\", 2nd\nline"}}),
      row({{"ID", "2"}, {"LNAME", "=HYPERLINK(\"http://x\",\"y\")"}, {"RANK", "+1"}, {"SSN", "-2+3"},
           {"SEX", "@SUM(A1)"}, {"REMARK", "\t=1+1"}, {"STAT", "\r=2"}, {"PROFILE", "PROFILE"}}),
      row({{"ID", "3"}, {"LNAME", "Ñúñez, Zoë"}, {"DOB", "1/2/1890"}, {"DOT", "not a date"}, {"TOTAL", " 60"},
           {"C_PU", "abc"}, {"RAW_PU", "-3"}, {"STAT", " "}}),
      row({{"ID", "4"}}),  // a row stored by Add before any typing
  };
}

TEST(Export, CsvAndWorkbookReadBackWithTypesAndNoFormulas) {
  test::ScratchDir dir;
  const QList<RecordRow> rows = trickyRows();
  ASSERT_EQ(writeRecordsCsv(dir.file("out.csv"), rows), "");
  ASSERT_EQ(writeRecordsXlsx(dir.file("out.xlsx"), rows), "");

  QJsonArray json;
  for (const RecordRow& r : rows) json.append(QJsonArray::fromStringList(r));
  QFile expected(dir.file("expected.json"));
  ASSERT_TRUE(expected.open(QIODevice::WriteOnly));
  expected.write(QJsonDocument(json).toJson());
  expected.close();

  QProcess py;
  py.setProcessChannelMode(QProcess::MergedChannels);
  py.start(QUILLON_PYTHON, {QUILLON_EXPORT_CHECK, dir.file("out.csv"), dir.file("out.xlsx"), dir.file("expected.json")});
  ASSERT_TRUE(py.waitForFinished(-1));
  const QString said = QString::fromUtf8(py.readAll());
  EXPECT_EQ(py.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(py.exitCode(), 0) << said.toStdString();
  EXPECT_TRUE(said.contains("4 records read back")) << said.toStdString();
}

TEST(Export, AFailedWriteLeavesTheOldFileAndNoLitter) {
  test::ScratchDir dir;
  QFile old(dir.file("out.csv"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old contents");
  old.close();

  RecordRow shortRow = blankRecordRow();
  shortRow.removeLast();
  EXPECT_TRUE(writeRecordsCsv(dir.file("out.csv"), {blankRecordRow(), shortRow}).contains("record 2"));
  EXPECT_TRUE(writeRecordsXlsx(dir.file("out.xlsx"), {shortRow}).contains("record 1"));
  EXPECT_FALSE(writeRecordsCsv(QDir(dir.file("missing")).filePath("out.csv"), {}).isEmpty());
  EXPECT_FALSE(writeRecordsXlsx(QDir(dir.file("missing")).filePath("out.xlsx"), {}).isEmpty());
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old contents");
  old.close();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});

  // Cancelled part-way through a long export: the old file stays, no new one, no litter.
  const QList<RecordRow> many(1200, blankRecordRow());
  int asked = 0;
  auto cancelSecond = [&asked](qsizetype, qsizetype) { return ++asked < 2; };
  EXPECT_EQ(writeRecordsCsv(dir.file("out.csv"), many, cancelSecond), exportCancelledText());
  asked = 0;
  EXPECT_EQ(writeRecordsXlsx(dir.file("out.xlsx"), many, cancelSecond), exportCancelledText());
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old contents");
  old.close();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});

  // A good write replaces it whole, readable by the owner only (SSNs).
  ASSERT_EQ(writeRecordsCsv(dir.file("out.csv"), {blankRecordRow()}), "");
  ASSERT_EQ(writeRecordsXlsx(dir.file("out.xlsx"), {blankRecordRow()}), "");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"out.csv", "out.xlsx"}));
  for (const char* f : {"out.csv", "out.xlsx"})
    EXPECT_EQ(QFileInfo(dir.file(f)).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions()) << f;
}

}  // namespace
}  // namespace quillon
