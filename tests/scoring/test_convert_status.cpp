// The end of Convert: the total, the date of test and the status decisions,
// with the profile questions and the wait for the alternate event.

#include <gtest/gtest.h>

#include "convertfixture.h"
#include "numeric.h"

using namespace quillon;
using namespace quillon::test;

// ---- The total, date of test and status ----

TEST_F(StatusTest, AllSixtyPassesWithoutQuestions) {
  points("60", " 60", "60 ");
  h.st.ProfileResult = StatusWord::FAIL;
  EXPECT_EQ(finish(), ConvertEnd::Finished);
  EXPECT_EQ(get(Ctl::TOTAL), QStringLiteral("180"));
  EXPECT_EQ(get(Ctl::STAT), QStringLiteral("PASS"));
  EXPECT_EQ(get(Ctl::Prof), QString());
  EXPECT_EQ(get(Ctl::DOT), QStringLiteral("12/07/2026"));
  EXPECT_EQ(h.st.ProfileResult, StatusWord::PASS);
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
  EXPECT_EQ(h.st.ProfileResult, StatusWord::FAIL);
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
  EXPECT_EQ(h.st.ProfileState, StatusWord::DONE);
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
    h.st.ProfileResult = StatusWord::FAIL;
    EXPECT_EQ(finish(), ConvertEnd::Refused) << c.event;
    ASSERT_EQ(h.m.shown.size(), 1u);
    EXPECT_EQ(h.m.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(h.m.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(h.m.shown[0].text.startsWith(QStringLiteral("The %1 points").arg(QLatin1String(c.event))))
        << qPrintable(h.m.shown[0].text);
    EXPECT_TRUE(h.c.writes.isEmpty());
    expectUntouched({Ctl::TOTAL, Ctl::STAT, Ctl::DOT, Ctl::Prof});
    EXPECT_EQ(h.st.ProfileResult, StatusWord::FAIL);
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

// ---- The two profile questions on their own ----

TEST(ProfileQuestionTest, YesKeepsAnEarlierFailAndMarksTheProfile) {
  ConversionState st;
  FakeControls c;
  ScriptedSeam m;
  c.values[Ctl::STAT] = StatusWord::FAIL;
  c.values[Ctl::TOTAL] = QStringLiteral("210");
  st.ProfileResult = StatusWord::PASS;
  st.ProfileState = StatusWord::WAIT;
  m.answers = {true};
  askProfileForEvent(c, m, QStringLiteral(" situps?"), st);
  ASSERT_EQ(m.shown.size(), 1u);
  EXPECT_EQ(m.shown[0].text, kSitUpQ);
  EXPECT_EQ(m.shown[0].title, QStringLiteral("Question"));
  EXPECT_TRUE(m.shown[0].question);
  EXPECT_EQ(c.values[Ctl::STAT], StatusWord::FAIL);
  EXPECT_EQ(c.values[Ctl::TOTAL], QStringLiteral("0"));
  EXPECT_EQ(c.values[Ctl::Prof], StatusWord::PROFILE);
  EXPECT_EQ(st.ProfileResult, StatusWord::PASS);
  EXPECT_EQ(st.ProfileState, StatusWord::DONE);
}

TEST(ProfileQuestionTest, NoFailsAndLeavesTotalAndMark) {
  ConversionState st;
  FakeControls c;
  ScriptedSeam m;
  c.values[Ctl::STAT] = StatusWord::UNDECIDED;
  c.values[Ctl::TOTAL] = QStringLiteral("150");
  c.values[Ctl::Prof] = QString();
  st.ProfileResult = StatusWord::PASS;
  st.ProfileState = StatusWord::WAIT;
  m.answers = {false};
  askProfileForEvent(c, m, QStringLiteral(" push-ups?"), st);
  EXPECT_EQ(m.texts(), QStringList{kPushUpQ});
  EXPECT_EQ(c.values[Ctl::STAT], StatusWord::FAIL);
  EXPECT_EQ(c.values[Ctl::TOTAL], QStringLiteral("150"));
  EXPECT_EQ(c.values[Ctl::Prof], QString());
  EXPECT_EQ(st.ProfileResult, StatusWord::FAIL);
  EXPECT_EQ(st.ProfileState, StatusWord::DONE);
  // "PASS" is written only over something that is not "FAIL".
  EXPECT_EQ(c.writes, (QList<Ctl>{Ctl::STAT}));
}

TEST(ProfileQuestionTest, GeneralQuestionTouchesOnlyTheMark) {
  ConversionState st;
  FakeControls c;
  ScriptedSeam m;
  c.values[Ctl::Prof] = StatusWord::PROFILE;
  c.values[Ctl::STAT] = StatusWord::FAIL;
  st.ProfileResult = StatusWord::PASS;
  st.ProfileState = StatusWord::WAIT;
  m.answers = {false, true};
  askProfileMark(c, m);
  EXPECT_EQ(c.values[Ctl::Prof], QString());
  askProfileMark(c, m);
  EXPECT_EQ(c.values[Ctl::Prof], StatusWord::PROFILE);
  EXPECT_EQ(m.texts(), (QStringList{kCheckQ, kCheckQ}));
  EXPECT_EQ(m.shown[1].title, QStringLiteral("Question"));
  EXPECT_EQ(c.writes, (QList<Ctl>{Ctl::Prof, Ctl::Prof}));
  EXPECT_EQ(st.ProfileResult, StatusWord::PASS);
  EXPECT_EQ(st.ProfileState, StatusWord::WAIT);
}
