// The Alternate window driven through its real widgets: layout, the OK
// handler, the wait for a judged entry, and EndAlternate.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "alternate.h"
#include "conversionstate.h"
#include "statusword.h"
#include "fakes.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;
using quillon::test::ScriptedSeam;

namespace {

// A conversion has just started: nothing judged yet.
void startConversion(ConversionState& st, const QString& key) {
  st = ConversionState();
  st.AgeSexKey = key;
  st.AltResult = StatusWord::PASS;
  st.AltState = StatusWord::FLAG;
}

void enter(Alternate& w, const QString& event, const QString& m, const QString& s) {
  w.Combo1->setEditText(QString());
  QTest::keyClicks(w.Combo1, event);
  w.M->clear();
  QTest::keyClicks(w.M, m);
  w.S->clear();
  QTest::keyClicks(w.S, s);
}

void pressOk(Alternate& w) { QTest::mouseClick(w.Command1, Qt::LeftButton); }

class AlternateWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.copyTables();
    startConversion(st, "BM");
  }
  ScratchDir dir;
  ScriptedSeam seam;
  ConversionState st;
};

}  // namespace

TEST_F(AlternateWindow, CaptionFrameAndControls) {
  Alternate w(seam, st);
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Alternate Test Standards"));
  EXPECT_TRUE(w.isWindow());
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_TRUE(w.font().bold());
  EXPECT_DOUBLE_EQ(w.font().pointSizeF(), 8.25);

  EXPECT_EQ(w.Frame1->title(), QStringLiteral("Select Event"));
  EXPECT_EQ(w.Label1->text(), QStringLiteral(":"));
  EXPECT_EQ(w.Command1->text(), QStringLiteral("OK"));
  EXPECT_TRUE(w.Combo1->isEditable());
  for (QWidget* inFrame : {static_cast<QWidget*>(w.Combo1), static_cast<QWidget*>(w.M),
                           static_cast<QWidget*>(w.Label1), static_cast<QWidget*>(w.S)})
    EXPECT_EQ(inFrame->parentWidget(), w.Frame1) << qPrintable(inFrame->objectName());
  EXPECT_EQ(w.Command1->parentWidget(), &w);

  // Every control can be found by its name.
  EXPECT_EQ(w.findChild<QComboBox*>("Combo1"), w.Combo1);
  EXPECT_EQ(w.findChild<QLineEdit*>("M"), w.M);
  EXPECT_EQ(w.findChild<QLineEdit*>("S"), w.S);
  EXPECT_EQ(w.findChild<QLabel*>("Label1"), w.Label1);
  EXPECT_EQ(w.findChild<QPushButton*>("Command1"), w.Command1);
  EXPECT_EQ(w.findChild<QGroupBox*>("Frame1"), w.Frame1);
}

TEST_F(AlternateWindow, PositionsFollowTheFormAtScreenScale) {
  Alternate w(seam, st);
  const double k = w.logicalDpiX() / 96.0;
  auto r = [k](int l, int t, int wd, int h) {
    return QRect(qRound(l * k), qRound(t * k), qRound(wd * k), qRound(h * k));
  };
  // Twips / 15 at 96 dpi. The event list may only be wider than drawn, when
  // the font at hand needs it, and then what stands right of it moves along.
  const int extra = w.Combo1->width() - r(0, 0, 89, 0).width();
  EXPECT_GE(extra, 0);
  const QPoint shift(extra, 0);
  EXPECT_EQ(w.size(), r(0, 0, 228, 135).size() + QSize(extra, 0));
  EXPECT_EQ(w.Frame1->geometry(), r(16, 16, 193, 65).adjusted(0, 0, extra, 0));
  EXPECT_EQ(w.Combo1->geometry(), r(16, 24, 89, 21).adjusted(0, 0, extra, 0));
  EXPECT_EQ(w.M->geometry(), r(112, 24, 25, 19).translated(shift));
  EXPECT_EQ(w.Label1->geometry(), r(144, 24, 9, 17).translated(shift));
  EXPECT_EQ(w.S->geometry(), r(152, 24, 25, 19).translated(shift));
  EXPECT_EQ(w.Command1->geometry(), r(88, 96, 73, 25).translated(extra / 2, 0));
  // Every event shows whole in the list's text field.
  w.show();
  for (int i = 0; i < 3; ++i) {
    w.Combo1->setCurrentIndex(i);
    EXPECT_LE(w.Combo1->fontMetrics().horizontalAdvance(w.Combo1->currentText()),
              w.Combo1->lineEdit()->contentsRect().width())
        << qPrintable(w.Combo1->currentText());
  }
  // Minutes, colon, seconds from left to right.
  EXPECT_LT(w.M->geometry().right(), w.Label1->geometry().left());
  EXPECT_LT(w.Label1->geometry().left(), w.S->geometry().left());
}

