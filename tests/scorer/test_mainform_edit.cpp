// What the clerk does to the records and takes back: Undo and Redo of
// deletions and stored row changes, the Delete and Escape keys in the grid,
// Tab out of a cell editor, the rank list, failures to store, and rows that
// another program deleted or that share an ID.
#include <QAbstractItemView>
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QApplication>
#include <QComboBox>
#include <QStyle>
#include <QStyleFactory>
#include <gtest/gtest.h>

#include "mainformfixture.h"

using namespace quillon;
using quillon::test::Row;
using quillon::test::execSql;
using quillon::test::readRows;
using quillon::test::refuseUpdates;

namespace {

class EditTest : public quillon::test::MainFormFixture {
 protected:
  QString undoText() { return action("MNU_UNDO")->text().remove('&'); }
  QString redoText() { return action("MNU_REDO")->text().remove('&'); }
  Row stored(const QString& name) { return quillon::test::rowNamed(dbPath(), name); }
  QComboBox* openList(int row, int col) {
    const QModelIndex idx = model().index(row, col);
    grid()->setCurrentIndex(idx);
    grid()->edit(idx);
    return qobject_cast<QComboBox*>(grid()->indexWidget(idx));
  }
};

const Row kCole = {{"LNAME", "Abernathy, Cole"}, {"RANK", "SGT"},  {"SSN", "123456789"}, {"SEX", "M"},
                   {"DOB", "03/14/1994"},      {"DOT", "12/01/2026"}, {"RAW_PU", "45"},  {"RAW_SU", "61"},
                   {"RUN_M", "15"},            {"RUN_S", "07"},  {"C_PU", "71"},        {"C_SU", "60"},
                   {"C_RUN", "62"},            {"TOTAL", "193"}, {"STAT", "PASS"},      {"REMARK", "first & only"}};

TEST_F(EditTest, UndoAndRedoWalkDeletionsAndStoredChangesNewestFirst) {
  makeDb({kCole, {{"LNAME", "Baker"}}, {{"LNAME", "Carter"}}});
  start();
  const Row cole = stored("Abernathy, Cole");
  EXPECT_FALSE(action("MNU_UNDO")->isEnabled());
  // A change stored by moving on, then a deletion by the record selector.
  clickRow(gridRowOf("Baker"));
  QTest::keyClicks(entry("MaskEdBox1"), "note");
  EXPECT_EQ(undoText(), "Undo Change of Baker");  // what is typed is the newest change
  clickRow(gridRowOf("Carter"));
  clickSelector(gridRowOf("Abernathy, Cole"));
  QTest::keyClick(grid(), Qt::Key_Delete);
  QApplication::processEvents();
  ASSERT_TRUE(stored("Abernathy, Cole").isEmpty());
  EXPECT_EQ(stored("Baker")["REMARK"], "note");
  EXPECT_EQ(form->menuBar()->actions().at(1), action("MNU_EDIT"));  // right after File

  EXPECT_EQ(undoText(), "Undo Delete of Abernathy, Cole");
  action("MNU_UNDO")->trigger();
  EXPECT_EQ(stored("Abernathy, Cole"), cole);  // its own ID and every field
  EXPECT_EQ(shownName(), "Abernathy, Cole");
  EXPECT_EQ(grid()->currentIndex().row(), store().currentRow());
  EXPECT_EQ(entry("DOB")->text(), "03/14/1994");
  EXPECT_EQ(label("STAT")->text(), "PASS");

  EXPECT_EQ(undoText(), "Undo Change of Baker");
  action("MNU_UNDO")->trigger();
  EXPECT_TRUE(stored("Baker")["REMARK"].isEmpty());
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_TRUE(entry("MaskEdBox1")->text().isEmpty());
  EXPECT_FALSE(action("MNU_UNDO")->isEnabled());

  EXPECT_EQ(redoText(), "Redo Change of Baker");
  action("MNU_REDO")->trigger();
  EXPECT_EQ(stored("Baker")["REMARK"], "note");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "note");
  EXPECT_EQ(redoText(), "Redo Delete of Abernathy, Cole");
  action("MNU_REDO")->trigger();
  EXPECT_TRUE(stored("Abernathy, Cole").isEmpty());
  EXPECT_EQ(readRows(dbPath()).size(), 2);
  EXPECT_TRUE(seam.shown.empty());
}

