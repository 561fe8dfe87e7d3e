// Where a report's text lands on its pages, and rows that the database
// selects and orders printing as the same rows held in memory.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QPdfWriter>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "recordsdb.h"
#include "reportobject.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

using Fields = test::Row;

// info.mdb in the current (scratch) folder holding just `rows`.
void makeDb(const QList<Fields>& rows) {
  const QString path = QDir::current().filePath("info.mdb");
  QFile::remove(path);
  createRecordsDatabase(path);
  test::insertRows(path, rows);
}

// The rows a prepared report prints, in print order.
std::vector<ReportRow> rowsOf(const PreparedReport& r) {
  std::vector<ReportRow> rows;
  r.rows->open()->forEach([&](const ReportRow& row) { rows.push_back(row); });
  return rows;
}

PreparedReport prepared(const QString& file, const QString& key = QString()) {
  ReportObject r("R");
  r.setReportFileName(QDir::current().filePath(file));
  if (!key.isEmpty()) r.setSortFields(0, key);
  return r.prepare();
}

}  // namespace

namespace {

// Lays a report out for the PDF writer the engine itself prints to, and
// keeps every page it hands over.
struct Laid {
  explicit Laid(const PreparedReport& r, const QString& pdfPath) : pdf(pdfPath) {
    pdf.setResolution(600);
    setReportPageLayout(pdf, r.layout);
    layOutReport(r, &pdf, "01/02/2026", [&](const ReportPage& p) {
      EXPECT_EQ(p.index, pages) << "pages are handed over in order";
      ++pages;
      count = p.count;
      columnX = p.columnX;
      texts.insert(texts.end(), p.texts.begin(), p.texts.end());
    });
    EXPECT_EQ(count, pages) << "the page count printed is the number of pages";
  }
  QPdfWriter pdf;
  int pages = 0, count = 0;
  std::vector<double> columnX;
  std::vector<PlacedText> texts;
};

bool isBody(const PlacedText& t) {
  return t.kind == PlacedText::Kind::Cell || t.kind == PlacedText::Kind::Group || t.kind == PlacedText::Kind::Total;
}

QString squeezed(QString s) { return s.remove(QRegularExpression("\\s")); }

}  // namespace