TEST_F(AlternateWindow, TabOrderAndTwoCharacterEntries) {
  Alternate w(seam, st);
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.Combo1->setFocus();
  QWidget* expected[] = {w.M, w.S, w.Command1, w.Combo1};
  for (QWidget* next : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* f = QApplication::focusWidget();
    // The combo's own text field stands for the combo.
    if (f && f->parentWidget() == w.Combo1) f = w.Combo1;
    EXPECT_EQ(f, next) << qPrintable(next->objectName());
  }
  QTest::keyClicks(w.M, "123");
  QTest::keyClicks(w.S, "456");
  EXPECT_EQ(w.M->text(), QStringLiteral("12"));
  EXPECT_EQ(w.S->text(), QStringLiteral("45"));
}

TEST_F(AlternateWindow, FirstShowFillsTheEventListOnce) {
  Alternate w(seam, st);
  EXPECT_EQ(w.Combo1->count(), 0);
  EXPECT_FALSE(w.standards().isOpen());
  w.show();
  ASSERT_EQ(w.Combo1->count(), 3);
  EXPECT_EQ(w.Combo1->itemText(0), QStringLiteral("800 Y Swim"));
  EXPECT_EQ(w.Combo1->itemText(1), QStringLiteral("6.2M Bike"));
  EXPECT_EQ(w.Combo1->itemText(2), QStringLiteral("2.5M Walk"));
  EXPECT_TRUE(w.Combo1->currentText().isEmpty());
  EXPECT_TRUE(w.standards().isOpen());
  w.hide();
  w.show();
  EXPECT_EQ(w.Combo1->count(), 3);
  // Enter in the event field must not grow the list.
  QTest::keyClicks(w.Combo1, "Row");
  QTest::keyClick(w.Combo1, Qt::Key_Return);
  EXPECT_EQ(w.Combo1->count(), 3);
}

TEST_F(AlternateWindow, OkJudgesTheEntryAndClearsTheTime) {
  Alternate w(seam, st);
  QSignalSpy judged(&w, &Alternate::judged);
  w.show();
  enter(w, "800 Y Swim", "20", "30");
  pressOk(w);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(judged.count(), 1);
  EXPECT_EQ(st.AltState, StatusWord::DONE);
  EXPECT_EQ(st.AltResult, StatusWord::PASS);
  EXPECT_EQ(st.AltMaxTime, 2030);
  EXPECT_TRUE(w.M->text().isEmpty());
  EXPECT_TRUE(w.S->text().isEmpty());
  EXPECT_EQ(w.Combo1->currentText(), QStringLiteral("800 Y Swim"));
  EXPECT_TRUE(w.isVisible());  // only EndAlternate hides it

  startConversion(st, "BM");
  QTest::keyClicks(w.M, "20");
  QTest::keyClicks(w.S, "31");
  pressOk(w);
  EXPECT_EQ(st.AltState, StatusWord::DONE);
  EXPECT_EQ(st.AltResult, StatusWord::FAIL);
  EXPECT_EQ(st.AltMaxTime, 2030);
}

