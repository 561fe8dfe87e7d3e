// The clerk at the test-day window: a date typed over the field, a roster's
// columns, and closing the window with and without changes not yet saved.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "fakes.h"
#include "historywindow.h"
#include "rosterpreview.h"
#include "testdayclerk.h"
#include "testdaywindow.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

template <typename T>
T* child(QWidget* w, const char* name) {
  T* c = w->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}

// Selects everything in the field and types `text` over it, then leaves
// the field with Tab, as the clerk does.
void typeOver(QLineEdit* field, const QString& text) {
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(field, text);
  QTest::keyClick(field, Qt::Key_Tab);
}

QList<TestGroup> storedGroups(const QString& path) { return TestGroups::forDatabase(path)->all(); }

class GroupWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path_);
  }
  // A window whose questions the test answers.
  std::unique_ptr<TestDayWindow> window() {
    auto w = std::make_unique<TestDayWindow>(path_);
    w->setMessageSeam(&seam_);
    return w;
  }
  ScratchDir dir_;
  QString path_;
  ScriptedSeam seam_;
};

}  // namespace

TEST_F(GroupWindow, ADateTypedOverTheWholeFieldIsTheDateTypedOrRefusedWithItsReason) {
  const auto w = window();
  startGroup(*w, QStringLiteral("Gym"));
  auto* date = child<QLineEdit>(w.get(), "testDate");
  typeOver(date, QStringLiteral("2025-06-30"));
  EXPECT_EQ(w->groupOnScreen().testDate, QStringLiteral("2025-06-30"));
  QTest::mouseClick(child<QPushButton>(w.get(), "saveGroup"), Qt::LeftButton);
  ASSERT_EQ(storedGroups(path_).size(), 1);
  EXPECT_EQ(storedGroups(path_).first().testDate, QStringLiteral("2025-06-30"));

  // The records' own way of writing a date is taken too, and shown as kept.
  typeOver(date, QStringLiteral("7/4/2025"));
  EXPECT_EQ(date->text(), QStringLiteral("2025-07-04"));

  // No such day: refused with the value, and what was stored stays.
  typeOver(date, QStringLiteral("2025-02-30"));
  EXPECT_TRUE(w->statusBar()->currentMessage().contains(QStringLiteral("'2025-02-30'")))
      << w->statusBar()->currentMessage().toStdString();
  QTest::mouseClick(child<QPushButton>(w.get(), "saveGroup"), Qt::LeftButton);
  EXPECT_TRUE(w->statusBar()->currentMessage().startsWith(QStringLiteral("Date of test: '2025-02-30'")))
      << w->statusBar()->currentMessage().toStdString();
  EXPECT_EQ(storedGroups(path_).first().testDate, QStringLiteral("2025-06-30"));
  EXPECT_EQ(date->text(), QStringLiteral("2025-02-30")) << "what was typed stays to be corrected";
}

TEST_F(GroupWindow, ARostersUnitStandardAndRankJoinAndTheColumnsNotTakenAreNamed) {
  const QString roster = writeRoster(dir_, "Name,SSN,Sex,DOB,Rank,Unit,Standard,Shoe Size\r\n"
                                           "\"Yates, Ann\",111-22-3333,F,1998-02-28,SGT,A Co 1-5,C,7\r\n"
                                           "\"Cole, Cy\",333-44-5555,M,1997-04-02,PFC,A Co 1-5,elite,9\r\n");
  const auto w = window();
  startGroup(*w, QStringLiteral("Range 3"));
  w->importRoster(roster);
  auto* preview = w->findChild<RosterPreviewDialog*>();
  ASSERT_NE(preview, nullptr) << w->statusBar()->currentMessage().toStdString();
  EXPECT_EQ(child<QLabel>(preview, "unusedColumns")->text(), QStringLiteral("Columns not used: Shoe Size"));
  auto* joining = child<QListWidget>(preview, "joining");
  ASSERT_EQ(joining->count(), 1);
  EXPECT_EQ(joining->item(0)->text(), QStringLiteral("line 2: Yates, Ann, ***-**-3333, combat, SGT, A Co 1-5"));
  auto* refused = child<QListWidget>(preview, "notJoining");
  ASSERT_EQ(refused->count(), 1);
  EXPECT_EQ(refused->item(0)->text(), QStringLiteral("line 3: column \"Standard\": \"elite\" is neither combat nor general"));
  acceptRosterPreview(*w);

  QTest::mouseClick(child<QPushButton>(w.get(), "saveGroup"), Qt::LeftButton);
  ASSERT_EQ(storedGroups(path_).size(), 1);
  const QList<GroupMember> members = storedGroups(path_).first().members;
  ASSERT_EQ(members.size(), 1);
  EXPECT_EQ(members.at(0),
            (GroupMember{"111223333", "Yates, Ann", "F", "1998-02-28", "A Co 1-5", "combat", "SGT"}));
}

