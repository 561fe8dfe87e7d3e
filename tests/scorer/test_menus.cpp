// The main window's menus: the menu tree, the five report commands, Exit,
// help on F1 and Contents, and the one About box.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QFileDialog>
#include <QDialog>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "about.h"
#include "dbfile.h"
#include "mainformfixture.h"
#include "menupart.h"
#include "recordsdb.h"
#include "recordstore.h"
#include "report.h"
#include "scorerparts.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

void execSql(const QString& db, const QString& sql) {
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(db).constData(), &h), SQLITE_OK);
  char* err = nullptr;
  const int rc = sqlite3_exec(h, sql.toUtf8().constData(), nullptr, nullptr, &err);
  EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(h);
}

// The rows a report object prints with what it was last given, in order.
std::vector<ReportRow> rowsOf(const ReportObject& r) {
  std::vector<ReportRow> rows;
  r.prepare().rows->open()->forEach([&](const ReportRow& row) { rows.push_back(row); });
  return rows;
}

QString fieldOf(const std::vector<ReportRow>& rows, const QString& name, const QString& field) {
  const int n = infoFieldNames().indexOf("LNAME");
  const int f = infoFieldNames().indexOf(field);
  for (const ReportRow& r : rows)
    if (r[n] == name) return r[f];
  return "<no such row>";
}

// A main window over a scratch folder with the tables, report files, help
// and a few records; boxes go to a script, reports to PDF files.
class Menus : public quillon::test::MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    dir.copyData({"basic.rpt", "date.rpt", "profile.rpt", "status.rpt", "ravelin.hlp"});
    createRecordsDatabase(dbPath());
    execSql(dbPath(),
            "INSERT INTO info (LNAME, TOTAL, DOT, STAT, PROFILE, RAW_PU) VALUES "
            "('Mid', '180', '12/30/2025', 'FAIL', '', '30'),"
            "('Low', '90', '01/02/2026', 'FAIL', 'PROFILE', '0'),"
            "('High', '270', '06/01/2025', 'PASS', '', '70'),"
            "('Fresh', '', '', ' ', '', '')");
    menuParts = scorerMenuParts();
    start();
    MenuObjects& m = menus();
    m.exitProgram = [this](int code) { exitCodes.push_back(code); };
    m.NameReport.setPdfDestination(dir.file("name.pdf"));
    m.TotalReport.setPdfDestination(dir.file("total.pdf"));
    m.ProfileReport.setPdfDestination(dir.file("profile.pdf"));
  }
  MenuObjects& menus() {
    auto* m = form->findChild<MenuObjects*>("MenuObjects");
    if (!m) throw std::runtime_error("no menu objects");
    return *m;
  }
  QAction* act(const char* name) {
    auto* a = form->findChild<QAction*>(name);
    if (!a) throw std::runtime_error(name);
    return a;
  }
  void TearDown() override {
    form.reset();
    EXPECT_TRUE(seam.answers.empty()) << "scripted answers left over";
  }

  std::vector<int> exitCodes;
};

struct Item {
  QString name;
  QString text;
  bool separator;
};

std::vector<Item> itemsOf(const QList<QAction*>& actions) {
  std::vector<Item> out;
  for (QAction* a : actions) out.push_back({a->objectName(), a->isSeparator() ? "-" : a->text(), a->isSeparator()});
  return out;
}

void expectItems(const QList<QAction*>& actions, const std::vector<std::pair<QString, QString>>& want) {
  const auto got = itemsOf(actions);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].name, want[i].first);
    EXPECT_EQ(got[i].text, want[i].second) << got[i].name.toStdString();
  }
}

}  // namespace

TEST_F(Menus, MenuTreeHasEveryItemInOrder) {
  expectItems(form->menuBar()->actions(), {{"MNU_FILE", "&File"}, {"MNU_EDIT", "&Edit"}, {"MNU_RECORDS", "&Records"}, {"MNU_TESTDAY", "&Test Day"}, {"MNU_HELP", "&Help"}});
  ASSERT_TRUE(act("MNU_FILE")->menu());
  expectItems(act("MNU_FILE")->menu()->actions(),
              {{"MNU_REPORT", "&Create Report"}, {"MNU_SEPERATOR2", "-"}, {"MNU_EXIT", "&Exit"}});
  ASSERT_TRUE(act("MNU_REPORT")->menu());
  expectItems(act("MNU_REPORT")->menu()->actions(), {{"MNU_NAME", "by &Name..."},
                                                    {"MNU_TOTAL", "by &Total..."},
                                                    {"MNU_DATE", "by &Date..."},
                                                    {"MNU_PROFILES", "of &Profiles..."},
                                                    {"MNU_STATUS", "&Status Chart..."}});
  ASSERT_TRUE(act("MNU_HELP")->menu());
  expectItems(act("MNU_HELP")->menu()->actions(),
              {{"MNU_CONTENTS", "&Contents"}, {"MNU_SEPERATOR3", "-"}, {"MNU_ABOUT", "&About..."}});
  EXPECT_TRUE(act("MNU_SEPERATOR2")->isSeparator());
  EXPECT_TRUE(act("MNU_SEPERATOR3")->isSeparator());
}

