#pragma once
// Convert driven through a test host: scripted answers, a scripted
// alternate event, a fixed clock and the shipped tables in a scratch folder.
// The record on screen starts as a woman aged 26 with scores that pass.

#include <deque>

#include <gtest/gtest.h>

#include "convert.h"
#include "statusword.h"
#include "fakes.h"
#include "profile.h"
#include "testsupport.h"

namespace quillon::test {

inline const QString kPushUpQ = QStringLiteral("Is this soldier on a permanent profile for push-ups?");
inline const QString kSitUpQ = QStringLiteral("Is this soldier on a permanent profile for situps?");
inline const QString kRunQ = QStringLiteral("Is this soldier on a permanent profile for the 2 mile run?");
inline const QString kCheckQ = QStringLiteral("Is this soldier a permanent profile?");

// What the main window does around Convert, with scripted answers and a
// scripted alternate event.
class TestHost : public ConvertHost {
 public:
  ScoreControls& controls() override { return c; }
  MessageSeam& messages() override { return m; }
  const Clock& clock() const override { return clk; }
  ConversionState& state() override { return st; }
  void setProfileEvent(const QString& phrase) override { profileEvent = phrase; }
  void Profile() override { quillon::askProfileForEvent(c, m, profileEvent, st); }
  void ProfileCheck() override { quillon::askProfileMark(c, m); }
  bool WaitForAlternate() override {
    ++waits;
    // While waiting, the STAT the profile question left is what the clerk sees.
    statDuringWait = c.text(Ctl::STAT);
    if (closing) return false;
    if (!closedWithoutEntry.empty() && closedWithoutEntry.front()) {
      closedWithoutEntry.pop_front();
      return true;  // window closed, nothing judged: AltState still "FLAG"
    }
    st.AltState = StatusWord::DONE;
    st.AltResult = altResult;
    return true;
  }
  void EndAlternate() override {
    ++endAlternates;
    altStateAtEnd = st.AltState;
  }

  FakeControls c;
  ConversionState st;
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
  // A fresh record on screen and a fresh host with a fresh conversion state;
  // the tables stay.
  void reset() {
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


// The closing steps on their own, with the points already in place.
class StatusTest : public ConvertTest {
 protected:
  // Points in place as the look-ups would leave them.
  void points(const char* pu, const char* su, const char* run) {
    set(Ctl::C_PU, pu);
    set(Ctl::C_SU, su);
    set(Ctl::C_RUN, run);
    h.c.writes.clear();
    // As the start of Convert leaves them.
    h.st.AltResult = StatusWord::PASS;
    h.st.AltState = StatusWord::FLAG;
  }
  void raw(const char* pu, const char* su, const char* runM) {
    set(Ctl::RAW_PU, pu);
    set(Ctl::RAW_SU, su);
    set(Ctl::RUN_M, runM);
  }
  ConvertEnd finish() { return TotalAndStatus(h); }
};

}  // namespace quillon::test
