#pragma once
// A soldier's scorecard for the five-event test: the header (name, sex,
// unit) and up to four tests, as the clerk wants them printed. Every value is
// text as it goes on the card, already scored elsewhere; an empty value
// leaves its box blank, as do the signature and date lines, which are signed
// by hand.

#include <QList>
#include <QString>

class QPagedPaintDevice;

namespace quillon {

// A box of the form that holds GO or NOGO: ticked in one of its two boxes,
// or left blank.
enum class GoNoGo { Blank, Go, NoGo };

enum class CardStandard { Blank, Combat, General };

enum class CardEvent { Deadlift, PushUp, SprintDragCarry, Plank, Run };
constexpr int kCardEvents = 5;

struct CardEventResult {
  QString raw;  // repetitions, pounds or m:ss; for the deadlift the weight counted
  QString points;
  QString grader;  // initials
};

struct CardTest {
  QString date;  // YYYYMMDD, as the form asks; also the order of the tests
  QString mos, payGrade, age;
  CardStandard standard = CardStandard::Blank;
  QString bodyCompositionDate;  // YYYYMMDD
  QString heightInches, weightPounds;
  GoNoGo weight = GoNoGo::Blank;
  QString bodyFatPercent;
  GoNoGo bodyFat = GoNoGo::Blank;
  QString deadliftFirst, deadliftSecond;  // the two attempts; the heavier is ticked
  CardEventResult events[kCardEvents];    // the run's raw left empty when an alternate was taken
  QString alternate;                      // "ROW", "SWIM", "BIKE" or "WALK", or empty
  QString alternateTime;
  GoNoGo alternateResult = GoNoGo::Blank;
  QString alternatePoints, alternateGrader;
  QString total;
  QString oicName, oicPayGrade;
  GoNoGo overall = GoNoGo::Blank;
};

struct FitnessCard {
  QString lastName, firstName, middleInitial;
  QString sex;  // "M" or "F"
  QString unit;
  QList<CardTest> tests;  // any order; the card holds the four latest by date
};

// The tests a card shows, oldest first (TEST ONE), at most four: the latest
// by date, ties kept in the order given.
QList<CardTest> testsOnCard(const QList<CardTest>& tests);

// The name as the card's header shows it: "Last, First MI".
QString cardName(const FitnessCard& card);

// Which deadlift attempt the card ticks as the heaviest: 1, 2, or 0 when
// neither is a number.
int heavierAttempt(const CardTest& test);

// Paints each card on two pages (tests one and two, then three and four), in
// the order given, onto a letter page in landscape.
void paintFitnessCards(const QList<FitnessCard>& cards, QPagedPaintDevice* device);

// Writes the cards to a PDF readable by its owner only (they carry personal
// data), whole or not at all; empty on success, else why nothing was written.
QString writeFitnessCardsPdf(const QList<FitnessCard>& cards, const QString& path);

}  // namespace quillon
