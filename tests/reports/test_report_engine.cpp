// The report engine: sort keys, report files, selection and order of rows,
// and what lands on the printed pages.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "reportobject.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

// A record given by the fields that matter to a test; the rest stay empty.
using Fields = std::map<QString, QString>;

void insertRows(const QString& dbPath, const std::vector<Fields>& rows) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(dbPath).constData(), &db), SQLITE_OK);
  for (const Fields& f : rows) {
    QStringList names, marks;
    for (const auto& [k, v] : f) {
      names << k;
      marks << "?";
    }
    const QByteArray sql = ("INSERT INTO info (" + names.join(",") + ") VALUES (" + marks.join(",") + ")").toUtf8();
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    int i = 1;
    for (const auto& kv : f) {
      const QByteArray v = kv.second.toUtf8();
      sqlite3_bind_text(st, i++, v.constData(), v.size(), SQLITE_TRANSIENT);
    }
    ASSERT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
}

// info.mdb in the current (scratch) folder holding `rows`.
void makeDb(const std::vector<Fields>& rows) {
  const QString path = QDir::current().filePath("info.mdb");
  createRecordsDatabase(path);
  insertRows(path, rows);
}

QString pdfText(const QString& pdf) {
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  EXPECT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Positions of each needle in `text`, in the order given; -1 when missing.
std::vector<qsizetype> positions(const QString& text, const QStringList& needles) {
  std::vector<qsizetype> at;
  for (const QString& n : needles) at.push_back(text.indexOf(n));
  return at;
}

void expectInOrder(const QString& text, const QStringList& needles) {
  const auto at = positions(text, needles);
  for (size_t i = 0; i < at.size(); ++i) ASSERT_GE(at[i], 0) << "missing: " << needles[i].toStdString() << "\n" << text.toStdString();
  for (size_t i = 1; i < at.size(); ++i)
    EXPECT_LT(at[i - 1], at[i]) << needles[i - 1].toStdString() << " should come before " << needles[i].toStdString();
}

QString writeFile(const QString& name, const QString& text) {
  const QString path = QDir::current().filePath(name);
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text.toUtf8());
  return path;
}

const QString kShipped[] = {"basic.rpt", "date.rpt", "profile.rpt", "status.rpt"};

// The rows a prepared report prints, in print order.
std::vector<ReportRow> rowsOf(const PreparedReport& r) {
  std::vector<ReportRow> rows;
  r.rows->open()->forEach([&](const ReportRow& row) { rows.push_back(row); });
  return rows;
}

}  // namespace

TEST(SortKey, ParsesSignAndBracedField) {
  EXPECT_EQ(parseSortKey("+{info.LNAME}"), (SortKey{"LNAME", false}));
  EXPECT_EQ(parseSortKey("-{info.TOTAL}"), (SortKey{"TOTAL", true}));
  // Table and field names are matched without regard to case.
  EXPECT_EQ(parseSortKey(" -{INFO.total} "), (SortKey{"TOTAL", true}));
  EXPECT_EQ(parseSortKey("+{Info.LName}"), (SortKey{"LNAME", false}));
}

TEST(SortKey, MalformedOrUnknownKeysAreRefusedWithTheKeyNamed) {
  for (const QString bad : {"LNAME", "{info.LNAME}", "+info.LNAME", "*{info.LNAME}", "+{info.LNAME", "+{LNAME}",
                            "+{info.}", "", "+{info.LNAME}x"}) {
    try {
      parseSortKey(bad);
      ADD_FAILURE() << "accepted " << bad.toStdString();
    } catch (const ReportError& e) {
      EXPECT_TRUE(e.message().contains("\"" + bad + "\"")) << e.message().toStdString();
      EXPECT_TRUE(e.message().contains("not valid")) << e.message().toStdString();
    }
  }
  for (const QString unknown : {"+{info.NAME}", "-{records.TOTAL}"}) {
    try {
      parseSortKey(unknown);
      ADD_FAILURE() << "accepted " << unknown.toStdString();
    } catch (const ReportError& e) {
      EXPECT_TRUE(e.message().contains("names no field")) << e.message().toStdString();
    }
  }
}