TEST_F(AlternateWindow, RefusedEntriesShowTheirMessageAndChangeNothing) {
  Alternate w(seam, st);
  w.show();
  st.AltMaxTime = 1234;
  struct Case {
    const char* event;
    const char* m;
    const char* s;
    const char* key;
    QString message;
  };
  const Case cases[] = {
      {"2.5M Walk", "", "30", "BM", "Event minutes must be numeric"},
      {"2.5M Walk", "3x", "30", "BM", "Event minutes must be numeric"},
      {"2.5M Walk", "30", "", "BM", "Event seconds must be numeric"},
      {"2.5M Walk", "30", "60", "BM", "Entry for seconds is not valid"},
      {"2.5m walk", "30", "30", "BM", "Unknown"},
      {"2.5M Walk", "30", "30", "XM", "Invalid DOB or Sex"},
      {"2.5M Walk", "-1", "30", "BM", AltMessage::MinutesNegative},
      {"2.5M Walk", "30", "-5", "BM", "Unknown"},
      {"2.5M Walk", "30", "+5", "XM", "Unknown"},
  };
  for (const Case& c : cases) {
    seam.shown.clear();
    st.AgeSexKey = c.key;
    enter(w, c.event, c.m, c.s);
    pressOk(w);
    ASSERT_EQ(seam.shown.size(), 1u) << c.m << "/" << c.s;
    EXPECT_EQ(seam.shown[0].text, c.message);
    EXPECT_EQ(seam.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(seam.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(seam.shown[0].question);
    EXPECT_EQ(st.AltState, StatusWord::FLAG);
    EXPECT_EQ(st.AltResult, StatusWord::PASS);
    EXPECT_EQ(st.AltMaxTime, 1234);
    EXPECT_EQ(w.M->text(), QString::fromLatin1(c.m));
    EXPECT_EQ(w.S->text(), QString::fromLatin1(c.s));
    EXPECT_EQ(w.Combo1->currentText(), QString::fromLatin1(c.event));
  }
  // Minutes far above any standard are accepted and fail.
  seam.shown.clear();
  st.AgeSexKey = "BM";
  enter(w, "2.5M Walk", "99", "0");
  pressOk(w);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(st.AltResult, StatusWord::FAIL);
  EXPECT_EQ(st.AltMaxTime, 3430);
}

TEST_F(AlternateWindow, NoEventChosenDoesNothing) {
  Alternate w(seam, st);
  QSignalSpy judged(&w, &Alternate::judged);
  w.show();
  enter(w, "", "15", "30");
  pressOk(w);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(judged.count(), 0);
  EXPECT_EQ(st.AltState, StatusWord::FLAG);
  EXPECT_EQ(w.M->text(), QStringLiteral("15"));
  EXPECT_EQ(w.S->text(), QStringLiteral("30"));
}

TEST_F(AlternateWindow, AnEventTypedInAnotherCaseIsNotTakenForTheListItem) {
  Alternate w(seam, st);
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  for (const char* typed : {"2.5m walk", "800 y swim"}) {
    seam.shown.clear();
    w.Combo1->setFocus();
    enter(w, typed, "30", "30");
    // The focus leaves the event box, as a click on OK makes it.
    w.Combo1->setFocus();
    w.Command1->setFocus(Qt::MouseFocusReason);
    pressOk(w);
    EXPECT_EQ(w.Combo1->currentText(), QString::fromLatin1(typed));
    ASSERT_EQ(seam.shown.size(), 1u) << typed;
    EXPECT_EQ(seam.shown[0].text, "Unknown");
    EXPECT_EQ(st.AltState, StatusWord::FLAG);
  }
}

TEST_F(AlternateWindow, ChoosingFromTheListJudgesThatEvent) {
  st.AgeSexKey = "BF";
  Alternate w(seam, st);
  w.show();
  w.Combo1->setCurrentIndex(1);
  QTest::keyClicks(w.M, "15");
  QTest::keyClicks(w.S, "30");
  pressOk(w);
  EXPECT_EQ(st.AltState, StatusWord::DONE);
  EXPECT_EQ(st.AltMaxTime, 2530);
  EXPECT_EQ(w.Combo1->currentText(), QStringLiteral("6.2M Bike"));
}

TEST_F(AlternateWindow, OneDigitSecondsAreSeconds) {
  // Bike BM is 24:30: 24:05 passes, 24:5 read as 245 would too, so take walk
  // AM 34:00 against 34:5 -> 34:05, over; joined as typed (345) it would pass.
  st.AgeSexKey = "AM";
  Alternate w(seam, st);
  w.show();
  enter(w, "2.5M Walk", "34", "5");
  pressOk(w);
  EXPECT_EQ(st.AltState, StatusWord::DONE);
  EXPECT_EQ(st.AltMaxTime, 3400);
  EXPECT_EQ(st.AltResult, StatusWord::FAIL);
}

TEST_F(AlternateWindow, MissingStandardsFileGivesUnknownAndIsNotCreated) {
  QFile::remove(dir.file("As.dat"));
  Alternate w(seam, st);
  w.show();
  EXPECT_FALSE(w.standards().isOpen());
  EXPECT_EQ(w.Combo1->count(), 3);  // the window still loads
  enter(w, "800 Y Swim", "20", "30");
  pressOk(w);
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].text, QStringLiteral("Unknown"));
  EXPECT_EQ(st.AltState, StatusWord::FLAG);
  EXPECT_FALSE(QFile::exists(dir.file("As.dat")));
  EXPECT_EQ(w.standards().timesOpened(), 0);

  // Once the file is in place, the next OK uses it, and keeps it open.
  ASSERT_TRUE(QFile::copy(quillon::test::dataFile("As.dat"), dir.file("As.dat")));
  seam.shown.clear();
  pressOk(w);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(st.AltState, StatusWord::DONE);
  EXPECT_EQ(st.AltMaxTime, 2030);
  EXPECT_EQ(w.standards().timesOpened(), 1);
  enter(w, "800 Y Swim", "20", "30");
  pressOk(w);
  EXPECT_EQ(w.standards().timesOpened(), 1);
}

