// Records in and out through the main window: a roster imported through its
// preview and taken back in one step, a cancelled import, the old database
// refused, an export in a report's order, an older file brought up to date,
// and the alternate event of a Convert on the scorecard.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QMenuBar>
#include <QPainter>
#include <QRegularExpression>
#include <sqlite3.h>

#include "alternate.h"
#include "importdialog.h"
#include "mainformfixture.h"
#include "recordsmenu.h"
#include "scorecard.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// One soldier to add, one matching the stored record by SSN (new name,
// rank, sex and date of birth), one refused for its SSN.
const QByteArray kRoster =
    "Name,Rank,SSN,Sex,DOB\n"
    "\"Baker, Ann\",SGT,222-33-4444,F,02/03/1990\n"
    "\"Abel, Sam\",SSG,111223333,M,1985-04-05\n"
    "\"Cole, Tim\",PV2,12-345,M,01/01/2000\n";

QStringList columnsOf(const QString& path) {
  QStringList names;
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA table_info(info)", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return names;
}

class RecordsIoTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    makeDb({{{"LNAME", "Abel, Samuel"}, {"RANK", "PV2"}, {"SSN", "111-22-3333"}, {"SEX", "F"}, {"DOB", "01/01/1980"},
             {"RAW_PU", "40"}}});
    QFile f(dir.file("roster.csv"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kRoster);
  }
  RecordsMenu& records() { return *form->findChild<RecordsMenu*>(QStringLiteral("RecordsMenu")); }
  // The clerk's answers in the preview, given once it is up.
  void whenPreviewShown(std::function<void(ImportDialog&)> act) {
    QTimer::singleShot(0, [act] {
      auto* d = qobject_cast<ImportDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      act(*d);
    });
  }
  Row rowWithSsn(const QString& ssn) {
    for (const Row& r : readRows(dbPath()))
      if (r["SSN"] == ssn) return r;
    return {};
  }
};

TEST_F(RecordsIoTest, RosterPreviewedImportedAndUndoneInOneStep) {
  start();
  QStringList tabs;
  whenPreviewShown([&](ImportDialog& d) {
    for (int i = 0; i < d.tabs->count(); ++i) tabs << d.tabs->tabText(i);
    d.takeButton->click();
    d.importButton->click();
  });
  ASSERT_TRUE(records().importRoster(dir.file("roster.csv")));
  EXPECT_EQ(tabs, QStringList({"To add (1)", "Matching a record (1)", "Refused (1)"}));
  const QList<Row> after = readRows(dbPath());
  ASSERT_EQ(after.size(), 2);
  const Row updated = rowWithSsn("111-22-3333");
  EXPECT_EQ(updated["LNAME"], "Abel, Sam");
  EXPECT_EQ(updated["RANK"], "SSG");
  EXPECT_EQ(updated["SEX"], "M");
  EXPECT_EQ(updated["DOB"], "04/05/1985");
  EXPECT_EQ(updated["RAW_PU"], "40");  // results are not the roster's to change
  EXPECT_EQ(rowWithSsn("222-33-4444")["LNAME"], "Baker, Ann");
  EXPECT_EQ(store().rowCount(), 2);
  EXPECT_TRUE(seam.texts().contains("1 records added, 1 updated."));

  // One Undo takes the whole import back.
  EXPECT_EQ(action("MNU_UNDO")->text(), "&Undo Import of roster.csv");
  action("MNU_UNDO")->trigger();
  QApplication::processEvents();
  const QList<Row> undone = readRows(dbPath());
  ASSERT_EQ(undone.size(), 1);
  EXPECT_EQ(undone[0]["LNAME"], "Abel, Samuel");
  EXPECT_EQ(undone[0]["RANK"], "PV2");
  EXPECT_EQ(undone[0]["DOB"], "01/01/1980");
  EXPECT_EQ(store().rowCount(), 1);
  // And Redo puts it back under the same numbers.
  action("MNU_REDO")->trigger();
  QApplication::processEvents();
  EXPECT_EQ(readRows(dbPath()).size(), 2);
  EXPECT_EQ(rowWithSsn("111-22-3333")["LNAME"], "Abel, Sam");
}

TEST_F(RecordsIoTest, CancelWhileStoringStoresNothing) {
  start();
  const QList<Row> before = readRows(dbPath());
  whenPreviewShown([](ImportDialog& d) {
    d.takeButton->click();
    // The progress shows once storing has begun; Cancel is pressed there.
    QTimer::singleShot(0, [] {
      QProgressDialog* p = nullptr;
      for (QWidget* w : QApplication::allWidgets())
        if (auto* pd = qobject_cast<QProgressDialog*>(w)) p = pd;
      ASSERT_NE(p, nullptr);
      p->cancel();
    });
    d.importButton->click();
  });
  EXPECT_FALSE(records().importRoster(dir.file("roster.csv")));
  EXPECT_EQ(readRows(dbPath()), before);
  EXPECT_EQ(store().rowCount(), 1);
  EXPECT_FALSE(form->history().canStep(RecordHistory::Direction::Back));
  EXPECT_TRUE(seam.texts().contains("The import was cancelled. Nothing was stored."));
}

