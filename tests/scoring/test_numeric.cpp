// Entry parsing: what counts as a number, how it rounds, which dates of birth
// are taken, and how age and age group follow from them.

#include <gtest/gtest.h>

#include "numeric.h"

using namespace quillon;

TEST(NumericTest, PlainDecimalsWithSpacesAroundAreNumeric) {
  for (const char* s : {"0", "7", "59", "-1", "+4", "2.", ".5", "-.5", "12.75", " 8", "9 ", "  13  ", "\t6", "007"})
    EXPECT_TRUE(isNumeric(QString::fromLatin1(s))) << s;
}

TEST(NumericTest, EverythingElseIsRefused) {
  for (const char* s : {"", " ", "  ", "-", "+", ".", "-.", "1,000", "1e3", "1E3", "0x10", "1 2", "- 1", "1-",
                        "--1", "+-1", "1.2.3", "abc", "1a", "a1", "٣", "１", "inf", "nan", "1..", "..1"})
    EXPECT_FALSE(isNumeric(QString::fromUtf8(s))) << s;
  EXPECT_FALSE(roundedWhole(QStringLiteral("1e3")).has_value());
  EXPECT_FALSE(numericValue(QString()).has_value());
}

TEST(NumericTest, HalfwayRoundsToTheEvenNeighbour) {
  const struct {
    const char* in;
    qint64 out;
  } cases[] = {{"2.5", 2},   {"3.5", 4},   {"0.5", 0},     {"1.5", 2},   {"-2.5", -2}, {"-3.5", -4}, {"-0.5", 0},
               {"2.4", 2},   {"2.6", 3},   {"2.51", 3},    {"2.500", 2}, {"2.5001", 3}, {"-2.6", -3}, {"-2.4", -2},
               {"59.5", 60}, {"58.5", 58}, {" 7 ", 7},     {"+9.", 9},   {".5", 0},    {".51", 1},   {"0.49999", 0},
               {"-0.49", 0}, {"-1", -1},   {"99", 99}};
  for (const auto& c : cases) {
    const auto r = roundedWhole(QString::fromLatin1(c.in));
    ASSERT_TRUE(r.has_value()) << c.in;
    EXPECT_EQ(*r, c.out) << c.in;
  }
}

TEST(NumericTest, DifferenceRoundsExactlyWithTheEvenRule) {
  // 83 - 21.5 = 61.5 -> 62; 83 - 22.5 = 60.5 -> 60; 78 - 5.5 = 72.5 -> 72.
  EXPECT_EQ(roundedDifference(83, QStringLiteral("21.5")), 62);
  EXPECT_EQ(roundedDifference(83, QStringLiteral("22.5")), 60);
  EXPECT_EQ(roundedDifference(78, QStringLiteral("5.5")), 72);
  EXPECT_EQ(roundedDifference(83, QStringLiteral("21")), 62);
  EXPECT_EQ(roundedDifference(83, QStringLiteral("82.4")), 1);
  EXPECT_EQ(roundedDifference(83, QStringLiteral("82.5")), 0);
  EXPECT_EQ(roundedDifference(78, QStringLiteral("-2")), 80);
  EXPECT_EQ(roundedDifference(78, QStringLiteral("-2.5")), 80);  // 80.5 -> 80
  EXPECT_EQ(roundedDifference(78, QStringLiteral("-3.5")), 82);  // 81.5 -> 82
  EXPECT_FALSE(roundedDifference(78, QStringLiteral("x")).has_value());
}

TEST(NumericTest, HugeEntriesSaturateInsteadOfOverflowing) {
  const auto big = roundedWhole(QStringLiteral("99999999999999999999999999999"));
  ASSERT_TRUE(big.has_value());
  EXPECT_GE(*big, 1000000000000000LL);
  const auto small = roundedWhole(QStringLiteral("-99999999999999999999999999999.5"));
  ASSERT_TRUE(small.has_value());
  EXPECT_LE(*small, -1000000000000000LL);
}

TEST(NumericTest, ValuesForZeroAndBelowSixtyTests) {
  EXPECT_EQ(numericValue(QStringLiteral(" 0 ")), 0.0);
  EXPECT_EQ(numericValue(QStringLiteral("-0")), 0.0);
  EXPECT_EQ(numericValue(QStringLiteral("0.")), 0.0);
  EXPECT_EQ(numericValue(QStringLiteral(".0")), 0.0);
  EXPECT_EQ(numericValue(QStringLiteral(" 59")), 59.0);
  EXPECT_EQ(numericValue(QStringLiteral("+4.")), 4.0);
  EXPECT_DOUBLE_EQ(*numericValue(QStringLiteral("0.4")), 0.4);
}

// Entries of hundreds of digits pass the numeric test and round, so the zero
// and below-60 tests must see a number too, of the right size and sign.
TEST(NumericTest, EntriesBeyondADoubleAreStillNumbers) {
  const QString huge = QString(400, u'9');
  const QString tiny = QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1");
  for (const QString& s : {huge, "-" + huge, "+" + huge + ".5", tiny, "-" + tiny, QString(400, u'0') + "."}) {
    ASSERT_TRUE(isNumeric(s));
    ASSERT_TRUE(roundedWhole(s).has_value());
    ASSERT_TRUE(numericValue(s).has_value()) << qPrintable(s.left(8));
  }
  EXPECT_GT(*numericValue(huge), 60.0);
  EXPECT_LT(*numericValue("-" + huge), 60.0);
  EXPECT_GT(*numericValue(tiny), 0.0);
  EXPECT_LT(*numericValue("-" + tiny), 0.0);
  EXPECT_EQ(*numericValue(QString(400, u'0') + "."), 0.0);
  EXPECT_EQ(*roundedWhole(tiny), 0);
}

