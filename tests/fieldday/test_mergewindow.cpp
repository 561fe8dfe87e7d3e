// The merge window, reached from the Test Day menu and driven through its
// controls: a clash is asked in the conflict window and the clerk's choice
// stored; merging again says there is nothing to change; a folder that is
// no records folder is refused in the window, nothing stored. The take-out
// window, from the same menu, writes a laptop's folder that then merges.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "conflictdialog.h"
#include "dbfile.h"
#include "fielddayfixture.h"
#include "mergewindow.h"
#include "ssnmask.h"
#include "takeout.h"
#include "takeoutwindow.h"
#include "testdaymenu.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

template <typename T>
T* child(QObject* parent, const char* name) {
  T* c = parent->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}

// Answers each conflict window that opens with `button`, counting them and
// keeping what the first one showed.
struct ConflictAnswerer {
  explicit ConflictAnswerer(const char* b) : button(b) {}
  const char* button;
  int asked = 0;
  bool stopped = false;
  QString firstShown;
  void arm() {
    QTimer::singleShot(0, [this] {
      if (stopped) return;
      auto* dialog = qobject_cast<ConflictDialog*>(QApplication::activeModalWidget());
      if (!dialog) return arm();
      ++asked;
      // The README's picture of a clash is taken from this very window.
      if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty() && asked == 1) {
        EXPECT_TRUE(dialog->grab().save(QDir(shots).filePath(QStringLiteral("fieldday-conflict.png"))));
      }
      if (firstShown.isEmpty())
        for (int r = 0; r < dialog->table()->rowCount(); ++r)
          for (int c = 0; c < dialog->table()->columnCount(); ++c)
            if (auto* item = dialog->table()->item(r, c)) firstShown += item->text() + '|';
      QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    });
  }
};

TEST(MergeWindow, ReachedFromTheTestDayMenuItAsksEachClashAndStoresTheClerksChoice) {
  ScratchDir dir;
  const QString office = dir.file(QStringLiteral("office")), lane = dir.file(QStringLiteral("lane"));
  QDir().mkpath(office);
  const QString officeDb = QDir(office).filePath(QStringLiteral("info.mdb"));
  createRecordsDatabase(officeDb);
  const TestGroup group = TestGroups::forDatabase(officeDb)->save(
      TestGroup{0, QStringLiteral("2026-11-20"), QStringLiteral("Range 4"),
                fieldDaySoldiers(2, QStringLiteral("A CO 1-5 IN"))});
  fieldday::takeOut(office, group.id, lane);
  enterLanes(QDir(lane).filePath(QStringLiteral("info.mdb")), group.id,
             {{0, LaneField::PushUp, QStringLiteral("45")}, {1, LaneField::Plank, QStringLiteral("2:10")}});
  enterLanes(officeDb, group.id, {{0, LaneField::PushUp, QStringLiteral("50")}});

  QMainWindow main;
  addTestDayMenu(main.menuBar(), officeDb);
  child<QAction>(&main, "MNU_TESTDAY_MERGE")->trigger();
  auto* w = child<MergeWindow>(&main, "MergeWindow");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  auto* merge = child<QPushButton>(w, "merge");
  EXPECT_FALSE(merge->isEnabled());
  child<QLineEdit>(w, "fromFolder")->setText(QDir::toNativeSeparators(lane));
  ASSERT_TRUE(merge->isEnabled());
  EXPECT_EQ(child<QComboBox>(w, "clashes")->currentIndex(), 0);

  ConflictAnswerer answer("storeMine");
  answer.arm();
  QTest::mouseClick(merge, Qt::LeftButton);
  answer.stopped = true;
  EXPECT_EQ(answer.asked, 1);
  // The clash as the clerk saw it: the field, theirs here and the laptop's.
  EXPECT_TRUE(answer.firstShown.contains("pushup|")) << qPrintable(answer.firstShown);
  EXPECT_TRUE(answer.firstShown.contains("|50|")) << qPrintable(answer.firstShown);
  EXPECT_TRUE(answer.firstShown.contains("|45|")) << qPrintable(answer.firstShown);
  auto* summary = child<QLabel>(w, "summary");
  EXPECT_EQ(summary->text(), "stored 2, unchanged 0, conflicts 0, refused 0.");
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    EXPECT_TRUE(w->grab().save(QDir(shots).filePath(QStringLiteral("fieldday-merge.png"))));
  }
  EXPECT_EQ(child<QPlainTextEdit>(w, "outcome")->toPlainText().count('\n'), 1);
  // Each soldier by name and the SSN's last four digits; whole only when asked.
  const QString shown = child<QPlainTextEdit>(w, "outcome")->toPlainText();
  EXPECT_TRUE(shown.contains("***-**-0000 2026-11-20 " + fieldDayName(300000000))) << qPrintable(shown);
  EXPECT_FALSE(shown.contains("300000000") || shown.contains("300-00-0000")) << qPrintable(shown);
  {
    std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(officeDb);
    records->open();
    const RowAsRead r = *records->find(QStringLiteral("300000000"), QStringLiteral("2026-11-20"));
    EXPECT_EQ(r.fields.value(fitnessFieldNames().indexOf("pushup")), "45");
    records->close();
  }

  // Again: nothing to ask, nothing to change.
  ConflictAnswerer none("keepTheirs");
  none.arm();
  QTest::mouseClick(merge, Qt::LeftButton);
  none.stopped = true;
  QCoreApplication::processEvents();
  EXPECT_EQ(none.asked, 0);
  EXPECT_EQ(summary->text(), "stored 0, unchanged 2, conflicts 0, refused 0: nothing to change.");
  ssnToggle(&main)->setChecked(true);
  QTest::mouseClick(merge, Qt::LeftButton);
  EXPECT_TRUE(child<QPlainTextEdit>(w, "outcome")->toPlainText().contains("unchanged 300-00-0000 2026-11-20 "))
      << qPrintable(child<QPlainTextEdit>(w, "outcome")->toPlainText());

  child<QLineEdit>(w, "fromFolder")->setText(dir.file(QStringLiteral("nowhere")));
  QTest::mouseClick(merge, Qt::LeftButton);
  EXPECT_TRUE(summary->text().startsWith("Nothing was merged: ")) << qPrintable(summary->text());
  EXPECT_TRUE(child<QPlainTextEdit>(w, "outcome")->toPlainText().isEmpty());
}