TEST(PageLayout, NoValueOrHeadingIsCutForTheWidestEntriesTheRecordTakes) {
  ScratchDir dir;
  dir.copyData({"basic.rpt", "date.rpt", "profile.rpt"});
  const QString remark =
      "Permanent profile for the run since the knee operation in March; takes the 2.5M Walk; physician's "
      "note on file with the company clerk, to be reviewed at the next annual test without fail";
  // The widest glyphs in every field at its full length, and a long name
  // written the usual way with a dashed SSN.
  const Fields widest{{"LNAME", QString(25, 'W')}, {"RANK", "WWW"}, {"SSN", QString(11, 'W')}, {"SEX", "W"},
                      {"DOT", "12/28/2026"}, {"RAW_PU", "88"}, {"C_PU", "100"}, {"RAW_SU", "88"}, {"C_SU", "100"},
                      {"RUN_M", "88"}, {"RUN_S", "59"}, {"C_RUN", "100"}, {"TOTAL", "300"}, {"STAT", "PASS"},
                      {"PROFILE", "PROFILE"}, {"REMARK", remark}};
  Fields usual = widest;
  usual["LNAME"] = "Montgomery-Castellanos, Jo";
  usual["LNAME"].chop(1);  // 25 characters
  usual["SSN"] = "123-45-6789";
  usual["RANK"] = "CSM";
  // A remark longer than a page holds, as another program may have stored.
  Fields endless = usual;
  endless["LNAME"] = "Zimmer, Al";
  for (int i = 0; i < 120; ++i) endless["REMARK"] += QString("remark part %1 of a very long note; ").arg(i);
  makeDb({widest, usual, endless});

  for (const char* file : {"basic.rpt", "date.rpt", "profile.rpt"}) {
    SCOPED_TRACE(file);
    ReportObject r("R");
    r.setReportFileName(dir.file(file));
    r.setSortFields(0, "+{info.LNAME}");
    const PreparedReport p = r.prepare();
    const std::vector<ReportRow> rows = rowsOf(p);
    ASSERT_EQ(rows.size(), 3u);
    const Laid laid(p, dir.file("x.pdf"));
    const Laid& plan = laid;
    const double pageW = laid.pdf.width(), pageH = laid.pdf.height();
    ASSERT_EQ(plan.columnX.size(), size_t(p.layout.columns.size() + 1));

    std::map<std::pair<int, int>, QString> cells;  // (row, column) -> every line of it
    std::map<int, QString> headings;
    for (const PlacedText& t : plan.texts) {
      SCOPED_TRACE(t.text.toStdString());
      const QFontMetricsF fm(t.font, &laid.pdf);
      EXPECT_LE(fm.horizontalAdvance(t.text), t.box.width() + 0.5);
      EXPECT_LE(fm.height(), t.box.height() + 0.5);
      EXPECT_GE(t.box.left(), -0.5);
      EXPECT_LE(t.box.right(), pageW + 0.5);
      EXPECT_LE(t.box.bottom(), pageH + 0.5);
      if (t.column >= 0) {
        EXPECT_GE(t.box.left(), plan.columnX[t.column] - 0.5);
        EXPECT_LE(t.box.right(), plan.columnX[t.column + 1] + 0.5);
      }
      if (t.kind == PlacedText::Kind::Cell) cells[{t.row, t.column}] += t.text;
      if (t.kind == PlacedText::Kind::Heading && t.page == 0) headings[t.column] += t.text;
    }
    // Nothing drawn over anything else.
    for (size_t a = 0; a < plan.texts.size(); ++a)
      for (size_t b = a + 1; b < plan.texts.size(); ++b) {
        const PlacedText &s = plan.texts[a], &t = plan.texts[b];
        if (s.page != t.page || s.kind == PlacedText::Kind::PageInfo || t.kind == PlacedText::Kind::PageInfo) continue;
        const QRectF both = s.box.intersected(t.box);
        EXPECT_TRUE(both.width() < 0.5 || both.height() < 0.5) << s.text.toStdString() << " / " << t.text.toStdString();
      }
    // Every heading and value is there in full, however it was broken.
    for (int c = 0; c < p.layout.columns.size(); ++c)
      EXPECT_EQ(squeezed(headings[c]), squeezed(p.layout.columns[c].heading));
    const int name = 0, ssn = 2;
    ASSERT_EQ(p.layout.columns[ssn].fields.value(0), "SSN");
    for (int row = 0; row < 3; ++row) {
      const QString lname = rows[row][infoFieldNames().indexOf("LNAME")];
      EXPECT_EQ(cells[std::pair(row, name)], lname);
      EXPECT_EQ(cells[std::pair(row, ssn)], rows[row][infoFieldNames().indexOf("SSN")]);
      const int last = static_cast<int>(p.layout.columns.size()) - 1;
      if (p.layout.columns[last].fields.value(0) == "REMARK") {
        EXPECT_EQ(squeezed(cells[std::pair(row, last)]), squeezed(rows[row][infoFieldNames().indexOf("REMARK")]));
      }
    }
  }
}

