#pragma once
// Soldiers for the five-event scoring tests, built from the compiled tables
// (which the table test holds equal to the official pages), so a test asks
// for "60 points in the run" and never retypes a figure.

#include <QDate>
#include <gtest/gtest.h>

#include "fitnessscore.h"
#include "rawentry.h"

namespace quillon::test {

inline const fitness::FitnessTest& fitnessTest() {
  const fitness::LoadedTest& t = fitness::fitnessTest2025();
  if (!t.test) ADD_FAILURE() << qPrintable(t.error);
  static const fitness::FitnessTest empty;
  return t.test ? *t.test : empty;
}

// The figure the tables list for exactly `points` in event `event`, column
// `column`, written as a clerk enters it; empty (and a failure) when the
// page prints "---" there.
inline QString figureFor(int event, int column, int points) {
  const fitness::FitnessTest& t = fitnessTest();
  if (event >= t.tables.size()) return {};
  for (const fitness::TableRow& row : t.tables[event])
    if (row.points == points && row.raw[column]) return fitness::formatRaw(t.events[event].unit, *row.raw[column]);
  ADD_FAILURE() << "no figure for " << points << " points in event " << event << ", column " << column;
  return {};
}

// A soldier of `age` on 1 June 2025 whose events earn `points` in the
// column the standard reads him or her in.
inline fitness::Entry soldierWith(fitness::Sex sex, fitness::Standard standard, int age,
                                  std::array<int, fitness::kEvents> points) {
  fitness::Entry e;
  e.sex = sex;
  e.standard = standard;
  e.testDate = QDate(2025, 6, 1);
  e.dob = e.testDate.addYears(-age);
  const fitness::FitnessTest& t = fitnessTest();
  const bool female = sex == fitness::Sex::Female && standard == fitness::Standard::General;
  const int column = fitness::columnIndex(t.ageGroupOf(age), female ? fitness::Column::Female : fitness::Column::MaleCombat);
  for (int i = 0; i < fitness::kEvents; ++i) e.raw[i] = figureFor(i, column, points[i]);
  return e;
}

}  // namespace quillon::test