TEST(NumericTest, WholeNumbersOfPoints) {
  EXPECT_EQ(wholeNumber(QStringLiteral(" 60")), 60);
  EXPECT_EQ(wholeNumber(QStringLiteral("  0")), 0);
  EXPECT_EQ(wholeNumber(QStringLiteral("100")), 100);
  EXPECT_EQ(wholeNumber(QStringLiteral("7  ")), 7);
  EXPECT_EQ(wholeNumber(QStringLiteral("-12")), -12);
  for (const char* s : {"", "   ", "6 0", "6.0", "x", "1e2", "9999999999"})
    EXPECT_FALSE(wholeNumber(QString::fromLatin1(s)).has_value()) << s;
}

TEST(DateOfBirthTest, AcceptsTheThreeNotationsForTheSameDay) {
  const QDate d(1980, 3, 1);
  EXPECT_EQ(parseDateOfBirth(QStringLiteral("3/1/1980")), d);
  EXPECT_EQ(parseDateOfBirth(QStringLiteral("03/01/1980")), d);
  EXPECT_EQ(parseDateOfBirth(QStringLiteral("03/1/1980")), d);
  EXPECT_EQ(parseDateOfBirth(QStringLiteral("1980-03-01")), d);
  EXPECT_EQ(parseDateOfBirth(QStringLiteral(" 03/01/1980 ")), d);
  EXPECT_EQ(parseDateOfBirth(QStringLiteral("12/31/1999")), QDate(1999, 12, 31));
  EXPECT_EQ(parseDateOfBirth(QStringLiteral("02/29/2000")), QDate(2000, 2, 29));
}

TEST(DateOfBirthTest, RefusesImpossibleDatesAndOtherNotations) {
  for (const char* s : {"", " ", "02/30/1990", "02/29/1900", "13/01/1990", "00/10/1990", "10/00/1990", "4/31/1990",
                        "01/01/90", "1/1/80", "1990-3-1", "1990-02-30", "1990/03/01", "01.03.1990", "01-03-1990",
                        "03/01/1980x", "03/01/19800", "0/0/0000", "01/01/0000", "March 1, 1980", "1980-03-01T00:00",
                        "+3/1/1980", "3/ 1/1980", "١/١/١٩٨٠"})
    EXPECT_FALSE(parseDateOfBirth(QString::fromUtf8(s)).has_value()) << s;
}

TEST(DateOfBirthTest, DateOfTestIsWrittenWithTwoDigitMonthAndDay) {
  EXPECT_EQ(formatDateOfTest(QDate(2026, 3, 7)), QStringLiteral("03/07/2026"));
  EXPECT_EQ(formatDateOfTest(QDate(2026, 12, 31)), QStringLiteral("12/31/2026"));
  // What is written reads back as the same day.
  EXPECT_EQ(parseDateOfBirth(formatDateOfTest(QDate(2001, 9, 4))), QDate(2001, 9, 4));
}

TEST(AgeTest, DaysOverThreeSixtyFiveAndAQuarterTruncated) {
  // 8035 days: 21.9986 -> 21; 8036 days: 22.0014 -> 22.
  ASSERT_EQ(QDate(1980, 3, 1).daysTo(QDate(2002, 3, 1)), 8035);
  EXPECT_EQ(scoringAge(QDate(1980, 3, 1), QDate(2002, 3, 1)), 21);
  ASSERT_EQ(QDate(1982, 3, 1).daysTo(QDate(2004, 3, 1)), 8036);
  EXPECT_EQ(scoringAge(QDate(1982, 3, 1), QDate(2004, 3, 1)), 22);
  // Exactly 1461 days is 4 years; one day less is 3.
  EXPECT_EQ(scoringAge(QDate(2000, 1, 1), QDate(2000, 1, 1).addDays(1461)), 4);
  EXPECT_EQ(scoringAge(QDate(2000, 1, 1), QDate(2000, 1, 1).addDays(1460)), 3);
  // Future dates of birth truncate toward zero, not down.
  EXPECT_EQ(scoringAge(QDate(2000, 1, 2), QDate(2000, 1, 1)), 0);
  EXPECT_EQ(scoringAge(QDate(2001, 1, 1), QDate(2000, 1, 1).addDays(-1)), -1);
}

TEST(AgeTest, GroupBoundaries) {
  const struct {
    qint64 age;
    const char* group;
  } cases[] = {{-40, "A"}, {-1, "A"}, {0, "A"},  {21, "A"}, {22, "B"}, {26, "B"}, {27, "C"}, {31, "C"},
               {32, "D"},  {36, "D"}, {37, "E"}, {41, "E"}, {42, "F"}, {46, "F"}, {47, "G"}, {51, "G"},
               {52, "H"},  {56, "H"}, {57, "I"}, {61, "I"}, {62, "J"}, {99, "J"}, {5000, "J"}};
  for (const auto& c : cases) EXPECT_EQ(ageGroupOf(c.age), QLatin1String(c.group)) << c.age;
}
