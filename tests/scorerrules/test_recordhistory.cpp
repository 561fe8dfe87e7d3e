// An import taken back and put forward again through the record history,
// with no window: Undo removes exactly the rows the import added and puts
// the records it updated back as they were, whatever other programs added
// in between; a change made elsewhere since is named before it is
// overwritten, and a record gone since stops the step.
#include <QFile>

#include "dbfile.h"
#include "importplan.h"
#include "recordhistory.h"
#include "recordsdb.h"
#include "recordstore.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

using D = RecordHistory::Direction;

class ImportHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    createRecordsDatabase(dir.file("info.mdb"));
    insertRows(dir.file("info.mdb"), {{{"LNAME", "Abel, Samuel"}, {"RANK", "PV2"}, {"SSN", "111-22-3333"},
                                       {"SEX", "F"}, {"DOB", "01/01/1980"}, {"RAW_PU", "40"}}});
    store.setDatabaseName(dir.file("info.mdb"));
    store.setRecordSource(RecordStore::rowSourceQuery());
    store.refresh();
  }
  // Imports the roster, updating the stored record it matches by SSN.
  void import(const QByteArray& roster) {
    QFile f(dir.file("roster.csv"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(roster);
    f.close();
    SsnIndex index;
    addToSsnIndex(index, QStringLiteral("111-22-3333"), 1);
    const RosterPreview preview = previewRosterFile(dir.file("roster.csv"), index);
    ASSERT_TRUE(preview.ok()) << qPrintable(preview.error);
    const auto done = store.applyBatch(rosterPlan(preview, true, [&](qint64 id) { return store.storedRecord(id); }));
    ASSERT_TRUE(done.has_value());
    history.recordBatch(QStringLiteral("Import of roster.csv"), *done);
  }
  QStringList names() {
    QStringList n;
    for (const Row& r : readRows(dir.file("info.mdb"))) n << r["LNAME"];
    return n;
  }

  ScratchDir dir;
  RecordStore store;
  RecordHistory history{store};
};

const QByteArray kRoster =
    "Name,Rank,SSN,Sex,DOB\n"
    "\"Baker, Ann\",SGT,222-33-4444,F,02/03/1990\n"
    "\"Abel, Sam\",SSG,111223333,M,1985-04-05\n"
    "Cole,,333-44-5555,M,\n";

TEST_F(ImportHistory, UndoRemovesOnlyTheImportedRowsAndRedoPutsThemBackUnderTheirNumbers) {
  import(kRoster);
  EXPECT_EQ(names(), QStringList({"Abel, Sam", "Baker, Ann", "Cole"}));
  const QList<Row> imported = readRows(dir.file("info.mdb"));
  // Another station adds a soldier after the import: not the import's to take back.
  insertRows(dir.file("info.mdb"), {{{"LNAME", "Dunn"}, {"SSN", "444-55-6666"}}});

  ASSERT_EQ(history.check(D::Back).kind, RecordHistory::Obstacle::None);
  ASSERT_TRUE(history.step(D::Back)) << qPrintable(history.error());
  const QList<Row> undone = readRows(dir.file("info.mdb"));
  ASSERT_EQ(undone.size(), 2);
  EXPECT_EQ(undone[0]["LNAME"], "Abel, Samuel");
  EXPECT_EQ(undone[0]["RANK"], "PV2");
  EXPECT_EQ(undone[0]["SEX"], "F");
  EXPECT_EQ(undone[0]["DOB"], "01/01/1980");
  EXPECT_EQ(undone[0]["RAW_PU"], "40");
  EXPECT_EQ(undone[1]["LNAME"], "Dunn");
  // The rows shown follow the file.
  EXPECT_EQ(store.rowCount(), 1);
  EXPECT_EQ(store.value(0, store.fieldIndex("LNAME")), "Abel, Samuel");

  ASSERT_EQ(history.check(D::Forward).kind, RecordHistory::Obstacle::None);
  ASSERT_TRUE(history.step(D::Forward)) << qPrintable(history.error());
  QList<Row> redone = readRows(dir.file("info.mdb"));
  ASSERT_EQ(redone.size(), 4);
  redone.removeAt(3);  // Dunn, added last, kept its place
  EXPECT_EQ(redone, imported);
}

TEST_F(ImportHistory, AChangeMadeSinceIsNamedAndARecordGoneSinceStopsTheStep) {
  import(kRoster);
  execSql(dir.file("info.mdb"), "UPDATE info SET RANK='CPL', RAW_SU='50' WHERE LNAME='Baker, Ann'");
  RecordHistory::Obstacle o = history.check(D::Back);
  EXPECT_EQ(o.kind, RecordHistory::Obstacle::Changed);
  // The row is taken back whole, so a score entered since is named too.
  EXPECT_EQ(o.fields, QStringList({"RANK", "RAW_SU"}));

  execSql(dir.file("info.mdb"), "DELETE FROM info WHERE LNAME='Cole'");
  EXPECT_EQ(history.check(D::Back).kind, RecordHistory::Obstacle::Gone);
  // Nothing was taken back by looking.
  EXPECT_EQ(names(), QStringList({"Abel, Sam", "Baker, Ann"}));
}

}  // namespace