TEST(Sorting, TotalsSortAsNumbersNamesWithoutCaseDatesChronologically) {
  ReportLayout L;
  L.title = "t";
  ReportColumn name;
  name.fields = {"LNAME"};
  L.columns << name;
  auto row = [](const QString& name, const QString& total, const QString& dot) {
    ReportRow r(infoFieldNames().size());
    r[infoFieldNames().indexOf("LNAME")] = name;
    r[infoFieldNames().indexOf("TOTAL")] = total;
    r[infoFieldNames().indexOf("DOT")] = dot;
    return r;
  };
  auto names = [](const PreparedReport& p) {
    QStringList n;
    for (const ReportRow& r : rowsOf(p)) n << r[1];
    return n;
  };
  const std::vector<ReportRow> rows = {row("baker", "180", "01/02/2026"), row("Adams", " 90", "12/30/2025"),
                                       row("CARTER", "270", "06/15/2025"), row("davis", "", "")};

  // As text "90" would beat "270"; as numbers it is the smallest. Blank sorts lowest.
  EXPECT_EQ(names(prepareReport(L, rows, {parseSortKey("-{info.TOTAL}")})),
            QStringList({"CARTER", "baker", "Adams", "davis"}));
  EXPECT_EQ(names(prepareReport(L, rows, {parseSortKey("+{info.TOTAL}")})),
            QStringList({"davis", "Adams", "baker", "CARTER"}));
  EXPECT_EQ(names(prepareReport(L, rows, {parseSortKey("+{info.LNAME}")})),
            QStringList({"Adams", "baker", "CARTER", "davis"}));
  // As text "01/02/2026" would come first; as dates June 2025 does.
  EXPECT_EQ(names(prepareReport(L, rows, {parseSortKey("+{info.DOT}")})),
            QStringList({"davis", "CARTER", "Adams", "baker"}));
}

TEST(Sorting, EqualKeysKeepTheOrderOfEntry) {
  ReportLayout L;
  std::vector<ReportRow> rows;
  for (int i = 5; i >= 1; --i) {
    ReportRow r(infoFieldNames().size());
    r[0] = QString::number(i * 10);  // ID
    r[1] = "Same";
    rows.push_back(r);
  }
  const PreparedReport p = prepareReport(L, rows, {parseSortKey("+{info.LNAME}")});
  QStringList ids;
  for (const ReportRow& r : rowsOf(p)) ids << r[0];
  EXPECT_EQ(ids, QStringList({"10", "20", "30", "40", "50"}));
}

TEST(ReportFile, ShippedFilesAllRead) {
  for (const QString& name : kShipped) {
    SCOPED_TRACE(name.toStdString());
    const ReportLayout L = readReportFile(quillon::test::dataFile(name));
    EXPECT_FALSE(L.title.isEmpty());
  }
  EXPECT_EQ(readReportFile(quillon::test::dataFile("date.rpt")).group, "DOT");
  EXPECT_EQ(readReportFile(quillon::test::dataFile("status.rpt")).kind, ReportLayout::Kind::Chart);
  const ReportLayout prof = readReportFile(quillon::test::dataFile("profile.rpt"));
  ASSERT_EQ(prof.select.size(), 1);
  EXPECT_EQ(prof.select[0].field, "PROFILE");
}