TEST_F(Menus, EachReportCommandSetsItsFileObjectAndKey) {
  MenuObjects& m = menus();
  struct Case {
    QAction* item;
    ReportObject* object;
    const char* file;
    const char* key;
    const char* pdf;
  } cases[] = {
      {act("MNU_NAME"), &m.NameReport, "basic.rpt", "+{info.LNAME}", "name.pdf"},
      {act("MNU_TOTAL"), &m.TotalReport, "basic.rpt", "-{info.TOTAL}", "total.pdf"},
      {act("MNU_DATE"), &m.NameReport, "date.rpt", "", "name.pdf"},
      {act("MNU_PROFILES"), &m.ProfileReport, "profile.rpt", "+{info.LNAME}", "profile.pdf"},
      {act("MNU_STATUS"), &m.ProfileReport, "status.rpt", "", "profile.pdf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item->objectName().toStdString());
    for (const char* pdf : {"name.pdf", "total.pdf", "profile.pdf"}) QFile::remove(dir.file(pdf));
    c.item->trigger();
    EXPECT_TRUE(seam.shown.empty()) << seam.texts().join("\n").toStdString();
    EXPECT_EQ(c.object->reportFileName(), QDir::current().filePath(c.file));
    EXPECT_EQ(c.object->sortFields(0), c.key);
    // Exactly the one object ran: each writes to a file of its own.
    for (const char* pdf : {"name.pdf", "total.pdf", "profile.pdf"})
      EXPECT_EQ(QFile::exists(dir.file(pdf)), QString(pdf) == c.pdf) << pdf;
  }
}

TEST_F(Menus, ReportsReadTheDatabaseInTheirOwnOrder) {
  MenuObjects& m = menus();
  auto names = [](const ReportObject& r) {
    QStringList n;
    for (const ReportRow& row : rowsOf(r)) n << row[1];
    return n;
  };
  act("MNU_TOTAL")->trigger();
  EXPECT_EQ(names(m.TotalReport), QStringList({"High", "Mid", "Low", "Fresh"}));
  act("MNU_NAME")->trigger();
  EXPECT_EQ(names(m.NameReport), QStringList({"Fresh", "High", "Low", "Mid"}));
  // by Date after by Name on the same object: the date order, not the name key.
  act("MNU_DATE")->trigger();
  EXPECT_EQ(names(m.NameReport), QStringList({"Fresh", "High", "Mid", "Low"}));
  act("MNU_PROFILES")->trigger();
  EXPECT_EQ(names(m.ProfileReport), QStringList({"Low"}));
  act("MNU_STATUS")->trigger();
  EXPECT_TRUE(reportText(m.ProfileReport.prepare()).contains("Not yet converted\t1\t25.0%"));
  EXPECT_TRUE(seam.shown.empty()) << seam.texts().join("\n").toStdString();
}

TEST_F(Menus, ReportsSeeRowsStoredByTheWindow) {
  // Stored by the window's own connection, read by the engine's.
  store().moveTo(0);
  store().edit();
  store().setField("TOTAL", "999");
  store().update();
  const QString first = store().field("LNAME");
  act("MNU_TOTAL")->trigger();
  ASSERT_FALSE(rowsOf(menus().TotalReport).empty());
  EXPECT_EQ(rowsOf(menus().TotalReport)[0][1], first);
}

TEST_F(Menus, AReportPrintsTheChangedRowOnScreenOrDoesNotRun) {
  const QString name = store().field("LNAME");
  entry("RAW_PU")->setFocus();
  entry("RAW_PU")->selectAll();
  QTest::keyClicks(entry("RAW_PU"), "42");
  act("MNU_NAME")->trigger();
  EXPECT_EQ(fieldOf(rowsOf(menus().NameReport), name, "RAW_PU"), "42");
  EXPECT_TRUE(seam.shown.empty()) << seam.texts().join("\n").toStdString();

  // When the row cannot be stored the clerk is told, and no report leaves it out.
  entry("RAW_PU")->selectAll();
  QTest::keyClicks(entry("RAW_PU"), "43");
  execSql(dir.file("info.mdb"), "CREATE TRIGGER nochange BEFORE UPDATE ON info BEGIN SELECT RAISE(ABORT, 'read only'); END");
  QFile::remove(dir.file("total.pdf"));
  act("MNU_TOTAL")->trigger();
  EXPECT_FALSE(QFile::exists(dir.file("total.pdf")));
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_EQ(seam.shown[0].title, "Error");
  EXPECT_EQ(entry("RAW_PU")->text(), "43") << "what was typed is still there";
}

TEST_F(Menus, AMissingReportFileIsReportedAndTheProgramGoesOn) {
  ASSERT_TRUE(QFile::remove(dir.file("date.rpt")));
  act("MNU_DATE")->trigger();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains(QDir::current().filePath("date.rpt"))) << seam.shown[0].text.toStdString();
  EXPECT_EQ(seam.shown[0].title, "Error");
  EXPECT_EQ(seam.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(form->isVisible());
  act("MNU_NAME")->trigger();
  EXPECT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(QFile::exists(dir.file("name.pdf")));
}

TEST_F(Menus, ReportFilesAreLookedUpInTheCurrentFolderAtRunTime) {
  ScratchDir other;  // now current, without any report file
  act("MNU_STATUS")->trigger();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains(other.file("status.rpt"))) << seam.shown[0].text.toStdString();
}

