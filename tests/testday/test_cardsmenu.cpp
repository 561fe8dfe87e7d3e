// The test-day window's Cards and History menus driven as a clerk does,
// over a saved group whose results were entered lane by lane: the cards
// come out as a PDF whose text a PDF reader finds, and the history window
// shows the soldier's tests.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QProcess>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QUndoStack>
#include <gtest/gtest.h>

#include "cardsmenu.h"
#include "convertfixture.h"
#include "dbfile.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "historychart.h"
#include "historywindow.h"
#include "laneentry.h"
#include "pdffields.h"
#include "recordsdb.h"
#include "testdaywindow.h"
#include "testgroupfixture.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

QString pdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  EXPECT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Records where Abernathy has a three-event test of 5 December 2026 scored
// by Convert, and a saved group of three on 12 June 2026: Yates and
// Abernathy tested all five events there, Moreno did not. Abernathy tested
// on four earlier days too, each day's results entered lane by lane; on
// 5 December 2025 he rowed in the run's place, which another station stored
// without its points. His particulars, body composition and the graders'
// initials were stored beside his results.
class CardsMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path_);
    ASSERT_NO_FATAL_FAILURE(threeEventTest());
    std::unique_ptr<TestGroups> groups = TestGroups::forDatabase(path_);
    const TestGroup day = rangeDayGroup();
    const GroupMember& abernathy = day.members.at(1);
    const QStringList earlier = {"2025-06-20", "2025-09-10", "2025-12-05", "2026-03-02"};
    const int earlierPoints[4][5] = {{65, 60, 62, 70, 60}, {71, 50, 70, 75, 64}, {77, 70, 75, 80, -1}, {81, 85, 68, 85, 75}};
    for (int d = 0; d < earlier.size(); ++d)
      enterDay(groups->save(TestGroup{0, earlier[d], QStringLiteral("Range 3"), {abernathy}}), {{0, earlierPoints[d]}});
    const int points[2][5] = {{85, 75, 80, 90, 65}, {100, 95, 70, 60, 80}};
    group_ = groups->save(day);
    totals_ = enterDay(group_, {{0, points[0]}, {1, points[1]}});
    for (const QString& d : earlier + QStringList{day.testDate}) storeParticulars(abernathy.ssn, d);
    // The row at its longest time for his column: a GO.
    const fitness::FitnessTest& t = fitnessTest();
    const int column = fitness::columnIndex(t.ageGroupOf(27), fitness::Column::MaleCombat);
    const int row = t.alternateIndex(QStringLiteral("row"));
    ASSERT_GE(row, 0);
    store(abernathy.ssn, "2025-12-05",
          {{"alt_event", "row"}, {"alt_time_s", QString::number(t.alternates[row].maxSeconds[column])},
           {"grader_alt", "VW"}, {"grader_run", QString()}});
    rowedTotal_ = 77 + 70 + 75 + 80 + t.alternateGoPoints;
    window_ = std::make_unique<TestDayWindow>(path_);
    window_->show();
  }
  // Abernathy's three-event results scored as the main window scores them.
  void threeEventTest() {
    ScratchDir tablesDir;
    tablesDir.copyTables();
    ScoringTables tables;
    tables.open(tablesDir.path());
    TestHost h;
    h.clk.day = QDate(2026, 12, 5);
    const std::pair<Ctl, const char*> entered[] = {{Ctl::DOB, "03/14/1994"}, {Ctl::Sex, "M"},     {Ctl::RUN_M, "14"},
                                                   {Ctl::RUN_S, "48"},       {Ctl::RAW_SU, "70"}, {Ctl::RAW_PU, "62"}};
    for (const auto& [c, v] : entered) h.c.values[c] = QString::fromLatin1(v);
    Convert(h, tables);
    ASSERT_TRUE(h.m.shown.empty()) << h.m.texts().join(u'|').toStdString();
    const auto v = [&](Ctl c) { return h.c.values.value(c); };
    insertRows(path_, {{{"LNAME", "Abernathy, Cole"}, {"SSN", "000-00-0001"}, {"SEX", "M"}, {"DOB", v(Ctl::DOB)},
                        {"DOT", v(Ctl::DOT)}, {"RAW_PU", v(Ctl::RAW_PU)}, {"RAW_SU", v(Ctl::RAW_SU)},
                        {"RUN_M", v(Ctl::RUN_M)}, {"RUN_S", v(Ctl::RUN_S)}, {"C_PU", v(Ctl::C_PU)},
                        {"C_SU", v(Ctl::C_SU)}, {"C_RUN", v(Ctl::C_RUN)}, {"TOTAL", v(Ctl::TOTAL)},
                        {"STAT", v(Ctl::STAT)}}});
    threeEvent_ = QStringLiteral("2026-12-05 Three-event %1 %2").arg(v(Ctl::TOTAL).trimmed(), v(Ctl::STAT).trimmed());
  }
  void store(const QString& ssn, const QString& date, const Record& changes) {
    std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(path_);
    const std::optional<RowAsRead> row = records->find(ssn, date);
    ASSERT_TRUE(row.has_value()) << date.toStdString();
    records->store(*row, changes);
  }
  void storeParticulars(const QString& ssn, const QString& date) {
    const QString weighed = QDate::fromString(date, Qt::ISODate).addDays(-10).toString(Qt::ISODate);
    store(ssn, date,
          {{"mos", "11B"}, {"pay_grade", "E-4"}, {"bc_date", weighed}, {"height_in", "70"}, {"weight_lb", "172"},
           {"weight_go", "GO"}, {"grader_deadlift", "JK"}, {"grader_pushup", "LM"}, {"grader_sdc", "NP"},
           {"grader_plank", "QR"}, {"grader_run", "ST"}, {"oic_ncoic_name", "Tanaka, Ken"}});
  }
  // Enters each listed member's five events (a negative figure: not that event), each figure the one the tables
  // give for those points; the members' totals as the lanes stored them.
  QStringList enterDay(const TestGroup& group, const QList<std::pair<int, const int*>>& who) {
    std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path_);
    QUndoStack undo;
    LaneSheet sheet(group, *store, undo);
    const fitness::FitnessTest& t = fitnessTest();
    const int column = fitness::columnIndex(
        t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate::fromString(group.testDate, Qt::ISODate))),
        fitness::Column::MaleCombat);
    const LaneField lanes[] = {LaneField::DeadliftFirst, LaneField::PushUp, LaneField::SprintDragCarry,
                               LaneField::Plank, LaneField::Run};
    QStringList totals;
    for (const auto& [m, points] : who) {
      for (int e = 0; e < 5; ++e) {
        if (points[e] >= 0) {
          EXPECT_EQ(sheet.enter(m, lanes[e], figureFor(e, column, points[e])), QString());
        }
      }
      totals << (sheet.line(m).total ? QString::number(*sheet.line(m).total) : QStringLiteral("<none>"));
    }
    return totals;
  }
  QAction* action(const char* name) {
    auto* a = window_->findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
  }
  void select(int row) {
    window_->findChild<QTableWidget*>(QStringLiteral("soldiers"))->setCurrentCell(row, 1);
  }

  ScratchDir dir_;
  QString path_;
  TestGroup group_;
  QStringList totals_;
  QString threeEvent_;
  int rowedTotal_ = 0;
  std::unique_ptr<TestDayWindow> window_;
};

}  // namespace

