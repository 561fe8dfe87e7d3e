// The main window driven through its real widgets: start-up, the grid, the
// bound boxes and labels, and the record commands, checked against what
// ends up in info.mdb.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

#include "dbfile.h"
#include "fakes.h"
#include "mainform.h"
#include "recordgrid.h"
#include "recordstore.h"
#include "recordsdb.h"
#include "mainformfixture.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;
using quillon::test::ScriptedSeam;
using quillon::test::Row;
using quillon::test::insertRows;
using quillon::test::readRows;
using quillon::test::rowNamed;

namespace {

using MainFormTest = quillon::test::MainFormFixture;

TEST_F(MainFormTest, WindowCarriesTheNamedControlsInTheirOrder) {
  makeDb({{{"LNAME", "Able"}}});
  start();
  EXPECT_EQ(form->windowTitle(), "Quillon");
  for (const char* name : {"TDBGrid1", "DOB", "DOT", "MaskEdBox1", "Scores", "RAW_PU", "RAW_SU", "RUN_M", "RUN_S",
                           "C_PU", "C_SU", "C_RUN", "STAT", "Prof", "TOTAL", "Command6", "Command2", "Command3",
                           "Command4", "Command7", "Sex", "Label1", "Label3", "Label6", "Label7", "Label8",
                           "Label9", "Label11"})
    EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name;
  EXPECT_EQ(button("Command6")->text(), "&Convert");
  EXPECT_EQ(button("Command2")->text(), "&Add");
  EXPECT_EQ(button("Command3")->text(), "&Delete");
  EXPECT_EQ(button("Command4")->text(), "&Update");
  EXPECT_EQ(button("Command7")->text(), "&Sort");
  EXPECT_EQ(control<QGroupBox>("Scores")->title(), "Input Scores");
  EXPECT_EQ(label("Label9")->text(), ":");
  EXPECT_FALSE(entry("Sex")->isVisible());
  // Top to bottom: grid, dates, remark, scores, buttons.
  auto y = [&](QWidget* w) { return w->mapTo(form.get(), QPoint(0, 0)).y(); };
  EXPECT_LT(y(grid()), y(entry("DOB")));
  EXPECT_LT(y(entry("DOB")), y(entry("MaskEdBox1")));
  EXPECT_LT(y(entry("MaskEdBox1")), y(control<QGroupBox>("Scores")));
  EXPECT_LT(y(control<QGroupBox>("Scores")), y(button("Command2")));
  auto x = [&](QWidget* w) { return w->mapTo(form.get(), QPoint(0, 0)).x(); };
  EXPECT_LT(x(entry("DOB")), x(entry("DOT")));
  EXPECT_LT(x(entry("RUN_M")), x(entry("RUN_S")));
  EXPECT_LT(x(entry("RAW_PU")), x(button("Command6")));
  EXPECT_LT(x(button("Command6")), x(label("C_PU")));
  EXPECT_LT(x(label("C_PU")), x(label("STAT")));
  EXPECT_LT(x(button("Command2")), x(button("Command3")));
  EXPECT_LT(x(button("Command4")), x(button("Command7")));
  // Tab order, from the remark on (Tab inside the grid moves between cells).
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  entry("MaskEdBox1")->setFocus();
  QWidget* expected[] = {entry("RAW_PU"),   entry("RAW_SU"),   entry("RUN_M"),    entry("RUN_S"),    button("Command6"),
                         button("Command2"), button("Command3"), button("Command4"), button("Command7"), entry("DOT"),
                         entry("DOB")};
  for (QWidget* w : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w) << w->objectName().toStdString();
  }
  grid()->setFocus();
  EXPECT_TRUE(grid()->nextInFocusChain() == entry("MaskEdBox1") ||
              grid()->isAncestorOf(grid()->nextInFocusChain()));
  // Grid columns.
  const QStringList headers = {"ID", "Name", "Rank", "SSN", "Sex"};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
  EXPECT_FALSE(grid()->horizontalHeader()->sectionsMovable());
  EXPECT_TRUE(grid()->verticalHeader()->isVisible());
}

