#pragma once
// Scoring one soldier's five-event test: a pure function from what was
// entered to points, total and GO/NO-GO, or to the reason nothing was
// scored. The window and the command-line scorer both call scoreEntry.

#include <QDate>
#include <QString>
#include <array>

#include "fitnesstest.h"

namespace quillon::fitness {

enum class Sex { Male, Female };

inline constexpr int kEvents = 5;

struct Entry {
  Sex sex = Sex::Male;
  Standard standard = Standard::General;
  QDate dob;
  QDate testDate;
  std::array<QString, kEvents> raw;  // as entered, in the test's event order
  QString alternate;                 // empty when the run was taken
  QString alternateTime;
};

// An entry with its figures already read (seconds for a time), as a test
// kind holds a stored result: scored as scoreEntry scores the same figures
// typed.
struct Figures {
  Sex sex = Sex::Male;
  Standard standard = Standard::General;
  QDate dob;
  QDate testDate;
  std::array<int, kEvents> raw{};  // in the test's event order; the run's is not read on an alternate
  QString alternate;               // empty when the run was taken
  int alternateSeconds = 0;
};

struct Score {
  QString refused;  // "<field>: <why>"; when set nothing below is meaningful
  int age = 0;
  int ageGroup = -1;
  Column column = Column::MaleCombat;
  std::array<int, kEvents> points{};
  std::array<bool, kEvents> eventGo{};
  int total = 0;
  bool go = false;
  int alternate = -1;  // which alternate event replaced the run, -1 for none
  bool scored() const { return refused.isEmpty(); }
};

// Whole years on `on`. A 29 February birthday counts as reached on 1 March in
// a year without one: the soldier is not a year older until the day after
// 28 February.
int ageOn(const QDate& dob, const QDate& on);

// The points of `raw` in one column: the best line whose figure the result
// meets or beats; 0 when it meets none. A result between two figures thus
// earns the lower line's points, and one better than the 100-point figure
// earns 100.
int tablePoints(const QList<TableRow>& table, bool largerIsBetter, int column, int raw);

Score scoreEntry(const FitnessTest& test, const Entry& entry);
// The same score, and the same refusal, as scoreEntry gives the figures
// written out as the tables write them.
Score scoreFigures(const FitnessTest& test, const Figures& figures);

}  // namespace quillon::fitness
