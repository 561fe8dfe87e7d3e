// A report in a folder whose records are on a records server reads the
// server's rows, selected and ordered as from a file.
#include <gtest/gtest.h>

#include <QFile>

#include "reportrows.h"
#include "storefixture.h"

namespace {

using quillon::Condition;
using quillon::InfoRowReader;
using quillon::ReportRow;
using quillon::SortKey;

TEST(ReportOnServer, RowsComeFromTheServerSelectedAndOrdered) {
  quillon::test::ServerRecords records;
  if (const QString why = records.setUp(); !why.isEmpty()) {
    if (qEnvironmentVariableIntValue("QUILLON_REQUIRE_PG") == 1) FAIL() << qPrintable(why);
    GTEST_SKIP() << "No records server reachable through the PG* environment: " << qPrintable(why);
  }
  records.exec(
      "INSERT INTO info (LNAME, TOTAL, STAT) VALUES ('Baker', '190', 'PASS');"
      "INSERT INTO info (LNAME, TOTAL, STAT) VALUES ('Adams', '250', ' PASS ');"
      "INSERT INTO info (LNAME, TOTAL, STAT) VALUES ('Carter', '300', 'FAIL');");
  quillon::test::ScratchDir dir;
  QFile conn(dir.file("info.pgconn"));
  ASSERT_TRUE(conn.open(QIODevice::WriteOnly));
  conn.write(records.conninfo().toUtf8() + "\n");
  conn.close();
  conn.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

  // No info.mdb in the folder: only the server can hold these rows.
  InfoRowReader reader(dir.file("info.mdb"));
  QStringList names;
  reader.forEach({Condition{"STAT", true, "PASS"}}, {SortKey{"TOTAL", true}},
                 [&](const ReportRow& row) { names << row.value(1); });
  EXPECT_EQ(names, QStringList({"Adams", "Baker"}));

  // A page laid out on its own starts at its row; the rows before it that
  // the selection leaves out are not counted.
  const auto rows = reader.rows({Condition{"STAT", true, "PASS"}}, {SortKey{"TOTAL", true}}, 1);
  QStringList from;
  while (const ReportRow* row = rows->next()) from << row->value(1);
  EXPECT_EQ(from, QStringList({"Baker"}));
}

}  // namespace