TEST_F(Menus, ExitStoresAChangedRowClosesTheRecordsAndEndsWithEveryWindow) {
  act("MNU_ABOUT")->trigger();
  QPointer<About> about = menus().about;
  ASSERT_TRUE(about && about->isVisible());
  const QString name = store().field("LNAME");
  entry("RAW_PU")->setFocus();
  entry("RAW_PU")->selectAll();
  QTest::keyClicks(entry("RAW_PU"), "42");
  ASSERT_EQ(entry("RAW_PU")->text(), "42");

  act("MNU_EXIT")->trigger();
  EXPECT_EQ(exitCodes, std::vector<int>({0}));
  EXPECT_FALSE(store().isOpen());
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(about->isVisible());
  EXPECT_EQ(test::rowNamed(dir.file("info.mdb"), name).value("RAW_PU"), "42");
  EXPECT_TRUE(seam.shown.empty()) << seam.texts().join("\n").toStdString();
}

TEST_F(Menus, ExitWhenTheRowCannotBeStoredLetsTheClerkStay) {
  const QString name = store().field("LNAME");
  QTest::keyClicks(entry("MaskEdBox1"), "note");
  // Someone else removed the table's write access: make the store fail.
  execSql(dir.file("info.mdb"), "CREATE TRIGGER nochange BEFORE UPDATE ON info BEGIN SELECT RAISE(ABORT, 'read only'); END");
  seam.answers = {false};
  act("MNU_EXIT")->trigger();
  EXPECT_TRUE(exitCodes.empty());
  EXPECT_TRUE(store().isOpen());
  EXPECT_TRUE(form->isVisible());
  ASSERT_GE(seam.shown.size(), 2u);
  EXPECT_TRUE(seam.shown.back().question);
  EXPECT_EQ(entry("MaskEdBox1")->text(), "note") << "what was typed is still there";

  seam.answers = {true};
  act("MNU_EXIT")->trigger();
  EXPECT_EQ(exitCodes, std::vector<int>({0}));
  EXPECT_FALSE(store().isOpen());
}

TEST_F(Menus, AboutTwiceShowsOneBoxThatOkHides) {
  act("MNU_ABOUT")->trigger();
  About* first = menus().about;
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(first->isModal());
  act("MNU_ABOUT")->trigger();
  EXPECT_EQ(menus().about, first);
  EXPECT_EQ(form->findChildren<About*>().size(), 1);
  QTest::mouseClick(first->Command1, Qt::LeftButton);
  EXPECT_FALSE(first->isVisible());
  act("MNU_ABOUT")->trigger();
  EXPECT_EQ(menus().about, first);
  EXPECT_TRUE(first->isVisible());
  // Modeless: the main window's commands still work beside it.
  EXPECT_TRUE(form->isEnabled());
  act("MNU_NAME")->trigger();
  EXPECT_TRUE(QFile::exists(dir.file("name.pdf")));
}

TEST_F(Menus, ComingBackFromAboutRunsTheActivationStep) {
  act("MNU_ABOUT")->trigger();
  About* about = menus().about;
  ASSERT_TRUE(about->windowHandle() && form->windowHandle());
  ASSERT_GE(store().rowCount(), 2);
  store().moveTo(store().rowCount() - 1);
  ASSERT_NE(store().currentRow(), 0);
  // The focus goes to the About box, then back to the main window.
  emit qApp->focusWindowChanged(about->windowHandle());
  emit qApp->focusWindowChanged(form->windowHandle());
  EXPECT_EQ(store().currentRow(), 0) << "re-queried: the first row in name order is current";
  EXPECT_EQ(store().field("LNAME"), "Fresh");
}

