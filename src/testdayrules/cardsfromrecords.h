#pragma once
// A soldier's scorecard from the five-event records kept for them: the
// header from their latest record, and their last four tests by date of test,
// oldest first, every box the records know filled in the form's own way
// (dates YYYYMMDD, times m:ss, GO/NO-GO ticked). Points are the ones stored
// with the record, which the scoring rules wrote; a record holding a result
// without its points (typed in elsewhere, or stored before the points were)
// is scored where it is read (storedresults.h), never by anything here. A
// box a record leaves empty stays blank for the grader's pen.

#include <QList>
#include <vector>

#include "cards.h"
#include "fitnessrecords.h"
#include "testgroups.h"
#include "testkind.h"

namespace quillon {

// One soldier's card from their rows of fitness_tests (any order, every row
// of the same SSN). A soldier without rows gets the card's header from
// `member` and no tests: a blank card to fill on the day.
FitnessCard cardFromRecords(const std::vector<RowAsRead>& rows, const GroupMember& member = {});

// The cards of a group's soldiers, in the group's order, from every stored
// test of each (not only those of this group's day).
QList<FitnessCard> cardsForGroup(const TestGroup& group, const QList<TestResult>& results);
// The same from stored five-event records, their missing points scored.
QList<FitnessCard> cardsForGroup(const TestGroup& group, const std::vector<RowAsRead>& allRows);
// The same, read from `records`: only the rows of the group's soldiers, found
// by DoD ID number and by SSN. Throws DbError.
QList<FitnessCard> cardsForGroup(const TestGroup& group, FitnessRecords& records);

// The card test a result makes, its boxes as the result's kind writes them.
CardTest cardTest(const TestResult& result);
// The same from a stored five-event record, its missing points scored.
CardTest cardTestFromRecord(const RowAsRead& row);

}  // namespace quillon