TEST_F(MainFormTest, TypedNameDateAndScoresReachTheFileOnUpdate) {
  makeDb({{{"LNAME", "Baker"}, {"SEX", "F"}}});
  start();
  ASSERT_EQ(shownName(), "Baker");
  typeInGrid(0, 1, "Carter");
  QTest::keyClicks(entry("DOB"), "01/15/1990");
  QTest::keyClicks(entry("RAW_PU"), "45");
  QTest::keyClicks(entry("RAW_SU"), "61");
  QTest::keyClicks(entry("RUN_M"), "15");
  QTest::keyClicks(entry("RUN_S"), "07");
  QTest::keyClicks(entry("MaskEdBox1"), "first test");
  click(button("Command4"));
  const QList<Row> rows = readRows(dbPath());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["LNAME"], "Carter");
  EXPECT_EQ(rows[0]["DOB"], "01/15/1990");
  EXPECT_EQ(rows[0]["RAW_PU"], "45");
  EXPECT_EQ(rows[0]["RAW_SU"], "61");
  EXPECT_EQ(rows[0]["RUN_M"], "15");
  EXPECT_EQ(rows[0]["RUN_S"], "07");
  EXPECT_EQ(rows[0]["REMARK"], "first test");
  EXPECT_EQ(rows[0]["SEX"], "F");
  EXPECT_TRUE(seam.shown.empty());
}

TEST_F(MainFormTest, UpdatePassesOnACellStillBeingEdited) {
  makeDb({{{"LNAME", "Baker"}}});
  start();
  QLineEdit* ed = openCell(0, 1);
  ASSERT_NE(ed, nullptr);
  ed->selectAll();
  QTest::keyClicks(ed, "Becker");
  click(button("Command4"));  // the editor is still open
  EXPECT_EQ(readRows(dbPath())[0]["LNAME"], "Becker");
}

TEST_F(MainFormTest, ARequeryKeepsACellStillBeingEdited) {
  makeDb({{{"LNAME", "Baker"}}, {{"LNAME", "Carter"}}});
  start();
  QLineEdit* ed = openCell(1, 1);
  ASSERT_NE(ed, nullptr);
  ed->selectAll();
  QTest::keyClicks(ed, "Aaron");
  form->Form_Activate();  // as on coming back from the About box
  EXPECT_FALSE(rowNamed(dbPath(), "Aaron").isEmpty());
  EXPECT_EQ(gridText(0, 1), "Aaron");
  EXPECT_EQ(shownName(), "Aaron");
}

TEST_F(MainFormTest, UpdateWithNoCurrentRowDoesNothingAndSaysNothing) {
  makeDb({});
  start();
  ASSERT_TRUE(store().eof());
  click(button("Command4"));
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_TRUE(readRows(dbPath()).isEmpty());
  // Nothing can be typed for a row that does not exist.
  EXPECT_FALSE(entry("DOB")->isEnabled());
}

TEST_F(MainFormTest, GridColumnsLimitsListsAndSsnDisplay) {
  makeDb({{{"LNAME", "A"}, {"SSN", "000001234"}}, {{"LNAME", "B"}, {"SSN", "000-00-5678"}},
          {{"LNAME", "C"}, {"SSN", "12"}}});
  start();
  EXPECT_EQ(gridText(0, 3), "000-00-1234");
  EXPECT_EQ(gridText(1, 3), "000-00-5678");
  EXPECT_EQ(gridText(2, 3), "12");
  EXPECT_EQ(model().index(0, 3).data(Qt::EditRole).toString(), "000001234");
  EXPECT_FALSE(model().flags(model().index(0, 0)) & Qt::ItemIsEditable);  // the database fills ID
  // Rank: the 33 ranks in order, 7 shown, "N/A" offered first on an empty cell.
  const QModelIndex rank = model().index(0, 2);
  grid()->setCurrentIndex(rank);
  grid()->edit(rank);
  auto* box = qobject_cast<QComboBox*>(grid()->indexWidget(rank));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->count(), 33);
  EXPECT_EQ(box->itemText(0), "N/A");
  EXPECT_EQ(box->itemText(32), "GA");
  EXPECT_EQ(box->itemText(15), "CSM");
  EXPECT_EQ(box->maxVisibleItems(), 7);
  EXPECT_EQ(box->currentText(), "N/A");
  box->setCurrentIndex(box->findText("SGT"));
  EXPECT_TRUE(grid()->commitPendingEdit());
  EXPECT_EQ(rowNamed(dbPath(), "A")["RANK"], "SGT");
  // Sex: M and F.
  const QModelIndex sex = model().index(1, 4);
  grid()->setCurrentIndex(sex);
  grid()->edit(sex);
  auto* sexBox = qobject_cast<QComboBox*>(grid()->indexWidget(sex));
  ASSERT_NE(sexBox, nullptr);
  EXPECT_EQ(sexBox->count(), 2);
  sexBox->setCurrentIndex(sexBox->findText("F"));
  grid()->commitPendingEdit();
  EXPECT_EQ(rowNamed(dbPath(), "B")["SEX"], "F");
  // The sex of the current row is what Convert will read from the hidden box.
  EXPECT_EQ(shownName(), "B");
  EXPECT_EQ(entry("Sex")->text(), "F");
  // Name: 25 characters at most.
  typeInGrid(2, 1, QString(30, 'n'));
  EXPECT_EQ(rowNamed(dbPath(), QString(25, 'n'))["LNAME"].size(), 25);
}

