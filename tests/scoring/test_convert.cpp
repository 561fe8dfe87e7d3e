// The Convert command driven through a test host: the order of its checks,
// what each refusal leaves behind, the total and the status decisions with
// the profile questions and the wait for the alternate event.

#include <deque>

#include <gtest/gtest.h>

#include "convert.h"
#include "define.h"
#include "fakes.h"
#include "numeric.h"
#include "profile.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::FakeControls;
using quillon::test::FixedClock;
using quillon::test::ScratchDir;
using quillon::test::ScriptedSeam;

namespace {

const QString kPushUpQ = QStringLiteral("Is this soldier on a permanent profile for push-ups?");
const QString kSitUpQ = QStringLiteral("Is this soldier on a permanent profile for situps?");
const QString kRunQ = QStringLiteral("Is this soldier on a permanent profile for the 2 mile run?");
const QString kCheckQ = QStringLiteral("Is this soldier a permanent profile?");

// What the main window does around Convert, with scripted answers and a
// scripted alternate event.
class TestHost : public ConvertHost {
 public:
  ScoreControls& controls() override { return c; }
  MessageSeam& messages() override { return m; }
  const Clock& clock() const override { return clk; }
  void setProfileEvent(const QString& phrase) override { profileEvent = phrase; }
  void Profile() override { quillon::Profile(c, m, profileEvent); }
  void ProfileCheck() override { quillon::ProfileCheck(c, m); }
  bool WaitForAlternate() override {
    ++waits;
    // While waiting, the STAT the profile question left is what the clerk sees.
    statDuringWait = c.text(Ctl::STAT);
    if (closing) return false;
    if (!closedWithoutEntry.empty() && closedWithoutEntry.front()) {
      closedWithoutEntry.pop_front();
      return true;  // window closed, nothing judged: AltState still "FLAG"
    }
    DEFINE::AltState = StatusWord::DONE;
    DEFINE::AltResult = altResult;
    return true;
  }
  void EndAlternate() override {
    ++endAlternates;
    altStateAtEnd = DEFINE::AltState;
  }

  FakeControls c;
  ScriptedSeam m;
  FixedClock clk{QDate(2026, 12, 7)};
  QString profileEvent;
  int waits = 0;
  int endAlternates = 0;
  QString altStateAtEnd;
  QString statDuringWait;
  QString altResult = StatusWord::PASS;
  std::deque<bool> closedWithoutEntry;
  bool closing = false;
};

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.copyTables();
    tables.open(dir.path());
    reset();
  }
  // A fresh record on screen, fresh globals and a fresh host; the tables stay.
  void reset() {
    DEFINE::resetAll();
    h = TestHost();
    // A woman aged 26 on the test day (group B): 14:00 gives 100 (BF),
    // 50 sit-ups 60 (B), 40 push-ups 92 (BF).
    set(Ctl::DOB, "06/01/2000");
    set(Ctl::Sex, "F");
    set(Ctl::RUN_M, "14");
    set(Ctl::RUN_S, "0");
    set(Ctl::RAW_SU, "50");
    set(Ctl::RAW_PU, "40");
    for (Ctl out : {Ctl::C_RUN, Ctl::C_SU, Ctl::C_PU, Ctl::TOTAL, Ctl::DOT, Ctl::STAT, Ctl::Prof})
      set(out, "old");
    h.c.writes.clear();
  }
  void set(Ctl c, const char* v) { h.c.values[c] = QString::fromLatin1(v); }
  QString get(Ctl c) const { return h.c.values.value(c); }
  ConvertEnd convert() { return Convert(h, tables); }
  // Exactly one box was shown: this refusal.
  void expectOnlyError(const char* text) {
    ASSERT_EQ(h.m.shown.size(), 1u) << h.m.texts().join(u'|').toStdString();
    EXPECT_EQ(h.m.shown[0].text, QString::fromLatin1(text));
    EXPECT_EQ(h.m.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(h.m.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(h.m.shown[0].question);
  }
  void expectUntouched(std::initializer_list<Ctl> cs) {
    for (Ctl c : cs) EXPECT_EQ(get(c), QStringLiteral("old")) << int(c);
  }

  ScratchDir dir;
  ScoringTables tables;
  TestHost h;
};

}  // namespace

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
  EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("BF"));
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
    DEFINE::AltResult = StatusWord::FAIL;
    DEFINE::AltState = StatusWord::DONE;
    DEFINE::AgeSexKey = QStringLiteral("JM");
    EXPECT_EQ(convert(), ConvertEnd::Refused);
    expectOnlyError("Entry for DOB is not valid");
    EXPECT_EQ(DEFINE::AltResult, StatusWord::PASS);
    EXPECT_EQ(DEFINE::AltState, StatusWord::FLAG);
    EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("JM"));
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
    EXPECT_EQ(DEFINE::AgeSexKey, QLatin1String(c.key)) << qPrintable(c.born.toString()) << " on "
                                                        << qPrintable(c.today.toString());
    EXPECT_EQ(get(Ctl::DOT), formatDateOfTest(c.today));
  }
}

