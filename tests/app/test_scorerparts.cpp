// The scorer's main window with the parts the program adds to it: the Test
// Day menu and the windows it opens, as ravelin puts them together.
#include <QPointer>
#include <gtest/gtest.h>

#include "mainformfixture.h"
#include "scorerparts.h"
#include "testdayclerk.h"
#include "testdaywindow.h"
#include "testgroups.h"

using namespace quillon;

namespace {

using ScorerPartsTest = quillon::test::MainFormFixture;

TEST_F(ScorerPartsTest, ClosingTheWindowAsksFirstAboutTheTestDaysUnsavedGroupAndCancelKeepsBoth) {
  makeDb({{{"LNAME", "Able"}}});
  menuParts = scorerMenuParts();
  start();
  action("MNU_TESTDAY_OPEN")->trigger();
  QPointer<TestDayWindow> day = form->findChild<TestDayWindow*>();
  ASSERT_NE(day, nullptr);
  day->setMessageSeam(&seam);
  quillon::test::startGroup(*day, QStringLiteral("Range 3"));

  seam.saveAnswers = {SaveChoice::Cancel};
  EXPECT_FALSE(form->close());
  EXPECT_EQ(seam.questions(), 1);
  EXPECT_TRUE(seam.shown.back().text.contains(QStringLiteral("Range 3"))) << seam.shown.back().text.toStdString();
  ASSERT_TRUE(day);
  EXPECT_TRUE(day->isVisible());
  EXPECT_EQ(day->groupOnScreen().location, QStringLiteral("Range 3"));
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(store().isOpen());

  seam.saveAnswers = {SaveChoice::Save};
  EXPECT_TRUE(form->close());
  EXPECT_EQ(seam.questions(), 2);
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(store().isOpen());
  const QList<TestGroup> saved = TestGroups::forDatabase(dbPath())->all();
  ASSERT_EQ(saved.size(), 1);
  EXPECT_EQ(saved.first().location, QStringLiteral("Range 3"));
}

}  // namespace
