// The keys of both programs' windows: every window, menu bar, menu and
// dialog a clerk can open leaves each mnemonic and shortcut to one control,
// and the three-event window's own keys do what they always did.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "alternate.h"
#include "conflictdialog.h"
#include "conversionstate.h"
#include "keyaudit.h"
#include "mainformfixture.h"
#include "openform.h"
#include "recordsdb.h"
#include "recordsmenu.h"
#include "reportsmenu.h"
#include "scorerparts.h"
#include "testdayclerk.h"
#include "testdaywindow.h"
#include "testgroupfixture.h"
#include "testgroups.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// Closes each modal window once it is up (its keys were read as it was
// shown), so the command that opened it returns.
class ModalCloser {
 public:
  ModalCloser() {
    QObject::connect(&poll_, &QTimer::timeout, [] {
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    poll_.start(10);
  }

 private:
  QTimer poll_;
};

QString joined(const QStringList& lines) { return lines.join(QLatin1Char('\n')); }

// The owners of one key in the window's own scope.
QStringList ownersOf(QWidget* window, const QKeySequence& key) { return windowKeys(window).values(key); }

const Row kBaker = {{"LNAME", "Baker, Ann"}, {"RANK", "SGT"},   {"SSN", "222334444"}, {"SEX", "F"},
                    {"DOB", "02/03/1990"},   {"DOT", "12/01/2026"}, {"RAW_PU", "45"}, {"RAW_SU", "61"},
                    {"RUN_M", "15"},         {"RUN_S", "07"},       {"C_PU", "71"},   {"C_SU", "60"},
                    {"C_RUN", "62"},         {"TOTAL", "193"},      {"STAT", "PASS"}, {"REMARK", "first"}};

class Keys : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    dir.copyData({"basic.rpt", "date.rpt", "profile.rpt", "status.rpt", "ravelin.hlp"});
    makeDb({kBaker, {{"LNAME", "Carter, Joe"}, {"SSN", "333445555"}, {"SEX", "M"}}});
    menuParts = scorerMenuParts();
  }
  Row stored(const QString& name) { return rowNamed(dbPath(), name); }
};

}  // namespace

// Alt+D is Delete's, as it always was: one press deletes the current
// soldier (no menu of the newer test takes the letter), and Ctrl+Z brings
// the soldier back with every field.
TEST_F(Keys, AltDDeletesTheCurrentSoldierAndCtrlZBringsThemBack) {
  start();
  activate();
  const Row baker = stored("Baker, Ann");
  clickRow(gridRowOf("Baker, Ann"));
  ASSERT_EQ(shownName(), "Baker, Ann");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::AltModifier);
  // A button's key presses it as the mouse would, down now and clicked from
  // the event loop; a key two controls share only moves the focus.
  ASSERT_TRUE(button("Command3")->isDown()) << "Alt+D did not press Delete";
  QEventLoop clicked;
  QObject::connect(button("Command3"), &QPushButton::clicked, &clicked, &QEventLoop::quit);
  clicked.exec();
  QApplication::processEvents();
  EXPECT_TRUE(stored("Baker, Ann").isEmpty()) << "one Alt+D deletes";
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu opened";
  EXPECT_NE(shownName(), "Baker, Ann");

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(stored("Baker, Ann"), baker);
  EXPECT_EQ(shownName(), "Baker, Ann");
}

// The keys of the three-event window belong to its own controls alone,
// whatever menus were added beside them.
TEST_F(Keys, TheThreeEventWindowsKeysBelongToItsOwnControls) {
  start();
  const std::pair<Qt::Key, const char*> own[] = {
      {Qt::Key_F, "menu bar \"&File\""},          {Qt::Key_H, "menu bar \"&Help\""},
      {Qt::Key_C, "button Command6 \"&Convert\""}, {Qt::Key_A, "button Command2 \"&Add\""},
      {Qt::Key_D, "button Command3 \"&Delete\""},  {Qt::Key_U, "button Command4 \"&Update\""},
      {Qt::Key_S, "button Command7 \"&Sort\""}};
  for (const auto& [key, owner] : own)
    EXPECT_EQ(ownersOf(form.get(), QKeySequence(Qt::ALT | key)).join(" and ").toStdString(), owner);
  // The newer menus each answer to a letter of their own.
  for (const char* menu : {"MNU_EDIT", "MNU_RECORDS", "MNU_TESTDAY"}) {
    const QKeySequence m = QKeySequence::mnemonic(action(menu)->text());
    ASSERT_FALSE(m.isEmpty()) << menu;
    EXPECT_EQ(ownersOf(form.get(), m).size(), 1) << qPrintable(ownersOf(form.get(), m).join(" and "));
  }
}