// The boxes take as much as the field holds, and no more: a remark of a
// hundred characters, two-digit scores, a ten-character date of birth. The
// date of test is held to nothing, as it always was.
TEST_F(MainFormTest, BoxesStopTypingAtTheFieldsLength) {
  makeDb({{{"LNAME", "Baker"}}});
  start();
  QTest::keyClicks(entry("MaskEdBox1"), QString(120, 'r'));
  EXPECT_EQ(entry("MaskEdBox1")->text(), QString(100, 'r'));
  QTest::keyClicks(entry("RAW_PU"), "123");
  EXPECT_EQ(entry("RAW_PU")->text(), "12");
  QTest::keyClicks(entry("RUN_S"), "5907");
  EXPECT_EQ(entry("RUN_S")->text(), "59");
  QTest::keyClicks(entry("DOB"), "01/15/19901");
  EXPECT_EQ(entry("DOB")->text(), "01/15/1990");
  entry("DOT")->clear();
  QTest::keyClicks(entry("DOT"), "01/15/2026 x");
  EXPECT_EQ(entry("DOT")->text(), "01/15/2026 x");
}

TEST_F(MainFormTest, TypingInTheEmptyLastLineAddsARowStartingAsMale) {
  makeDb({{{"LNAME", "Baker"}}});
  start();
  ASSERT_EQ(model().rowCount(), 2);
  ASSERT_TRUE(model().isNewRowLine(1));
  typeInGrid(1, 1, "Newman");
  QApplication::processEvents();
  const Row r = rowNamed(dbPath(), "Newman");
  ASSERT_FALSE(r.isEmpty());
  EXPECT_EQ(r["SEX"], "M");
  EXPECT_EQ(model().rowCount(), 3);
  EXPECT_TRUE(model().isNewRowLine(2));
  EXPECT_EQ(shownName(), "Newman");
  EXPECT_EQ(entry("Sex")->text(), "M");
}

TEST_F(MainFormTest, TabAfterANewNameGoesOnInTheAddedRow) {
  makeDb({{{"LNAME", "Baker"}}});
  start();
  QLineEdit* ed = openCell(1, 1);
  ASSERT_NE(ed, nullptr);
  QTest::keyClicks(ed, "Newman");
  QTest::keyClick(ed, Qt::Key_Tab);
  QApplication::processEvents();
  ASSERT_EQ(readRows(dbPath()).size(), 2);  // the rank cell of the empty line made no row
  EXPECT_EQ(grid()->currentIndex(), model().index(1, 2));
  auto* box = qobject_cast<QComboBox*>(grid()->indexWidget(model().index(1, 2)));
  ASSERT_NE(box, nullptr);
  box->setCurrentIndex(box->findText("CPT"));
  emit box->activated(box->currentIndex());
  EXPECT_EQ(rowNamed(dbPath(), "Newman")["RANK"], "CPT");
  EXPECT_EQ(readRows(dbPath()).size(), 2);
}

