// Two scorers on one info.mdb: the window never stores over the other's
// change unseen. The clerk is shown the fields and chooses; until then
// nothing is stored and what was typed stays on screen.
#include <QLabel>
#include <QStatusBar>
#include <QTableWidget>

#include "conflictdialog.h"
#include "mainformfixture.h"
#include "scriptedchooser.h"

namespace {

using quillon::ConflictChoice;
using quillon::StoreConflict;

class WindowConflict : public quillon::test::MainFormFixture {
 protected:
  void TearDown() override {
    if (form) form->setConflictChooser(nullptr);
  }
  // Answers `choice` and keeps what the clerk was shown.
  void answer(ConflictChoice choice) {
    clerk.answer = choice;
    form->setConflictChooser(&clerk);
  }
  quillon::test::ScriptedChooser clerk;
  const StoreConflict& shown() const { return clerk.conflicts.last(); }
  qsizetype asked() const { return clerk.conflicts.size(); }
};

TEST_F(WindowConflict, TheClerkSeesBothValuesAndChoosesWhatIsStored) {
  makeDb({{{"LNAME", "Baker"}, {"RAW_PU", "40"}}});
  start();
  EXPECT_EQ(form->statusBar()->findChild<QLabel*>("openRecords")->text(), QDir::toNativeSeparators(dbPath()));
  retype(entry("RAW_PU"), "50");
  quillon::test::execSql(dbPath(), "UPDATE info SET RAW_PU='45'");  // the other scorer

  // Closed without a choice: nothing stored, the typing stays.
  answer(ConflictChoice::Undecided);
  click(button("Command4"));
  EXPECT_EQ(asked(), 1);
  ASSERT_EQ(shown().clashes.size(), 1);
  EXPECT_EQ(shown().clashes[0].field, "RAW_PU");
  EXPECT_EQ(shown().clashes[0].theirs, "45");
  EXPECT_EQ(shown().clashes[0].ours, "50");
  EXPECT_EQ(quillon::test::rowNamed(dbPath(), "Baker")["RAW_PU"], "45");
  EXPECT_EQ(entry("RAW_PU")->text(), "50");

  // Store mine.
  answer(ConflictChoice::StoreOurs);
  click(button("Command4"));
  EXPECT_EQ(quillon::test::rowNamed(dbPath(), "Baker")["RAW_PU"], "50");

  // Keep theirs: their values show and the typing is gone.
  retype(entry("RAW_PU"), "55");
  quillon::test::execSql(dbPath(), "UPDATE info SET RAW_PU='60', REMARK='other'");
  answer(ConflictChoice::KeepTheirs);
  click(button("Command4"));
  EXPECT_EQ(quillon::test::rowNamed(dbPath(), "Baker")["RAW_PU"], "60");
  EXPECT_EQ(entry("RAW_PU")->text(), "60");
  EXPECT_EQ(entry("MaskEdBox1")->text(), "other");
  click(button("Command4"));  // nothing typed since: nothing to ask
  EXPECT_EQ(asked(), 3);
}

TEST_F(WindowConflict, TheDialogListsTheirFieldsAndWhatWasTyped) {
  StoreConflict c;
  c.clashes << quillon::FieldClash{"RAW_PU", "45", "40", "50", true}
            << quillon::FieldClash{"REMARK", "other", "", "", false};
  quillon::ConflictDialog d(c, "the record of Baker (ID 1)");
  QTableWidget* t = d.table();
  ASSERT_EQ(t->rowCount(), 2);
  EXPECT_EQ(t->item(0, 1)->text(), "45");
  EXPECT_EQ(t->item(0, 2)->text(), "50");
  EXPECT_EQ(t->item(1, 2)->text(), "(theirs kept)");
  d.findChild<QPushButton*>("storeMine")->click();
  EXPECT_EQ(d.choice(), ConflictChoice::StoreOurs);
}

}  // namespace