TEST_F(CardsMenuTest, TheGroupsCardsSavedAsPdfNameEverySoldierAndCarryTheirTotals) {
  const QString pdf = dir_.file(QStringLiteral("group cards.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(pdf);
  action("MNU_CARDS_PDF_GROUP")->trigger();
  EXPECT_TRUE(window_->statusBar()->currentMessage().startsWith(QStringLiteral("3 scorecards saved as")))
      << window_->statusBar()->currentMessage().toStdString();
  ASSERT_TRUE(QFile::exists(pdf));
  EXPECT_EQ(QFile::permissions(pdf) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
            QFile::Permissions());
  const QString text = pdfText(pdf);
  // Each card is two pages; a soldier's name heads both.
  EXPECT_EQ(text.count(QChar(u'\f')), 6) << "three cards of two pages";
  for (const char* name : {"Yates, Ann B", "Abernathy, Cole", "Moreno, Luis T"})
    EXPECT_EQ(text.count(QString::fromLatin1(name)), 2) << name;
  for (const QString& total : totals_)
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(total)))) << total.toStdString();
  // Abernathy's card: his last four tests of five, the first left off.
  for (const char* date : {"20250910", "20251205", "20260302", "20260612"})
    EXPECT_TRUE(text.contains(QString::fromLatin1(date))) << date;
  EXPECT_FALSE(text.contains(QStringLiteral("20250620")));
  EXPECT_TRUE(text.contains(QString::number(rowedTotal_)));
  EXPECT_EQ(text.count(QStringLiteral("5K ROW")), 3 * 2 * 2 + 1)
      << "the form prints it in each of the twelve test columns; his card names his alternate once more";

  // One soldier: the selected row's card only.
  const QString one = dir_.file(QStringLiteral("one.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(one);
  select(1);
  action("MNU_CARDS_PDF_ONE")->trigger();
  const QString oneText = pdfText(one);
  EXPECT_EQ(oneText.count(QStringLiteral("Abernathy, Cole")), 2);
  EXPECT_FALSE(oneText.contains(QStringLiteral("Yates")));
  EXPECT_TRUE(oneText.contains(totals_.at(1)));
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    EXPECT_TRUE(QFile::copy(one, QDir(shots).filePath(QStringLiteral("testday-scorecard.pdf"))));
  }
}