TEST_F(MainFormTest, DeleteInTheGridRemovesTheRowSelectedByItsRecordSelector) {
  makeDb({{{"LNAME", "A"}}, {{"LNAME", "B"}}, {{"LNAME", "C"}}});
  start();
  clickSelector(1);
  QTest::keyClick(grid(), Qt::Key_Delete);
  QApplication::processEvents();
  QStringList names;
  for (const Row& r : readRows(dbPath())) names << r["LNAME"];
  EXPECT_EQ(names, QStringList({"A", "C"}));
  EXPECT_EQ(shownName(), "C");
  EXPECT_EQ(grid()->currentIndex().row(), 1);
  EXPECT_TRUE(seam.shown.empty());
}

TEST_F(MainFormTest, AddOnAnEmptyTableAndAddTwice) {
  makeDb({});
  start();
  click(button("Command2"));
  QList<Row> rows = readRows(dbPath());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_FALSE(rows[0]["ID"].isEmpty());
  EXPECT_EQ(store().currentRow(), 0);
  EXPECT_TRUE(entry("DOB")->isEnabled());
  click(button("Command2"));
  rows = readRows(dbPath());
  ASSERT_EQ(rows.size(), 2);
  for (const Row& r : rows)
    for (auto it = r.cbegin(); it != r.cend(); ++it)
      if (it.key() != "ID") {
        EXPECT_TRUE(it.value().isEmpty()) << it.key().toStdString();
      }
  EXPECT_EQ(store().currentRow(), 1);
  EXPECT_EQ(store().field("ID"), rows[1]["ID"]);
  EXPECT_EQ(grid()->currentIndex().row(), 1);
  EXPECT_TRUE(seam.shown.empty());
}

TEST_F(MainFormTest, AddStoresWhatWasTypedIntoTheRowItLeaves) {
  makeDb({{{"LNAME", "Baker"}}});
  start();
  QTest::keyClicks(entry("DOB"), "02/02/1992");
  click(button("Command2"));
  EXPECT_EQ(rowNamed(dbPath(), "Baker")["DOB"], "02/02/1992");
  EXPECT_EQ(entry("DOB")->text(), "");
}

TEST_F(MainFormTest, DeleteOfTheLastRowThenDeleteAgain) {
  makeDb({{{"LNAME", "Able"}}, {{"LNAME", "Zane"}}});
  start();
  clickRow(1);
  ASSERT_EQ(shownName(), "Zane");
  click(button("Command3"));
  EXPECT_EQ(readRows(dbPath()).size(), 1);
  EXPECT_TRUE(store().eof());
  EXPECT_EQ(shownName(), "<none>");
  EXPECT_TRUE(entry("DOB")->text().isEmpty());
  EXPECT_TRUE(seam.shown.empty());  // never asks
  click(button("Command3"));
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].title, "Error");
  EXPECT_EQ(seam.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(seam.shown[0].text, "No current record.");
  EXPECT_EQ(seam.questions(), 0);
  // The program goes on.
  EXPECT_EQ(readRows(dbPath()).size(), 1);
  click(button("Command7"));
  EXPECT_EQ(shownName(), "Able");
}

TEST_F(MainFormTest, DeleteMakesTheNextRowCurrent) {
  makeDb({{{"LNAME", "A"}}, {{"LNAME", "B"}}, {{"LNAME", "C"}}});
  start();
  clickRow(1);
  QTest::keyClicks(entry("MaskEdBox1"), "typed then deleted");
  click(button("Command3"));
  EXPECT_EQ(shownName(), "C");
  EXPECT_EQ(grid()->currentIndex().row(), 1);
  for (const Row& r : readRows(dbPath())) EXPECT_TRUE(r["REMARK"].isEmpty());
}