TEST(ReportFile, FaultsNameTheFileAndLine) {
  ScratchDir dir;
  try {
    readReportFile(dir.file("nothere.rpt"));
    ADD_FAILURE();
  } catch (const ReportError& e) {
    EXPECT_TRUE(e.message().contains(dir.file("nothere.rpt"))) << e.message().toStdString();
    EXPECT_TRUE(e.message().contains("does not exist"));
  }
  struct Case {
    const char* text;
    const char* expect;
  } cases[] = {
      {"title = x\ncolumn = LNAME\nbogus = 1\n", "line 3"},
      {"title = x\ncolumn = NAME ; Name\n", "NAME is no field"},
      {"title = x\ncolumn = LNAME\nsort = +{info.LNAME}, TOTAL\n", "line 3"},
      {"title = x\ncolumn = LNAME\nselect = STAT = PASS\n", "not a condition"},
      {"column = LNAME\n", "has no title"},
      {"title = x\n", "has no columns"},
      {"title = x\nkind = chart\n", "has no categories"},
      {"title = x\ncolumn = RUN_M ; Run ; 5 ; time\n", "two fields"},
      {"title = x\ncolumn = LNAME ; Name ; -3\n", "positive"},
      {"title = x\ncolumn = LNAME\nmargin = lots\n", "margin"},
      {"title = x\n just words\n", "line 2"},
      {"title = x\ncolumn = LNAME\ntitle for {info.LNAME} = y\n", "line 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const QString path = writeFile("bad.rpt", c.text);
    try {
      readReportFile(path);
      ADD_FAILURE() << "accepted";
    } catch (const ReportError& e) {
      EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(path))) << e.message().toStdString();
      EXPECT_TRUE(e.message().contains(c.expect)) << e.message().toStdString();
    }
  }
}

TEST(ReportFile, UnreadableFileIsReported) {
  ScratchDir dir;
  // A folder where the layout should be cannot be read, whatever the rights
  // the tests run with.
  const QString path = dir.file("locked.rpt");
  ASSERT_TRUE(QDir(dir.path()).mkdir("locked.rpt"));
  try {
    readReportFile(path);
    ADD_FAILURE() << "a folder was read as a report file";
  } catch (const ReportError& e) {
    EXPECT_TRUE(e.message().contains(path)) << e.message().toStdString();
    EXPECT_TRUE(e.message().contains("is a folder")) << e.message().toStdString();
  }
}

TEST(ReportFile, ColumnsFormatSsnAndRunTime) {
  ScratchDir dir;
  dir.copyData({"basic.rpt"});
  makeDb({{{"LNAME", "Ames"}, {"SSN", "123456789"}, {"RUN_M", "15"}, {"RUN_S", "4"}},
          {{"LNAME", "Bell"}, {"SSN", "987-65-4321"}}});
  ReportObject r("NameReport");
  r.setReportFileName(dir.file("basic.rpt"));
  const QStringList text = reportText(r.prepare());
  ASSERT_GE(text.size(), 4);
  EXPECT_TRUE(text[2].contains("\t123-45-6789\t")) << text[2].toStdString();
  EXPECT_TRUE(text[2].contains("\t15:04\t")) << text[2].toStdString();
  EXPECT_TRUE(text[3].contains("\t987-65-4321\t")) << text[3].toStdString();
  EXPECT_FALSE(text[3].contains(":")) << "a run not entered shows no time";
}

TEST(ReportObject, NamingAReportFileDropsAKeyLeftFromAnEarlierCommand) {
  ScratchDir dir;
  dir.copyData({"basic.rpt", "date.rpt"});
  makeDb({{{"LNAME", "Ames"}, {"TOTAL", "100"}}, {{"LNAME", "Bell"}, {"TOTAL", "300"}}});
  ReportObject r("NameReport");
  r.setReportFileName(dir.file("basic.rpt"));
  r.setSortFields(0, "-{info.TOTAL}");
  EXPECT_EQ(r.sortFields(0), "-{info.TOTAL}");
  EXPECT_EQ(r.prepare().keys.value(0), (SortKey{"TOTAL", true}));
  r.setReportFileName(dir.file("date.rpt"));
  EXPECT_EQ(r.sortFields(0), "");
  const PreparedReport p = r.prepare();
  // The date report's own order: grouped by date, then by name.
  ASSERT_GE(p.keys.size(), 1);
  EXPECT_EQ(p.keys[0], (SortKey{"LNAME", false}));
  EXPECT_EQ(rowsOf(p)[0][1], "Ames");
}