TEST_F(AlternateWindow, StandardsFileTooShortGivesUnknown) {
  QFile f(dir.file("As.dat"));
  ASSERT_TRUE(f.resize(82 + 40));  // record 1 whole, record 2 cut short
  Alternate w(seam, st);
  w.show();
  enter(w, "6.2M Bike", "20", "30");
  pressOk(w);
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].text, QStringLiteral("Unknown"));
  EXPECT_EQ(st.AltState, StatusWord::FLAG);
  seam.shown.clear();
  enter(w, "800 Y Swim", "20", "30");
  pressOk(w);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(st.AltState, StatusWord::DONE);
}

TEST_F(AlternateWindow, WaitEndsWhenAnEntryIsJudged) {
  Alternate w(seam, st);
  bool sawWaiting = false;
  bool sawVisible = false;
  QTimer::singleShot(0, &w, [&] {
    sawWaiting = w.isWaiting();
    sawVisible = w.isVisible();
    // A refused entry keeps the wait going.
    enter(w, "800 Y Swim", "20", "61");
    pressOk(w);
    QTimer::singleShot(0, &w, [&] {
      EXPECT_TRUE(w.isWaiting());
      enter(w, "800 Y Swim", "20", "30");
      pressOk(w);
    });
  });
  EXPECT_TRUE(w.waitUntilDone());
  EXPECT_TRUE(sawWaiting);
  EXPECT_TRUE(sawVisible);
  EXPECT_FALSE(w.isWaiting());
  EXPECT_EQ(st.AltState, StatusWord::DONE);
  EXPECT_EQ(seam.texts(), QStringList{"Entry for seconds is not valid"});
  EXPECT_TRUE(w.isVisible());
}