TEST_F(CardsMenuTest, TheGroupsOfficialFormsReadBackEqualToTheRecordsAndNameABodyCompositionTooNearItsTest) {
  store(group_.members.at(0).ssn, group_.testDate, {{"bc_date", "2026-06-09"}});
  const QString pdf = dir_.file(QStringLiteral("group forms.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(pdf);
  action("MNU_CARDS_FORM_GROUP")->trigger();
  EXPECT_EQ(window_->statusBar()->currentMessage(),
            QStringLiteral("3 official forms saved as %1. Body composition was recorded fewer than 7 days from the "
                           "test: Yates, Ann B: test 20260612, body composition 20260609.")
                .arg(QDir::toNativeSeparators(pdf)));
  ASSERT_TRUE(QFile::exists(pdf));
  EXPECT_EQ(QFile::permissions(pdf) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
            QFile::Permissions());
  const QMap<QString, PdfField> fields = pdfFields(qpdfJson(pdf));
  ASSERT_EQ(fields.size(), 3 * 220);
  const auto value = [&](int card, int page, const char* field) {
    const QString name = QStringLiteral("card%1.Page%2[0].%3[0]").arg(card).arg(page).arg(QLatin1String(field));
    EXPECT_TRUE(fields.contains(name)) << name.toStdString();
    return fields.value(name).value;
  };
  EXPECT_EQ(value(1, 1, "Name"), "Yates, Ann B");
  EXPECT_EQ(value(1, 2, "Name"), "Yates, Ann B");
  EXPECT_NE(value(1, 1, "Female"), "/Off");
  EXPECT_EQ(value(1, 1, "Test_One_Total_Points"), totals_.at(0));
  EXPECT_EQ(value(1, 1, "Test_One_Body_Composition_Date"), "20260609");
  EXPECT_NE(value(1, 1, "Check_Standard_Combat"), "/Off");
  // Abernathy: his last four days, TEST ONE the oldest; the points the lanes stored.
  EXPECT_EQ(value(2, 1, "Name"), "Abernathy, Cole");
  const std::pair<int, const char*> dates[] = {
      {1, "Test_One_Date"}, {1, "Test_Two_Date"}, {2, "Test_Three_Date"}, {2, "Test_Four_Date"}};
  const char* expected[] = {"20250910", "20251205", "20260302", "20260612"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(value(2, dates[i].first, dates[i].second), expected[i]);
  const char* points[] = {"Test_Three_Points1", "Test_Three_Points3", "Test_Three_Points4", "Test_Three_Points5",
                          "Test_Three_Points6"};
  const int stored[] = {81, 85, 68, 85, 75};
  for (int e = 0; e < 5; ++e) EXPECT_EQ(value(2, 2, points[e]), QString::number(stored[e])) << points[e];
  EXPECT_EQ(value(2, 2, "Test_Four_Total_Points"), totals_.at(1));
  EXPECT_EQ(value(2, 2, "Test_Four_Grader_Initials1"), "JK");
  EXPECT_EQ(value(2, 2, "OIC_NCOIC_Name_Test_Four"), "Tanaka, Ken");
  EXPECT_EQ(value(2, 2, "Test_Four_Rank_Grade"), "E-4");
  EXPECT_EQ(value(2, 2, "Test_Four_Body_Composition_Date"), "20260602");
  EXPECT_NE(value(2, 2, "Test_Four_Weight_Go"), "/Off");
  // The rowed day: the alternate's row filled, the run's left blank.
  EXPECT_EQ(value(2, 1, "Test_Two_Row_Swim_Bike_Walk"), "5K Row");
  EXPECT_EQ(value(2, 1, "Test_Two_Points7"), QString::number(fitnessTest().alternateGoPoints));
  EXPECT_EQ(value(2, 1, "Test_Two_Grader_Initials7"), "VW");
  EXPECT_NE(value(2, 1, "Test_Two_Go"), "/Off");
  EXPECT_EQ(value(2, 1, "Test_Two_Time3"), QString());
  EXPECT_EQ(value(2, 1, "Test_Two_Total_Points"), QString::number(rowedTotal_));
  // Moreno never tested: his header only.
  EXPECT_EQ(value(3, 1, "Name"), "Moreno, Luis T");
  EXPECT_EQ(value(3, 1, "Test_One_Date"), QString());
  int unsigned_ = 0;
  for (const PdfField& f : fields) unsigned_ += f.type == "/Sig" && !f.hasValue && !(f.flags & 1);
  EXPECT_EQ(unsigned_, 3 * 32) << "every signature field empty and open to a signer";

  // One soldier: the official names, and no warning for a body composition ten days off.
  const QString one = dir_.file(QStringLiteral("one form.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(one);
  select(1);
  action("MNU_CARDS_FORM_ONE")->trigger();
  EXPECT_EQ(window_->statusBar()->currentMessage(),
            QStringLiteral("1 official forms saved as %1.").arg(QDir::toNativeSeparators(one)));
  const QMap<QString, PdfField> own = pdfFields(qpdfJson(one));
  EXPECT_EQ(own.value("form1[0].Page2[0].Test_Four_Total_Points[0]").value, totals_.at(1));
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    EXPECT_TRUE(QFile::copy(one, QDir(shots).filePath(QStringLiteral("testday-official-form.pdf"))));
  }
}

TEST_F(CardsMenuTest, WithNoSoldierSelectedTheOneCardIsRefusedAndNoFileWritten) {
  const QString pdf = dir_.file(QStringLiteral("none.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(pdf);
  select(-1);
  action("MNU_CARDS_PDF_ONE")->trigger();
  EXPECT_EQ(window_->statusBar()->currentMessage(), QStringLiteral("Select a soldier of the group first."));
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(CardsMenuTest, TheSelectedSoldiersHistoryListsBothTestsNewestFirstAndAnSsnTypedShowsAnothers) {
  select(1);
  action("MNU_HISTORY_SELECTED")->trigger();
  auto* history = window_->findChild<HistoryWindow*>();
  ASSERT_NE(history, nullptr);
  EXPECT_TRUE(history->isVisible());
  auto* table = history->findChild<QTableWidget*>(QStringLiteral("historyTable"));
  QStringList rows;
  for (int r = 0; r < table->rowCount(); ++r)
    rows << table->item(r, 0)->text() + ' ' + table->item(r, 1)->text() + ' ' + table->item(r, 4)->text() + ' ' +
                table->item(r, 5)->text();
  ASSERT_EQ(rows.size(), 6) << rows.join('\n').toStdString();
  EXPECT_EQ(rows[0], threeEvent_);
  EXPECT_EQ(rows[1], "2026-06-12 Five-event " + totals_.at(1) + " GO");
  EXPECT_TRUE(rows[4].startsWith("2025-09-10 Five-event ")) << rows[4].toStdString();
  EXPECT_TRUE(rows[4].endsWith(" NO-GO")) << "50 points in the push-up that day";
  EXPECT_TRUE(rows[5].startsWith("2025-06-20 Five-event ")) << rows[5].toStdString();
  EXPECT_EQ(rows[3], QStringLiteral("2025-12-05 Five-event %1 GO").arg(rowedTotal_))
      << "the rowed day's total, scored from what was stored";
  const QList<ChartSeries>& chart = history->findChild<HistoryChart*>()->series();
  ASSERT_FALSE(chart.isEmpty());
  EXPECT_EQ(chart[0].points.size(), 5) << "five five-event totals; the three-event one is not on their scale";
  EXPECT_EQ(chart[0].points.last(), (std::pair{QDate(2026, 6, 12), totals_.at(1).toInt()}));
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    window_->resize(900, 420);
    QTest::qWait(50);
    EXPECT_TRUE(window_->grab().save(QDir(shots).filePath(QStringLiteral("testday-group.png"))));
    history->resize(980, 640);
    QTest::qWait(50);
    EXPECT_TRUE(history->grab().save(QDir(shots).filePath(QStringLiteral("testday-history.png"))));
  }
  history->close();

  action("MNU_HISTORY_SSN")->trigger();
  ASSERT_FALSE(window_->findChildren<HistoryWindow*>().isEmpty());
  HistoryWindow* typed = window_->findChildren<HistoryWindow*>().last();  // the one just opened
  auto* ssn = typed->findChild<QLineEdit*>(QStringLiteral("historySsn"));
  QTest::keyClicks(ssn, QStringLiteral("123456789"));
  QTest::keyClick(ssn, Qt::Key_Return);
  table = typed->findChild<QTableWidget*>(QStringLiteral("historyTable"));
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("Yates, Ann B"));
  EXPECT_EQ(table->item(0, 4)->text(), totals_.at(0));

  QTest::keyClicks(ssn, QStringLiteral("12"));
  QTest::keyClick(ssn, Qt::Key_Return);
  EXPECT_EQ(table->rowCount(), 0);
  EXPECT_EQ(typed->findChild<QLabel*>(QStringLiteral("historyStatus"))->text(),
            QStringLiteral("SSN: \"***-**-678912\" is not nine digits."));  // typed after the masked SSN
}
