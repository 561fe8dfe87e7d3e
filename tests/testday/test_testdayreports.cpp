#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <gtest/gtest.h>

#include "recordsdb.h"
#include "reportpreview.h"
#include "reportsmenu.h"
#include "testdayrecords.h"
#include "testdaywindow.h"
#include "testgroupfixture.h"
#include "testdayclerk.h"
#include "testsupport.h"
#include "xlsxreader.h"

using namespace quillon;
using namespace quillon::test;

TEST(TestDayReports, TheDueListAndTheGroupsResultsGoToPdfThroughTheReportsMenu) {
  ScratchDir dir;
  const QString db = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(db);
  const TestGroup g = TestGroups::forDatabase(db)->save(rangeDayGroup());  // Yates, Abernathy, Moreno
  addFiveEventRecords(db, {fiveEventResult(g.members[0].ssn, g.members[0].name, g.testDate, "GO", "452"),
                           fiveEventResult(g.members[1].ssn, g.members[1].name, g.testDate, "NO-GO", "318"),
                           fiveEventResult("555000111", "Older, Olga", "2025-10-01", "GO", "390")});
  insertRows(db, {{{"LNAME", "Three, Only"}, {"SSN", "555-00-0222"}, {"DOT", "03/14/2025"}}});

  TestDayWindow w(db);
  w.show();
  auto* menu = w.findChild<ReportsMenu*>(QStringLiteral("reportsMenu"));
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(w.menuBar()->actions().contains(menu->menuAction()));
  QString target;
  menu->savePath = [&](const QString&, const QString&, const QString& filter) {
    EXPECT_TRUE(filter.contains(target.section('.', -1))) << qPrintable(filter);
    return target;
  };

  {
    target = dir.file("due.pdf");
    ReportClerk clerk(6, QDate(2026, 6, 12));
    w.findChild<QAction*>(QStringLiteral("reportDueList"))->trigger();
    EXPECT_EQ(clerk.dialogs, 1);
    EXPECT_EQ(clerk.previews, 1);
  }
  ASSERT_TRUE(QFile::exists(dir.file("due.pdf"))) << qPrintable(w.statusBar()->currentMessage());
  const QString due = pdfText(dir.file("due.pdf"));
  EXPECT_TRUE(due.contains("Due List: no five-event test in 6 months, or a NO-GO, as of 2026-06-12")) << qPrintable(due);
  // Abernathy failed, Moreno is on the group with no record, Three has only
  // a three-event test, Olga's GO is over six months old; Yates passed today.
  const QStringList expected{"Abernathy, Cole", "Moreno, Luis T", "Older, Olga", "Three, Only"};
  qsizetype at = -1;
  for (const QString& name : expected) {
    const qsizetype next = due.indexOf(name);
    EXPECT_GT(next, at) << qPrintable(name) << " missing or out of order in:\n" << qPrintable(due);
    at = next;
  }
  EXPECT_FALSE(due.contains("Yates")) << qPrintable(due);
  EXPECT_TRUE(due.contains("Last test NO-GO"));
  EXPECT_TRUE(due.contains(QRegularExpression("Older, Olga .*2025-10-01 +GO +Over 6 months since the last test +2026-04-02")))
      << qPrintable(due);
  EXPECT_TRUE(due.contains("No five-event test (last three-event test 2025-03-14)")) << qPrintable(due);

  {
    target = dir.file("by total.pdf");
    ReportClerk clerk(6, QDate());
    w.findChild<QAction*>(QStringLiteral("reportResultsByTotal"))->trigger();
    EXPECT_EQ(clerk.dialogs, 0);
    EXPECT_EQ(clerk.previews, 1);
  }
  const QString results = pdfText(dir.file("by total.pdf"));
  EXPECT_TRUE(results.contains("Results by Total: 2026-06-12, Range 3, North Field")) << qPrintable(results);
  const qsizetype yates = results.indexOf("Yates, Ann B"), abernathy = results.indexOf("Abernathy, Cole"),
                  moreno = results.indexOf("Moreno, Luis T");
  EXPECT_TRUE(yates >= 0 && yates < abernathy && abernathy < moreno) << qPrintable(results);
  EXPECT_TRUE(results.contains("452") && results.contains("318") && results.contains("Not tested")) << qPrintable(results);
  EXPECT_FALSE(results.contains("Older, Olga")) << "not of the group";

  // The summary's rows go to a workbook from the same menu.
  target = dir.file("summary.xlsx");
  w.findChild<QAction*>(QStringLiteral("exportSummary"))->trigger();
  QFile x(target);
  ASSERT_TRUE(x.open(QIODevice::ReadOnly)) << qPrintable(w.statusBar()->currentMessage());
  const CsvTable sheet = readXlsx(x.readAll());
  ASSERT_TRUE(sheet.ok()) << qPrintable(sheet.error);
  ASSERT_EQ(sheet.records.size(), 1 + 5 + 1 + 1);  // headings, events, overall, no result yet
  EXPECT_EQ(sheet.records[0].fields.mid(0, 4), (QStringList{"Event", "Tested", "GO", "NO-GO"}));
  EXPECT_EQ(sheet.records[6].fields.mid(0, 5), (QStringList{"Overall result", "2", "1", "1", "Abernathy, Cole"}));
  EXPECT_EQ(sheet.records[7].fields.value(4), "Moreno, Luis T");
  EXPECT_EQ(w.statusBar()->currentMessage(),
            QStringLiteral("7 rows were exported to %1.").arg(QDir::toNativeSeparators(target)));
}