// Every window of the scorer, opened through its commands as a clerk opens
// it, modal dialogs included: no key has two owners in one window or menu,
// and every control Tab reaches has a name a screen reader can say.
TEST_F(Keys, EveryWindowOfTheScorerLeavesEachKeyToOneControl) {
  TestGroups::forDatabase(dbPath())->save(rangeDayGroup());
  KeyAudit audit;
  ModalCloser closer;
  start();
  action("MNU_ABOUT")->trigger();
  action("MNU_CONTENTS")->trigger();
  action("MNU_NAME")->trigger();
  auto* records = form->findChild<RecordsMenu*>(QStringLiteral("RecordsMenu"));
  ASSERT_NE(records, nullptr);
  records->importRoster(writeRoster(dir, "Name,Rank,SSN,Sex,DOB\n\"Dunn, Al\",SGT,444-55-6666,M,02/03/1990\n"));
  clickRow(gridRowOf("Baker, Ann"));
  records->scorecardAction->trigger();
  {
    ConversionState state;
    Alternate alternate(seam, state, form.get());
    alternate.show();
    ConflictDialog conflict(StoreConflict{1, {}, {FieldClash{"LNAME", "Baker, Anne", "Baker, Ann", "Baker, A", true}}},
                            QStringLiteral("Baker, Ann"), form.get());
    conflict.show();
  }

  action("MNU_TESTDAY_OPEN")->trigger();
  auto* day = form->findChild<TestDayWindow*>();
  ASSERT_NE(day, nullptr);
  day->openLanes();
  day->importRoster(writeRoster(dir, "SSN,Name,Sex,DOB\n555667777,\"Eads, Bo\",M,1999-01-01\n"));
  day->pickFromRecords();
  for (const char* name : {"MNU_HISTORY_SSN", "reportResultsByName", "reportDueList"}) {
    auto* a = day->findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }

  const QStringList expected{"MainForm",     "About",        "HelpViewer",     "ReportPreview", "ImportDialog",
                             "ScorecardPreview", "Alternate", "ConflictDialog", "TestDayWindow", "LaneGrid",
                             "RosterPreview", "SoldierPicker", "HistoryWindow", "testDayReport", "dueListDialog"};
  for (const QString& w : expected) EXPECT_TRUE(audit.windows.contains(w)) << "not opened: " << qPrintable(w);
  EXPECT_TRUE(audit.collisions.isEmpty()) << qPrintable(joined(audit.collisions));
  EXPECT_TRUE(audit.unnamed.isEmpty()) << qPrintable(joined(audit.unnamed));
}

// Tab walks the test-day window's buttons as they stand, left to right.
TEST_F(Keys, TabWalksTheTestDayButtonsLeftToRight) {
  TestDayWindow day(dbPath());
  day.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&day));
  day.findChild<QPushButton*>(QStringLiteral("addSoldier"))->setFocus();
  QStringList walked;
  for (int i = 0; i < 5; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    walked << QApplication::focusWidget()->objectName();
  }
  EXPECT_EQ(walked.join(' ').toStdString(), "removeSoldier importRoster fromRecords saveGroup laneEntry");
}

// The database tool: its window and the About box its Exit... shows.
TEST(ToolKeys, EveryWindowOfTheToolLeavesEachKeyToOneControl) {
  ScratchDir dir;
  KeyAudit audit;
  dbtool::OpenForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::mouseClick(form.Command2, Qt::LeftButton);
  for (const QString& w : {QStringLiteral("OpenForm"), QStringLiteral("About")})
    EXPECT_TRUE(audit.windows.contains(w)) << "not opened: " << qPrintable(w);
  EXPECT_TRUE(audit.collisions.isEmpty()) << qPrintable(joined(audit.collisions));
  EXPECT_TRUE(audit.unnamed.isEmpty()) << qPrintable(joined(audit.unnamed));
}

// The audit itself sees what a clerk meets: a menu whose title shares a
// button's letter, two items of one menu on one letter, a label's buddy key
// against an action's shortcut; and it leaves apart what is never live at
// once (another window's keys, a hidden button).
TEST(KeyAuditItself, FindsEachKindOfCollisionAndOnlyThose) {
  QWidget window;
  auto* bar = new QMenuBar(&window);
  QMenu* menu = bar->addMenu(QStringLiteral("Test &Day"));
  menu->addAction(QStringLiteral("&Selected"));
  menu->addAction(QStringLiteral("By &SSN"));
  auto* del = new QPushButton(QStringLiteral("&Delete"), &window);
  del->setObjectName(QStringLiteral("del"));
  auto* hidden = new QPushButton(QStringLiteral("&Zap"), &window);
  hidden->hide();
  auto* a = new QAction(QStringLiteral("Zap"), &window);
  a->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Z));
  window.addAction(a);
  auto* name = new QLineEdit(&window);
  auto* label = new QLabel(QStringLiteral("&Name:"), &window);
  label->setBuddy(name);
  auto* find = new QAction(QStringLiteral("Find"), &window);
  find->setShortcut(QKeySequence(Qt::ALT | Qt::Key_N));
  window.addAction(find);
  QWidget other;
  auto* otherButton = new QPushButton(QStringLiteral("&Delete"), &other);
  Q_UNUSED(otherButton);

  const QStringList found = keyCollisions(&window);
  ASSERT_EQ(found.size(), 3) << qPrintable(joined(found));
  EXPECT_TRUE(found[0].contains("Alt+D is taken by button del \"&Delete\" and menu bar \"Test &Day\"") ||
              found[0].contains("Alt+D is taken by menu bar \"Test &Day\" and button del \"&Delete\""))
      << qPrintable(found[0]);
  EXPECT_TRUE(found[1].contains("Alt+N is taken by")) << qPrintable(found[1]);
  EXPECT_TRUE(found[2].contains("Alt+S is taken by \"&Selected\" and \"By &SSN\"") ||
              found[2].contains("Alt+S is taken by \"By &SSN\" and \"&Selected\""))
      << qPrintable(found[2]);
  EXPECT_TRUE(keyCollisions(&other).isEmpty());
}
