// The report window: the pages it shows are the pages a saved PDF has, page
// by page, however the clerk moves through them, while only a few are kept.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QApplication>
#include <QSet>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "recordsdb.h"
#include "windowreport.h"
#include "reportpreview.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

const QString kPrinted = "01/02/2026";

// `n` records over six test dates, names out of order.
QList<test::Row> soldiers(int n, int from = 0) {
  QList<test::Row> rows;
  for (int i = from; i < from + n; ++i)
    rows << test::Row{{"LNAME", QString("Soldier%1, Pat").arg((i * 37) % 1000, 3, 10, QChar('0'))},
                      {"SSN", QString::number(100000000 + i)},
                      {"DOT", QString("0%1/15/2026").arg(1 + i % 6)},
                      {"TOTAL", QString::number(150 + i % 150)},
                      {"STAT", i % 4 ? "PASS" : "FAIL"}};
  return rows;
}

// What a page shows, one line per text.
QStringList shown(const ReportPage& p) {
  QStringList out;
  for (const PlacedText& t : p.texts)
    out << QString("%1 %2,%3 %4").arg(int(t.kind)).arg(qRound(t.box.x())).arg(qRound(t.box.y())).arg(t.text);
  if (p.chart) {
    QStringList counts;
    for (const int c : p.categoryCounts) counts << QString::number(c);
    out << QString("chart %1 of %2").arg(counts.join(' ')).arg(p.total);
  }
  return out;
}

// Each page as the PDF path lays it out.
std::vector<QStringList> pdfPages(const PreparedReport& r) {
  QPdfWriter pdf(QDir::current().filePath("layout.pdf"));
  pdf.setResolution(600);
  setReportPageLayout(pdf, r.layout);
  std::vector<QStringList> pages;
  layOutReport(r, &pdf, kPrinted, [&](const ReportPage& p) { pages.push_back(shown(p)); });
  return pages;
}

class Preview : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.copyData({"basic.rpt", "date.rpt", "status.rpt"});
    createRecordsDatabase(dir.file("info.mdb"));
  }
  PreparedReport prepared(const QString& file) {
    WindowReport r("R");
    r.setReportFileName(dir.file(file));
    return r.prepare();
  }
  QAction* act(ReportPreview& p, const char* name) { return p.findChild<QAction*>(name); }
  // What the clerk sees: the view painted as it stands.
  void look(ReportPreview& p) { p.findChild<QWidget*>("PreviewPages")->grab(); }

  ScratchDir dir;
};

TEST_F(Preview, EveryPageIsThePdfsPageInWhateverOrderItIsShown) {
  test::insertRows(dir.file("info.mdb"), soldiers(230));
  // A record taller than a page: the pages it runs over begin inside it.
  QFile big(dir.file("big.rpt"));
  ASSERT_TRUE(big.open(QIODevice::WriteOnly));
  big.write("title = Tall\nkind = list\nselect = all\ngroup = DOT\ngroup heading = Date:\nsort = +{info.LNAME}\n"
            "paper = Letter\norientation = portrait\nmargin = 12\nfont = 24\n"
            "column = LNAME ; Name ; 10\ncolumn = TOTAL ; Total ; 3\n");
  big.close();
  test::insertRows(dir.file("info.mdb"), {{{"LNAME", QString("word ").repeated(300)}, {"DOT", "01/15/2026"}}});

  for (const QString file : {"date.rpt", "big.rpt", "status.rpt"}) {
    SCOPED_TRACE(file.toStdString());
    const PreparedReport r = prepared(file);
    const std::vector<QStringList> want = pdfPages(r);
    // The chart is one page.
    ASSERT_GT(want.size(), file == "status.rpt" ? 0u : 6u);
    ReportPreview preview(r, kPrinted);
    ASSERT_EQ(preview.pageCount(), static_cast<int>(want.size()));
    const int last = preview.pageCount() - 1;
    // Jumps both ways, then straight through from a middle page.
    std::vector<int> order = {last, 0, last / 2, 1, last - 1, 2};
    for (int k = last / 2; k <= last; ++k) order.push_back(k);
    for (const int k : order) {
      if (k < 0 || k > last) continue;
      const ReportPage* page = preview.page(k);
      ASSERT_NE(page, nullptr) << preview.failure().toStdString();
      EXPECT_EQ(page->index, k);
      EXPECT_EQ(shown(*page), want[k]) << "page " << k;
    }
    EXPECT_LE(preview.mostKept(), ReportPreview::kKeptPages);
  }
}

