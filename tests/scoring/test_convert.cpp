// The Convert command driven through a test host: the order of its checks,
// what each refusal leaves behind, and the whole command with the shipped
// tables.

#include <gtest/gtest.h>

#include "convertfixture.h"
#include "fileoffset.h"
#include "numeric.h"

using namespace quillon;
using namespace quillon::test;

// ---- Steps 1 to 15: the checks, in order ----

TEST_F(ConvertTest, AFullRecordPassesWithItsPointsFromTheTables) {
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("100"));
  EXPECT_EQ(get(Ctl::C_SU), QStringLiteral(" 60"));
  EXPECT_EQ(get(Ctl::C_PU), QStringLiteral(" 92"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("252"));
  EXPECT_EQ(get(Ctl::DOT), QStringLiteral("12/07/2026"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS"));
  EXPECT_EQ(get(Ctl::Prof), QString());
  EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("BF"));
  EXPECT_TRUE(h.m.shown.empty());
  EXPECT_EQ(h.endAlternates, 0);
  // The look-ups in their order, then the total and the rest.
  const QList<Ctl> expected{Ctl::Sex, Ctl::C_RUN, Ctl::C_SU, Ctl::C_PU, Ctl::TOTAL, Ctl::DOT, Ctl::Prof, Ctl::STAT,
                            Ctl::STAT};
  EXPECT_EQ(h.c.writes, expected);
}

TEST_F(ConvertTest, BadDateOfBirthChangesOnlyTheAlternateGlobals) {
  for (const char* dob : {"", "02/30/1990", "1/1/80", "someday"}) {
    h.m.shown.clear();
    set(Ctl::DOB, dob);
    h.st.AltResult = StatusWord::FAIL;
    h.st.AltState = StatusWord::DONE;
    h.st.AgeSexKey = QStringLiteral("JM");
    EXPECT_EQ(convert(), ConvertEnd::Refused);
    expectOnlyError("Entry for DOB is not valid");
    EXPECT_EQ(h.st.AltResult, StatusWord::PASS);
    EXPECT_EQ(h.st.AltState, StatusWord::FLAG);
    EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("JM"));
    EXPECT_TRUE(h.c.writes.isEmpty()) << dob;
  }
}

TEST_F(ConvertTest, TodayThatIsNoDateCannotGiveAnAge) {
  h.clk.day = QDate();
  EXPECT_EQ(convert(), ConvertEnd::Refused);
  expectOnlyError("Can not compute age");
  EXPECT_TRUE(h.c.writes.isEmpty());
}

TEST_F(ConvertTest, AgeGroupFromDaysOnTheClockDay) {
  const struct {
    QDate born;
    QDate today;
    const char* key;
  } cases[] = {
      {QDate(1980, 3, 1), QDate(2002, 3, 1), "AM"},  // 8035 days: 21
      {QDate(1982, 3, 1), QDate(2004, 3, 1), "BM"},  // 8036 days: 22
      {QDate(2030, 1, 1), QDate(2026, 12, 7), "AM"},  // born in the future
      {QDate(2026, 12, 7).addDays(-8035), QDate(2026, 12, 7), "AM"},
      {QDate(2026, 12, 7).addDays(-8036), QDate(2026, 12, 7), "BM"},  // 22.0014
      {QDate(2026, 12, 7).addDays(-20819), QDate(2026, 12, 7), "HM"},  // 56.999
      {QDate(2026, 12, 7).addDays(-20820), QDate(2026, 12, 7), "IM"},  // 57.0021
      {QDate(2026, 12, 7).addDays(-22645), QDate(2026, 12, 7), "IM"},  // 61.998
      {QDate(2026, 12, 7).addDays(-22646), QDate(2026, 12, 7), "JM"},  // 62.0007
  };
  set(Ctl::Sex, "M");
  for (const auto& c : cases) {
    set(Ctl::DOB, "");
    h.c.values[Ctl::DOB] = formatDateOfTest(c.born);
    h.clk.day = c.today;
    h.m.shown.clear();
    EXPECT_EQ(convert(), ConvertEnd::Finished) << h.m.texts().join(u'|').toStdString();
    EXPECT_EQ(h.st.AgeSexKey, QLatin1String(c.key)) << qPrintable(c.born.toString()) << " on "
                                                        << qPrintable(c.today.toString());
    EXPECT_EQ(get(Ctl::DOT), formatDateOfTest(c.today));
  }
}