TEST_F(AlternateWindow, NoEventChosenKeepsTheWaitGoing) {
  Alternate w(seam, st);
  int passes = 0;
  QTimer::singleShot(0, &w, [&] {
    enter(w, "", "20", "30");
    pressOk(w);
    ++passes;
    QTimer::singleShot(0, &w, [&] {
      EXPECT_TRUE(w.isWaiting());
      ++passes;
      w.Combo1->setCurrentIndex(2);
      pressOk(w);
    });
  });
  EXPECT_TRUE(w.waitUntilDone());
  EXPECT_EQ(passes, 2);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(st.AltMaxTime, 3430);
}

TEST_F(AlternateWindow, CloseBoxDuringTheWaitShowsTheWindowAgain) {
  Alternate w(seam, st);
  bool shownAgain = false;
  bool stillWaiting = false;
  QTimer::singleShot(0, &w, [&] {
    EXPECT_TRUE(w.close());
    QTimer::singleShot(0, &w, [&] {
      shownAgain = w.isVisible();
      stillWaiting = w.isWaiting();
      enter(w, "6.2M Bike", "24", "30");
      pressOk(w);
    });
  });
  EXPECT_TRUE(w.waitUntilDone());
  EXPECT_TRUE(shownAgain);
  EXPECT_TRUE(stillWaiting);
  EXPECT_EQ(w.standards().timesOpened(), 1);
  EXPECT_EQ(st.AltMaxTime, 2430);
}

TEST_F(AlternateWindow, ClosingWhenNotWaitingJustCloses) {
  Alternate w(seam, st);
  w.show();
  EXPECT_TRUE(w.close());
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.isVisible());
}

TEST_F(AlternateWindow, TheOneOpenStandardsFileIsKeptAcrossShows) {
  Alternate w(seam, st);
  w.show();
  ASSERT_TRUE(w.standards().isOpen());
  // Whatever happens to As.dat on disk later, the file opened at load is the
  // one read: replace it with one that holds nothing.
  ASSERT_TRUE(QFile::remove(dir.file("As.dat")));
  {
    QFile empty(dir.file("As.dat"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  }
  w.hide();
  QTimer::singleShot(0, &w, [&] {
    enter(w, "2.5M Walk", "30", "0");
    pressOk(w);
  });
  EXPECT_TRUE(w.waitUntilDone());
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(st.AltMaxTime, 3430);
  EXPECT_EQ(w.standards().timesOpened(), 1);
  EXPECT_EQ(w.Combo1->count(), 3);
}

TEST_F(AlternateWindow, AbandonedWaitReturnsFalseAndJudgesNothing) {
  Alternate w(seam, st);
  QTimer::singleShot(0, &w, [&] {
    QTest::keyClicks(w.M, "20");
    w.abandonWait();
  });
  EXPECT_FALSE(w.waitUntilDone());
  EXPECT_FALSE(w.isWaiting());
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(st.AltState, StatusWord::FLAG);
  // Outside a wait it changes nothing.
  w.abandonWait();
  EXPECT_FALSE(w.isWaiting());
  // The next wait is an ordinary one.
  QTimer::singleShot(0, &w, [&] {
    enter(w, "800 Y Swim", "20", "30");
    pressOk(w);
  });
  EXPECT_TRUE(w.waitUntilDone());

  // An entry judged after the program began to close does not count.
  startConversion(st, "BM");
  QTimer::singleShot(0, &w, [&] {
    w.abandonWait();
    enter(w, "800 Y Swim", "20", "30");
    w.Command1_Click();
  });
  EXPECT_FALSE(w.waitUntilDone());
  EXPECT_EQ(st.AltState, StatusWord::DONE);
}

TEST_F(AlternateWindow, ASecondWaitDoesNotStartWhileOneRuns) {
  Alternate w(seam, st);
  bool innerResult = true;
  QTimer::singleShot(0, &w, [&] {
    // Queued first, so that a second wait that did start would be ended by
    // this entry and report it.
    QTimer::singleShot(0, &w, [&] {
      enter(w, "800 Y Swim", "20", "30");
      pressOk(w);
    });
    innerResult = w.waitUntilDone();
    EXPECT_TRUE(w.isWaiting());
  });
  EXPECT_TRUE(w.waitUntilDone());
  EXPECT_FALSE(innerResult);
  EXPECT_FALSE(w.isWaiting());
}

TEST_F(AlternateWindow, NoWaitWhenTheEntryWasAlreadyJudged) {
  Alternate w(seam, st);
  st.AltState = StatusWord::DONE;
  EXPECT_TRUE(w.waitUntilDone());
  EXPECT_FALSE(w.isVisible());
}

TEST(EndAlternateTest, ActsOnlyOnceAnEntryWasJudged) {
  ScriptedSeam seam;
  QWidget form;
  form.show();
  ConversionState st;
  st.AltState = StatusWord::FLAG;
  st.AltResult = StatusWord::PASS;
  st.AltMaxTime = 2030;
  reportAlternateAndHide(&form, seam, st);
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_TRUE(form.isVisible());

  st.AltState = StatusWord::DONE;
  st.AltResult = StatusWord::FAIL;
  reportAlternateAndHide(&form, seam, st);
  EXPECT_FALSE(form.isVisible());
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].text, QStringLiteral("Maximum allowable time 20:30"));
  EXPECT_EQ(seam.shown[0].title, QStringLiteral("Alternate Test: FAIL"));
  EXPECT_EQ(seam.shown[0].icon, MsgIcon::None);
  EXPECT_FALSE(seam.shown[0].question);
  // AltState is left for the next Convert to reset.
  EXPECT_EQ(st.AltState, StatusWord::DONE);

  st.AltResult = StatusWord::PASS;
  st.AltMaxTime = 955;
  reportAlternateAndHide(nullptr, seam, st);
  ASSERT_EQ(seam.shown.size(), 2u);
  EXPECT_EQ(seam.shown[1].text, QStringLiteral("Maximum allowable time 9:55"));
  EXPECT_EQ(seam.shown[1].title, QStringLiteral("Alternate Test: PASS"));
}