// The rows a page shows, with its group headings, wherever they are placed.
QStringList rowsShown(const ReportPage& p) {
  QStringList out;
  for (const PlacedText& t : p.texts)
    if (t.kind == PlacedText::Kind::Cell || t.kind == PlacedText::Kind::Group) out << t.text;
  return out;
}
QStringList rowsShown(const QStringList& pdfPage) {
  QStringList out;
  for (const QString& line : pdfPage)
    if (line.startsWith(QString("%1 ").arg(int(PlacedText::Kind::Cell))) ||
        line.startsWith(QString("%1 ").arg(int(PlacedText::Kind::Group))))
      out << line.section(' ', 2);
  return out;
}

TEST_F(Preview, TheFirstPageShowsBeforeTheCountAndPagingWhileCountingShowsTheRightRows) {
  test::insertRows(dir.file("info.mdb"), soldiers(400));
  for (const QString file : {"basic.rpt", "date.rpt"}) {
    SCOPED_TRACE(file.toStdString());
    const PreparedReport r = prepared(file);
    const std::vector<QStringList> want = pdfPages(r);
    ASSERT_GT(want.size(), 7u);
    ReportPreview preview(r, kPrinted);
    preview.setCountSlice(7);
    auto* box = preview.findChild<QSpinBox*>("PageNumber");
    // Shown before a single slice was counted: the first page's rows.
    ASSERT_FALSE(preview.counted());
    EXPECT_EQ(preview.pagesCounted(), 2) << "the first read sees where the second page begins, no more";
    // A page's rows are the PDF's; a group heading whose group the rows
    // read so far do not end may say it is being counted instead.
    int counting = 0;
    auto sameRows = [&](const ReportPage& page, int k) {
      const QStringList rows = rowsShown(page), wanted = rowsShown(want[k]);
      ASSERT_EQ(rows.size(), wanted.size()) << "page " << k;
      for (int i = 0; i < rows.size(); ++i) {
        if (rows[i] == wanted[i]) continue;
        ++counting;
        EXPECT_EQ(rows[i].section("   (", 0, 0), wanted[i].section("   (", 0, 0)) << "page " << k;
        EXPECT_TRUE(rows[i].endsWith("   (counting\u2026)")) << rows[i].toStdString();
      }
    };
    const ReportPage* first = preview.page(0);
    ASSERT_NE(first, nullptr) << preview.failure().toStdString();
    sameRows(*first, 0);
    EXPECT_EQ(counting, file == "date.rpt" ? 1 : 0) << "the second date's group begins on the first page";
    // Its number says no more than is known.
    EXPECT_TRUE(std::any_of(first->texts.begin(), first->texts.end(), [](const PlacedText& t) {
      return t.kind == PlacedText::Kind::PageInfo && t.text == "Page 1";
    }));
    EXPECT_EQ(box->text(), QString("Page 1 of 2\u2026"));

    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    // Paging on before the widths are known.
    ASSERT_FALSE(preview.counted());
    act(preview, "NextPage")->trigger();
    look(preview);
    ASSERT_EQ(preview.currentPage(), 1);
    sameRows(*preview.page(1), 1);
    act(preview, "PreviousPage")->trigger();

    // The count grows while the clerk waits, and is shown as it grows.
    // Paging on found where the third page begins; a fourth is the count's.
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.pagesCounted() >= 4 || preview.counted(); }));
    ASSERT_FALSE(preview.counted()) << "seven rows a slice count 400 rows in many steps";
    EXPECT_EQ(box->text(), QString("Page 1 of %1\u2026").arg(preview.pagesCounted()));

    // Paging on while counting: each page holds the rows the PDF's does.
    for (int k = 1; k <= 3; ++k) {
      act(preview, "NextPage")->trigger();
      look(preview);
      ASSERT_EQ(preview.currentPage(), k);
      const ReportPage* page = preview.page(k);
      ASSERT_NE(page, nullptr) << preview.failure().toStdString();
      EXPECT_EQ(rowsShown(*page), rowsShown(want[k])) << "page " << k;
    }
    // A jump past the pages counted reads on to the page.
    ASSERT_FALSE(preview.counted());
    const int past = preview.pagesCounted();
    ASSERT_LT(past, static_cast<int>(want.size()) - 1);
    box->setValue(past + 1);
    ASSERT_EQ(preview.currentPage(), past);
    EXPECT_EQ(box->text(), QString("Page %1 of %2\u2026").arg(past + 1).arg(preview.pagesCounted()));
    EXPECT_EQ(rowsShown(*preview.page(past)), rowsShown(want[past]));
    // Once counted, every page is the PDF's to the last placed text.
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.counted(); }, 20000));
    EXPECT_EQ(box->text(), QString("Page %1 of %2").arg(preview.currentPage() + 1).arg(want.size()));
    ASSERT_EQ(preview.pagesCounted(), static_cast<int>(want.size()));
    for (int k = 0; k < preview.pagesCounted(); ++k) {
      const ReportPage* page = preview.page(k);
      ASSERT_NE(page, nullptr) << preview.failure().toStdString();
      EXPECT_EQ(shown(*page), want[k]) << "page " << k;
    }
    EXPECT_TRUE(preview.failure().isEmpty());
  }
}

