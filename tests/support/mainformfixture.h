#pragma once
// The main window started in a scratch folder over an info.mdb made for the
// test, with scripted message boxes, and the clerk's ways of working it:
// clicking rows, typing into grid cells and boxes, pressing buttons. Its
// controls are found as the clerk and the help file know them, by their
// object names; a name that is not there fails the test.

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <vector>

#include "dbfile.h"
#include "fakes.h"
#include "mainform.h"
#include "recordgrid.h"
#include "recordsdb.h"
#include "recordstore.h"
#include "testsupport.h"

namespace quillon::test {

class MainFormFixture : public ::testing::Test {
 protected:
  void SetUp() override { dir.copyTables(); }

  void makeDb(const QList<Row>& rows) {
    createRecordsDatabase(dbPath());
    insertRows(dbPath(), rows);
  }
  QString dbPath() const { return dir.file("info.mdb"); }

  // Creates the window in the scratch folder and lets the activation step run.
  void start() {
    form = std::make_unique<MainForm>(nullptr, menuParts);
    form->setMessageSeam(&seam);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();
  }
  void activate() {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  // The window's control (or menu item) of this object name.
  template <class T>
  T* control(const char* name) const {
    T* c = form->findChild<T*>(QString::fromLatin1(name));
    if (!c) throw std::logic_error(std::string("the main window has no control named ") + name);
    return c;
  }
  QLineEdit* entry(const char* name) const { return control<QLineEdit>(name); }
  QLabel* label(const char* name) const { return control<QLabel>(name); }
  QPushButton* button(const char* name) const { return control<QPushButton>(name); }
  QAction* action(const char* name) const { return control<QAction>(name); }
  RecordGrid* grid() const { return control<RecordGrid>("TDBGrid1"); }
  RecordStore& store() const { return form->records(); }

  RecordModel& model() { return *qobject_cast<RecordModel*>(grid()->model()); }
  QString gridText(int row, int col) { return model().index(row, col).data().toString(); }
  QString shownName() {
    const int r = store().currentRow();
    return r < 0 ? QStringLiteral("<none>") : store().value(r, store().fieldIndex("LNAME"));
  }
  int gridRowOf(const QString& name) {
    for (int r = 0; r < store().rowCount(); ++r)
      if (store().value(r, store().fieldIndex("LNAME")) == name) return r;
    return -1;
  }
  void clickRow(int row) {
    const QRect rect = grid()->visualRect(model().index(row, 1));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, rect.center());
    QApplication::processEvents();
  }
  // Clicks the record selector at the left of a row (in its middle: near
  // its edges the mouse takes hold of the row's height instead).
  void clickSelector(int row) {
    QHeaderView* h = grid()->verticalHeader();
    const QPoint at(h->width() / 2, h->sectionViewportPosition(row) + h->sectionSize(row) / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
  }
  // Opens the text editor of a grid cell, as a double click would.
  QLineEdit* openCell(int row, int col) {
    const QModelIndex idx = model().index(row, col);
    grid()->setCurrentIndex(idx);
    grid()->edit(idx);
    return qobject_cast<QLineEdit*>(QApplication::focusWidget());
  }
  // Types into a grid cell through its editor and commits with Return.
  void typeInGrid(int row, int col, const QString& text) {
    QLineEdit* ed = openCell(row, col);
    ASSERT_NE(ed, nullptr);
    ed->selectAll();
    QTest::keyClicks(ed, text);
    QTest::keyClick(ed, Qt::Key_Return);
    QApplication::processEvents();
  }
  void retype(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
  }
  void click(QPushButton* b) {
    QTest::mouseClick(b, Qt::LeftButton);
    QApplication::processEvents();
  }

  ScratchDir dir;
  ScriptedSeam seam;
  // Menus of other windows the window starts with (none: the scorer alone).
  std::vector<MainForm::MenuBarPart> menuParts;
  std::unique_ptr<MainForm> form;
};

}  // namespace quillon::test