TEST_F(ConvertTest, SameDayInAnyAcceptedNotationGivesTheSameGroup) {
  h.clk.day = QDate(2004, 3, 1);
  for (const char* dob : {"3/1/1982", "03/01/1982", "1982-03-01", " 03/01/1982 "}) {
    set(Ctl::DOB, dob);
    EXPECT_EQ(convert(), ConvertEnd::Finished);
    EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("BF")) << dob;
  }
}

TEST_F(ConvertTest, SexIsTrimmedAndWrittenBackEvenWhenRefused) {
  set(Ctl::Sex, " F ");
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::Sex), QStringLiteral("F"));
  EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("BF"));

  for (const char* sex : {" m ", "f", "", "MF", "X"}) {
    SCOPED_TRACE(sex);
    reset();
    set(Ctl::Sex, sex);
    DEFINE::AgeSexKey = QStringLiteral("JM");
    EXPECT_EQ(convert(), ConvertEnd::Refused);
    expectOnlyError("Entry for Sex is not M or F");
    EXPECT_EQ(get(Ctl::Sex), QString::fromLatin1(sex).trimmed());
    EXPECT_EQ(h.c.writes, QList<Ctl>{Ctl::Sex});
    EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("JM"));
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
    EXPECT_EQ(tables.readCount(Table::Run), 0);
    expectUntouched({Ctl::C_RUN, Ctl::C_SU, Ctl::C_PU, Ctl::TOTAL, Ctl::STAT, Ctl::DOT});
    EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("BF"));  // set before the run checks
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
  EXPECT_EQ(tables.lastRecord(Table::Run), 3);  // 13:07
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
  EXPECT_EQ(tables.readCount(Table::SitUp), 0);
}

TEST_F(ConvertTest, RunMinutesOutsideTheTable) {
  set(Ctl::RUN_M, "6");  // done, 0 points: fails
  EXPECT_EQ(convert(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::C_RUN), QStringLiteral("0"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("152"));
  EXPECT_EQ(h.m.questions(), 0);
  EXPECT_EQ(tables.readCount(Table::Run), 0);
}

// ---- The total, date of test and status ----

class StatusTest : public ConvertTest {
 protected:
  // Points in place as the look-ups would leave them.
  void points(const char* pu, const char* su, const char* run) {
    set(Ctl::C_PU, pu);
    set(Ctl::C_SU, su);
    set(Ctl::C_RUN, run);
    h.c.writes.clear();
    // As the start of Convert leaves them.
    DEFINE::AltResult = StatusWord::PASS;
    DEFINE::AltState = StatusWord::FLAG;
  }
  void raw(const char* pu, const char* su, const char* runM) {
    set(Ctl::RAW_PU, pu);
    set(Ctl::RAW_SU, su);
    set(Ctl::RUN_M, runM);
  }
  ConvertEnd finish() { return TotalAndStatus(h); }
};

TEST_F(StatusTest, AllSixtyPassesWithoutQuestions) {
  points("60", " 60", "60 ");
  DEFINE::ProfileResult = StatusWord::FAIL;
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("180"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS"));
  EXPECT_EQ(get(Ctl::Prof), QString());
  EXPECT_EQ(get(Ctl::DOT), QStringLiteral("12/07/2026"));
  EXPECT_EQ(DEFINE::ProfileResult, StatusWord::PASS);
  EXPECT_EQ(h.m.shown.size(), 0u);
  EXPECT_EQ(h.endAlternates, 0);
  const QList<Ctl> order{Ctl::TOTAL, Ctl::DOT, Ctl::Prof, Ctl::STAT, Ctl::STAT};
  EXPECT_EQ(h.c.writes, order);
}

TEST_F(StatusTest, SpacesAroundPointsAreIgnoredInTheTotal) {
  points(" 7 ", "  0", "100");
  raw("40", "50", "14");
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("107"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));  // 7 push-up points
}

TEST_F(StatusTest, FirstEventBelowSixtyFailsAndLaterOnesAreNotJudged) {
  points("59", "abc-never-read", "0");
  // Sit-up caption is not a whole number: the total refuses first.
  EXPECT_EQ(finish(), ConvertEnd::Refused);
  h.m.shown.clear();

  points("59", "0", "0");
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("59"));
  EXPECT_EQ(h.m.questions(), 0);

  reset();
  points("100", "59", "0");
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(h.m.questions(), 0);

  reset();
  points("100", "100", " 59");
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(h.m.questions(), 0);
  EXPECT_EQ(h.waits, 0);
}

