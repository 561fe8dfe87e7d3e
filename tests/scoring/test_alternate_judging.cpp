// Judging one alternate-event entry against As.dat, without widgets.

#include <QFile>
#include <gtest/gtest.h>

#include "altstandards.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

const QStringList kKeys{"AM", "AF", "BM", "BF", "CM", "CF", "DM", "DF", "EM", "EF",
                        "FM", "FF", "GM", "GF", "HM", "HF", "IM", "IF", "JM", "JF"};

// A standards file whose field k of record r holds r*1000 + k*10, so a
// value read names the record and field it came from (bike BF is 2040).
QByteArray encodedStandards(int records = 3) {
  QByteArray out;
  for (int r = 1; r <= records; ++r) {
    for (int k = 1; k <= 20; ++k) out += QByteArray::number(r * 1000 + k * 10).rightJustified(4, ' ');
    out += "\r\n";
  }
  return out;
}

// One record per event with the same 4-character field for every key.
QByteArray uniformStandards(const QByteArray& field) {
  QByteArray out;
  for (int r = 1; r <= 3; ++r) out += field.repeated(20) + "\r\n";
  return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(f.write(bytes), bytes.size());
}

class Judging : public ::testing::Test {
 protected:
  void useBytes(const QByteArray& bytes) {
    writeFile(dir.file("As.dat"), bytes);
    ASSERT_TRUE(file.open(dir.file("As.dat")));
  }
  AltJudgement judge(const QString& event, const QString& m, const QString& s, const QString& key = "BF") {
    return judgeAlternate(event, m, s, key, file, buffer);
  }
  ScratchDir dir;
  AltStandardsFile file;
  AltStandardRecord buffer;
};

}  // namespace

TEST_F(Judging, EveryEventAndKeyReadsItsOwnRecordAndField) {
  useBytes(encodedStandards());
  for (int r = 1; r <= 3; ++r) {
    for (int k = 1; k <= 20; ++k) {
      const AltJudgement j = judge(alternateEvents().at(r - 1), "0", "0", kKeys.at(k - 1));
      ASSERT_EQ(j.kind, AltJudgement::Judged) << r << " " << k;
      EXPECT_EQ(j.maxTime, r * 1000 + k * 10) << qPrintable(kKeys.at(k - 1));
    }
  }
}

TEST_F(Judging, BikeForBFComesFromFieldFourOfRecordTwo) {
  useBytes(encodedStandards());
  const AltJudgement j = judge("6.2M Bike", "15", "30", "BF");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.maxTime, 2040);
  EXPECT_EQ(j.enteredTime, 1530);
  EXPECT_FALSE(j.over);
  EXPECT_EQ(buffer.field(4), QStringLiteral("2040"));
  EXPECT_EQ(buffer.field(1), QStringLiteral("2010"));
}

TEST(JudgingRealTable, StandardsFromTheSuppliedTable) {
  ScratchDir dir;
  dir.copyTables();
  AltStandardsFile file;
  AltStandardRecord buffer;
  ASSERT_TRUE(file.open(dir.file("As.dat")));

  // Swim, BM: 20:30 in the reviewed table. Equal passes, one second more fails.
  AltJudgement j = judgeAlternate("800 Y Swim", "20", "30", "BM", file, buffer);
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.maxTime, 2030);
  EXPECT_FALSE(j.over);
  j = judgeAlternate("800 Y Swim", "20", "31", "BM", file, buffer);
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_TRUE(j.over);

  // Bike, BF: 25:30.
  j = judgeAlternate("6.2M Bike", "15", "30", "BF", file, buffer);
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.maxTime, 2530);
  EXPECT_FALSE(j.over);

  // Walk, JF: the last field of the last record, 41:30.
  j = judgeAlternate("2.5M Walk", "41", "31", "JF", file, buffer);
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.maxTime, 4130);
  EXPECT_TRUE(j.over);
}

TEST_F(Judging, EntryChecksInOrderWithTheirMessages) {
  useBytes(encodedStandards());
  struct Case {
    const char* event;
    const char* m;
    const char* s;
    const QString& message;
  };
  const Case cases[] = {
      {"6.2M Bike", "", "30", AltMessage::MinutesNotNumeric},
      {"6.2M Bike", "1a", "30", AltMessage::MinutesNotNumeric},
      {"6.2M Bike", ".", "30", AltMessage::MinutesNotNumeric},
      {"6.2M Bike", "1a", "xx", AltMessage::MinutesNotNumeric},  // minutes are looked at first
      {"6.2M Bike", "15", "", AltMessage::SecondsNotNumeric},
      {"6.2M Bike", "15", "3o", AltMessage::SecondsNotNumeric},
      {"6.2M Bike", "15", "60", AltMessage::SecondsInvalid},
      {"6.2M Bike", "15", "99", AltMessage::SecondsInvalid},
      {"", "15", "60", AltMessage::SecondsInvalid},  // before the event is looked at
      {"6.2M Bike", "-1", "30", AltMessage::MinutesNegative},
      {"6.2M Bike", "-0", "30", AltMessage::MinutesNegative},
      {"6.2M Bike", "15", "-5", AltMessage::Unknown},
      {"6.2M Bike", "15", "+5", AltMessage::Unknown},
      {"6.2M Bike", "15", "-0", AltMessage::Unknown},
  };
  for (const Case& c : cases) {
    const AltJudgement j = judge(c.event, c.m, c.s);
    EXPECT_EQ(j.kind, AltJudgement::Refused) << c.m << "/" << c.s;
    EXPECT_EQ(j.message, c.message) << c.m << "/" << c.s;
  }
}