TEST(PageLayout, AGroupHeadingNeverEndsAPageWithoutItsRows) {
  ScratchDir dir;
  dir.copyData({"date.rpt"});
  QList<Fields> rows;
  // Groups of one to five records: page ends fall on headings, on first
  // rows and inside groups.
  for (int g = 0, n = 0; g < 70; ++g)
    for (int k = 0; k <= g % 5; ++k, ++n)
      rows.push_back({{"LNAME", QString("S%1").arg(n, 3, 10, QChar('0'))},
                      {"DOT", QDate(2025, 1, 1).addDays(g).toString("MM/dd/yyyy")}});
  makeDb(rows);
  ReportObject r("R");
  r.setReportFileName(dir.file("date.rpt"));
  const Laid laid(r.prepare(), dir.file("x.pdf"));
  const Laid& plan = laid;
  ASSERT_GT(plan.pages, 3);

  int moved = 0, repeated = 0;
  double lastBottom = 0;
  for (int pg = 0; pg < plan.pages; ++pg) {
    SCOPED_TRACE(pg);
    std::vector<const PlacedText*> body;
    for (const PlacedText& t : plan.texts)
      if (t.page == pg && isBody(t)) body.push_back(&t);
    ASSERT_FALSE(body.empty());
    std::stable_sort(body.begin(), body.end(), [](auto* a, auto* b) { return a->box.top() < b->box.top(); });
    EXPECT_NE(body.back()->kind, PlacedText::Kind::Group) << body.back()->text.toStdString();
    // A page that goes on with a group started earlier says which group.
    if (pg > 0) {
      EXPECT_EQ(body.front()->kind, PlacedText::Kind::Group);
      if (body.front()->text.endsWith("(continued)"))
        ++repeated;
      else if (lastBottom + body.front()->box.height() <= laid.pdf.height())
        ++moved;  // the heading would have fitted at the foot of the page before
    }
    lastBottom = body.back()->box.bottom();
  }
  EXPECT_GT(moved, 0) << "no heading fell at a page's foot: the case is not exercised";
  EXPECT_GT(repeated, 0) << "no group went over a page break: the case is not exercised";
  // Nothing lost or printed twice.
  QString all;
  for (const PlacedText& t : plan.texts)
    if (t.kind == PlacedText::Kind::Cell && t.column == 0) all += t.text + "\n";
  for (const Fields& f : rows) EXPECT_EQ(all.count(f.value("LNAME") + "\n"), 1);
}

namespace {

QList<Fields> oneGroup(const QString& date, int from, int n) {
  QList<Fields> rows;
  for (int i = from; i < from + n; ++i) rows.push_back({{"LNAME", QString("S%1").arg(i, 3, 10, QChar('0'))}, {"DOT", date}});
  return rows;
}

std::vector<const PlacedText*> bodyOf(const Laid& laid, int page) {
  std::vector<const PlacedText*> body;
  for (const PlacedText& t : laid.texts)
    if (t.page == page && isBody(t)) body.push_back(&t);
  std::stable_sort(body.begin(), body.end(), [](auto* a, auto* b) { return a->box.top() < b->box.top(); });
  return body;
}

}  // namespace

TEST(PageLayout, AFullPageEndsWithARowAndTheNextGroupOrTheTotalStartsTheNext) {
  ScratchDir dir;
  dir.copyData({"date.rpt"});
  // How many records of one group the first page holds under its heading.
  makeDb(oneGroup("01/02/2026", 0, 200));
  int perPage = 0;
  {
    const Laid probe(prepared("date.rpt"), dir.file("x.pdf"));
    for (const PlacedText* t : bodyOf(probe, 0)) perPage += t->kind == PlacedText::Kind::Cell && t->column == 0;
  }
  ASSERT_GT(perPage, 5);

  // The first group fills the first page to its foot: the next group begins
  // the second page under its own heading, not as a continued one.
  makeDb(oneGroup("01/02/2026", 0, perPage) + oneGroup("03/04/2026", perPage, 3));
  {
    const Laid laid(prepared("date.rpt"), dir.file("x.pdf"));
    ASSERT_EQ(laid.pages, 2);
    EXPECT_EQ(bodyOf(laid, 0).back()->kind, PlacedText::Kind::Cell);
    const PlacedText* first = bodyOf(laid, 1).front();
    EXPECT_EQ(first->text, "Date of Test: 03/04/2026   (3 records)");
    for (const PlacedText& t : laid.texts) EXPECT_FALSE(t.text.contains("(continued)")) << t.page;
  }

  // One record fewer leaves the foot of the page for the total line; one
  // more sends the total alone to a page of its own, numbered as such.
  for (const int n : {perPage - 1, perPage}) {
    SCOPED_TRACE(n);
    makeDb(oneGroup("01/02/2026", 0, n));
    const Laid laid(prepared("date.rpt"), dir.file("x.pdf"));
    ASSERT_EQ(laid.pages, n < perPage ? 1 : 2);
    const auto body = bodyOf(laid, laid.pages - 1);
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body.back()->kind, PlacedText::Kind::Total);
    EXPECT_EQ(body.back()->text, QString("%1 records").arg(n));
    EXPECT_LE(body.back()->box.bottom(), laid.pdf.height() + 0.5);
    if (n == perPage) {
      EXPECT_EQ(body.size(), 1u) << "nothing else is carried over";
    }
    int totals = 0, pageNumbers = 0;
    for (const PlacedText& t : laid.texts) {
      totals += t.kind == PlacedText::Kind::Total;
      pageNumbers += t.text == QString("Page %1 of %2").arg(t.page + 1).arg(laid.pages);
    }
    EXPECT_EQ(totals, 1);
    EXPECT_EQ(pageNumbers, laid.pages);
  }
}

