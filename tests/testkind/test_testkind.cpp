// Both tests through the one test-kind interface, held to their own scoring:
// the three-event kind gives what Convert writes for the same entries, the
// five-event kind what scoreEntry gives, and a test still missing events
// gets points for what was entered and no verdict.

#include <gtest/gtest.h>

#include "convertfixture.h"
#include "fitnessfixture.h"
#include "numeric.h"
#include "rawentry.h"
#include "threeeventkind.h"

using namespace quillon;
using namespace quillon::test;

namespace {

QList<EventResult> entered(const TestKind& kind, const QStringList& raw) {
  QList<EventResult> out;
  for (int i = 0; i < raw.size(); ++i) {
    EventResult e;
    e.event = i;
    if (!raw[i].isEmpty()) {
      const RawReading r = kind.read(i, raw[i]);
      EXPECT_TRUE(r.value) << qPrintable(r.error);
      e.raw = r.value;
    }
    out << e;
  }
  return out;
}

}  // namespace

// Soldiers on both sides of the pass mark and across age groups and sexes:
// whatever Convert writes into the points, total and status labels, the
// kind answers for the same entries on the same day.
TEST_F(ConvertTest, TheThreeEventKindScoresAsConvertDoes) {
  struct Case {
    const char* dob;
    const char* sex;
    const char* runM;
    const char* runS;
    const char* su;
    const char* pu;
  };
  const Case cases[] = {{"06/01/2000", "F", "14", "0", "50", "40"},  {"06/01/2000", "M", "15", "54", "61", "41"},
                        {"03/15/1970", "M", "19", "07", "30", "22"}, {"11/30/1988", "F", "17", "59", "45", "12"},
                        {"01/01/1960", "F", "21", "1", "82", "77"},  {"07/04/1995", "M", "13", "6", "21", "5"}};
  const ThreeEventKind kind(dir.path());
  for (const Case& k : cases) {
    reset();
    set(Ctl::DOB, k.dob);
    set(Ctl::Sex, k.sex);
    set(Ctl::RUN_M, k.runM);
    set(Ctl::RUN_S, k.runS);
    set(Ctl::RAW_SU, k.su);
    set(Ctl::RAW_PU, k.pu);
    ASSERT_EQ(convert(), ConvertEnd::Finished) << k.dob;
    ASSERT_TRUE(h.m.shown.empty()) << k.dob << " asked " << qPrintable(h.m.texts().join('|'));

    Soldier s;
    s.sex = QString::fromLatin1(k.sex);
    s.dob = *parseDateOfBirth(QString::fromLatin1(k.dob));
    const QString run = QStringLiteral("%1:%2").arg(QString::fromLatin1(k.runM)).arg(QString::fromLatin1(k.runS).toInt(), 2, 10, QLatin1Char('0'));
    const ScoredTest t = kind.score(s, h.clk.today(), entered(kind, {QString::fromLatin1(k.pu), QString::fromLatin1(k.su), run}));
    ASSERT_TRUE(t.scored()) << qPrintable(t.refused);
    ASSERT_EQ(t.points.size(), 3);
    EXPECT_EQ(t.points[ThreeEventKind::PushUp], wholeNumber(get(Ctl::C_PU))) << k.dob;
    EXPECT_EQ(t.points[ThreeEventKind::SitUp], wholeNumber(get(Ctl::C_SU))) << k.dob;
    EXPECT_EQ(t.points[ThreeEventKind::Run], wholeNumber(get(Ctl::C_RUN))) << k.dob;
    EXPECT_EQ(t.total, wholeNumber(get(Ctl::TOTAL))) << k.dob;
    EXPECT_EQ(t.result, get(Ctl::STAT)) << k.dob;
  }
}