TEST(TestDayReports, ReportsAndExportsHoldTheLastFourDigitsOfAnSsnUnlessTheClerkAskedForItWhole) {
  ScratchDir dir;
  const QString db = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(db);
  const TestGroup g = TestGroups::forDatabase(db)->save(rangeDayGroup());  // Yates, Abernathy, Moreno
  addFiveEventRecords(db, {fiveEventResult(g.members[0].ssn, g.members[0].name, g.testDate, "GO", "452")});
  TestDayWindow w(db);
  auto* menu = w.findChild<ReportsMenu*>(QStringLiteral("reportsMenu"));
  ASSERT_NE(menu, nullptr);
  const auto exported = [&](const QString& name) {
    const QString path = dir.file(name);
    EXPECT_TRUE(menu->exportTo(ReportsMenu::Report::ResultsByName, path)) << qPrintable(w.statusBar()->currentMessage());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromUtf8(f.readAll());
  };
  const QString masked = exported(QStringLiteral("masked.csv"));
  EXPECT_TRUE(masked.contains("Yates, Ann B\",***-**-6789,")) << qPrintable(masked);
  EXPECT_TRUE(masked.contains("***-**-0001")) << qPrintable(masked);
  EXPECT_FALSE(masked.contains("123456789") || masked.contains("123-45-6789")) << qPrintable(masked);

  auto* whole = w.findChild<QAction*>(QStringLiteral("wholeSsnToggle"));
  ASSERT_NE(whole, nullptr);
  whole->setChecked(true);
  const QString asked = exported(QStringLiteral("whole.csv"));
  EXPECT_TRUE(asked.contains("Yates, Ann B\",123-45-6789,")) << qPrintable(asked);
}

TEST(TestDayReports, AnUnsavedGroupIsNotReportedAndSaysWhy) {
  ScratchDir dir;
  const QString db = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(db);
  TestGroups::forDatabase(db)->save(rangeDayGroup());
  TestDayWindow w(db);
  w.findChild<QLineEdit*>(QStringLiteral("location"))->setText(QStringLiteral("Range 4"));
  auto* menu = w.findChild<ReportsMenu*>(QStringLiteral("reportsMenu"));
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(menu->exportTo(ReportsMenu::Report::ResultsByName, dir.file("r.csv")));
  EXPECT_FALSE(QFile::exists(dir.file("r.csv")));
  EXPECT_EQ(w.statusBar()->currentMessage(), "Save the group first: reports are of the group as saved.");
}