TEST(ReportObject, FileKeysBreakTiesAfterTheProgramsKey) {
  ScratchDir dir;
  dir.copyData({"basic.rpt"});
  makeDb({{{"LNAME", "Cole"}, {"TOTAL", "200"}}, {{"LNAME", "abel"}, {"TOTAL", "200"}}, {{"LNAME", "Boyd"}, {"TOTAL", "250"}}});
  ReportObject r("TotalReport");
  r.setReportFileName(dir.file("basic.rpt"));
  r.setSortFields(0, "-{info.TOTAL}");
  const PreparedReport p = r.prepare();
  QStringList names;
  for (const ReportRow& row : rowsOf(p)) names << row[1];
  EXPECT_EQ(names, QStringList({"Boyd", "abel", "Cole"}));
}

TEST(ReportObject, FailuresAreShownNamingTheFileAndTheProgramGoesOn) {
  ScratchDir dir;
  dir.copyData({"basic.rpt"});
  QStringList shown;
  ReportObject r("NameReport");
  r.onError = [&](const QString& m) { shown << m; };
  r.setPdfDestination(dir.file("out.pdf"));

  // No database yet.
  r.setReportFileName(dir.file("basic.rpt"));
  EXPECT_FALSE(r.Action(0));
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].contains(dir.file("info.mdb"))) << shown[0].toStdString();

  // A file that is not a database.
  writeFile("info.mdb", "this is not a database at all, just some text that is long enough");
  EXPECT_FALSE(r.Action(0));
  ASSERT_EQ(shown.size(), 2);
  EXPECT_TRUE(shown[1].contains(dir.file("info.mdb"))) << shown[1].toStdString();
  QFile::remove(dir.file("info.mdb"));
  makeDb({{{"LNAME", "Ames"}}});

  // Missing report file.
  r.setReportFileName(dir.file("nosuch.rpt"));
  EXPECT_FALSE(r.Action(0));
  ASSERT_EQ(shown.size(), 3);
  EXPECT_TRUE(shown[2].contains(dir.file("nosuch.rpt"))) << shown[2].toStdString();

  // Malformed key.
  r.setReportFileName(dir.file("basic.rpt"));
  r.setSortFields(0, "+{info.LNAME");
  EXPECT_FALSE(r.Action(0));
  ASSERT_EQ(shown.size(), 4);
  EXPECT_TRUE(shown[3].contains("\"+{info.LNAME\"")) << shown[3].toStdString();
  EXPECT_FALSE(QFile::exists(dir.file("out.pdf")));

  // Put right, the same object runs.
  r.setSortFields(0, "+{info.LNAME}");
  EXPECT_TRUE(r.Action(0));
  EXPECT_EQ(shown.size(), 4);
  EXPECT_TRUE(QFile::exists(dir.file("out.pdf")));
}