TEST(FiveEventKind, AWholeTestScoresAsScoreEntryAndAPartOneKeepsOnlyWhatWasEntered) {
  const TestKind& kind = testKind(TestKindId::FiveEvent);
  // A GO, one event short of its minimum, and a combat soldier short of the
  // combat total with every event passed.
  for (const auto& [sex, standard, age, points] :
       {std::tuple{fitness::Sex::Female, fitness::Standard::General, 33, std::array<int, 5>{60, 70, 80, 90, 100}},
        std::tuple{fitness::Sex::Female, fitness::Standard::General, 30, std::array<int, 5>{100, 100, 59, 100, 100}},
        std::tuple{fitness::Sex::Female, fitness::Standard::Combat, 45, std::array<int, 5>{60, 60, 69, 60, 100}}}) {
    const fitness::Entry e = soldierWith(sex, standard, age, points);
    const fitness::Score want = fitness::scoreEntry(fitnessTest(), e);
    ASSERT_TRUE(want.scored()) << qPrintable(want.refused);
    Soldier s;
    s.sex = sex == fitness::Sex::Female ? "F" : "M";
    s.standard = standard == fitness::Standard::Combat ? "combat" : "general";
    s.dob = e.dob;
    QStringList raw(e.raw.begin(), e.raw.end());
    const ScoredTest whole = kind.score(s, e.testDate, entered(kind, raw));
    ASSERT_TRUE(whole.scored()) << qPrintable(whole.refused);
    QList<int> got;
    for (int i = 0; i < fitness::kEvents; ++i) {
      EXPECT_EQ(whole.points.value(i), want.points[i]) << i;
      got << whole.points.value(i).value_or(-1);
    }
    EXPECT_EQ(whole.total, want.total);
    EXPECT_EQ(whole.result, want.go ? "GO" : "NO-GO");
    EXPECT_EQ(kind.verdict(s, got), whole.result) << "the pass rule on its own agrees with the scoring";

    // The run not yet in: the other four keep their points, no total, no verdict.
    raw[fitnessTest().runEvent].clear();
    const ScoredTest part = kind.score(s, e.testDate, entered(kind, raw));
    ASSERT_TRUE(part.scored()) << qPrintable(part.refused);
    EXPECT_EQ(part.points.value(fitnessTest().runEvent), std::nullopt);
    EXPECT_EQ(part.points.value(0), want.points[0]);
    EXPECT_EQ(part.total, std::nullopt);
    EXPECT_TRUE(part.result.isEmpty());
  }
}

// A stored result is handed to the tables as figures, never as text; a
// figure no entry could give (out of its event's range, a time past what
// m:ss writes, below zero) is refused as scoreEntry refuses its written
// form, and an alternate is scored as scoreEntry scores its time.
TEST(FiveEventKind, StoredFiguresScoreAndAreRefusedAsTheirWrittenFormsAre) {
  const TestKind& kind = testKind(TestKindId::FiveEvent);
  const fitness::FitnessTest& t = fitnessTest();
  fitness::Entry e = soldierWith(fitness::Sex::Male, fitness::Standard::General, 24, {70, 70, 70, 70, 70});
  Soldier s;
  s.sex = "M";
  s.standard = "general";
  s.dob = e.dob;
  const auto scoredAlike = [&](const QList<EventResult>& figures, const fitness::Entry& typed) {
    const ScoredTest got = kind.score(s, typed.testDate, figures);
    const fitness::Score want = fitness::scoreEntry(t, typed);
    EXPECT_EQ(got.refused, want.refused);
    if (!want.scored() || !got.scored()) return;
    EXPECT_EQ(got.total, want.total);
    for (int i = 0; i < fitness::kEvents; ++i) EXPECT_EQ(got.points.value(i), want.points[i]) << i;
  };
  const int pushup = t.eventIndex(QStringLiteral("pushup"));
  const int run = t.runEvent;
  const TestEvent& runEvent = kind.events().at(run);
  for (const int figure : {kind.events().at(pushup).maxRaw + 1, -1, kind.events().at(pushup).minRaw}) {
    SCOPED_TRACE(figure);
    QList<EventResult> figures = entered(kind, QStringList(e.raw.begin(), e.raw.end()));
    figures[pushup].raw = figure;
    fitness::Entry typed = e;
    typed.raw[pushup] = kind.written(pushup, figure);
    scoredAlike(figures, typed);
  }
  for (const int seconds : {runEvent.minRaw, 99 * 60 + 59, 100 * 60, -1}) {
    SCOPED_TRACE(seconds);
    for (const TestEvent& alternate : kind.alternates()) {
      QList<EventResult> figures = entered(kind, QStringList(e.raw.begin(), e.raw.end()));
      figures[run].alternate = alternate.key;
      figures[run].raw = seconds;
      fitness::Entry typed = e;
      typed.raw[run].clear();
      typed.alternate = alternate.key;
      typed.alternateTime = fitness::formatTime(seconds);
      scoredAlike(figures, typed);
    }
  }
}

