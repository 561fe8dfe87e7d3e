// The test-day window's Cards and History menus driven as a clerk does,
// over a saved group whose results were entered lane by lane: the cards
// come out as a PDF whose text a PDF reader finds, and the history window
// shows the soldier's tests.
#include <QAction>
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
#include "dbfile.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "historywindow.h"
#include "laneentry.h"
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
  EXPECT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// A saved group of three; the first two tested all five events, each with
// other results, the third did not test.
class CardsMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path_);
    group_ = TestGroups::forDatabase(path_)->save(rangeDayGroup());
    std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path_);
    QUndoStack undo;
    LaneSheet sheet(group_, *store, undo);
    const fitness::FitnessTest& t = fitnessTest();
    const int column = fitness::columnIndex(t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                            fitness::Column::MaleCombat);
    const LaneField lanes[] = {LaneField::DeadliftFirst, LaneField::PushUp, LaneField::SprintDragCarry,
                               LaneField::Plank, LaneField::Run};
    const int points[2][5] = {{85, 75, 80, 90, 65}, {100, 95, 70, 60, 80}};
    for (int m = 0; m < 2; ++m) {
      for (int e = 0; e < 5; ++e) ASSERT_EQ(sheet.enter(m, lanes[e], figureFor(e, column, points[m][e])), QString());
      ASSERT_TRUE(sheet.line(m).total.has_value());
      totals_ << QString::number(*sheet.line(m).total);
    }
    window_ = std::make_unique<TestDayWindow>(path_);
    window_->show();
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
  EXPECT_TRUE(text.contains(QStringLiteral("20260612")));

  // One soldier: the selected row's card only.
  const QString one = dir_.file(QStringLiteral("one.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(one);
  select(1);
  action("MNU_CARDS_PDF_ONE")->trigger();
  const QString oneText = pdfText(one);
  EXPECT_EQ(oneText.count(QStringLiteral("Abernathy, Cole")), 2);
  EXPECT_FALSE(oneText.contains(QStringLiteral("Yates")));
  EXPECT_TRUE(oneText.contains(totals_.at(1)));
}

TEST_F(CardsMenuTest, WithNoSoldierSelectedTheOneCardIsRefusedAndNoFileWritten) {
  const QString pdf = dir_.file(QStringLiteral("none.pdf"));
  window_->findChild<CardsMenu*>()->setPdfDestination(pdf);
  select(-1);
  action("MNU_CARDS_PDF_ONE")->trigger();
  EXPECT_EQ(window_->statusBar()->currentMessage(), QStringLiteral("Select a soldier of the group first."));
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(CardsMenuTest, TheSelectedSoldiersHistoryListsTheirTestAndAnSsnTypedShowsAnothers) {
  select(0);
  action("MNU_HISTORY_SELECTED")->trigger();
  auto* history = window_->findChild<HistoryWindow*>();
  ASSERT_NE(history, nullptr);
  EXPECT_TRUE(history->isVisible());
  auto* table = history->findChild<QTableWidget*>(QStringLiteral("historyTable"));
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("2026-06-12"));
  EXPECT_EQ(table->item(0, 4)->text(), totals_.at(0));
  history->close();

  action("MNU_HISTORY_SSN")->trigger();
  QCoreApplication::processEvents();
  ASSERT_FALSE(window_->findChildren<HistoryWindow*>().isEmpty());
  HistoryWindow* typed = window_->findChildren<HistoryWindow*>().last();  // the one just opened
  QTest::keyClicks(typed->findChild<QLineEdit*>(QStringLiteral("historySsn")), QStringLiteral("000-00-0001"));
  QTest::keyClick(typed->findChild<QLineEdit*>(QStringLiteral("historySsn")), Qt::Key_Return);
  table = typed->findChild<QTableWidget*>(QStringLiteral("historyTable"));
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("Abernathy, Cole"));
  EXPECT_EQ(table->item(0, 4)->text(), totals_.at(1));

  QTest::keyClicks(typed->findChild<QLineEdit*>(QStringLiteral("historySsn")), QStringLiteral("12"));
  QTest::keyClick(typed->findChild<QLineEdit*>(QStringLiteral("historySsn")), Qt::Key_Return);
  EXPECT_EQ(table->rowCount(), 0);
  EXPECT_TRUE(typed->findChild<QLabel*>(QStringLiteral("historyStatus"))->text().contains(QStringLiteral("000-00-000112")));
}