TEST_F(StatusTest, PushUpFailureWithBothOthersZeroAsksTheGeneralQuestionTwice) {
  points(" 59", "0", "0");
  raw("12", "0", "0");
  h.m.answers = {true, false};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(h.m.texts(), (QStringList{kCheckQ, kCheckQ}));
  for (const auto& b : h.m.shown) EXPECT_EQ(b.title, QStringLiteral("Question"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::Prof), QString());  // the second answer decides
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("59"));

  reset();
  points(" 59", "0", "0");
  raw("12", "0", "0");
  h.m.answers = {false, true};
  finish();
  EXPECT_EQ(get(Ctl::Prof), QStringLiteral("PROFILE"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(h.endAlternates, 0);
}

TEST_F(StatusTest, PushUpFailureAsksOnceForEachOtherZeroEvent) {
  points("50", "0", "80");
  raw("20", "0", "15");
  h.m.answers = {true};
  finish();
  EXPECT_EQ(h.m.texts(), QStringList{kCheckQ});
  EXPECT_EQ(get(Ctl::Prof), QStringLiteral("PROFILE"));

  reset();
  points("50", "70", "0");
  raw("20", "40", " 0 ");
  h.m.answers = {false};
  finish();
  EXPECT_EQ(h.m.texts(), QStringList{kCheckQ});
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
}

TEST_F(StatusTest, SitUpFailureAsksForZeroPushUpsAndRun) {
  points("0", "40", "0");
  raw("0", "30", "0");
  // Push-ups 0 answered Yes, sit-ups fail, then the general question twice:
  // the last No clears the mark the first Yes set.
  h.m.answers = {true, true, false};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(h.m.texts(), (QStringList{kPushUpQ, kCheckQ, kCheckQ}));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::Prof), QString());
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("0"));
  EXPECT_EQ(h.endAlternates, 0);
}