TEST(TestKinds, EachReadsItsOwnUnitsAndRefusesWhatIsOutsideItsRange) {
  const TestKind& three = testKind(TestKindId::ThreeEvent);
  const TestKind& five = testKind(TestKindId::FiveEvent);
  EXPECT_EQ(three.read(ThreeEventKind::Run, "15:07").value, 907);
  EXPECT_EQ(three.written(ThreeEventKind::Run, 907), "15:07");
  EXPECT_EQ(three.read(ThreeEventKind::PushUp, " 41 ").value, 41);
  EXPECT_EQ(three.read(ThreeEventKind::PushUp, "40.5").value, 40) << "halfway goes to the even count, as Convert reads it";
  EXPECT_FALSE(three.read(ThreeEventKind::PushUp, "-1").value);
  EXPECT_FALSE(three.read(ThreeEventKind::SitUp, "100").value) << "the records keep two digits";
  EXPECT_TRUE(three.read(ThreeEventKind::SitUp, "99").value);
  EXPECT_FALSE(three.read(ThreeEventKind::Run, "15:60").value);

  for (int i = 0; i < five.events().size(); ++i) {
    const TestEvent& ev = five.events()[i];
    EXPECT_EQ(five.read(i, five.written(i, ev.minRaw)).value, ev.minRaw) << qPrintable(ev.key);
    EXPECT_EQ(five.read(i, five.written(i, ev.maxRaw)).value, ev.maxRaw) << qPrintable(ev.key);
    const RawReading over = five.read(i, five.written(i, ev.maxRaw + 1));
    EXPECT_FALSE(over.value) << qPrintable(ev.key);
    EXPECT_TRUE(over.error.startsWith(ev.key + ':')) << qPrintable(over.error);
  }
  ASSERT_FALSE(five.alternates().isEmpty());
  for (const TestEvent& a : five.alternates()) EXPECT_EQ(five.events().at(a.replaces).unit, EventUnit::Time);
  EXPECT_TRUE(three.alternates().isEmpty());
}

TEST(TestKinds, AScoringThatCannotAgeTheSoldierRefusesAndScoresNothing) {
  for (TestKindId id : {TestKindId::ThreeEvent, TestKindId::FiveEvent}) {
    const TestKind& kind = testKind(id);
    Soldier s;
    s.sex = "M";
    QList<EventResult> none;
    for (int i = 0; i < kind.events().size(); ++i) none << EventResult{i, {}, kind.events()[i].minRaw, {}, {}, {}};
    const ScoredTest t = kind.score(s, QDate(2026, 6, 1), none);
    EXPECT_FALSE(t.scored()) << qPrintable(kind.name());
    EXPECT_TRUE(t.points.isEmpty());
    EXPECT_EQ(t.total, std::nullopt);
  }
}

// A chart draws a kind's pass marks from scale(): they must be where the
// pass rule really turns. Points spread evenly over the events, the least
// total the rule passes for each standard is one of the marked totals (or,
// for a kind that asks no total, every event at its mark), and one point
// under an event's mark fails however high the rest are.
TEST(TestKinds, TheScalesMarksAreWhereThePassRuleTurns) {
  for (TestKindId id : {TestKindId::ThreeEvent, TestKindId::FiveEvent}) {
    const TestKind& kind = testKind(id);
    SCOPED_TRACE(qPrintable(kind.name()));
    const PointsScale scale = kind.scale();
    const int n = int(kind.events().size());
    ASSERT_FALSE(scale.eventPass.isEmpty());
    EXPECT_EQ(scale.totalTop, n * scale.eventTop);
    const auto spread = [&](int total) {
      QList<int> points(n, total / n);
      for (int i = 0; i < total % n; ++i) ++points[i];
      return points;
    };
    QList<int> turns;
    for (const char* standard : {"general", "combat"}) {
      Soldier s;
      s.sex = "M";
      s.standard = QString::fromLatin1(standard);
      EXPECT_EQ(kind.verdict(s, QList<int>(n, scale.eventTop)), kind.passWord());
      QList<int> oneShort(n, scale.eventTop);
      oneShort[n - 1] = scale.eventPass.front() - 1;
      EXPECT_EQ(kind.verdict(s, oneShort), kind.failWord());
      int least = -1;
      for (int total = n * scale.eventPass.back(); total <= scale.totalTop && least < 0; ++total)
        if (kind.verdict(s, spread(total)) == kind.passWord()) least = total;
      ASSERT_GE(least, 0) << standard;
      if (!turns.contains(least)) turns << least;
    }
    std::sort(turns.begin(), turns.end());
    EXPECT_EQ(turns, scale.totalPass.isEmpty() ? QList<int>{n * scale.eventPass.back()} : scale.totalPass);
  }
}
