#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "rosters.h"
#include "testdaymenu.h"
#include "testdaywindow.h"
#include "testgroupfixture.h"
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

// Types one soldier's row the way a clerk does: Add Soldier, then each
// value followed by Tab.
void typeSoldier(TestDayWindow& w, const QStringList& values) {
  QTest::mouseClick(child<QPushButton>(&w, "addSoldier"), Qt::LeftButton);
  for (const QString& v : values) {
    // The first key opens the cell's editor, which takes the rest.
    QTest::keyClicks(QApplication::focusWidget(), v.left(1));
    QTest::keyClicks(QApplication::focusWidget(), v.mid(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
}

}  // namespace

TEST(TestDayMenu, StandsJustBeforeHelpAndOpensOneWindowAtATime) {
  ScratchDir dir;
  createRecordsDatabase(dir.file(QStringLiteral("info.mdb")));
  QMainWindow main;
  QMenu* file = main.menuBar()->addMenu(QStringLiteral("&File"));
  QMenu* help = main.menuBar()->addMenu(QStringLiteral("&Help"));
  help->menuAction()->setObjectName(QStringLiteral("MNU_HELP"));
  addTestDayMenu(main.menuBar(), dir.file(QStringLiteral("info.mdb")));
  const QList<QAction*> bar = main.menuBar()->actions();
  ASSERT_EQ(bar.size(), 3);
  EXPECT_EQ(bar.at(0), file->menuAction());
  EXPECT_EQ(bar.at(1)->objectName(), QStringLiteral("MNU_TESTDAY"));
  EXPECT_EQ(bar.at(2), help->menuAction());

  auto* open = main.findChild<QAction*>(QStringLiteral("MNU_TESTDAY_OPEN"));
  ASSERT_NE(open, nullptr);
  open->trigger();
  open->trigger();
  EXPECT_EQ(main.findChildren<TestDayWindow*>().size(), 1);
  ASSERT_EQ(main.findChildren<TestDayWindow*>().size(), 1);
  EXPECT_TRUE(main.findChildren<TestDayWindow*>().first()->isVisible());
}

TEST(TestDayWindow, AGroupTypedAndSavedIsThereWhenTheWindowOpensAgain) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  {
    TestDayWindow w(path);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    child<QLineEdit>(&w, "location")->setFocus();
    QTest::keyClicks(child<QLineEdit>(&w, "location"), QStringLiteral("Range 3"));
    typeSoldier(w, {"123-45-6789", "Yates, Ann B", "f", "1998-02-28", "A Co", "c"});
    typeSoldier(w, {"000000001", "Abernathy, Cole", "M", "2001-07-04", "A Co", "general"});
    QTest::mouseClick(child<QPushButton>(&w, "saveGroup"), Qt::LeftButton);
    EXPECT_EQ(w.statusBar()->currentMessage(), QStringLiteral("Test group saved."));
  }
  TestDayWindow again(path);
  const TestGroup shown = again.groupOnScreen();
  EXPECT_NE(shown.id, 0);
  EXPECT_EQ(shown.location, QStringLiteral("Range 3"));
  ASSERT_EQ(shown.members.size(), 2);
  EXPECT_EQ(shown.members.at(0), (GroupMember{"123456789", "Yates, Ann B", "F", "1998-02-28", "A Co", "combat"}));
  EXPECT_EQ(shown.members.at(1).standard, QStringLiteral("general"));
  EXPECT_EQ(TestGroups::forDatabase(path)->all(), QList<TestGroup>{shown});
}

TEST(TestDayWindow, ARefusedSaveNamesTheValueAndKeepsWhatWasTyped) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  TestDayWindow w(path);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClicks(child<QLineEdit>(&w, "location"), QStringLiteral("Gym"));
  typeSoldier(w, {"12345678", "Short, Sam", "M", "1990-01-01", "B Co", "g"});
  QTest::mouseClick(child<QPushButton>(&w, "saveGroup"), Qt::LeftButton);
  EXPECT_TRUE(w.statusBar()->currentMessage().contains(QStringLiteral("12345678")))
      << w.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(w.groupOnScreen().members.at(0).name, QStringLiteral("Short, Sam"));
  EXPECT_TRUE(TestGroups::forDatabase(path)->all().isEmpty());
}

TEST(TestDayWindow, TenSoldiersFromARosterFileAreSavedWithTheGroup) {
  ScratchDir dir;
  const QString path = dir.file(QStringLiteral("info.mdb"));
  createRecordsDatabase(path);
  QFile roster(dir.file(QStringLiteral("roster.csv")));
  ASSERT_TRUE(roster.open(QIODevice::WriteOnly));
  roster.write(generatedRoster(10) + "Broken,Line,PV2,12-34,M,01/01/2000,A Co\r\n");
  roster.close();
  TestDayWindow w(path);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClicks(child<QLineEdit>(&w, "location"), QStringLiteral("Range 3"));
  w.importRoster(roster.fileName());
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith(QStringLiteral("10 soldiers joined")));
  EXPECT_TRUE(w.statusBar()->currentMessage().contains(QStringLiteral("12-34")));
  QTest::mouseClick(child<QPushButton>(&w, "saveGroup"), Qt::LeftButton);
  const QList<TestGroup> stored = TestGroups::forDatabase(path)->all();
  ASSERT_EQ(stored.size(), 1);
  ASSERT_EQ(stored.first().members.size(), 10);
  EXPECT_EQ(stored.first().members.at(9).name, QStringLiteral("Surname9, Given9"));
}