// ---- Rows the database selects and orders ----

TEST(ReportRows, TheDatabaseSelectsAndOrdersAsTheRowsInHand) {
  ScratchDir dir;
  dir.copyData({"basic.rpt", "date.rpt", "profile.rpt", "status.rpt"});
  // Ties, case and accents, blanks, spaces, junk numbers and dates written
  // every way the table may hold them.
  const QStringList names = {"smith", "Smith", "SMITH", " Adams", "adams", "Émile", "émile", "Zoë", "", "  ",
                             "O'Brien", "o'brien", "Ça", "zz", "Straße", "STRASSE"};
  const QStringList totals = {"180", " 90", "90", "270", "", "abc", "300.0", "-5", "1e2", "0", "-0", "  "};
  const QStringList dates = {"01/05/2026", "1/5/2026", "2026-01-05", "12/30/2025", "", "13/45/2020",
                             "junk", "02/29/2024", " 06/15/2025 ", "2/30/2025"};
  const QStringList profiles = {"PROFILE", " PROFILE ", "profile", "", "PROFILE", "\tPROFILE"};
  const QStringList stats = {"PASS", "FAIL", " ", "", "pass", "PROFILE", " FAIL"};
  QList<Fields> rows;
  for (int i = 0; i < 420; ++i)
    rows.push_back({{"LNAME", names[i % names.size()]},
                    {"TOTAL", totals[(i / 3) % totals.size()]},
                    {"DOT", dates[(i / 7) % dates.size()]},
                    {"PROFILE", profiles[(i / 2) % profiles.size()]},
                    {"STAT", stats[(i / 5) % stats.size()]},
                    {"SSN", QString::number(100000000 + i % 13)}});
  makeDb(rows);
  // The same rows in hand, in the order they were entered.
  std::vector<ReportRow> inHand;
  for (const Fields& f : test::readRows(dir.file("info.mdb"))) {
    ReportRow row;
    for (const QString& name : infoFieldNames()) row << f.value(name);
    inHand.push_back(row);
  }
  ASSERT_EQ(inHand.size(), 420u);

  const std::pair<QString, QString> cases[] = {{"basic.rpt", "+{info.LNAME}"}, {"basic.rpt", "-{info.TOTAL}"},
                                               {"basic.rpt", "-{info.DOT}"},   {"date.rpt", ""},
                                               {"profile.rpt", "+{info.LNAME}"}, {"status.rpt", ""}};
  for (const auto& [file, key] : cases) {
    SCOPED_TRACE((file + " " + key).toStdString());
    const PreparedReport streamed = prepared(file, key);
    const PreparedReport held = prepareReport(streamed.layout, inHand, streamed.keys);
    const QStringList text = reportText(streamed);
    EXPECT_EQ(text, reportText(held));
    EXPECT_GT(text.size(), 4) << "every report prints rows of the fixture";
  }
  // Laid out on pages, the two print alike to the last line.
  const PreparedReport streamed = prepared("date.rpt");
  const Laid a(streamed, dir.file("a.pdf")), b(prepareReport(streamed.layout, inHand, streamed.keys), dir.file("b.pdf"));
  ASSERT_GT(a.pages, 3);
  ASSERT_EQ(a.texts.size(), b.texts.size());
  for (size_t i = 0; i < a.texts.size(); ++i) {
    EXPECT_EQ(a.texts[i].page, b.texts[i].page) << i;
    EXPECT_EQ(a.texts[i].text, b.texts[i].text) << i;
    EXPECT_EQ(a.texts[i].box, b.texts[i].box) << i;
  }
}