TEST_F(Judging, NoEventChosenIsSilent) {
  useBytes(encodedStandards());
  // Signs are looked at only once an event is chosen.
  for (const auto& [m, s] : {std::pair{"15", "30"}, {"-1", "30"}, {"15", "-5"}, {"15", "+5"}}) {
    const AltJudgement j = judge("", m, s);
    EXPECT_EQ(j.kind, AltJudgement::NoEvent) << m << "/" << s;
    EXPECT_TRUE(j.message.isEmpty());
  }
}

TEST_F(Judging, EventTextMustMatchExactly) {
  useBytes(encodedStandards());
  for (const char* e : {"800 y swim", "6.2m bike", "2.5M Walk ", " 800 Y Swim", "Run", "4"}) {
    const AltJudgement j = judge(e, "15", "30");
    EXPECT_EQ(j.kind, AltJudgement::Refused) << e;
    EXPECT_EQ(j.message, AltMessage::Unknown) << e;
  }
}

TEST_F(Judging, SecondsBoundariesAndLargeMinutes) {
  useBytes(encodedStandards());
  AltJudgement j = judge("2.5M Walk", "99", "59", "AM");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 9959);
  EXPECT_TRUE(j.over);
  j = judge("2.5M Walk", "0", "0", "AM");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 0);
  EXPECT_FALSE(j.over);
}

TEST_F(Judging, OneDigitSecondsCountAsSecondsNotTensOfSeconds) {
  // 15:05 against 15:00 is over; joined as typed it would read 1:55 and pass.
  useBytes(uniformStandards("1500"));
  AltJudgement j = judge("2.5M Walk", "15", "5");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 1505);
  EXPECT_TRUE(j.over);
  j = judge("2.5M Walk", "15", "05");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 1505);
  j = judge("2.5M Walk", "5", "0");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 500);
  EXPECT_FALSE(j.over);
}

TEST_F(Judging, EntriesWithSpacesPointsOrAPlusReadAsTheirValues) {
  useBytes(uniformStandards("1500"));
  AltJudgement j = judge("800 Y Swim", " 7", "5 ");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 705);
  j = judge("800 Y Swim", "1.", "30");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 130);
  j = judge("800 Y Swim", "+9", "30");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 930);
  // A point in the minutes must not shift the seconds: ".5" minutes is 0 (to even).
  j = judge("800 Y Swim", ".5", "30");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.enteredTime, 30);
}

TEST_F(Judging, InvalidKeyIsReportedAfterTheRecordWasRead) {
  useBytes(encodedStandards());
  for (const char* key : {"", "bf", "KM", "AX", "BFF", "B"}) {
    const AltJudgement j = judge("6.2M Bike", "15", "30", key);
    EXPECT_EQ(j.kind, AltJudgement::Refused) << key;
    EXPECT_EQ(j.message, AltMessage::InvalidKey) << key;
  }
  // The record was read into the buffer even though the key was refused.
  EXPECT_EQ(buffer.field(1), QStringLiteral("2010"));
  // An unknown event is found out before the key.
  EXPECT_EQ(judge("Row", "15", "30", "KM").message, AltMessage::Unknown);
}

TEST_F(Judging, StandardThatIsNotAWholeNumberIsUnknown) {
  for (const QByteArray& field : {QByteArray("    "), QByteArray("20x0"), QByteArray("--30")}) {
    AltStandardsFile f;
    writeFile(dir.file("As.dat"), uniformStandards(field));
    ASSERT_TRUE(f.open(dir.file("As.dat")));
    const AltJudgement j = judgeAlternate("800 Y Swim", "15", "30", "AM", f, buffer);
    EXPECT_EQ(j.kind, AltJudgement::Refused) << field.constData();
    EXPECT_EQ(j.message, AltMessage::Unknown) << field.constData();
  }
}

TEST_F(Judging, ShortStandardUnderTenMinutesIsReadWithItsSpaces) {
  useBytes(uniformStandards(" 955"));
  AltJudgement j = judge("800 Y Swim", "9", "55");
  ASSERT_EQ(j.kind, AltJudgement::Judged);
  EXPECT_EQ(j.maxTime, 955);
  EXPECT_FALSE(j.over);
  j = judge("800 Y Swim", "9", "56");
  EXPECT_TRUE(j.over);
}