TEST_F(GroupWindow, SsnsShowTheirLastFourDigitsUntilTheClerkAsksAndAreKeptWhole) {
  const QString roster = writeRoster(dir_, "Name,SSN,Sex,DOB,Standard\r\n"
                                           "\"Yates, Ann\",111-22-3333,F,1998-02-28,combat\r\n");
  const auto w = window();
  startGroup(*w, QStringLiteral("Range 3"));
  w->importRoster(roster);
  acceptRosterPreview(*w);
  auto* soldiers = child<QTableWidget>(w.get(), "soldiers");
  ASSERT_EQ(soldiers->rowCount(), 1);
  const auto shownInCell = [&] {
    const auto* delegate =
        qobject_cast<QStyledItemDelegate*>(soldiers->itemDelegateForIndex(soldiers->model()->index(0, 0)));
    EXPECT_NE(delegate, nullptr);
    return !delegate ? QString() : delegate->displayText(soldiers->item(0, 0)->data(Qt::DisplayRole), QLocale());
  };
  EXPECT_EQ(shownInCell(), QStringLiteral("***-**-3333"));

  // Asked for with the window's own key, the whole SSN; and a roster
  // previewed now shows it whole too.
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(shownInCell(), QStringLiteral("111-22-3333"));
  w->importRoster(writeRoster(dir_, "Name,SSN,Sex,DOB,Standard\r\n\"Cole, Cy\",333-44-5555,M,1997-04-02,combat\r\n"));
  auto* preview = w->findChild<RosterPreviewDialog*>();
  ASSERT_NE(preview, nullptr);
  ASSERT_EQ(child<QListWidget>(preview, "joining")->count(), 1);
  EXPECT_TRUE(child<QListWidget>(preview, "joining")->item(0)->text().contains(QStringLiteral("333-44-5555")));
  preview->reject();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // The group keeps the SSN whole, whatever its cell shows.
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(shownInCell(), QStringLiteral("***-**-3333"));
  QTest::mouseClick(child<QPushButton>(w.get(), "saveGroup"), Qt::LeftButton);
  ASSERT_EQ(storedGroups(path_).size(), 1);
  EXPECT_EQ(storedGroups(path_).first().members.value(0).ssn, QStringLiteral("111223333"));
}

TEST_F(GroupWindow, ClosingAChangedGroupAsksAndEachAnswerDoesWhatItSays) {
  {
    const auto w = window();
    startGroup(*w, QStringLiteral("Range 3"));
    seam_.saveAnswers = {SaveChoice::Cancel};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(seam_.questions(), 1);
    EXPECT_TRUE(seam_.shown.back().text.contains(QStringLiteral("Range 3"))) << seam_.shown.back().text.toStdString();
    EXPECT_EQ(w->groupOnScreen().location, QStringLiteral("Range 3"));

    seam_.saveAnswers = {SaveChoice::Discard};
    EXPECT_TRUE(w->close());
    EXPECT_EQ(seam_.questions(), 2);
    EXPECT_TRUE(storedGroups(path_).isEmpty());
  }
  {
    const auto w = window();
    startGroup(*w, QStringLiteral("Range 4"));
    seam_.saveAnswers = {SaveChoice::Save};
    EXPECT_TRUE(w->close());
    EXPECT_EQ(seam_.questions(), 3);
    ASSERT_EQ(storedGroups(path_).size(), 1);
    EXPECT_EQ(storedGroups(path_).first().location, QStringLiteral("Range 4"));
  }
  {
    // The saved group shown again: a change that cannot be saved keeps the
    // window open with the reason; the stored group is as it was.
    const auto w = window();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_FALSE(w->hasUnsavedChanges());
    child<QLineEdit>(w.get(), "location")->clear();
    seam_.saveAnswers = {SaveChoice::Save};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->statusBar()->currentMessage().startsWith(QStringLiteral("Location:")))
        << w->statusBar()->currentMessage().toStdString();
    EXPECT_EQ(storedGroups(path_).first().location, QStringLiteral("Range 4"));
    seam_.saveAnswers = {SaveChoice::Discard};
    EXPECT_TRUE(w->close());
  }
  {
    // Nothing changed: closed without a question (an unscripted one fails).
    const int asked = seam_.questions();
    const auto w = window();
    w->show();
    EXPECT_TRUE(w->close());
    EXPECT_EQ(seam_.questions(), asked);
  }
}

TEST_F(GroupWindow, EscapeAndTheCloseKeyCloseTheWindowAskingFirstAboutChanges) {
  const auto w = window();
  startGroup(*w, QStringLiteral("Gym"));
  seam_.saveAnswers = {SaveChoice::Cancel};
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(seam_.questions(), 1);
  EXPECT_TRUE(w->isVisible());

  // An open cell editor takes Escape for itself: the edit is dropped, the
  // window stays and nothing is asked.
  QTest::mouseClick(child<QPushButton>(w.get(), "addSoldier"), Qt::LeftButton);
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1"));
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("23"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(seam_.questions(), 1);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->groupOnScreen().members.value(0).ssn, QString());

  auto* close = child<QAction>(w.get(), "MNU_TESTDAY_CLOSE");
  EXPECT_TRUE(close->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_W)));
  seam_.saveAnswers = {SaveChoice::Discard};
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(seam_.questions(), 2);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(GroupWindow, TheHistoryWindowClosesWithEscapeTheCloseKeyAndItsButton) {
  HistoryWindow h(path_);
  const QList<std::function<void()>> ways = {
      [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); },
      [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::ControlModifier); },
      [&] { QTest::mouseClick(child<QPushButton>(&h, "historyClose"), Qt::LeftButton); },
  };
  for (qsizetype i = 0; i < ways.size(); ++i) {
    h.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&h));
    child<QLineEdit>(&h, "historySsn")->setFocus();
    ways.at(i)();
    EXPECT_FALSE(h.isVisible()) << "way " << i;
  }
}