TEST_F(ConvertTest, SameDayInAnyAcceptedNotationGivesTheSameGroup) {
  h.clk.day = QDate(2004, 3, 1);
  for (const char* dob : {"3/1/1982", "03/01/1982", "1982-03-01", " 03/01/1982 "}) {
    set(Ctl::DOB, dob);
    EXPECT_EQ(convert(), ConvertEnd::Finished);
    EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("BF")) << dob;
  }
}

TEST_F(ConvertTest, SexIsTrimmedAndWrittenBackEvenWhenRefused) {
  set(Ctl::Sex, " F ");
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::Sex), QStringLiteral("F"));
  EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("BF"));

  for (const char* sex : {" m ", "f", "", "MF", "X"}) {
    SCOPED_TRACE(sex);
    reset();
    set(Ctl::Sex, sex);
    h.st.AgeSexKey = QStringLiteral("JM");
    EXPECT_EQ(convert(), ConvertEnd::Refused);
    expectOnlyError("Entry for Sex is not M or F");
    EXPECT_EQ(get(Ctl::Sex), QString::fromLatin1(sex).trimmed());
    EXPECT_EQ(h.c.writes, QList<Ctl>{Ctl::Sex});
    EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("JM"));
  }
}

TEST_F(ConvertTest, RunEntriesAreCheckedBeforeAnyLookup) {
  const struct {
    const char* min;
    const char* sec;
    const char* message;
  } cases[] = {{"", "0", "Run minutes must be numeric"},  {"1:", "0", "Run minutes must be numeric"},
               {"x", "", "Run minutes must be numeric"},  {"14", "", "Run seconds must be numeric"},
               {"14", "a", "Run seconds must be numeric"}, {"14", "60", "Seconds invalid"},
               {"14", "-1", "Seconds invalid"},            {"14", "59.5", "Seconds invalid"},
               {"14", "99", "Seconds invalid"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.min) + ":" + c.sec);
    reset();
    set(Ctl::RUN_M, c.min);
    set(Ctl::RUN_S, c.sec);
    EXPECT_EQ(convert(), ConvertEnd::Refused);
    expectOnlyError(c.message);
    EXPECT_EQ(openFileOffset(dir.file("2m.dat")), 0) << "the run table was read";
    expectUntouched({Ctl::C_RUN, Ctl::C_SU, Ctl::C_PU, Ctl::TOTAL, Ctl::STAT, Ctl::DOT});
    EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("BF"));  // set before the run checks
  }
}

TEST_F(ConvertTest, EdgeSecondsAreAccepted) {
  // 13:59 reads the 14:00 record: BF 100. -0.5 rounds to 0.
  for (const char* sec : {"59", "0", "-0.5", " 7 "}) {
    reset();
    set(Ctl::RUN_M, "13");
    set(Ctl::RUN_S, sec);
    EXPECT_EQ(convert(), ConvertEnd::Finished) << sec;
    EXPECT_TRUE(h.m.shown.empty()) << sec;
  }
  // The last read was " 7 ", 13:07: record 3, whose 20 fields end at byte 2 * 62 + 60.
  EXPECT_EQ(openFileOffset(dir.file("2m.dat")), 2 * 62 + 60);
}

TEST_F(ConvertTest, BadSitUpEntryLeavesAFreshRunCaption) {
  set(Ctl::RAW_SU, "");
  EXPECT_EQ(convert(), ConvertEnd::Refused);
  expectOnlyError("Sit up entry must be numeric");
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("100"));
  expectUntouched({Ctl::C_SU, Ctl::C_PU, Ctl::TOTAL, Ctl::STAT, Ctl::DOT, Ctl::Prof});
}

TEST_F(ConvertTest, BadPushUpEntryLeavesFreshRunAndSitUpCaptions) {
  set(Ctl::RAW_PU, "4x");
  EXPECT_EQ(convert(), ConvertEnd::Refused);
  expectOnlyError("Push up entry must be numeric");
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("100"));
  EXPECT_EQ(get(Ctl::C_SU), QStringLiteral(" 60"));
  expectUntouched({Ctl::C_PU, Ctl::TOTAL, Ctl::STAT, Ctl::DOT, Ctl::Prof});
}