TEST_F(Preview, TheLastPageWhileCountingCountsTheRestAndClosingStopsTheCount) {
  test::insertRows(dir.file("info.mdb"), soldiers(300));
  const PreparedReport r = prepared("date.rpt");
  const std::vector<QStringList> want = pdfPages(r);
  {
    ReportPreview preview(r, kPrinted);
    preview.setCountSlice(5);
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    ASSERT_FALSE(preview.counted());
    act(preview, "LastPage")->trigger();
    EXPECT_TRUE(preview.counted());
    EXPECT_EQ(preview.currentPage(), static_cast<int>(want.size()) - 1);
    look(preview);
    EXPECT_EQ(shown(*preview.page(preview.currentPage())), want.back());
  }
  // Closed in the middle of the count: no slice runs for a window gone.
  auto* preview = new ReportPreview(r, kPrinted);
  preview->setCountSlice(3);
  preview->show();
  QTest::qWait(20);
  ASSERT_FALSE(preview->counted());
  preview->close();
  delete preview;
  QTest::qWait(50);
}

TEST_F(Preview, TheClerkPagesThroughWithFewPagesKept) {
  test::insertRows(dir.file("info.mdb"), soldiers(400));
  ReportPreview preview(prepared("basic.rpt"), kPrinted);
  preview.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
  const int n = preview.pageCount();
  ASSERT_GT(n, 10);
  auto* box = preview.findChild<QSpinBox*>("PageNumber");
  auto* view = preview.findChild<QWidget*>("PreviewPages");
  EXPECT_EQ(box->text(), QString("Page 1 of %1").arg(n));

  // Straight through, as a clerk reading the report.
  for (int k = 1; k < n; ++k) {
    act(preview, "NextPage")->trigger();
    look(preview);
    ASSERT_EQ(preview.currentPage(), k);
    ASSERT_LE(preview.keptPages(), ReportPreview::kKeptPages);
  }
  EXPECT_EQ(box->text(), QString("Page %1 of %1").arg(n));
  EXPECT_FALSE(act(preview, "NextPage")->isEnabled());
  EXPECT_LE(preview.mostKept(), ReportPreview::kKeptPages);

  act(preview, "FirstPage")->trigger();
  EXPECT_EQ(preview.currentPage(), 0);
  EXPECT_FALSE(act(preview, "PreviousPage")->isEnabled());
  QTest::keyClick(view, Qt::Key_End);
  EXPECT_EQ(preview.currentPage(), n - 1);
  QTest::keyClick(view, Qt::Key_PageUp);
  EXPECT_EQ(preview.currentPage(), n - 2);
  QTest::keyClick(view, Qt::Key_Home);
  QTest::keyClick(view, Qt::Key_PageDown);
  EXPECT_EQ(preview.currentPage(), 1);
  box->setValue(5);
  EXPECT_EQ(preview.currentPage(), 4);
  // The wheel scrolls on through the pages, and back.
  QWidget* pages = view->findChild<QWidget*>("qt_scrollarea_viewport");
  auto wheel = [&](int notches) {
    QWheelEvent e(QPointF(50, 50), pages->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(pages, &e);
  };
  wheel(10);
  EXPECT_GT(preview.currentPage(), 4);
  EXPECT_EQ(box->value(), preview.currentPage() + 1);
  wheel(-10);
  EXPECT_EQ(preview.currentPage(), 4);
  box->setValue(5);

  // Zoom keeps the page in view; fit page shows one page whole.
  act(preview, "FitPage")->trigger();
  EXPECT_EQ(preview.currentPage(), 4);
  const double whole = preview.zoom();
  act(preview, "ZoomIn")->trigger();
  EXPECT_GT(preview.zoom(), whole);
  EXPECT_EQ(preview.currentPage(), 4);
  for (int i = 0; i < 20; ++i) act(preview, "ZoomOut")->trigger();
  look(preview);
  EXPECT_LE(preview.mostKept(), ReportPreview::kKeptPages) << "zooming out never shows more pages than are kept";
  EXPECT_TRUE(preview.failure().isEmpty());
}

TEST_F(Preview, RowsChangedSinceTheCountAreCountedAgain) {
  test::insertRows(dir.file("info.mdb"), soldiers(200));
  ReportPreview preview(prepared("date.rpt"), kPrinted);
  const int before = preview.pageCount();
  ASSERT_NE(preview.page(0), nullptr);
  // Another program adds records while the window is open, once the window
  // has let go of the rows it read.
  while (preview.holdsRows()) QTest::qWait(50);
  test::insertRows(dir.file("info.mdb"), soldiers(200, 200));
  const PreparedReport now = prepared("date.rpt");
  const std::vector<QStringList> want = pdfPages(now);
  ASSERT_GT(static_cast<int>(want.size()), before);
  const ReportPage* last = preview.page(before - 1);
  ASSERT_NE(last, nullptr) << preview.failure().toStdString();
  EXPECT_EQ(preview.pageCount(), static_cast<int>(want.size()));
  const int k = preview.pageCount() - 1;
  EXPECT_EQ(shown(*preview.page(k)), want[k]);
  EXPECT_TRUE(shown(*preview.page(k)).join('\n').contains("400 records"));
}

TEST_F(Preview, ADatabaseGoneWhilePagingIsShownAndTheWindowCloses) {
  test::insertRows(dir.file("info.mdb"), soldiers(300));
  QStringList errors;
  WindowReport r("NameReport");
  r.onError = [&](const QString& m) { errors << m; };
  r.setReportFileName(dir.file("basic.rpt"));
  bool closed = false;
  QTimer::singleShot(0, [&] {
    auto* preview = qobject_cast<ReportPreview*>(QApplication::activeModalWidget());
    ASSERT_NE(preview, nullptr);
    look(*preview);
    ASSERT_TRUE(QFile::remove(dir.file("info.mdb")));
    // Rows already open are still read; the next time they are opened, the
    // file is gone.
    while (preview->holdsRows()) QTest::qWait(50);
    act(*preview, "LastPage")->trigger();
    look(*preview);
    QTimer::singleShot(0, [&, preview] {
      closed = QApplication::activeModalWidget() != preview;
      if (!closed) preview->reject();
    });
  });
  EXPECT_FALSE(r.Action(0));
  EXPECT_TRUE(closed);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QDir::toNativeSeparators(dir.file("info.mdb")))) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains("does not exist")) << errors[0].toStdString();
}

}  // namespace