// A deleted record keeps its number: a row added afterwards gets another,
// so the deletion can still be taken back. (A table whose numbers the engine
// would hand out again.)
TEST_F(EditTest, ADeletedRecordsNumberIsNotGivenToANewRow) {
  quillon::test::createHandMadeInfo(dbPath(), infoFieldNames(), "INTEGER PRIMARY KEY");
  quillon::test::insertRows(dbPath(), {{{"LNAME", "Able"}}, {{"LNAME", "Zane"}}});
  start();
  clickRow(1);
  const QString zaneId = stored("Zane")["ID"];
  click(button("Command3"));
  click(button("Command2"));
  EXPECT_NE(readRows(dbPath()).last()["ID"], zaneId);
  // Ctrl+Z in a box with no typing of its own to undo reaches the records.
  activate();
  entry("MaskEdBox1")->setFocus();
  QTest::keyClick(entry("MaskEdBox1"), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(stored("Zane")["ID"], zaneId);
  EXPECT_TRUE(seam.shown.empty());
}

TEST_F(EditTest, AnUndoAsksBeforeOverwritingALaterChange) {
  makeDb({{{"LNAME", "Able"}, {"RAW_PU", "40"}}, {{"LNAME", "Baker"}}});
  start();
  entry("RAW_PU")->selectAll();
  QTest::keyClicks(entry("RAW_PU"), "55");
  clickRow(1);
  ASSERT_EQ(stored("Able")["RAW_PU"], "55");
  execSql(dbPath(), "UPDATE info SET RAW_PU='60' WHERE LNAME='Able'");  // another program
  seam.answers = {false};
  action("MNU_UNDO")->trigger();
  ASSERT_EQ(seam.questions(), 1);
  EXPECT_TRUE(seam.shown[0].text.contains("RAW_PU")) << seam.shown[0].text.toStdString();
  EXPECT_EQ(stored("Able")["RAW_PU"], "60");
  EXPECT_EQ(undoText(), "Undo Change of Able");  // still there to take
  seam.answers = {true};
  action("MNU_UNDO")->trigger();
  EXPECT_EQ(stored("Able")["RAW_PU"], "40");
  EXPECT_EQ(entry("RAW_PU")->text(), "40");
}

TEST_F(EditTest, DeleteKeyEmptiesASelectedCellAndEscapeTakesAPickBack) {
  makeDb({{{"LNAME", "Able"}, {"RANK", "SGT"}}, {{"LNAME", "Baker"}}});
  start();
  activate();
  clickRow(0);
  QTest::keyClick(grid(), Qt::Key_Delete);
  EXPECT_EQ(readRows(dbPath()).size(), 2);
  EXPECT_TRUE(readRows(dbPath())[0]["LNAME"].isEmpty());
  EXPECT_EQ(undoText(), "Undo Change of record 1");
  action("MNU_UNDO")->trigger();
  EXPECT_EQ(readRows(dbPath())[0]["LNAME"], "Able");

  // A pick is stored at once; Escape puts the old rank back and leaves no step.
  QComboBox* box = openList(0, 2);
  ASSERT_NE(box, nullptr);
  box->setCurrentIndex(box->findText("CPT"));
  emit box->activated(box->currentIndex());
  ASSERT_EQ(stored("Able")["RANK"], "CPT");
  QTest::keyClick(box, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_EQ(stored("Able")["RANK"], "SGT");
  EXPECT_EQ(gridText(0, 2), "SGT");
  EXPECT_FALSE(action("MNU_UNDO")->isEnabled());
  // Typing in a cell and Escape: nothing is stored, the old text shows.
  QLineEdit* ed = openCell(1, 1);
  ASSERT_NE(ed, nullptr);
  QTest::keyClicks(ed, "Zed");
  QTest::keyClick(ed, Qt::Key_Escape);
  EXPECT_EQ(gridText(1, 1), "Baker");
  EXPECT_EQ(stored("Baker")["LNAME"], "Baker");
  EXPECT_TRUE(seam.shown.empty());
}

// Typing a row cell by cell: Tab from the last cell's editor goes on to the
// remark and never into the next soldier's row or the empty line.
TEST_F(EditTest, TabFromTheLastCellEditorLeavesTheGrid) {
  makeDb({{{"LNAME", "Baker"}, {"SEX", "M"}}, {{"LNAME", "Carter"}, {"SEX", "F"}}});
  start();
  activate();
  for (int row : {0, 2}) {  // a stored row, then the empty line
    QLineEdit* ed = openCell(row, 1);
    ASSERT_NE(ed, nullptr);
    ed->selectAll();
    QTest::keyClicks(ed, row == 0 ? "Becker" : "Newman");
    QTest::keyClick(ed, Qt::Key_Tab);
    QApplication::processEvents();
    for (int col = 2; col <= 4; ++col) {
      QWidget* editor = QApplication::focusWidget();
      ASSERT_TRUE(grid()->isAncestorOf(editor)) << col;
      if (col == 3) QTest::keyClicks(editor, "123456789");
      QTest::keyClick(editor, Qt::Key_Tab);
      QApplication::processEvents();
    }
    EXPECT_EQ(QApplication::focusWidget(), entry("MaskEdBox1")) << row;
    EXPECT_TRUE(entry("MaskEdBox1")->isEnabled());
  }
  EXPECT_EQ(stored("Becker")["SSN"], "123456789");
  EXPECT_EQ(stored("Newman")["SSN"], "123456789");
  EXPECT_EQ(stored("Newman")["SEX"], "M");
  EXPECT_EQ(stored("Carter")["SEX"], "F");
  EXPECT_TRUE(stored("Carter")["SSN"].isEmpty());
  EXPECT_EQ(readRows(dbPath()).size(), 3);
  EXPECT_EQ(shownName(), "Newman");
  QTest::keyClick(entry("MaskEdBox1"), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), grid());
}

TEST_F(EditTest, TheRankListShowsSevenItemsAtATime) {
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  makeDb({{{"LNAME", "Able"}}});
  start();
  QComboBox* box = openList(0, 2);
  ASSERT_NE(box, nullptr);
  box->showPopup();
  QApplication::processEvents();
  QAbstractItemView* list = box->view();
  int whole = 0;
  for (int i = 0; i < box->count(); ++i)
    if (list->viewport()->rect().contains(list->visualRect(list->model()->index(i, 0)))) ++whole;
  EXPECT_EQ(whole, 7);
  box->hidePopup();
}

TEST_F(EditTest, AfterAddTheNameCellAndAfterDeleteTheGridHaveTheFocus) {
  makeDb({{{"LNAME", "A"}}, {{"LNAME", "B"}}, {{"LNAME", "C"}}});
  start();
  activate();
  button("Command2")->setFocus();
  QTest::keyClick(button("Command2"), Qt::Key_Space);
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), grid());
  EXPECT_EQ(grid()->currentIndex(), model().index(3, 1));
  clickRow(0);
  button("Command3")->setFocus();
  QTest::keyClick(button("Command3"), Qt::Key_Space);
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), grid());
  // Nothing is left selected for the Delete key to take either.
  QTest::keyClick(grid(), Qt::Key_Delete);
  QApplication::processEvents();
  EXPECT_EQ(readRows(dbPath()).size(), 3);  // only A went
  EXPECT_FALSE(stored("B").isEmpty());
}

