// Counting a report's pages a slice at a time while other programs write
// between the slices: the rows are read in the order they were entered and
// put in print order by the pager, so a row that moved, went or came after
// its slice was read must not leave the pages as they were.

#include <QDir>
#include <QPdfWriter>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "recordsdb.h"
#include "reportobject.h"
#include "reportpager.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

const QString kPrinted = "01/02/2026";

QList<test::Row> soldiers(int n, int from) {
  QList<test::Row> rows;
  for (int i = from; i < from + n; ++i)
    rows << test::Row{{"LNAME", QString("Soldier%1, Pat").arg((i * 37) % 1000, 3, 10, QChar('0'))},
                      {"SSN", QString::number(100000000 + i)},
                      {"DOT", QString("0%1/15/2026").arg(1 + i % 6)},
                      {"TOTAL", QString::number(150 + i % 150)}};
  return rows;
}

// Every placed text of a page, with where it sits.
QStringList shown(const ReportPage& p) {
  QStringList out;
  for (const PlacedText& t : p.texts)
    out << QString("%1 %2,%3 %4").arg(int(t.kind)).arg(qRound(t.box.x())).arg(qRound(t.box.y())).arg(t.text);
  return out;
}

class Pager : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.copyData({"basic.rpt", "date.rpt"});
    pdf.setResolution(600);
  }
  PreparedReport prepared(const QString& file) {
    ReportObject r("R");
    r.setReportFileName(dir.file(file));
    const PreparedReport p = r.prepare();
    setReportPageLayout(pdf, p.layout);
    return p;
  }
  // The pages printing lays out now, in one pass.
  std::vector<QStringList> printed(const PreparedReport& r) {
    std::vector<QStringList> pages;
    layOutReport(r, &pdf, kPrinted, [&](const ReportPage& p) { pages.push_back(shown(p)); });
    return pages;
  }

  ScratchDir dir;
  QPdfWriter pdf{QDir::current().filePath("pager.pdf")};
};

TEST_F(Pager, RowsChangedBetweenSlicesEndInThePagesTheRowsNowMake) {
  const QString db = dir.file("info.mdb");
  for (const QString file : {"basic.rpt", "date.rpt"}) {
    // 300 rows in slices of 7: about a third of the slices read them in the
    // order entered, a third put them in order, a third find the pages.
    auto fresh = [&] {
      QFile::remove(db);
      createRecordsDatabase(db);
      test::insertRows(db, soldiers(300, 0));
    };
    fresh();
    int slices = 0;
    {
      ReportPager pager(prepared(file), &pdf, kPrinted);
      pager.setSliceRows(7);
      while (pager.countStep()) ++slices;
    }
    ASSERT_GT(slices, 90);
    // What another program does: the first two rows in print order change
    // places; a row read early moves to the front; a row goes; new ones
    // come.
    const QString by = file == "date.rpt" ? "DOT, LNAME" : "LNAME";
    const QStringList changes = {
        "UPDATE info SET LNAME = (SELECT LNAME FROM info ORDER BY " + by + " LIMIT 1 OFFSET 1) || 'z' "
        "WHERE _rowid_ = (SELECT _rowid_ FROM info ORDER BY " + by + " LIMIT 1)",
        "UPDATE info SET LNAME = 'Aardvark, Al', DOT = '01/15/2026' WHERE _rowid_ = 2",
        "DELETE FROM info WHERE _rowid_ = 9", "new rows"};
    // ... after the first page and before the count, or in any of its stages.
    for (int change = 0; change < changes.size(); ++change) {
      for (const int before : {0, 3, slices / 4, slices / 2, slices * 2 / 3, slices * 9 / 10}) {
        SCOPED_TRACE(QString("%1, change %2 after %3 of %4 slices").arg(file).arg(change).arg(before).arg(slices).toStdString());
        fresh();
        const PreparedReport r = prepared(file);
        ReportPager pager(r, &pdf, kPrinted);
        pager.setSliceRows(7);
        for (int i = 0; i < before; ++i) ASSERT_TRUE(pager.countStep());
        if (changes[change] == "new rows")
          test::insertRows(db, soldiers(11, 1000));
        else
          test::execSql(db, changes[change]);
        while (pager.countStep()) {
        }
        const std::vector<QStringList> want = printed(r);
        ASSERT_EQ(pager.pageCount(), static_cast<int>(want.size()));
        // Laying the pages out checks them against the count: the count
        // was of the rows as they stand when nothing is found changed.
        const int generation = pager.generation();
        std::vector<QStringList> got;
        pager.layOut(0, pager.pageCount() - 1, [&](const ReportPage& p) { got.push_back(shown(p)); });
        EXPECT_EQ(pager.generation(), generation) << "the count was of rows that have changed since";
        ASSERT_EQ(got.size(), want.size());
        for (size_t k = 0; k < want.size(); ++k) EXPECT_EQ(got[k].join('\n'), want[k].join('\n')) << "page " << k;
      }
    }
  }
}

}  // namespace
