#include <gtest/gtest.h>

#include <QString>

#include "soldierid.h"

using namespace quillon;

// Every record of a division passes through these; each form below is one
// a clerk's file has held or a hand-written reading could let through.
TEST(SoldierId, AnSsnIsNineAsciiDigitsWithADashAtMostAtEachOfItsTwoPlaces) {
  const struct {
    const char16_t* text;
    const char* digits;
  } cases[] = {
      {u"123456789", "123456789"},
      {u"123-45-6789", "123456789"},
      {u"123-456789", "123456789"},
      {u"12345-6789", "123456789"},
      {u"  123-45-6789\t", "123456789"},
      {u"123-45-6789\n", "123456789"},
      {u"\u3000123456789", "123456789"},
      {u"", ""},
      {u"12345678", ""},
      {u"1234567890", ""},
      {u"123--45-6789", ""},
      {u"12-345-6789", ""},
      {u"123-4-56789", ""},
      {u"-123456789", ""},
      {u"123456789-", ""},
      {u"123 45 6789", ""},
      {u"123-45-678x", ""},
      {u"\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669", ""},
      {u"\uff11\uff12\uff13\uff14\uff15\uff16\uff17\uff18\uff19", ""},
  };
  for (const auto& c : cases) {
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(ssnNineDigits(text), QString::fromLatin1(c.digits)) << qPrintable(text);
    EXPECT_EQ(looksLikeSsn(text), *c.digits != '\0') << qPrintable(text);
  }
  EXPECT_TRUE(ssnNineDigits(QString()).isEmpty());
}

TEST(SoldierId, ADodIdIsTenAsciiDigitsAndNothingElse) {
  EXPECT_EQ(normalizedDodId(QStringLiteral(" 1234567890 ")), QStringLiteral("1234567890"));
  for (const char16_t* text : {u"", u"123456789", u"12345678901", u"12345-67890", u"123456789x",
                               u"\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669\u0660"})
    EXPECT_FALSE(normalizedDodId(QString::fromUtf16(text))) << qPrintable(QString::fromUtf16(text));
  // Ten digits and nine never name the same soldier.
  EXPECT_EQ(soldierIdentity(QStringLiteral("1234567890"), QStringLiteral("123-45-6789")), QStringLiteral("1234567890"));
  EXPECT_EQ(soldierIdentity(QStringLiteral("12345"), QStringLiteral("123-45-6789")), QStringLiteral("123456789"));
  EXPECT_TRUE(soldierIdentity(QString(), QStringLiteral("1234567890")).isEmpty());
}