TEST(ReportObject, TheDatabaseIsReadNotChanged) {
  ScratchDir dir;
  dir.copyData({"basic.rpt"});
  makeDb({{{"LNAME", "Ames"}}});
  const QByteArray before = [&] {
    QFile f(dir.file("info.mdb"));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  ReportObject r("NameReport");
  r.onError = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
  r.setPdfDestination(dir.file("out.pdf"));
  r.setReportFileName(dir.file("basic.rpt"));
  ASSERT_TRUE(r.Action(0));
  QFile f(dir.file("info.mdb"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
}

// ---- What lands on the pages ----

class Printed : public ::testing::Test {
 protected:
  void SetUp() override { dir.copyData({"basic.rpt", "date.rpt", "profile.rpt", "status.rpt"}); }

  QString run(const QString& file, const QString& key = QString()) {
    ReportObject r("R");
    r.onError = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
    r.setReportFileName(dir.file(file));
    if (!key.isEmpty()) r.setSortFields(0, key);
    r.setPdfDestination(dir.file("out.pdf"));
    EXPECT_TRUE(r.Action(0));
    last = r.prepare();
    return pdfText(dir.file("out.pdf"));
  }

  ScratchDir dir;
  PreparedReport last;
};

TEST_F(Printed, ByTotalListsHighestFirstAsNumbers) {
  makeDb({{{"LNAME", "Mid"}, {"TOTAL", "180"}}, {{"LNAME", "Low"}, {"TOTAL", "90"}}, {{"LNAME", "High"}, {"TOTAL", "270"}}});
  const QString text = run("basic.rpt", "-{info.TOTAL}");
  expectInOrder(text, {"High", "Mid", "Low"});
  static const QRegularExpression rowEnd(QStringLiteral("(High|Mid|Low)\\s.*\\s(\\d+)\\s*$"), QRegularExpression::MultilineOption);
  QStringList totals;
  for (auto it = rowEnd.globalMatch(text); it.hasNext();) totals << it.next().captured(2);
  EXPECT_EQ(totals, QStringList({"270", "180", "90"}));
}

TEST_F(Printed, ByNameIgnoresCaseAndShowsEveryColumn) {
  makeDb({{{"LNAME", "zeller"}, {"RANK", "SGT"}, {"SSN", "111223333"}, {"SEX", "M"}, {"DOT", "03/04/2026"},
           {"RAW_PU", "50"}, {"C_PU", "72"}, {"RAW_SU", "61"}, {"C_SU", "74"}, {"RUN_M", "15"}, {"RUN_S", "30"},
           {"C_RUN", "80"}, {"TOTAL", "226"}, {"STAT", "PASS"}},
          {{"LNAME", "Young"}, {"STAT", "FAIL"}, {"PROFILE", "PROFILE"}},
          {{"LNAME", "ABBOT"}, {"STAT", " "}}});
  const QString text = run("basic.rpt", "+{info.LNAME}");
  expectInOrder(text, {"ABBOT", "Young", "zeller"});
  for (const QString v : {"SGT", "111-22-3333", "03/04/2026", "15:30", "226", "PASS", "FAIL", "PROFILE", "3 records"})
    EXPECT_TRUE(text.contains(v)) << v.toStdString();
  EXPECT_TRUE(text.contains("Fitness Test Records"));
  EXPECT_TRUE(text.contains("Printed " + QDate::currentDate().toString("MM/dd/yyyy")));
  EXPECT_TRUE(text.contains("Page 1 of 1"));
}

TEST_F(Printed, ByDateGroupsInDateOrderAcrossAYear) {
  makeDb({{{"LNAME", "Jan"}, {"DOT", "01/05/2026"}},
          {{"LNAME", "Dec"}, {"DOT", "12/20/2025"}},
          {{"LNAME", "Feb"}, {"DOT", "02/01/2025"}},
          {{"LNAME", "Dec2"}, {"DOT", "12/20/2025"}},
          {{"LNAME", "Jan2"}, {"DOT", "1/5/2026"}},
          {{"LNAME", "Untested"}, {"DOT", ""}}});
  const QString text = run("date.rpt");
  expectInOrder(text, {"Date of Test: not recorded", "Untested", "Date of Test: 02/01/2025", "Feb",
                       "Date of Test: 12/20/2025", "Dec", "Dec2", "Date of Test: 01/05/2026", "Jan", "Jan2"});
  EXPECT_EQ(text.count("Date of Test: 12/20/2025"), 1) << "one heading per date";
  EXPECT_EQ(text.count("Date of Test: 01/05/2026"), 1) << "the same date written two ways is one group";
  EXPECT_EQ(text.count("(2 records)"), 2);
}

TEST_F(Printed, ProfilesListOnlyProfileRows) {
  makeDb({{{"LNAME", "Onprofile"}, {"PROFILE", "PROFILE"}, {"REMARK", "knee"}},
          {{"LNAME", "Regular"}, {"PROFILE", ""}},
          {{"LNAME", "Lowercase"}, {"PROFILE", "profile"}},
          {{"LNAME", "Another"}, {"PROFILE", "PROFILE"}}});
  const QString text = run("profile.rpt", "+{info.LNAME}");
  expectInOrder(text, {"Another", "Onprofile"});
  EXPECT_FALSE(text.contains("Regular"));
  EXPECT_FALSE(text.contains("Lowercase")) << "status words are compared exactly";
  EXPECT_TRUE(text.contains("knee"));
  EXPECT_EQ(rowsOf(last).size(), 2u);
}

TEST_F(Printed, StatusChartCountsMatchTheDatabase) {
  std::vector<Fields> rows;
  for (int i = 0; i < 5; ++i) rows.push_back({{"LNAME", QString("P%1").arg(i)}, {"STAT", "PASS"}});
  for (int i = 0; i < 2; ++i) rows.push_back({{"LNAME", QString("F%1").arg(i)}, {"STAT", "FAIL"}});
  rows.push_back({{"LNAME", "U1"}, {"STAT", " "}});
  rows.push_back({{"LNAME", "U2"}});
  rows.push_back({{"LNAME", "U3"}, {"STAT", "pass"}});
  makeDb(rows);
  const QString text = run("status.rpt");
  const QStringList lines = reportText(last);
  EXPECT_TRUE(lines.contains("Passed\t5\t50.0%")) << lines.join("\n").toStdString();
  EXPECT_TRUE(lines.contains("Failed\t2\t20.0%"));
  EXPECT_TRUE(lines.contains("Not yet converted\t3\t30.0%"));
  EXPECT_TRUE(lines.contains("All records\t10\t100.0%"));
  for (const QString v : {"Passed", "50.0%", "Failed", "20.0%", "Not yet converted", "30.0%", "Test Status Chart"})
    EXPECT_TRUE(text.contains(v)) << v.toStdString();
}

TEST_F(Printed, AnEmptyTableGivesAReportThatSaysSo) {
  makeDb({});
  for (const QString& f : kShipped) {
    SCOPED_TRACE(f.toStdString());
    const QString text = run(f, f == "basic.rpt" ? "+{info.LNAME}" : QString());
    EXPECT_TRUE(text.contains("There are no test records") || text.contains("No soldier is marked"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Page 1 of 1"));
  }
}

TEST_F(Printed, EveryPageCarriesTitleDateAndNumber) {
  std::vector<Fields> rows;
  for (int i = 0; i < 150; ++i) rows.push_back({{"LNAME", QString("Soldier%1").arg(i, 3, 10, QChar('0'))}, {"TOTAL", "200"}});
  makeDb(rows);
  const QString text = run("basic.rpt", "+{info.LNAME}");
  const QStringList pages = text.split(QChar('\f'), Qt::SkipEmptyParts);
  const int n = static_cast<int>(std::count_if(pages.begin(), pages.end(), [](const QString& p) { return !p.trimmed().isEmpty(); }));
  ASSERT_GT(n, 1);
  const QString printed = "Printed " + QDate::currentDate().toString("MM/dd/yyyy");
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(pages[i].contains("Fitness Test Records"));
    EXPECT_TRUE(pages[i].contains(printed));
    EXPECT_TRUE(pages[i].contains(QString("Page %1 of %2").arg(i + 1).arg(n)));
    EXPECT_TRUE(pages[i].contains("Name")) << "column headings on every page";
  }
  // No row lost or repeated across page breaks.
  for (int i = 0; i < 150; ++i) EXPECT_EQ(text.count(QString("Soldier%1").arg(i, 3, 10, QChar('0'))), 1) << i;
  expectInOrder(text, {"Soldier000", "Soldier075", "Soldier149"});
}

TEST(ReportObject, APdfThatCannotBeWrittenIsReportedByPath) {
  ScratchDir dir;
  dir.copyData({"basic.rpt"});
  makeDb({{{"LNAME", "Ames"}}});
  QStringList shown;
  ReportObject r("NameReport");
  r.onError = [&](const QString& m) { shown << m; };
  const QString target = dir.file("no/such/folder/out.pdf");
  r.setPdfDestination(target);
  r.setReportFileName(dir.file("basic.rpt"));
  EXPECT_FALSE(r.Action(0));
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown[0].contains(target)) << shown[0].toStdString();
}
