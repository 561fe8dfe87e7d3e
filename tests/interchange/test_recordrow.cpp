// The SSN and date forms a roster line may use, read by hand for speed,
// must agree with the window's own reading of dates and with the grid's SSN
// form on every edge where a hand-written reader goes wrong.
#include <gtest/gtest.h>

#include "numeric.h"
#include "recordrow.h"

using namespace quillon;

namespace {

std::optional<QString> windowDate(const QString& text) {
  const auto d = parseDateOfBirth(text);
  return d ? std::optional<QString>(formatDateOfTest(*d)) : std::nullopt;
}

}  // namespace

TEST(RecordRowForms, DatesReadAsTheWindowReadsThem) {
  const QStringList cases = {
      "1/2/1990",   "01/02/1990", " 12/31/1999 ", "2/29/2000",  "2/29/1900",  "2/30/2000",  "13/1/1990",
      "0/1/1990",   "1/0/1990",   "1/1/0000",   "1/1/0005",   "001/1/1990", "1/001/1990", "1/1/19900",
      "1/1/990",    "1//1990",    "/1/1990",    "1/1/",       "1-1-1990",   "1990-01-02", "1990-1-02",
      "1990-01-2",  "0000-01-01", "0999-12-31", "1990-02-30", "1990/01/02", "１/2/1990", "1/2/1990\n",
      "\t1990-12-01", "1/2/1990x", "x1/2/1990",  "",           "   ",        "1/2/1990/", "+1/2/1990",
      "1 /2/1990",  "19900102",   "1990-01-02-", "9999-12-31", "12/31/9999"};
  for (const QString& c : cases) EXPECT_EQ(normalizedDate(c), windowDate(c)) << qPrintable(c);
}

TEST(RecordRowForms, SsnsTakeTheGridFormOrNone) {
  EXPECT_EQ(normalizedSsn("123456789"), QString("123-45-6789"));
  EXPECT_EQ(normalizedSsn(" 123-45-6789 "), QString("123-45-6789"));
  EXPECT_EQ(normalizedSsn("000000000"), QString("000-00-0000"));
  for (const char* bad : {"12345678", "1234567890", "123-456-789", "12-345-6789", "123-45-678", "123 45 6789",
                          "123-456789", "12345-6789", "12345678x", "１23456789", "", "-123456789", "123-45-67890"})
    EXPECT_EQ(normalizedSsn(QString::fromUtf8(bad)), std::nullopt) << bad;
  EXPECT_EQ(ssnDigits("123-45-6789"), QString("123456789"));
  EXPECT_EQ(ssnDigits("not one"), QString());
}
