#pragma once
// How the test day's reports read a stored five-event record: its fields by
// name, the columns of each event, and what a record says about its events.
// Shared by the reports' own files only.

#include <QString>
#include <QStringList>

#include "fitnessrecords.h"
#include "fitnessscore.h"

namespace quillon::recordfields {

inline constexpr const char* kRawColumns[fitness::kEvents] = {"deadlift_1", "pushup", "sdc_s", "plank_s", "run_s"};
inline constexpr const char* kPointColumns[fitness::kEvents] = {"deadlift_pts", "pushup_pts", "sdc_pts", "plank_pts", "run_pts"};
inline constexpr const char* kGoColumns[fitness::kEvents] = {"deadlift_go", "pushup_go", "sdc_go", "plank_go", "run_go"};

inline QString field(const RowAsRead& row, const char* name) {
  return row.fields.value(fitnessFieldNames().indexOf(QLatin1String(name)));
}

inline const fitness::FitnessTest& fiveEventTest() { return *fitness::fitnessTest2025().test; }

// The short caption a scorecard gives each event, the run's column naming
// the alternate too.
inline QString eventCaption(int event) {
  static const char* const captions[fitness::kEvents] = {"MDL", "HRP", "SDC", "PLK", "2MR / Alt"};
  return QString::fromLatin1(captions[event]);
}

// An alternate event's name as the test gives it; a key it does not know as
// stored.
inline QString alternateName(const QString& key) {
  const int a = fiveEventTest().alternateIndex(key);
  return a < 0 ? key : fiveEventTest().alternates.at(a).name;
}

// The events the record failed, in the test's order; an alternate taken
// instead of the run is judged by its own verdict.
inline QStringList failedEvents(const RowAsRead& row) {
  QStringList out;
  const fitness::FitnessTest& test = fiveEventTest();
  for (int e = 0; e < fitness::kEvents; ++e) {
    if (e == test.runEvent && !field(row, "alt_event").isEmpty()) {
      if (field(row, "alt_go") == QLatin1String("NO-GO")) out << alternateName(field(row, "alt_event"));
      continue;
    }
    if (field(row, kGoColumns[e]) == QLatin1String("NO-GO")) out << eventCaption(e).section(QLatin1Char(' '), 0, 0);
  }
  return out;
}

}  // namespace quillon::recordfields
