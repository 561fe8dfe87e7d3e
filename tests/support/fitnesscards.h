#pragma once
// Scorecards filled with values no two boxes share, so a test (or a
// picture) can find each value on the page and tell which box it is in.

#include "cards.h"

namespace quillon::test {

// Test n (1-based) of a soldier: every box of the form that takes a value
// filled, each value marked with n so the columns cannot be mixed up.
inline CardTest filledCardTest(int n, const QString& date) {
  CardTest t;
  const QString s = QString::number(n);
  t.date = date;
  t.mos = "11B" + s;
  t.payGrade = "E-" + s;
  t.age = QString::number(20 + n);
  t.standard = n % 2 ? CardStandard::Combat : CardStandard::General;
  t.bodyCompositionDate = "2025010" + s;
  t.heightInches = QString::number(60 + n);
  t.weightPounds = QString::number(150 + n);
  t.weight = GoNoGo::Go;
  t.bodyFatPercent = QString::number(16 + n);
  t.bodyFat = n == 2 ? GoNoGo::NoGo : GoNoGo::Go;
  t.deadliftFirst = QString::number(200 + n);
  t.deadliftSecond = QString::number(210 + n);
  const char* graders[] = {"DL", "PU", "SD", "PL", "RN"};
  const QString raws[] = {"", "4" + s, "1:5" + s, "3:1" + s, "15:3" + s};
  for (int e = 0; e < kCardEvents; ++e) {
    t.events[e].raw = raws[e];
    t.events[e].points = QString::number(60 + 10 * e + n);
    t.events[e].grader = QString::fromLatin1(graders[e]) + s;
  }
  if (n == 3) {  // an alternate in the run's place
    t.events[static_cast<int>(CardEvent::Run)] = {};
    t.alternate = "WALK";
    t.alternateTime = "31:0" + s;
    t.alternateResult = GoNoGo::Go;
    t.alternatePoints = "60";
    t.alternateGrader = "AW" + s;
  }
  t.total = QString::number(400 + n);
  t.oicName = "Oakes" + s + ", Ray";
  t.oicPayGrade = "O-" + s;
  t.overall = GoNoGo::Go;
  return t;
}

inline FitnessCard filledCard(int tests, const QString& last = QStringLiteral("Abernathy")) {
  FitnessCard c;
  c.lastName = last;
  c.firstName = "Cole";
  c.middleInitial = "J";
  c.sex = "M";
  c.unit = "A Co 2-7 IN, Bldg 12";
  for (int n = 1; n <= tests; ++n) c.tests << filledCardTest(n, QString::number(20250100 + n * 100 + n));
  return c;
}

}  // namespace quillon::test