TEST(EndAlternateTest, TimeText) {
  EXPECT_EQ(maxAllowableTimeText(2030), QStringLiteral("20:30"));
  EXPECT_EQ(maxAllowableTimeText(4130), QStringLiteral("41:30"));
  EXPECT_EQ(maxAllowableTimeText(1005), QStringLiteral("10:05"));
  EXPECT_EQ(maxAllowableTimeText(955), QStringLiteral("9:55"));
  EXPECT_EQ(maxAllowableTimeText(905), QStringLiteral("9:05"));
  EXPECT_EQ(maxAllowableTimeText(45), QStringLiteral("0:45"));
  EXPECT_EQ(maxAllowableTimeText(0), QStringLiteral("0:00"));
}

TEST_F(AlternateWindow, WholePathWaitThenEndAlternate) {
  // The window hides once the report is given, and comes back for the next
  // soldier with the previous event still chosen and an empty time.
  Alternate w(seam, st);
  QTimer::singleShot(0, &w, [&] {
    enter(w, "2.5M Walk", "34", "31");
    pressOk(w);
  });
  ASSERT_TRUE(w.waitUntilDone());
  reportAlternateAndHide(&w, seam, st);
  EXPECT_FALSE(w.isVisible());
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].text, QStringLiteral("Maximum allowable time 34:30"));
  EXPECT_EQ(seam.shown[0].title, QStringLiteral("Alternate Test: FAIL"));

  startConversion(st, "BM");
  QString eventSeen;
  QString minutesSeen = "x";
  QTimer::singleShot(0, &w, [&] {
    eventSeen = w.Combo1->currentText();
    minutesSeen = w.M->text();
    QTest::keyClicks(w.M, "34");
    QTest::keyClicks(w.S, "30");
    pressOk(w);
  });
  ASSERT_TRUE(w.waitUntilDone());
  EXPECT_EQ(eventSeen, QStringLiteral("2.5M Walk"));
  EXPECT_TRUE(minutesSeen.isEmpty());
  EXPECT_EQ(st.AltResult, StatusWord::PASS);
}