TEST(TakeOutWindow, ReachedFromTheTestDayMenuItWritesALaptopsFolderOfThePickedGroup) {
  ScratchDir dir;
  const QString office = dir.file(QStringLiteral("office")), lane = dir.file(QStringLiteral("lanes/lane 1"));
  QDir().mkpath(office);
  const QString officeDb = QDir(office).filePath(QStringLiteral("info.mdb"));
  createRecordsDatabase(officeDb);
  const TestGroup first = TestGroups::forDatabase(officeDb)->save(
      TestGroup{0, QStringLiteral("2026-11-20"), QStringLiteral("Range 4"),
                fieldDaySoldiers(2, QStringLiteral("A CO 1-5 IN"))});
  const TestGroup second = TestGroups::forDatabase(officeDb)->save(
      TestGroup{0, QStringLiteral("2026-11-21"), QStringLiteral("Track 1"),
                fieldDaySoldiers(3, QStringLiteral("A CO 1-5 IN"), 310000000)});
  enterLanes(officeDb, second.id, {{1, LaneField::PushUp, QStringLiteral("40")}});

  QMainWindow main;
  addTestDayMenu(main.menuBar(), officeDb);
  child<QAction>(&main, "MNU_TESTDAY_TAKEOUT")->trigger();
  auto* w = child<TakeOutWindow>(&main, "TakeOutWindow");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  auto* groups = child<QComboBox>(w, "groups");
  ASSERT_EQ(groups->count(), 2);
  auto* takeOut = child<QPushButton>(w, "takeOut");
  EXPECT_FALSE(takeOut->isEnabled());
  // The second group, into a folder not made yet.
  const int at = groups->findData(second.id);
  ASSERT_GE(at, 0);
  groups->setCurrentIndex(at);
  child<QLineEdit>(w, "toFolder")->setText(QDir::toNativeSeparators(lane));
  ASSERT_TRUE(takeOut->isEnabled());
  QTest::mouseClick(takeOut, Qt::LeftButton);
  auto* summary = child<QLabel>(w, "summary");
  EXPECT_TRUE(summary->text().contains(": 3 soldiers, 1 records.")) << qPrintable(summary->text());
  const QString written = child<QPlainTextEdit>(w, "written")->toPlainText();
  EXPECT_TRUE(written.contains("info.mdb")) << qPrintable(written);
  EXPECT_TRUE(written.contains("takeout.json")) << qPrintable(written);
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    QTest::qWait(50);  // the summary's new lines are laid out as the clerk would see them
    EXPECT_TRUE(w->grab().save(QDir(shots).filePath(QStringLiteral("fieldday-takeout.png"))));
  }
  const QString laneDb = QDir(lane).filePath(QStringLiteral("info.mdb"));
  EXPECT_EQ(TestGroups::forDatabase(laneDb)->load(second.id), second);
  EXPECT_FALSE(TestGroups::forDatabase(laneDb)->load(first.id));

  // The laptop's folder works as any records folder and merges back.
  enterLanes(laneDb, second.id, {{2, LaneField::Plank, QStringLiteral("2:15")}});
  EXPECT_EQ(fieldday::mergeFolder(lane, office).summary(), "stored 1, unchanged 1, conflicts 0, refused 0");

  // A folder that already holds a take-out is refused, and left as it was.
  const auto before = folderDigest(lane);
  QTest::mouseClick(takeOut, Qt::LeftButton);
  EXPECT_TRUE(summary->text().startsWith("Nothing was taken out: ")) << qPrintable(summary->text());
  EXPECT_TRUE(child<QPlainTextEdit>(w, "written")->toPlainText().isEmpty());
  EXPECT_EQ(folderDigest(lane), before);
}

}  // namespace