// A keyboard alone saves and prints: Tab from the pages reaches Print and
// Save as PDF, Space there runs them, and Ctrl+P and Ctrl+S run them from
// anywhere in the window.
TEST_F(Preview, PrintAndSaveAsPdfAreReachedByTabAndByTheirKeys) {
  test::insertRows(dir.file("info.mdb"), soldiers(3));
  ReportPreview preview(prepared("basic.rpt"), kPrinted);
  preview.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
  QAction* print = act(preview, "Print");
  QAction* save = act(preview, "SavePdf");
  // The print dialog is not opened here: its command is watched, not run.
  print->disconnect();
  int printed = 0, saved = 0;
  QObject::connect(print, &QAction::triggered, [&] { ++printed; });
  QObject::connect(save, &QAction::triggered, [&] { ++saved; });

  QWidget* view = preview.findChild<QWidget*>("PreviewPages");
  QSet<QAction*> reached;
  view->setFocus();
  for (int i = 0; i < 20 && QApplication::focusWidget(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    if (auto* b = qobject_cast<QToolButton*>(QApplication::focusWidget())) {
      // Tab goes round the window: Space only the first time there.
      if (b->defaultAction() == save && !reached.contains(save)) QTest::keyClick(b, Qt::Key_Space);
      reached.insert(b->defaultAction());
    }
  }
  EXPECT_TRUE(reached.contains(print));
  EXPECT_TRUE(reached.contains(save));
  EXPECT_EQ(saved, 1) << "Space on Save as PDF";

  QTest::keyClick(view, Qt::Key_P, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(printed, 1);
  EXPECT_EQ(saved, 2);
}