TEST_F(StatusTest, ZeroPushUpsAnsweredYesWithTheRestPassing) {
  points("0", "75", "80");
  raw("0", "50", "14");
  h.m.answers = {true};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(h.m.texts(), QStringList{kPushUpQ});
  EXPECT_EQ(h.profileEvent, QStringLiteral(" push-ups?"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("0"));
  EXPECT_EQ(get(Ctl::Prof), QStringLiteral("PROFILE"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS"));
  EXPECT_EQ(h.endAlternates, 1);  // called, but with nothing to report
  EXPECT_EQ(h.altStateAtEnd, StatusWord::FLAG);
  EXPECT_EQ(h.waits, 0);
}

TEST_F(StatusTest, ZeroPushUpsAnsweredNoStillJudgesTheRestButNeverWaits) {
  points("0", "0", "0");
  raw("0", "0", "0");
  h.m.answers = {false, true, true};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(h.m.texts(), (QStringList{kPushUpQ, kSitUpQ, kRunQ}));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::Prof), QStringLiteral("PROFILE"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("0"));
  EXPECT_EQ(DEFINE::ProfileResult, StatusWord::FAIL);
  EXPECT_EQ(h.waits, 0);
  EXPECT_EQ(h.endAlternates, 0);
}

TEST_F(StatusTest, ZeroRunAnsweredYesWaitsForTheAlternateEvent) {
  for (const QString& alt : {StatusWord::PASS, StatusWord::FAIL}) {
    reset();
    points("80", "70", "0");
    raw("40", "50", "0");
    set(Ctl::RUN_S, "45");  // the seconds play no part
    h.m.answers = {true};
    h.altResult = alt;
    EXPECT_EQ(finish(), ConvertEnd::Finished);
    EXPECT_EQ(h.m.texts(), QStringList{kRunQ});
    EXPECT_EQ(h.profileEvent, QStringLiteral(" the 2 mile run?"));
    EXPECT_EQ(h.waits, 1);
    EXPECT_EQ(h.statDuringWait, QStringLiteral("PASS"));
    EXPECT_EQ(get(Ctl::STAT), alt);
    EXPECT_EQ(get(Ctl::Prof), QStringLiteral("PROFILE"));
    EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("0"));
    EXPECT_EQ(h.endAlternates, 1);
    EXPECT_EQ(h.altStateAtEnd, StatusWord::DONE);
  }
}

TEST_F(StatusTest, ClosingTheAlternateWindowDoesNotEndTheWait) {
  points("80", "70", "0");
  raw("40", "50", "0");
  h.m.answers = {true};
  h.closedWithoutEntry = {true, true};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(h.waits, 3);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS"));
}

TEST_F(StatusTest, ProgramClosingDuringTheWaitWritesNothingMore) {
  points("80", "70", "0");
  raw("40", "50", "0");
  h.m.answers = {true};
  h.closing = true;
  EXPECT_EQ(finish(), ConvertEnd::Abandoned);
  EXPECT_EQ(h.waits, 1);
  EXPECT_EQ(h.endAlternates, 0);
  const int writes = h.c.writes.size();
  EXPECT_EQ(h.c.writes.last(), Ctl::STAT);  // the last write was Profile's
  EXPECT_EQ(writes, 7);  // TOTAL DOT Prof STAT, then Profile: TOTAL Prof STAT
}

TEST_F(StatusTest, ZeroRunAfterZeroPushUpsIsAskedAgain) {
  // Profile left ProfileState "DONE" for the push-ups; the run resets it.
  points("0", "70", "0");
  raw("0", "50", "0");
  h.m.answers = {true, true};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(h.m.texts(), (QStringList{kPushUpQ, kRunQ}));
  EXPECT_EQ(h.waits, 1);
  EXPECT_EQ(DEFINE::ProfileState, StatusWord::DONE);
}

TEST_F(StatusTest, ZeroRunAnsweredNoFails) {
  points("80", "70", "0");
  raw("40", "50", "0");
  h.m.answers = {false};
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("150"));
  EXPECT_EQ(h.waits, 0);
  EXPECT_EQ(h.endAlternates, 0);
}

TEST_F(StatusTest, ZeroMeansTheDecimalNumberZero) {
  // "0.0", "-0" and " 0" are not done; "0.4" is done (and scores 0 points).
  for (const char* zero : {"0.0", "-0", " 0", "00", "0."}) {
    reset();
    points("0", "70", "80");
    raw(zero, "50", "14");
    h.m.answers = {true};
    finish();
    EXPECT_EQ(h.m.questions(), 1) << zero;
    EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS")) << zero;
  }
  reset();
  points("0", "70", "80");
  raw("0.4", "50", "14");
  finish();
  EXPECT_EQ(h.m.questions(), 0);
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
}