TEST_F(Menus, F1OnAControlOpensItsTopic) {
  MenuObjects& m = menus();
  QTest::keyClick(entry("RUN_M"), Qt::Key_F1);
  ASSERT_TRUE(m.help);
  EXPECT_TRUE(m.help->isVisible());
  EXPECT_EQ(m.help->currentTopic(), "scores");
  QTest::keyClick(button("Command6"), Qt::Key_F1);
  EXPECT_EQ(m.help->currentTopic(), "convert");
  EXPECT_TRUE(m.help->browser()->toPlainText().contains("How Convert decides"));
  // F1 elsewhere than in the main window is not ours: the closed help stays
  // closed, at the topic it had.
  m.help->hide();
  QLineEdit stranger;
  QTest::keyClick(&stranger, Qt::Key_F1);
  EXPECT_FALSE(m.help->isVisible());
  EXPECT_EQ(m.help->currentTopic(), "convert");
}

TEST_F(Menus, ContentsPressesF1AndTheHelpIsShownWhenItReturns) {
  entry("RAW_PU")->setFocus();
  act("MNU_CONTENTS")->trigger();
  MenuObjects& m = menus();
  ASSERT_TRUE(m.help);
  EXPECT_TRUE(m.help->isVisible());
  EXPECT_EQ(m.help->currentTopic(), "");
  EXPECT_EQ(m.help->loadedFile(), QDir::current().filePath("ravelin.hlp"));
}

TEST_F(Menus, MissingHelpFileIsReportedByPath) {
  ASSERT_TRUE(QFile::remove(dir.file("ravelin.hlp")));
  act("MNU_CONTENTS")->trigger();
  ASSERT_EQ(seam.shown.size(), 1u);
  EXPECT_TRUE(seam.shown[0].text.contains(dir.file("ravelin.hlp"))) << seam.shown[0].text.toStdString();
  EXPECT_TRUE(!menus().help || !menus().help->isVisible());
  // One box per press: F1 on a control is acted on there, not again on its way to the window.
  QTest::keyClick(entry("RUN_M"), Qt::Key_F1);
  EXPECT_EQ(seam.shown.size(), 2u);
  EXPECT_TRUE(!menus().help || !menus().help->isVisible());
}

TEST_F(Menus, ReportOpensInAPreviewThatSavesAPdfAndSaysWhere) {
  MenuObjects& m = menus();
  m.NameReport.setPdfDestination(QString());  // the clerk's way: a preview window
  m.TotalReport.setPdfDestination(QString());
  // by Name and by Total share a layout but not a title, nor a file name.
  struct Seen {
    QString title, suggested;
  };
  auto saveFrom = [&](QAction* item, const QString& saveAs) {
    Seen seen;
    QTimer::singleShot(0, [&] {
      auto* preview = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!preview) return;
      seen.title = preview->windowTitle();
      if (QAction* save = preview->findChild<QAction*>("SavePdf")) {
        QTimer::singleShot(0, [&] {
          auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
          if (!files) return;
          seen.suggested = files->selectedFiles().value(0);
          files->selectFile(saveAs);
          QMetaObject::invokeMethod(files, "accept");
        });
        save->trigger();
      }
      preview->reject();
    });
    item->trigger();
    return seen;
  };
  const Seen byName = saveFrom(act("MNU_NAME"), dir.file("kept.pdf"));
  EXPECT_EQ(byName.title, "Fitness Test Records by Name");
  EXPECT_EQ(QFileInfo(byName.suggested).fileName(), "Fitness Test Records by Name.pdf");
  EXPECT_TRUE(QFile::exists(dir.file("kept.pdf")));
  ASSERT_EQ(seam.shown.size(), 1u) << "the clerk is told where the file went";
  EXPECT_TRUE(seam.shown[0].text.contains(QDir::toNativeSeparators(dir.file("kept.pdf")))) << seam.shown[0].text.toStdString();
  EXPECT_NE(seam.shown[0].icon, MsgIcon::Exclamation);

  const Seen byTotal = saveFrom(act("MNU_TOTAL"), dir.file("total kept.pdf"));
  EXPECT_EQ(byTotal.title, "Fitness Test Records by Total");
  EXPECT_EQ(QFileInfo(byTotal.suggested).fileName(), "Fitness Test Records by Total.pdf");
  EXPECT_TRUE(QFile::exists(dir.file("total kept.pdf")));
}