TEST_F(RecordsIoTest, MalformedRosterIsRefusedWithItsLine) {
  QFile f(dir.file("bad.csv"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("Name,Rank\n\"Abel, Sam\",SGT\n");
  f.close();
  start();
  EXPECT_FALSE(records().importRoster(dir.file("bad.csv")));
  ASSERT_FALSE(seam.shown.empty());
  EXPECT_EQ(seam.shown.back().text, "bad.csv cannot be imported: no SSN column (line 1). Nothing was stored.");
  EXPECT_EQ(readRows(dbPath()).size(), 1);
}

TEST_F(RecordsIoTest, OldDatabaseWithoutTableInfoIsRefusedAndNothingStored) {
  start();
  records().mdbHelper = QStringLiteral(QUILLON_MDB_HELPER);
  const QString fixture = QStringLiteral("/work/shared/fixtures/jet4-datetest.mdb");
  if (!QFile::exists(fixture)) GTEST_SKIP() << "no Jet fixture here";
  EXPECT_FALSE(records().importOldDatabase(fixture));
  ASSERT_FALSE(seam.shown.empty());
  EXPECT_EQ(seam.shown.back().text,
            "jet4-datetest.mdb cannot be imported: the file has no table named info. Nothing was stored.");
  EXPECT_EQ(readRows(dbPath()).size(), 1);
  EXPECT_FALSE(form->history().canStep(RecordHistory::Direction::Back));
}

TEST_F(RecordsIoTest, ExportOfTheTotalReportKeepsItsOrderAndEveryField) {
  dir.copyData({"basic.rpt"});
  insertRows(dbPath(), {{{"LNAME", "Low"}, {"SSN", "222-22-2222"}, {"TOTAL", "150"}},
                        {{"LNAME", "High"}, {"SSN", "333-33-3333"}, {"TOTAL", "290"}}});
  start();
  ASSERT_TRUE(records().exportRecords(dir.file("out.csv"), RecordsMenu::ExportOrder::ByTotal));
  QFile f(dir.file("out.csv"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(f.readAll()).split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(lines[0].contains("ID") && lines[0].contains("REMARK"));
  EXPECT_TRUE(lines[1].contains("High"));
  EXPECT_TRUE(lines[2].contains("Low"));
}

TEST_F(RecordsIoTest, OlderFileGainsTheAlternateFieldsWithItsRowsUntouched) {
  const QList<Row> before = readRows(dbPath());
  ASSERT_EQ(columnsOf(dbPath()), infoFieldNames());
  start();
  EXPECT_EQ(columnsOf(dbPath()), infoFieldNames() + QStringList({"ALT_EVENT", "ALT_TIME"}));
  QList<Row> after = readRows(dbPath());
  ASSERT_EQ(after.size(), 1);
  EXPECT_TRUE(after[0]["ALT_EVENT"].isNull());
  after[0].remove("ALT_EVENT");
  after[0].remove("ALT_TIME");
  EXPECT_EQ(after, before);
}

TEST_F(RecordsIoTest, ConvertWithTheAlternateEventPutsItOnTheScorecard) {
  insertRows(dbPath(), {{{"LNAME", "Aaron, Swimmer"}, {"SSN", "444-44-4444"}, {"SEX", "M"}, {"DOB", "03/14/1994"},
                         {"RAW_PU", "80"}, {"RAW_SU", "85"}, {"RUN_M", "0"}, {"RUN_S", "0"}}});
  start();
  FixedClock clock{QDate(2026, 12, 7)};
  form->setClock(&clock);
  clickRow(gridRowOf("Aaron, Swimmer"));
  seam.answers = {true};  // on a permanent profile for the run
  QTimer::singleShot(0, [this] {
    Alternate* a = form->alternateWindow();
    ASSERT_NE(a, nullptr);
    a->Combo1->setCurrentIndex(a->Combo1->findText("800 Y Swim"));
    QTest::keyClicks(a->M, "15");
    QTest::keyClicks(a->S, "7");
    QTest::mouseClick(a->Command1, Qt::LeftButton);
  });
  click(button("Command6"));
  click(button("Command4"));
  const Row stored = rowWithSsn("444-44-4444");
  EXPECT_EQ(stored["ALT_EVENT"], "800 Y Swim");
  EXPECT_EQ(stored["ALT_TIME"], "15:07");
  EXPECT_EQ(stored["STAT"], "PASS");
  EXPECT_EQ(stored["DOT"], "12/07/2026");
  const auto rec = store().storedRecord(store().rowKey(gridRowOf("Aaron, Swimmer")));
  ASSERT_TRUE(rec);
  const QStringList card = scorecardText(*rec);
  EXPECT_TRUE(card.contains("Alternate event: 800 Y Swim"));
  EXPECT_TRUE(card.contains("Alternate event time: 15:07"));
  EXPECT_TRUE(card.contains("Status: PASS"));
  EXPECT_TRUE(card.contains("Age group: D (32-36)")) << card.join('\n').toStdString();
  // The card goes into the soldier's file: it names them without their SSN.
  EXPECT_FALSE(card.join('\n').contains(QRegularExpression("SSN|444-?44-?4444"))) << card.join('\n').toStdString();

  // Tested again, this time on the run: the earlier alternate event is gone.
  entry("RUN_M")->selectAll();
  QTest::keyClicks(entry("RUN_M"), "15");
  click(button("Command6"));
  click(button("Command4"));
  const Row retested = rowWithSsn("444-44-4444");
  EXPECT_EQ(retested["ALT_EVENT"], "");
  EXPECT_EQ(retested["ALT_TIME"], "");
  EXPECT_EQ(retested["STAT"], "PASS");
}

}  // namespace

namespace {

// Not a test: pictures of the new windows for the documentation, written
// into the folder named by QUILLON_SHOTS_DIR. Run with
// --gtest_also_run_disabled_tests --gtest_filter='*Screenshots*'.
TEST_F(RecordsIoTest, DISABLED_Screenshots) {
  const QString out = qEnvironmentVariable("QUILLON_SHOTS_DIR");
  ASSERT_FALSE(out.isEmpty());
  insertRows(dbPath(), {{{"LNAME", "Aaron, Swimmer"}, {"RANK", "SGT"}, {"SSN", "444-44-4444"}, {"SEX", "M"},
                         {"DOB", "03/14/1994"}, {"DOT", "12/07/2026"}, {"RAW_PU", "80"}, {"RAW_SU", "85"},
                         {"RUN_M", "0"}, {"RUN_S", "0"}, {"C_PU", "100"}, {"C_SU", "100"}, {"C_RUN", "0"},
                         {"TOTAL", "200"}, {"STAT", "PASS"}, {"PROFILE", "PROFILE"}}});
  start();
  store().writeFields(store().rowKey(gridRowOf("Aaron, Swimmer")),
                           {{"ALT_EVENT", "800 Y Swim"}, {"ALT_TIME", "15:07"}});
  form->resize(760, 640);
  QApplication::processEvents();
  // The menu bar with the Records menu open over the window.
  records().menu->popup(form->mapToGlobal(form->menuBar()->actionGeometry(records().menu->menuAction()).bottomLeft()));
  QApplication::processEvents();
  QPixmap window = form->grab();
  {
    QPainter p(&window);
    p.drawPixmap(form->mapFromGlobal(records().menu->pos()), records().menu->grab());
  }
  records().menu->hide();
  EXPECT_TRUE(window.save(QDir(out).filePath("records-menu.png")));

  whenPreviewShown([&](ImportDialog& d) {
    d.takeButton->click();
    d.tabs->setCurrentIndex(2);
    QApplication::processEvents();
    EXPECT_TRUE(d.grab().save(QDir(out).filePath("import-preview.png")));
    d.tabs->setCurrentIndex(0);
    d.cancelButton->click();
  });
  records().importRoster(dir.file("roster.csv"));

  QTimer::singleShot(300, [&] {
    QWidget* preview = QApplication::activeModalWidget();
    ASSERT_NE(preview, nullptr);
    preview->resize(760, 900);
    QApplication::processEvents();
    QTest::qWait(300);
    EXPECT_TRUE(preview->grab().save(QDir(out).filePath("scorecard.png")));
    preview->close();
  });
  records().showScorecards(records().testedOn("12/07/2026"), "Scorecards 12-07-2026");
}

}  // namespace

TEST_F(RecordsIoTest, DamagedWorkbookIsRefusedByItsNameAndNothingStored) {
  // Starts as a zip does, then breaks off: read as a workbook, not as CSV.
  QFile f(dir.file("roster.xlsx"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray("PK\x03\x04", 4) + QByteArray(200, 'x'));
  f.close();
  start();
  EXPECT_FALSE(records().importRoster(dir.file("roster.xlsx")));
  ASSERT_FALSE(seam.shown.empty());
  EXPECT_EQ(seam.shown.back().text,
            "roster.xlsx cannot be imported: the file is not an Excel workbook (.xlsx) or its zip directory is "
            "damaged. Nothing was stored.");
  EXPECT_EQ(readRows(dbPath()).size(), 1);
}