// A store that fails keeps the clerk's typing on screen and the row shown:
// when coming back to the window, and on Update with the engine's message.
TEST_F(EditTest, AFailedStoreKeepsWhatWasTypedOnScreen) {
  makeDb({{{"LNAME", "Able"}}, {{"LNAME", "Baker"}}});
  start();
  clickRow(1);
  refuseUpdates(dbPath(), "the disk is full");
  QTest::keyClicks(entry("MaskEdBox1"), "typed");
  form->Form_Activate();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains("the disk is full"));
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "typed");
  click(button("Command4"));
  ASSERT_EQ(seam.shown.size(), 2u);
  EXPECT_EQ(seam.shown[1].title, "Error");
  EXPECT_TRUE(seam.shown[1].text.contains("the disk is full"));
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "typed");
  EXPECT_TRUE(stored("Baker")["REMARK"].isEmpty());
}

TEST_F(EditTest, ARowDeletedByAnotherProgramIsReportedOnceAndTheClerkGoesOn) {
  makeDb({{{"LNAME", "Able"}}, {{"LNAME", "Baker"}}, {{"LNAME", "Carter"}}});
  start();
  clickRow(1);
  QTest::keyClicks(entry("MaskEdBox1"), "copy me");
  execSql(dbPath(), "DELETE FROM info WHERE LNAME='Baker'");
  clickRow(2);
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains("Baker"));
  EXPECT_EQ(shownName(), "Baker");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "copy me");
  clickRow(2);
  EXPECT_EQ(shownName(), "Carter");
  clickRow(1);
  click(button("Command2"));
  click(button("Command7"));
  EXPECT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(gridText(1, 1), "Able");  // after the added, nameless row
  EXPECT_EQ(readRows(dbPath()).size(), 3);  // Able, Carter and the added row
}

TEST_F(EditTest, RowsSharingAnIdAreChangedAndDeletedOneAtATime) {
  quillon::test::createHandMadeInfo(dbPath(), infoFieldNames());
  quillon::test::insertRows(dbPath(), {{{"ID", "7"}, {"LNAME", "Twin A"}}, {{"ID", "7"}, {"LNAME", "Twin B"}}});
  start();
  ASSERT_EQ(gridText(0, 0), "7");
  ASSERT_EQ(gridText(1, 0), "7");
  clickRow(1);
  QTest::keyClicks(entry("RAW_PU"), "42");
  click(button("Command4"));
  EXPECT_EQ(stored("Twin B")["RAW_PU"], "42");
  EXPECT_TRUE(stored("Twin A")["RAW_PU"].isEmpty());
  clickRow(0);
  click(button("Command3"));
  ASSERT_EQ(readRows(dbPath()).size(), 1);
  EXPECT_EQ(readRows(dbPath())[0]["LNAME"], "Twin B");
  action("MNU_UNDO")->trigger();
  EXPECT_EQ(stored("Twin A")["ID"], "7");
  EXPECT_EQ(readRows(dbPath()).size(), 2);
  EXPECT_TRUE(seam.shown.empty());
}

}  // namespace