TEST(AltStandardsFileTest, MissingFileIsNotCreatedAndEveryOkIsUnknown) {
  ScratchDir dir;
  AltStandardsFile file;
  AltStandardRecord buffer;
  EXPECT_FALSE(file.open(dir.file("As.dat")));
  EXPECT_FALSE(QFile::exists(dir.file("As.dat")));
  EXPECT_EQ(file.timesOpened(), 0);
  // The failing read comes before the key check, as with a short file.
  for (const char* key : {"AM", "ZZ"}) {
    const AltJudgement j = judgeAlternate("800 Y Swim", "15", "30", key, file, buffer);
    EXPECT_EQ(j.kind, AltJudgement::Refused);
    EXPECT_EQ(j.message, AltMessage::Unknown);
  }
}

TEST(AltStandardsFileTest, ShortFileFailsOnlyForRecordsItDoesNotHoldInFull) {
  ScratchDir dir;
  // Records 1 and 2 whole, record 3 without its two line-end bytes: still
  // whole, since those bytes are never read.
  QByteArray bytes = encodedStandards();
  bytes.chop(2);
  writeFile(dir.file("As.dat"), bytes);
  {
    AltStandardsFile file;
    AltStandardRecord buffer;
    ASSERT_TRUE(file.open(dir.file("As.dat")));
    ASSERT_TRUE(file.readRecord(3, buffer));
    EXPECT_EQ(buffer.field(20), QStringLiteral("3200"));
  }
  // One byte fewer: record 3 is cut inside its last field.
  bytes.chop(1);
  writeFile(dir.file("As.dat"), bytes);
  AltStandardsFile file;
  AltStandardRecord buffer;
  ASSERT_TRUE(file.open(dir.file("As.dat")));
  ASSERT_TRUE(file.readRecord(2, buffer));
  EXPECT_FALSE(file.readRecord(3, buffer));
  // A failed read leaves the buffer as the last good read left it.
  EXPECT_EQ(buffer.field(1), QStringLiteral("2010"));
  const AltJudgement j = judgeAlternate("2.5M Walk", "15", "30", "AM", file, buffer);
  EXPECT_EQ(j.message, AltMessage::Unknown);
  EXPECT_EQ(judgeAlternate("6.2M Bike", "15", "30", "AM", file, buffer).kind, AltJudgement::Judged);
}

TEST(AltStandardsFileTest, EmptyFileAndRecordNumbersOutsideTheFile) {
  ScratchDir dir;
  writeFile(dir.file("As.dat"), QByteArray());
  AltStandardsFile file;
  AltStandardRecord buffer;
  ASSERT_TRUE(file.open(dir.file("As.dat")));
  for (int n : {0, -1, 1, 4})
    EXPECT_FALSE(file.readRecord(n, buffer)) << n;
  EXPECT_EQ(judgeAlternate("800 Y Swim", "15", "30", "AM", file, buffer).message, AltMessage::Unknown);
}

TEST(AltStandardsFileTest, OpenedOnceAndReadWhereTheFileStandsNow) {
  ScratchDir dir;
  writeFile(dir.file("As.dat"), encodedStandards());
  AltStandardsFile file;
  AltStandardRecord buffer;
  ASSERT_TRUE(file.open(dir.file("As.dat")));
  ASSERT_TRUE(file.open(dir.file("other.dat")));  // already open: kept
  EXPECT_EQ(file.timesOpened(), 1);
  EXPECT_TRUE(file.fileName().endsWith("As.dat"));
  // Each OK refills the one buffer from the file, nothing is cached.
  ASSERT_TRUE(file.readRecord(1, buffer));
  EXPECT_EQ(buffer.field(2), QStringLiteral("1020"));
  ASSERT_TRUE(file.readRecord(3, buffer));
  EXPECT_EQ(buffer.field(2), QStringLiteral("3020"));
}

TEST(AltStandardsMapping, EventsAndKeys) {
  EXPECT_EQ(alternateEvents(), (QStringList{"800 Y Swim", "6.2M Bike", "2.5M Walk"}));
  EXPECT_EQ(alternateRecordNumber("2.5M Walk"), 3);
  EXPECT_EQ(alternateRecordNumber(""), 0);
  EXPECT_EQ(alternateFieldNumber("AM"), 1);
  EXPECT_EQ(alternateFieldNumber("BF"), 4);
  EXPECT_EQ(alternateFieldNumber("JF"), 20);
  EXPECT_EQ(alternateFieldNumber("@M"), 0);
  EXPECT_EQ(alternateFieldNumber("KF"), 0);
  EXPECT_EQ(alternateFieldNumber("Am"), 0);
}