TEST_F(MainFormTest, SortPutsANewlyNamedRowInItsPlace) {
  makeDb({{{"LNAME", "Baker"}}, {{"LNAME", "Davis"}}});
  start();
  click(button("Command2"));
  ASSERT_EQ(store().currentRow(), 2);
  typeInGrid(2, 1, "Charlie");
  EXPECT_EQ(gridText(2, 1), "Charlie");  // still at the end until the re-query
  QTest::keyClicks(entry("RAW_PU"), "33");
  click(button("Command7"));
  EXPECT_EQ(gridText(0, 1), "Baker");
  EXPECT_EQ(gridText(1, 1), "Charlie");
  EXPECT_EQ(gridText(2, 1), "Davis");
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_EQ(grid()->currentIndex().row(), 0);
  // The re-query stored the changed row first.
  EXPECT_EQ(rowNamed(dbPath(), "Charlie")["RAW_PU"], "33");
}

TEST_F(MainFormTest, ARowLeftByClickingAnotherRowIsStored) {
  makeDb({{{"LNAME", "Able"}, {"DOB", "01/01/1990"}}, {{"LNAME", "Baker"}, {"DOB", "02/02/1991"}}});
  start();
  ASSERT_EQ(shownName(), "Able");
  retype(entry("DOB"), "03/03/1993");
  QTest::keyClicks(entry("MaskEdBox1"), "moved on");
  clickRow(1);
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_EQ(entry("DOB")->text(), "02/02/1991");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "");
  const Row able = rowNamed(dbPath(), "Able");
  EXPECT_EQ(able["DOB"], "03/03/1993");
  EXPECT_EQ(able["REMARK"], "moved on");
  EXPECT_TRUE(rowNamed(dbPath(), "Baker")["REMARK"].isEmpty());
  // Labels written by Convert count as changes as well.
  label("STAT")->setText("FAIL");
  clickRow(0);
  EXPECT_EQ(rowNamed(dbPath(), "Baker")["STAT"], "FAIL");
  EXPECT_EQ(entry("DOB")->text(), "03/03/1993");
}

TEST_F(MainFormTest, AGridEditOfTheShownRowKeepsWhatWasTypedInTheBoxes) {
  makeDb({{{"LNAME", "Able"}, {"SEX", "M"}}});
  start();
  QTest::keyClicks(entry("RAW_SU"), "55");
  typeInGrid(0, 1, "Abel");
  EXPECT_EQ(entry("RAW_SU")->text(), "55");
  click(button("Command4"));
  const Row r = readRows(dbPath())[0];
  EXPECT_EQ(r["LNAME"], "Abel");
  EXPECT_EQ(r["RAW_SU"], "55");
  EXPECT_EQ(r["SEX"], "M");
}

TEST_F(MainFormTest, EntryLimitsRefuseTheCharacterTooMany) {
  makeDb({{{"LNAME", "Able"}}});
  start();
  for (QLineEdit* e : {entry("RAW_PU"), entry("RAW_SU"), entry("RUN_M"), entry("RUN_S")}) {
    QTest::keyClicks(e, "123");
    EXPECT_EQ(e->text(), "12") << e->objectName().toStdString();
  }
  QTest::keyClicks(entry("DOB"), "01/01/19901");
  EXPECT_EQ(entry("DOB")->text(), "01/01/1990");
}

TEST_F(MainFormTest, StartWithoutTheDatabaseReportsItAndKeepsWorking) {
  start();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].title, "Error");
  EXPECT_EQ(seam.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(seam.shown[0].text.contains(QDir::toNativeSeparators(dbPath()))) << seam.shown[0].text.toStdString();
  EXPECT_TRUE(seam.shown[0].text.contains("unable to open database file")) << seam.shown[0].text.toStdString();
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_FALSE(QFileInfo::exists(dbPath()));  // never created
  EXPECT_FALSE(QFileInfo::exists(dir.file("info.ldb")));
  // Every command that needs the records says why it cannot work.
  seam.shown.clear();
  click(button("Command2"));
  click(button("Command3"));
  click(button("Command4"));  // no current row: silent
  click(button("Command7"));
  ASSERT_EQ(seam.shown.size(), 3u);
  EXPECT_TRUE(seam.shown[0].text.contains("not open"));
  EXPECT_TRUE(seam.shown[1].text.contains("not open"));
  EXPECT_TRUE(seam.shown[2].text.contains(QDir::toNativeSeparators(dbPath())));
  // Once the file is there, Sort finds it.
  makeDb({{{"LNAME", "Late"}}});
  seam.shown.clear();
  click(button("Command7"));
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(shownName(), "Late");
}