TEST_F(ConvertTest, FirstFailingCheckIsTheOnlyOneReported) {
  set(Ctl::Sex, "Q");
  set(Ctl::RUN_M, "");
  set(Ctl::RAW_SU, "");
  EXPECT_EQ(convert(), ConvertEnd::Refused);
  expectOnlyError("Entry for Sex is not M or F");

  reset();
  set(Ctl::RUN_S, "75");
  set(Ctl::RAW_PU, "");
  EXPECT_EQ(convert(), ConvertEnd::Refused);
  expectOnlyError("Seconds invalid");
}

TEST_F(ConvertTest, MissingTableStopsTheCommandWithThePointsLabelKept) {
  ASSERT_TRUE(QFile::remove(dir.file("pu.dat")));
  ScoringTables fresh;
  fresh.open(dir.path());
  EXPECT_EQ(Convert(h, fresh), ConvertEnd::Refused);
  ASSERT_EQ(h.m.shown.size(), 1u);
  EXPECT_EQ(h.m.shown[0].title, QStringLiteral("Error"));
  EXPECT_EQ(h.m.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(h.m.shown[0].text.contains(QStringLiteral("pu.dat")));
  EXPECT_TRUE(h.m.shown[0].text.contains(QStringLiteral("record 38")));
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("100"));
  EXPECT_EQ(get(Ctl::C_SU), QStringLiteral(" 60"));
  expectUntouched({Ctl::C_PU, Ctl::TOTAL, Ctl::STAT, Ctl::DOT, Ctl::Prof});
}

TEST_F(ConvertTest, TruncatedRunTableStopsBeforeTheSitUps) {
  {
    QFile f(dir.file("2m.dat"));
    ASSERT_TRUE(f.resize(62 * 10));
  }
  EXPECT_EQ(convert(), ConvertEnd::Refused);  // 14:00 is record 11
  expectOnlyError("The points table 2m.dat has no record 11 (the file is too short).");
  expectUntouched({Ctl::C_RUN, Ctl::C_SU, Ctl::C_PU, Ctl::TOTAL, Ctl::STAT});
  EXPECT_EQ(openFileOffset(dir.file("su.dat")), 0) << "the sit-up table was read";
}

TEST_F(ConvertTest, RunMinutesOutsideTheTable) {
  set(Ctl::RUN_M, "6");  // done, 0 points: fails
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("0"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("152"));
  EXPECT_EQ(h.m.questions(), 0);
  EXPECT_EQ(openFileOffset(dir.file("2m.dat")), 0) << "the run table was read";
}

// ---- The whole command with the shipped tables ----

TEST_F(ConvertTest, RunNotDoneEndToEnd) {
  set(Ctl::RUN_M, "0");
  set(Ctl::RUN_S, "0");
  h.m.answers = {true};
  h.altResult = StatusWord::FAIL;
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("0"));
  EXPECT_EQ(h.m.texts(), QStringList{kRunQ});
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("0"));
  EXPECT_EQ(get(Ctl::Prof), QStringLiteral("PROFILE"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::DOT), QStringLiteral("12/07/2026"));
  EXPECT_EQ(h.endAlternates, 1);
  EXPECT_EQ(h.st.AltState, StatusWord::DONE);

  // Converting again resets the alternate event: it is waited for anew.
  h.m.shown.clear();
  h.m.answers = {true};
  h.altResult = StatusWord::PASS;
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(h.waits, 2);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS"));
}

TEST_F(ConvertTest, LaterDayCanChangeTheGroupAndThePoints) {
  // Born 2000-06-01: 26 on 2026-12-07 (BF), 27 a year later (CF). 50 sit-ups:
  // B 60, C 65 (situps.csv).
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::C_SU), QStringLiteral(" 60"));
  h.clk.day = QDate(2027, 12, 7);
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(h.st.AgeSexKey, QStringLiteral("CF"));
  EXPECT_EQ(get(Ctl::C_SU), QStringLiteral(" 65"));
  EXPECT_EQ(get(Ctl::DOT), QStringLiteral("12/07/2027"));
}
