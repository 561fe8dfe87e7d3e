#pragma once
// What the lane window's tests share: the columns by name, a figure that
// earns given points for the group fixture's men, a file holding the range
// day's group, the window shown with its lanes focused, and a field as the
// records hold it.

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "lanegrid.h"
#include "lanegridtable.h"
#include "laneentry.h"
#include "testgroupfixture.h"
#include "testgroups.h"

namespace quillon::test {

inline constexpr int kPoints = kLaneFields;  // the column after the lanes
inline const int kPushUp = static_cast<int>(LaneField::PushUp);
inline const int kPlank = static_cast<int>(LaneField::Plank);
inline const int kSdc = static_cast<int>(LaneField::SprintDragCarry);
inline const int kRun = static_cast<int>(LaneField::Run);
inline const int kHeight = static_cast<int>(LaneField::Height);
inline const int kWeight = static_cast<int>(LaneField::Weight);
inline const int kBodyFat = static_cast<int>(LaneField::BodyFat);

// Figures of the group fixture's men, who are read in the M|C column.
inline QString fig(const char* key, int points) {
  const fitness::FitnessTest& t = fitnessTest();
  const int column = fitness::columnIndex(t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                          fitness::Column::MaleCombat);
  return figureFor(t.eventIndex(QLatin1String(key)), column, points);
}

// A new records file at `path` holding the range day's group, as stored.
inline TestGroup rangeDayOnFile(const QString& path) {
  createRecordsDatabase(path);
  return TestGroups::forDatabase(path)->save(rangeDayGroup());
}

inline LaneTable* lanesOf(LaneGrid& grid) {
  grid.show();
  QApplication::setActiveWindow(&grid);
  EXPECT_TRUE(QTest::qWaitForWindowActive(&grid));
  auto* table = grid.findChild<LaneTable*>(QStringLiteral("lanes"));
  table->setFocus();
  return table;
}

inline QString storedField(FitnessRecords& store, const TestGroup& g, int member, const char* name) {
  const auto row = store.find(g.members.at(member).ssn, g.testDate);
  return row ? row->fields.value(static_cast<int>(fitnessFieldNames().indexOf(QLatin1String(name))))
             : QStringLiteral("<no record>");
}


}  // namespace quillon::test