TEST_F(StatusTest, PointsThatAreNoWholeNumberChangeNothing) {
  const struct {
    const char* pu;
    const char* su;
    const char* run;
    const char* event;
  } cases[] = {{"", "60", "60", "push-up"}, {"60", "6.5", "60", "sit-up"}, {"60", "60", "x", "run"},
               {"60", "60", "   ", "run"}};
  for (const auto& c : cases) {
    reset();
    points(c.pu, c.su, c.run);
    DEFINE::ProfileResult = StatusWord::FAIL;
    EXPECT_EQ(finish(), ConvertEnd::Refused) << c.event;
    ASSERT_EQ(h.m.shown.size(), 1u);
    EXPECT_EQ(h.m.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(h.m.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(h.m.shown[0].text.startsWith(QStringLiteral("The %1 points").arg(QLatin1String(c.event))))
        << qPrintable(h.m.shown[0].text);
    EXPECT_TRUE(h.c.writes.isEmpty());
    expectUntouched({Ctl::TOTAL, Ctl::STAT, Ctl::DOT, Ctl::Prof});
    EXPECT_EQ(DEFINE::ProfileResult, StatusWord::FAIL);
  }
}

TEST_F(StatusTest, TotalBeyondSixteenBitsIsRefused) {
  points("999999999", "999999999", "999999999");
  EXPECT_EQ(finish(), ConvertEnd::Refused);
  ASSERT_EQ(h.m.shown.size(), 1u);
  EXPECT_EQ(h.m.shown[0].text, QStringLiteral("The total of the points (2999999997) is too large to be recorded. The "
                                              "points tables may be damaged."));
  EXPECT_TRUE(h.c.writes.isEmpty());

  // The largest total that fits is written; a negative one too.
  reset();
  points("32767", "0", "0");
  raw("40", "50", "14");
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("32767"));
  reset();
  points("-5", "60", "60");
  raw("40", "50", "14");
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("115"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("FAIL"));
  reset();
  points("32767", "1", "0");
  EXPECT_EQ(finish(), ConvertEnd::Refused);
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
  EXPECT_EQ(DEFINE::AltState, StatusWord::DONE);

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
  EXPECT_EQ(DEFINE::AgeSexKey, QStringLiteral("CF"));
  EXPECT_EQ(get(Ctl::C_SU), QStringLiteral(" 65"));
  EXPECT_EQ(get(Ctl::DOT), QStringLiteral("12/07/2027"));
}

// ---- The two profile questions on their own ----

TEST(ProfileQuestionTest, YesKeepsAnEarlierFailAndMarksTheProfile) {
  DEFINE::resetAll();
  FakeControls c;
  ScriptedSeam m;
  c.values[Ctl::STAT] = StatusWord::FAIL;
  c.values[Ctl::TOTAL] = QStringLiteral("210");
  DEFINE::ProfileResult = StatusWord::PASS;
  DEFINE::ProfileState = StatusWord::WAIT;
  m.answers = {true};
  Profile(c, m, QStringLiteral(" situps?"));
  ASSERT_EQ(m.shown.size(), 1u);
  EXPECT_EQ(m.shown[0].text, kSitUpQ);
  EXPECT_EQ(m.shown[0].title, QStringLiteral("Question"));
  EXPECT_TRUE(m.shown[0].question);
  EXPECT_EQ(c.values[Ctl::STAT], StatusWord::FAIL);
  EXPECT_EQ(c.values[Ctl::TOTAL], QStringLiteral("0"));
  EXPECT_EQ(c.values[Ctl::Prof], StatusWord::PROFILE);
  EXPECT_EQ(DEFINE::ProfileResult, StatusWord::PASS);
  EXPECT_EQ(DEFINE::ProfileState, StatusWord::DONE);
}

TEST(ProfileQuestionTest, NoFailsAndLeavesTotalAndMark) {
  DEFINE::resetAll();
  FakeControls c;
  ScriptedSeam m;
  c.values[Ctl::STAT] = StatusWord::UNDECIDED;
  c.values[Ctl::TOTAL] = QStringLiteral("150");
  c.values[Ctl::Prof] = QString();
  DEFINE::ProfileResult = StatusWord::PASS;
  DEFINE::ProfileState = StatusWord::WAIT;
  m.answers = {false};
  Profile(c, m, QStringLiteral(" push-ups?"));
  EXPECT_EQ(m.texts(), QStringList{kPushUpQ});
  EXPECT_EQ(c.values[Ctl::STAT], StatusWord::FAIL);
  EXPECT_EQ(c.values[Ctl::TOTAL], QStringLiteral("150"));
  EXPECT_EQ(c.values[Ctl::Prof], QString());
  EXPECT_EQ(DEFINE::ProfileResult, StatusWord::FAIL);
  EXPECT_EQ(DEFINE::ProfileState, StatusWord::DONE);
  // "PASS" is written only over something that is not "FAIL".
  EXPECT_EQ(c.writes, (QList<Ctl>{Ctl::STAT}));
}

TEST(ProfileQuestionTest, GeneralQuestionTouchesOnlyTheMark) {
  DEFINE::resetAll();
  FakeControls c;
  ScriptedSeam m;
  c.values[Ctl::Prof] = StatusWord::PROFILE;
  c.values[Ctl::STAT] = StatusWord::FAIL;
  DEFINE::ProfileResult = StatusWord::PASS;
  DEFINE::ProfileState = StatusWord::WAIT;
  m.answers = {false, true};
  ProfileCheck(c, m);
  EXPECT_EQ(c.values[Ctl::Prof], QString());
  ProfileCheck(c, m);
  EXPECT_EQ(c.values[Ctl::Prof], StatusWord::PROFILE);
  EXPECT_EQ(m.texts(), (QStringList{kCheckQ, kCheckQ}));
  EXPECT_EQ(m.shown[1].title, QStringLiteral("Question"));
  EXPECT_EQ(c.writes, (QList<Ctl>{Ctl::Prof, Ctl::Prof}));
  EXPECT_EQ(DEFINE::ProfileResult, StatusWord::PASS);
  EXPECT_EQ(DEFINE::ProfileState, StatusWord::WAIT);
}
