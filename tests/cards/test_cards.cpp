// The scorecard as it comes out of a PDF reader: the form's words where the
// official form prints them, each value inside the box the form gives it,
// the tests in their columns.
#include <gtest/gtest.h>

#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "cards.h"
#include "fitnesscards.h"
#include "testsupport.h"

namespace quillon {
namespace {

// How far a printed word may sit from where the official form has it, in
// points (1.5 pt is about half a millimetre).
constexpr double kTolerance = 1.5;

struct PdfWord {
  int page = 0;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  QString text;
  double cy() const { return (y0 + y1) / 2; }
};

QString run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  EXPECT_TRUE(p.waitForFinished(-1)) << program.toStdString();
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

QList<PdfWord> wordsOf(const QString& pdf) {
  const QString html = run("pdftotext", {"-bbox", pdf, "-"});
  QList<PdfWord> out;
  int page = 0;
  static const QRegularExpression token(
      R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  for (auto it = token.globalMatch(html); it.hasNext();) {
    const auto m = it.next();
    if (m.captured(0) == "<page ") {
      ++page;
      continue;
    }
    QString text = m.captured(5);
    text.replace("&amp;", "&").replace("&apos;", "'").replace("&quot;", "\"").replace("&lt;", "<").replace("&gt;", ">");
    out << PdfWord{page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                   m.captured(4).toDouble(), text};
  }
  return out;
}

const QList<PdfWord>& officialWords() {
  static const QList<PdfWord> words = wordsOf(QStringLiteral(QUILLON_CARD_FORM));
  return words;
}

// The words of our card's pages [first, first + 1], renumbered 1 and 2.
QList<PdfWord> cardPages(const QList<PdfWord>& all, int first) {
  QList<PdfWord> out;
  for (PdfWord w : all)
    if (w.page == first || w.page == first + 1) {
      w.page -= first - 1;
      out << w;
    }
  return out;
}

QList<PdfWord> writeAndRead(const test::ScratchDir& dir, const QList<FitnessCard>& cards, int* pages = nullptr) {
  const QString path = dir.file("cards.pdf");
  const QString error = writeFitnessCardsPdf(cards, path);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  if (pages) {
    const QString info = run("pdfinfo", {path});
    const auto m = QRegularExpression(R"(Pages:\s+(\d+))").match(info);
    *pages = m.captured(1).toInt();
  }
  return wordsOf(path);
}

bool near(const PdfWord& a, const PdfWord& b) {
  return a.page == b.page && a.text == b.text && std::fabs(a.x0 - b.x0) <= kTolerance &&
         std::fabs(a.x1 - b.x1) <= kTolerance && std::fabs(a.cy() - b.cy()) <= kTolerance;
}

// What our page holds beyond the blank form's words.
QList<PdfWord> filledIn(const QList<PdfWord>& ours) {
  QList<PdfWord> extra;
  QList<bool> used(officialWords().size(), false);
  for (const PdfWord& w : ours) {
    bool form = false;
    for (qsizetype i = 0; i < officialWords().size() && !form; ++i)
      if (!used[i] && near(officialWords()[i], w)) form = used[i] = true;
    if (!form) extra << w;
  }
  return extra;
}

// Whatever the device's resolution (a printer's, a PDF writer's), the card
// covers the same ground on paper.
class FitnessCardAt : public testing::TestWithParam<int> {};

TEST_P(FitnessCardAt, EveryWordOfTheOfficialFormIsPrintedWhereTheFormPrintsIt) {
  test::ScratchDir dir;
  {
    QPdfWriter pdf(dir.file("cards.pdf"));
    pdf.setResolution(GetParam());
    paintFitnessCards({FitnessCard{}}, &pdf);
  }
  const QList<PdfWord> ours = wordsOf(dir.file("cards.pdf"));
  const QString info = run("pdfinfo", {dir.file("cards.pdf")});
  EXPECT_TRUE(info.contains(QRegularExpression(R"(Pages:\s+2\n)"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression(R"(Page size:\s+792 x 612 pts)"))) << info.toStdString();
  ASSERT_GT(officialWords().size(), 1000);
  int missing = 0;
  for (const PdfWord& o : officialWords()) {
    const bool found = std::any_of(ours.begin(), ours.end(), [&](const PdfWord& w) { return near(o, w); });
    if (!found && ++missing <= 10)
      ADD_FAILURE() << "page " << o.page << ": \"" << o.text.toStdString() << "\" at " << o.x0 << "," << o.y0;
  }
  EXPECT_EQ(missing, 0);
  // A blank card prints nothing the form does not.
  const QList<PdfWord> extra = filledIn(ours);
  EXPECT_TRUE(extra.isEmpty()) << extra.value(0).text.toStdString();
}

// The box the form gives a value: found from the form's own words, not from
// the painter's geometry. `label` is the nth word of that text in a column,
// counted down the column and then across.
struct Cell {
  double x0, y0, x1, y1;
  bool holds(const PdfWord& w) const { return w.x0 >= x0 && w.x1 <= x1 && w.y0 >= y0 && w.y1 <= y1; }
};

const PdfWord& label(int page, int column, const QString& text, int nth) {
  QList<const PdfWord*> hits;
  for (const PdfWord& w : officialWords()) {
    const bool inColumn = column < 0 ? w.x0 > 540 : (column == 0 ? w.x0 < 395 : w.x0 > 396);
    if (w.page == page && w.text == text && inColumn && w.y0 > (column < 0 ? 29 : 213)) hits << &w;
  }
  std::sort(hits.begin(), hits.end(), [](auto a, auto b) { return a->y0 != b->y0 ? a->y0 < b->y0 : a->x0 < b->x0; });
  static const PdfWord none{};
  EXPECT_GT(hits.size(), nth) << text.toStdString();
  return hits.size() > nth ? *hits[nth] : none;
}

// Below a label: from under it across to the next phrase on its line, and
// down to the next printed word in that span.
Cell below(int page, int column, const QString& text, int nth = 0, double right = 1e9) {
  const PdfWord& l = label(page, column, text, nth);
  const double columnRight = column < 0 || column == 1 ? 774 : 394.5;
  QList<const PdfWord*> line;
  for (const PdfWord& w : officialWords())
    if (w.page == page && std::fabs(w.cy() - l.cy()) < 2 && w.x0 >= l.x0 && w.x0 < columnRight) line << &w;
  std::sort(line.begin(), line.end(), [](auto a, auto b) { return a->x0 < b->x0; });
  Cell c{l.x0 - 3, l.y1, columnRight, 573};
  for (qsizetype i = 1; i < line.size(); ++i)
    if (line[i]->x0 - line[i - 1]->x1 > 6) {  // a gap wider than a space starts the next label
      c.x1 = line[i]->x0;
      break;
    }
  c.x1 = std::min(c.x1, right);
  for (const PdfWord& w : officialWords())
    if (w.page == page && w.y0 > l.y1 + 1 && w.y0 < c.y1 && w.x1 > c.x0 && w.x0 < c.x1) c.y1 = w.y0;
  return c;
}

// On the line of a label, in the gap before it.
Cell leftOf(int page, int column, const QString& text, double gap, int nth = 0) {
  const PdfWord& l = label(page, column, text, nth);
  return Cell{l.x0 - gap, l.y0 - 5, l.x0, l.y1 + 5};
}

Cell rightOf(int page, int column, const QString& text, int nth = 0) {
  const PdfWord& l = label(page, column, text, nth);
  return Cell{l.x1, l.y0 - 5, column == 1 ? 774.0 : 394.5, l.y1 + 5};
}

INSTANTIATE_TEST_SUITE_P(Resolutions, FitnessCardAt, testing::Values(72, 300, 1200));

TEST(FitnessCard, EachValueLandsInTheBoxTheFormGivesIt) {
  test::ScratchDir dir;
  const FitnessCard card = test::filledCard(4);
  const QList<PdfWord> ours = writeAndRead(dir, {card});
  const QList<PdfWord> values = filledIn(ours);

  struct Expect {
    QString text;
    int page;
    Cell cell;
  };
  QList<Expect> expects;
  for (int page = 1; page <= 2; ++page) {
    expects << Expect{"Abernathy,", page, below(page, -1, "NAME")} << Expect{"Cole", page, below(page, -1, "NAME")}
            << Expect{"Bldg", page, below(page, -1, "UNIT/LOCATION")};
  }
  for (int n = 1; n <= 4; ++n) {
    const CardTest& t = card.tests[n - 1];
    const int page = n <= 2 ? 1 : 2, col = (n - 1) % 2;
    auto add = [&](const QString& text, const Cell& cell) {
      if (!text.isEmpty()) expects << Expect{text, page, cell};
    };
    add(t.date, below(page, col, "DATE"));
    add(t.mos, below(page, col, "MOS"));
    add(t.payGrade, below(page, col, "PAY", 0));
    add(t.age, below(page, col, "AGE"));
    add(t.bodyCompositionDate, rightOf(page, col, "DATE:"));
    // The height box ends where the weight's blank line starts, before "lbs.".
    add(t.heightInches, below(page, col, "HEIGHT", 0, label(page, col, "lbs.", 0).x0 - 32));
    add(t.weightPounds, leftOf(page, col, "lbs.", 35));
    add(t.bodyFatPercent, leftOf(page, col, "%", 35));
    add(t.deadliftFirst, below(page, col, "1ST"));
    add(t.deadliftSecond, below(page, col, "2ND"));
    add(t.events[0].points, below(page, col, "POINTS", 0));
    add(t.events[0].grader, below(page, col, "GRADER", 0));
    add(t.events[1].raw, below(page, col, "REPETITIONS", 0));
    for (int e = 1; e < kCardEvents; ++e) {
      if (e >= 2 && !t.events[e].raw.isEmpty()) add(t.events[e].raw, below(page, col, "TIME", e - 2));
      add(t.events[e].points, below(page, col, "POINTS", e));
      add(t.events[e].grader, below(page, col, "GRADER", e));
    }
    if (!t.alternate.isEmpty()) {
      add("2.5MI", leftOf(page, col, "TIME", 70, 3));
      add(t.alternateTime, below(page, col, "TIME", 3));
      add(t.alternatePoints, below(page, col, "POINTS", 5));
      add(t.alternateGrader, below(page, col, "GRADER", 5));
    }
    add(t.total, below(page, col, "TOTAL"));
    add(t.oicName.section(' ', 0, 0), below(page, col, "OIC/NCOIC", 0));
    add(t.oicPayGrade, below(page, col, "PAY", 1));
  }
  for (const Expect& e : expects) {
    SCOPED_TRACE(e.text.toStdString() + " on page " + std::to_string(e.page));
    const auto hit = std::find_if(values.begin(), values.end(),
                                  [&](const PdfWord& w) { return w.page == e.page && w.text == e.text && e.cell.holds(w); });
    EXPECT_NE(hit, values.end()) << "box " << e.cell.x0 << "," << e.cell.y0 << " to " << e.cell.x1 << "," << e.cell.y1;
  }
  // Nothing else is filled in: every word printed beyond the form is a word
  // of a value on that page, each once.
  QStringList given, printed;
  for (int page = 1; page <= 2; ++page) {
    QStringList onPage = {card.lastName + ",", card.firstName, card.middleInitial};
    onPage << card.unit.split(' ');
    for (int n = page * 2 - 1; n <= page * 2; ++n) {
      const CardTest& t = card.tests[n - 1];
      QStringList texts = {t.date, t.mos, t.payGrade, t.age, t.bodyCompositionDate, t.heightInches, t.weightPounds,
                           t.bodyFatPercent, t.deadliftFirst, t.deadliftSecond, t.alternateTime, t.alternatePoints,
                           t.alternateGrader, t.total, t.oicName, t.oicPayGrade};
      if (!t.alternate.isEmpty()) texts << "2.5MI WALK";
      for (const CardEventResult& r : t.events) texts << r.raw << r.points << r.grader;
      for (const QString& x : texts) onPage << x.split(' ', Qt::SkipEmptyParts);
    }
    for (const QString& w : onPage) given << QString::number(page) + ":" + w;
  }
  for (const PdfWord& w : values) printed << QString::number(w.page) + ":" + w.text;
  given.sort();
  printed.sort();
  EXPECT_EQ(printed, given);
}

TEST(FitnessCard, ACardHoldsTheLatestFourTestsOldestFirstAndLeavesMissingOnesBlank) {
  test::ScratchDir dir;
  // Five tests given out of order: the oldest is left off, the rest in date order.
  FitnessCard five = test::filledCard(5, "Five");
  std::reverse(five.tests.begin(), five.tests.end());
  const FitnessCard one = test::filledCard(1, "One");
  int pages = 0;
  const QList<PdfWord> all = writeAndRead(dir, {five, one}, &pages);
  ASSERT_EQ(pages, 4);

  const QList<PdfWord> fiveValues = filledIn(cardPages(all, 1));
  auto dateAt = [&](const QList<PdfWord>& values, int page, int column) {
    const Cell c = below(page, column, "DATE");
    for (const PdfWord& w : values)
      if (w.page == page && c.holds(w)) return w.text;
    return QString();
  };
  EXPECT_EQ(dateAt(fiveValues, 1, 0), "20250302");
  EXPECT_EQ(dateAt(fiveValues, 1, 1), "20250403");
  EXPECT_EQ(dateAt(fiveValues, 2, 0), "20250504");
  EXPECT_EQ(dateAt(fiveValues, 2, 1), "20250605");
  for (const PdfWord& w : fiveValues) EXPECT_NE(w.text, "20250201");

  // One test: TEST ONE filled, TEST TWO to FOUR blank on both pages.
  const QList<PdfWord> oneValues = filledIn(cardPages(all, 3));
  EXPECT_EQ(dateAt(oneValues, 1, 0), "20250201");
  for (const PdfWord& w : oneValues) {
    const bool header = w.x0 > 544 && w.y1 < 113;
    EXPECT_TRUE(header || (w.page == 1 && w.x1 < 395)) << w.text.toStdString() << " on page " << w.page;
  }
  // Each card's pages carry its own soldier.
  EXPECT_TRUE(std::any_of(fiveValues.begin(), fiveValues.end(), [](const PdfWord& w) { return w.text == "Five,"; }));
  EXPECT_TRUE(std::any_of(oneValues.begin(), oneValues.end(), [](const PdfWord& w) { return w.text == "One,"; }));
}

TEST(FitnessCard, TheHeavierDeadliftAttemptIsTheOneTicked) {
  CardTest t;
  t.deadliftFirst = "200";
  t.deadliftSecond = "190";  // a lighter second attempt does not count
  EXPECT_EQ(heavierAttempt(t), 1);
  t.deadliftSecond = "200";  // equal: the first already made it
  EXPECT_EQ(heavierAttempt(t), 1);
  t.deadliftSecond = "210";
  EXPECT_EQ(heavierAttempt(t), 2);
  t.deadliftFirst = "";  // only the second attempt recorded
  EXPECT_EQ(heavierAttempt(t), 2);
  t.deadliftSecond = "";
  EXPECT_EQ(heavierAttempt(t), 0);
}

TEST(FitnessCard, APdfIsWrittenWholeForItsOwnerOnlyOrNotAtAll) {
  test::ScratchDir dir;
  EXPECT_TRUE(writeFitnessCardsPdf({test::filledCard(2)}, dir.file("a.pdf")).isEmpty());
  EXPECT_EQ(QFile::permissions(dir.file("a.pdf")) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
  EXPECT_FALSE(writeFitnessCardsPdf({test::filledCard(2)}, dir.file("no/such/folder/a.pdf")).isEmpty());
  EXPECT_FALSE(QFile::exists(dir.file("no/such/folder/a.pdf")));
  EXPECT_FALSE(writeFitnessCardsPdf({}, dir.file("b.pdf")).isEmpty());
  EXPECT_FALSE(QFile::exists(dir.file("b.pdf")));
}

}  // namespace
}  // namespace quillon