TEST_F(MainFormTest, StartWithAFileThatIsNoRecordsDatabase) {
  QFile f(dbPath());
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("these are not the records");
  f.close();
  start();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains("not a database")) << seam.shown[0].text.toStdString();
  EXPECT_EQ(store().rowCount(), 0);
}

TEST_F(MainFormTest, StartWithoutATableFileShowsTheRecords) {
  makeDb({{{"LNAME", "Able"}}});
  QFile::remove(dir.file("2m.dat"));
  start();
  EXPECT_TRUE(seam.shown.empty());
  EXPECT_EQ(shownName(), "Able");
  EXPECT_EQ(gridText(0, 1), "Able");
}

TEST_F(MainFormTest, TheDatabaseToolHoldingTheFileKeepsItClosed) {
  makeDb({{{"LNAME", "Able"}}});
  DbInUseLock tool;
  ASSERT_TRUE(tool.acquireExclusive(dbPath()));
  start();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains("database tool"));
  EXPECT_FALSE(store().isOpen());
  tool.release();
  // While the scorer has the file open the tool cannot take it.
  click(button("Command7"));
  EXPECT_TRUE(store().isOpen());
  // The shared lock is held by this process; an exclusive lock through a
  // second descriptor conflicts with it.
  EXPECT_FALSE(tool.acquireExclusive(dbPath()));
  form->closeRecordSet();
  EXPECT_TRUE(tool.acquireExclusive(dbPath()));
}

// Where no lock can be had at all (here a folder stands where the lock file
// would go), the records still open: no tool could take the lock either.
TEST_F(MainFormTest, NoLockPossibleStillOpensTheRecords) {
  makeDb({{{"LNAME", "Able"}}});
  ASSERT_TRUE(QDir().mkdir(lockFilePath(dbPath())));
  start();
  EXPECT_TRUE(seam.shown.empty()) << (seam.shown.empty() ? "" : seam.shown[0].text.toStdString());
  EXPECT_TRUE(store().isOpen());
  EXPECT_EQ(shownName(), "Able");
}

// Tab walks the cells of a row and, from the last one, goes on to the
// remark, the next control of the window's tab order.
TEST_F(MainFormTest, TabFromTheLastGridColumnGoesOnToTheRemark) {
  makeDb({{{"LNAME", "Able"}, {"SEX", "M"}}});
  start();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  grid()->setFocus();
  grid()->setCurrentIndex(model().index(0, 3));
  QTest::keyClick(grid(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), grid());
  EXPECT_EQ(grid()->currentIndex().column(), 4);
  QTest::keyClick(grid(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), entry("MaskEdBox1"));
  QTest::keyClick(entry("MaskEdBox1"), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), grid());
}

TEST_F(MainFormTest, ComingBackFromAProgramWindowRequeriesButAMessageBoxDoesNot) {
  makeDb({{{"LNAME", "Able"}}, {{"LNAME", "Baker"}}});
  start();
  QWidget other;
  other.setWindowTitle("About");
  form->registerProgramWindow(&other);
  QWidget unregistered;  // a message box, say
  clickRow(1);
  ASSERT_EQ(shownName(), "Baker");
  QTest::keyClicks(entry("MaskEdBox1"), "kept");

  unregistered.show();
  unregistered.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&unregistered));
  unregistered.hide();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "kept");

  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(shownName(), "Able");
  EXPECT_EQ(grid()->currentIndex().row(), 0);
  // The re-query stored what was typed first.
  EXPECT_EQ(rowNamed(dbPath(), "Baker")["REMARK"], "kept");
}

TEST_F(MainFormTest, ClosingTheWindowStoresTheChangedRow) {
  makeDb({{{"LNAME", "Able"}}});
  start();
  QTest::keyClicks(entry("RAW_PU"), "40");
  form->close();
  EXPECT_EQ(readRows(dbPath())[0]["RAW_PU"], "40");
  EXPECT_FALSE(store().isOpen());
}

}  // namespace
