// The rows of a report in a given order, from each backend: numbers and
// dates by value, text without case, blanks and junk first, equal rows in
// the order they were entered.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <type_traits>

#include "orderedrows.h"
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

// A reader that needs a few fields of every record (the due list) has
// those alone, in the order it names them, the records by ID as a number
// whatever order they were entered in.
TYPED_TEST(ReportOrder, OnlyTheFieldsAskedComeInTheOrderAskedTheRecordsByTheirNumber) {
  // The server numbers records itself unless told to take these.
  const std::string into = std::string("INSERT INTO info (ID, LNAME, SSN, DOT)") +
                           (std::is_same_v<TypeParam, quillon::test::FileRecords> ? "" : " OVERRIDING SYSTEM VALUE");
  this->records.exec(QString::fromStdString(into + " VALUES (30, 'Cole', '333445555', '01/02/2025');" + into +
                      " VALUES (4, 'Able', NULL, '');" + into + " VALUES (200, 'Cole', '333445555', ' 2025-03-04 ');" +
                      into + " VALUES (9, 'Baker', '222334444', '01/02/2025');"));
  auto backend = this->records.backend();
  const auto walk = [&](const QStringList& fields, int stopAfter = -1) {
    QList<QStringList> out;
    backend->forEachRowOf(fields, [&](const QStringList& row) {
      out << row;
      return stopAfter < 0 || out.size() < stopAfter;
    });
    return out;
  };
  const QList<QStringList> rows = walk({"dot", "ID", "Lname", "SSN"});
  ASSERT_EQ(rows.size(), 4);
  EXPECT_EQ(rows[0], QStringList({"", "4", "Able", ""}));
  EXPECT_EQ(rows[1], QStringList({"01/02/2025", "9", "Baker", "222334444"}));
  EXPECT_EQ(rows[2], QStringList({"01/02/2025", "30", "Cole", "333445555"}));
  EXPECT_EQ(rows[3], QStringList({" 2025-03-04 ", "200", "Cole", "333445555"}));
  // The same records as the whole walk gives them, field for field.
  QList<QStringList> whole;
  backend->forEachRow({}, [&](const QStringList& r) {
    whole << QStringList{r.value(6), r.value(0), r.value(1), r.value(3)};
    return true;
  });
  EXPECT_EQ(rows, whole);
  EXPECT_EQ(walk({"LNAME"}, 2), QList<QStringList>({{"Able"}, {"Baker"}}));
  EXPECT_THROW(walk({"LNAME", "NOSUCH"}), quillon::DbError);
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

namespace {

// The folder's records as a report opens them: by the path of info.mdb,
// beside which a connection file sends the reading to the server.
template <typename Records>
QString reportPath(Records& records, quillon::test::ScratchDir& dir) {
  if constexpr (std::is_same_v<Records, quillon::test::FileRecords>) {
    return records.path();
  } else {
    QFile conn(dir.file("info.pgconn"));
    EXPECT_TRUE(conn.open(QIODevice::WriteOnly));
    conn.write(records.conninfo().toUtf8() + "\n");
    conn.close();
    conn.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return dir.file("info.mdb");
  }
}

TYPED_TEST(ReportOrder, ReadingOnFromARowsPlaceGivesExactlyTheRowsAfterIt) {
  // Ties on both keys, names that begin other names, case and accents,
  // blanks and junk numbers, a descending key: every place a key encoding
  // can let a row slip or repeat.
  const char* names[] = {"ab", "AB", "a", "abc", "", "  ", "b\xc3\xa9", "B\xc3\x89", "a b", "ab"};
  const char* totals[] = {"10", "", "x", "10", "250", "-3", "10.0", ""};
  QString sql;
  for (int i = 0; i < 40; ++i)
    sql += QStringLiteral("INSERT INTO info (LNAME, TOTAL, STAT) VALUES ('%1', '%2', '%3');")
               .arg(QString::fromUtf8(names[i % 10]), QString::fromLatin1(totals[i % 8]),
                    i % 5 == 4 ? QStringLiteral("FAIL") : QStringLiteral(" PASS"));
  this->records.exec(sql);
  quillon::test::ScratchDir dir;
  const auto view = quillon::OrderedRows::open(reportPath(this->records, dir));
  using As = RowOrder::As;
  const QList<quillon::RowFilter> pass = {{"STAT", true, "PASS"}};
  const QList<RowOrder> order = {{"LNAME", false, As::Text}, {"TOTAL", true, As::Number}};
  auto idsOf = [](quillon::RowCursor& c) {
    QStringList out;
    while (const QStringList* r = c.next()) out << r->value(0);
    return out;
  };
  const QStringList all = idsOf(*view->rows(pass, order));
  ASSERT_EQ(all.size(), 32);
  EXPECT_EQ(idsOf(*view->rowsAfter(pass, order, QByteArray())), all);
  for (int k = 0; k < all.size(); ++k) {
    SCOPED_TRACE(k);
    const auto at = view->rows(pass, order, k);
    ASSERT_NE(at->next(), nullptr);
    EXPECT_EQ(idsOf(*view->rowsAfter(pass, order, at->position(), 3)), all.mid(k + 1, 3));
  }
}

}  // namespace

namespace {

// A file made elsewhere may keep ID as text, not as the engine's own row
// number: its records still come by ID as a number, as the whole walk
// gives them, never "10" before "9".
TEST(ReportOrderOfAFileMadeElsewhere, RecordsWhoseIdIsNoRowNumberComeByItsValue) {
  quillon::test::ScratchDir dir;
  const QString path = dir.file("info.mdb");
  QFile empty(path);  // an empty file is an empty records file to the engine
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  QStringList columns;
  for (const QString& f : quillon::infoFieldNames()) columns << f + " TEXT";
  quillon::test::execSql(path, "CREATE TABLE info (" + columns.join(", ") +
                                   ");"
                                   "INSERT INTO info (ID, LNAME) VALUES ('10', 'Ten');"
                                   "INSERT INTO info (ID, LNAME) VALUES ('9', 'Nine');"
                                   "INSERT INTO info (ID, LNAME) VALUES ('100', 'Hundred');");
  quillon::SqliteBackend backend(path);
  QStringList ids, whole;
  backend.forEachRowOf({"LNAME", "ID"}, [&](const QStringList& r) {
    ids << r.value(1);
    return true;
  });
  backend.forEachRow({}, [&](const QStringList& r) {
    whole << r.value(0);
    return true;
  });
  EXPECT_EQ(ids, QStringList({"9", "10", "100"}));
  EXPECT_EQ(ids, whole);
}

}  // namespace
