// The rows of a report in a given order, from each backend: numbers and
// dates by value, text without case, blanks and junk first, equal rows in
// the order they were entered.
#include <gtest/gtest.h>

#include <algorithm>

#include "storefixture.h"

namespace {

using quillon::RowOrder;
using quillon::test::BackendNames;
using quillon::test::Backends;

template <typename Records>
class ReportOrder : public quillon::test::StoreTest<Records> {
 protected:
  // The IDs of the rows in the order given.
  QStringList ids(const QList<RowOrder>& order, int stopAfter = -1) {
    QStringList out;
    auto backend = this->records.backend();
    backend->forEachRow(order, [&](const QStringList& row) {
      out << row.value(0);
      return stopAfter < 0 || out.size() < stopAfter;
    });
    return out;
  }
};
TYPED_TEST_SUITE(ReportOrder, Backends, BackendNames);

TYPED_TEST(ReportOrder, NumbersDatesAndTextSortByTheirValue) {
  // ID 1..5, entered in this order.
  this->records.exec(
      "INSERT INTO info (LNAME, TOTAL, DOT) VALUES ('baker', '90', '12/01/2025');"
      "INSERT INTO info (LNAME, TOTAL, DOT) VALUES ('Adams', '250', '1/2/2026');"
      "INSERT INTO info (LNAME, TOTAL, DOT) VALUES ('Carter', ' 100 ', 'junk');"
      "INSERT INTO info (LNAME, TOTAL, DOT) VALUES ('adams', '', '2026-01-01');"
      "INSERT INTO info (LNAME, TOTAL, DOT) VALUES ('Baker', '90', NULL);");
  using As = RowOrder::As;
  // Highest total first; the blank last; equal totals in the order entered.
  EXPECT_EQ(this->ids({{"TOTAL", true, As::Number}}), QStringList({"2", "3", "1", "5", "4"}));
  // Dates by the calendar, whatever their form; no date and junk first.
  EXPECT_EQ(this->ids({{"dot", false, As::Date}}), QStringList({"3", "5", "1", "4", "2"}));
  // Names without case, then by total within a name.
  EXPECT_EQ(this->ids({{"LNAME", false, As::Text}, {"TOTAL", false, As::Number}}),
            QStringList({"4", "2", "1", "5", "3"}));
  // The walk stops when told to.
  EXPECT_EQ(this->ids({{"LNAME", false, As::Text}}, 2), QStringList({"2", "4"}));
  EXPECT_THROW(this->ids({{"NOSUCH", false, As::Text}}), quillon::DbError);
}

}  // namespace

namespace {

TYPED_TEST(ReportOrder, ADateTheDateReaderRefusesSortsWithTheBlanks) {
  // A year below 1 and a day no calendar has read as no date, on the file's
  // engine and in a sort in memory alike: they stay among the blanks in the
  // order entered, below every real date.
  this->records.exec(
      "INSERT INTO info (DOT) VALUES ('01/02/0001');"
      "INSERT INTO info (DOT) VALUES ('-2000-01-02');"
      "INSERT INTO info (DOT) VALUES ('');"
      "INSERT INTO info (DOT) VALUES ('02/30/2024');"
      "INSERT INTO info (DOT) VALUES ('0000-12-31');");
  using As = RowOrder::As;
  EXPECT_EQ(this->ids({{"DOT", false, As::Date}}), QStringList({"2", "3", "4", "5", "1"}));
  EXPECT_EQ(this->ids({{"DOT", true, As::Date}}), QStringList({"1", "2", "3", "4", "5"}));
  std::vector<QStringList> rows;
  this->records.backend()->forEachRow({}, [&](const QStringList& r) {
    rows.push_back(r);
    return true;
  });
  std::reverse(rows.begin(), rows.end());
  quillon::sortRows(rows, {{"DOT", false, As::Date}});
  QStringList inMemory;
  for (const QStringList& r : rows) inMemory << r.value(0);
  EXPECT_EQ(inMemory, QStringList({"2", "3", "4", "5", "1"}));
}

}  // namespace
