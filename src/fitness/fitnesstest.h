#pragma once
// The fitness test units give today, as data: its events and how a raw entry
// is read and judged, its age groups and columns, its point tables, its pass
// rules and its alternate events, with the edition it belongs to. Nothing in
// this folder knows about widgets, files in the working folder or the
// records database: the tables are compiled into the program, the scoring is
// a pure function of a soldier's entries (fitnessscore.h), and every refusal
// is a value that names the field and what was entered. The three-event test
// keeps its own code in scoring/ and profile/ and never passes through here.

#include <QDate>
#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace quillon::fitness {

enum class Unit { Repetitions, Pounds, Time };  // Time: whole seconds, written m:ss
enum class Column { MaleCombat, Female };       // "M|C" and "F"
enum class Standard { General, Combat };

struct EventDef {
  QString key;   // the scorer's column name: "deadlift", "pushup", ...
  QString name;  // as a clerk reads it
  Unit unit;
  bool largerIsBetter;
  int minRaw;  // valid entries, inclusive; seconds for a time
  int maxRaw;
};

struct AgeGroup {
  int from;  // whole years, inclusive
  int to;    // inclusive; -1 for the open last group
  QString label;  // as the tables write it: "17-21" ... "62+"
};

inline constexpr int kAgeGroups = 10;
inline constexpr int kColumns = kAgeGroups * 2;
inline constexpr int columnIndex(int ageGroup, Column c) {
  return ageGroup * 2 + (c == Column::Female ? 1 : 0);
}

// One table line: the raw figure that earns `points` in each column, or
// nothing where the page prints "---".
struct TableRow {
  int points;
  std::array<std::optional<int>, kColumns> raw;
};

struct PassRule {
  Standard standard;
  int eventMinimum;
  int totalMinimum;
  bool maleCombatColumnForAll;  // combat: every soldier is read in "M|C"
};

struct AlternateDef {
  QString key;   // "walk", "bike", "swim", "row"
  QString name;  // "2.5-mile walk", ...
  std::array<int, kColumns> maxSeconds;  // at or under: GO
};

struct FitnessTest {
  QString edition;  // "June 2025"
  QDate effective;
  int minimumAge = 17;
  int alternateGoPoints = 60;
  QList<EventDef> events;  // in scorecard order; the run last
  QList<AgeGroup> ageGroups;
  QList<QList<TableRow>> tables;  // per event, best points first
  QList<PassRule> passRules;
  QList<AlternateDef> alternates;
  int runEvent = 4;  // the event an alternate replaces

  int ageGroupOf(int age) const;  // -1 under the youngest group
  const PassRule& rule(Standard s) const;
  int eventIndex(const QString& key) const;      // -1 when unknown
  int alternateIndex(const QString& key) const;  // -1 when unknown, case-insensitive
};

// The test of June 2025, read once from the tables compiled into the
// program. An empty optional with `error` filled means the compiled tables
// are damaged: the build's own table test would have failed.
struct LoadedTest {
  std::optional<FitnessTest> test;
  QString error;
};
const LoadedTest& fitnessTest2025();

// Reading the compiled table files; public so tests can feed it damaged
// text. `eventKey` names the event for messages.
QString parseEventTable(const QByteArray& csv, const EventDef& event, QList<TableRow>& out);
QString parseAlternateTable(const QByteArray& csv, QList<AlternateDef>& alternates);

}  // namespace quillon::fitness
