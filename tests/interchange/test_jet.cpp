// The old Access database: telling files apart by their first bytes, reading
// a real Jet 4 file through the helper, surviving damaged copies of it, and
// mapping the old table's columns onto the record.
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "jetimport.h"
#include "testsupport.h"

namespace quillon {
namespace {

QByteArray fixtureBytes() {
  QFile f(QUILLON_JET_FIXTURE);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << QUILLON_JET_FIXTURE;
  return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
  f.close();
  if (executable) f.setPermissions(f.permissions() | QFile::ExeOwner);
}

JetRead readDateTest(const QString& path) { return readJetTable(path, "DateTest", QUILLON_MDB_HELPER); }

TEST(JetFile, KindIsToldByTheFirstBytesNeverTheName) {
  test::ScratchDir dir;
  createRecordsDatabase(dir.file("info.mdb"));
  const QByteArray jet4 = fixtureBytes();
  writeFile(dir.file("records.db"), jet4);
  QByteArray jet3 = jet4;
  jet3[0x14] = 0;
  writeFile(dir.file("old.bin"), jet3);
  QByteArray ace = jet4;
  ace.replace(4, 15, "Standard ACE DB");
  writeFile(dir.file("new.mdb"), ace);
  writeFile(dir.file("notes.mdb"), "Name,SSN\n");

  EXPECT_EQ(databaseKindOf(dir.file("info.mdb")), DatabaseKind::SQLite);
  EXPECT_EQ(databaseKindOf(dir.file("records.db")), DatabaseKind::Jet4);
  EXPECT_EQ(databaseKindOf(dir.file("old.bin")), DatabaseKind::Jet3);
  EXPECT_EQ(databaseKindOf(dir.file("new.mdb")), DatabaseKind::AccessNewer);
  EXPECT_EQ(databaseKindOf(dir.file("notes.mdb")), DatabaseKind::Other);
  EXPECT_EQ(databaseKindOf(dir.file("absent.mdb")), DatabaseKind::Unreadable);

  EXPECT_TRUE(checkJetFile(dir.file("info.mdb")).contains("records database of this program"));
  EXPECT_TRUE(checkJetFile(dir.file("new.mdb")).contains("encrypted"));
  EXPECT_TRUE(checkJetFile(dir.file("notes.mdb")).contains("not an Access database"));
  EXPECT_EQ(checkJetFile(dir.file("records.db")), "");
  // The scorer's own database is refused before any reader sees it.
  EXPECT_TRUE(previewJetFile(dir.file("info.mdb"), {}, QUILLON_MDB_HELPER).error.contains("of this program"));
}

TEST(JetFile, ARealJet4FileReadsTextLongAndDateColumnsOddDatesAndLineBreaks) {
  const JetRead r = readJetTable(QUILLON_JET_FIXTURE, "datetest", QUILLON_MDB_HELPER);  // any letter case
  ASSERT_TRUE(r.ok()) << r.error.toStdString();
  const NamedTable& t = r.table;
  ASSERT_EQ(t.columns.size(), 6);
  EXPECT_EQ(t.columns[0].name, "IDCol");
  EXPECT_EQ(t.columns[0].kind, NamedTable::Kind::Number);
  EXPECT_EQ(t.columns[1].kind, NamedTable::Kind::DateTime);
  EXPECT_EQ(t.columns[4].kind, NamedTable::Kind::Text);  // memo
  EXPECT_EQ(t.columns[5].kind, NamedTable::Kind::Text);
  ASSERT_EQ(t.rows.size(), 6);
  EXPECT_EQ(t.rows[0], (QStringList{"1", "2021-12-02 00:00:00", "2021-12-02 00:00:00", "2021-12-02 00:00:00", "Hello", "Hello"}));
  EXPECT_EQ(t.rows[1][1], "9999-01-01 00:00:00");
  EXPECT_EQ(t.rows[1][4], "Year 9999");
  EXPECT_EQ(t.rows[2][1], "1898-01-01 00:00:00");
  EXPECT_EQ(t.rows[2][3], "1900-01-01 00:00:00");
  EXPECT_EQ(t.rows[3][1], "632-01-01 00:00:00");
  EXPECT_EQ(t.rows[5][4], "New line\r\nin field");
  EXPECT_EQ(t.rows[4][4], "Escaped new line \\r\\n in field");

  // As record dates: four-digit years, before 1900 and after 2100 alike.
  EXPECT_EQ(dateFromJet(t.rows[3][1]), "01/01/0632");
  EXPECT_EQ(dateFromJet(t.rows[2][1]), "01/01/1898");
  EXPECT_EQ(dateFromJet(t.rows[1][1]), "01/01/9999");
  EXPECT_EQ(dateFromJet("2021-02-30 00:00:00"), "");

  const JetRead noInfo = readJetTable(QUILLON_JET_FIXTURE, "info", QUILLON_MDB_HELPER);
  EXPECT_TRUE(noInfo.error.contains("no table named info")) << noInfo.error.toStdString();
  EXPECT_TRUE(readJetTable(QUILLON_JET_FIXTURE, "info", "/nonexistent/quillon-mdbread").error.contains("missing"));
}

TEST(JetFile, DamagedCopiesGiveAMessageNeverACrashOrAPartialTable) {
  test::ScratchDir dir;
  const QByteArray good = fixtureBytes();
  const qsizetype page = 4096;
  ASSERT_EQ(good.size() % page, 0);

  // Cut within a page, or before the catalog: refused before reading.
  for (qsizetype size : {qsizetype(0), qsizetype(100), 2 * page, good.size() - 1, good.size() / 2 + 7}) {
    writeFile(dir.file("cut.mdb"), good.left(size));
    const JetRead r = readDateTest(dir.file("cut.mdb"));
    EXPECT_FALSE(r.ok()) << size;
    EXPECT_TRUE(r.error.contains("cut short") || r.error.contains("not an Access")) << size << r.error.toStdString();
  }
  // Cut at a page boundary: the reader meets it. Whatever it makes of the
  // file, the scorer gets a message or a whole table, never half a row.
  int refused = 0;
  for (qsizetype pages = 3; pages < good.size() / page; ++pages) {
    writeFile(dir.file("cut.mdb"), good.left(pages * page));
    const JetRead r = readDateTest(dir.file("cut.mdb"));
    if (!r.ok()) ++refused;
    for (const QStringList& row : r.table.rows) EXPECT_EQ(row.size(), r.table.columns.size());
  }
  EXPECT_GT(refused, 0);

  // Bit flips over the header, the catalog and the data pages.
  QRandomGenerator rng(20261207);
  for (int i = 0; i < 60; ++i) {
    QByteArray bad = good;
    for (int k = 0; k < 1 + i % 8; ++k) {
      const qsizetype at = i < 20 ? rng.bounded(page) : rng.bounded(qint64(bad.size()));
      bad[at] = char(bad[at] ^ (1 << rng.bounded(8)));
    }
    writeFile(dir.file("flipped.mdb"), bad);
    const JetRead r = readDateTest(dir.file("flipped.mdb"));
    if (r.ok()) {
      for (const QStringList& row : r.table.rows) EXPECT_EQ(row.size(), r.table.columns.size());
    } else {
      EXPECT_FALSE(r.error.isEmpty());
    }
  }
}

TEST(JetFile, AHelperThatCrashesOrStopsShortIsADamagedFile) {
  test::ScratchDir dir;
  writeFile(dir.file("jet.mdb"), fixtureBytes());
  const struct {
    const char* script;
    const char* says;
  } helpers[] = {
      {"printf 'QMDB 1\\nC 4944 4\\nR 31\\n'; kill -SEGV $$", "damaged"},           // crash after a row
      {"printf 'QMDB 1\\nC 4944 4\\nR 31\\nEND 1\\n'; kill -ABRT $$", "damaged"},   // crash after the end
      {"printf 'QMDB 1\\nC 4944 4\\nR 31\\n'", "damaged"},                           // no end line
      {"printf 'QMDB 1\\nC 4944 4\\nR 31,32\\nEND 1\\n'", "damaged"},                // row wider than the table
      {"printf 'QMDB 1\\nC 4944 4\\nR 3x\\nEND 1\\n'", "damaged"},                   // not hex
      {"printf 'QMDB 1\\nC 4944 4\\nR 31\\nEND 2\\n'", "damaged"},                   // rows lost
      {"printf 'ERR 6e6f7065\\n'; exit 2", "nope"},
      {"printf 'QMDB 1\\nC 4944 4\\nR 31\\nEND 1\\n'; exit 3", "damaged"},          // failed though it said it was done
  };
  for (const auto& h : helpers) {
    writeFile(dir.file("helper.sh"), QByteArray("#!/bin/sh\n") + h.script + "\n", true);
    const JetRead r = readJetTable(dir.file("jet.mdb"), "info", dir.file("helper.sh"));
    EXPECT_FALSE(r.ok()) << h.script;
    EXPECT_TRUE(r.error.contains(h.says)) << h.script << " gave " << r.error.toStdString();
    EXPECT_TRUE(r.table.rows.isEmpty() || !r.ok()) << h.script;
  }
  // A reader that never ends is stopped when the clerk cancels, and nothing is returned.
  writeFile(dir.file("helper.sh"), "#!/bin/sh\nprintf 'QMDB 1\\nC 4944 4\\nR 31\\n'\nexec sleep 600\n", true);
  int asked = 0;
  const JetRead stopped = readJetTable(dir.file("jet.mdb"), "info", dir.file("helper.sh"), [&] { return ++asked < 3; });
  EXPECT_FALSE(stopped.ok());
  EXPECT_TRUE(stopped.error.contains("cancelled")) << stopped.error.toStdString();
  EXPECT_TRUE(stopped.table.rows.isEmpty());
  EXPECT_EQ(asked, 3);
  writeFile(dir.file("helper.sh"), "#!/bin/sh\nprintf 'QMDB 1\\nC 4944 4\\nR 3137\\nEND 1\\n'\n", true);
  const JetRead fine = readJetTable(dir.file("jet.mdb"), "info", dir.file("helper.sh"));
  ASSERT_TRUE(fine.ok()) << fine.error.toStdString();
  EXPECT_EQ(fine.table.rows, QList<QStringList>{{"17"}});
}

NamedTable oldInfoTable(const QList<QStringList>& rows) {
  using K = NamedTable::Kind;
  NamedTable t;
  t.columns = {{"Id", K::Number},    {"lname", K::Text},  {"RANK", K::Text},   {"SSN", K::Text},
               {"Sex", K::Text},     {"DOB", K::DateTime}, {"dot", K::Text},   {"TOTAL", K::Number},
               {"C_RUN", K::Number}, {"Stat", K::Text},   {"Photo", K::Other}, {"LNAME", K::Text}};
  t.rows = rows;
  return t;
}

TEST(JetImport, OldColumnsMapOntoTheRecordAndIdsAreKeptWhereFree) {
  const NamedTable t = oldInfoTable({
      {"5", "Five, Taken", "SGT", "000-00-0005", "M", "1980-06-21 00:00:00", "06/01/2026", "250.0", "92", "PASS", "x", "dup"},
      {"7", "Seven, Kept", "PFC", "000000007", "F", "1850-01-02 00:00:00", "", "", "", "", "", ""},
      {"7", "Seven, Again", "", "", "", "", "", "", "", "", "", ""},
      {"", "No, Id", "", "", "", "not a date", "", "", "", "", "", ""},
      {"0", "Zero, Id", "", "", "", "", "", "", "", "", "", ""},
  });
  const MappedRecords m = mapInfoTable(t);
  EXPECT_EQ(m.ignoredColumns, (QStringList{"Photo", "LNAME"}));  // the second LNAME loses to the first
  EXPECT_EQ(m.missingFields, (QStringList{"RAW_PU", "RAW_SU", "RUN_M", "RUN_S", "C_PU", "C_SU", "PROFILE", "REMARK"}));
  ASSERT_EQ(m.rows.size(), 5);
  const RecordRow& r = m.rows[0];
  ASSERT_EQ(r.size(), 18);
  EXPECT_EQ(r[fieldIndex("ID")], "5");
  EXPECT_EQ(r[fieldIndex("LNAME")], "Five, Taken");
  EXPECT_EQ(r[fieldIndex("SSN")], "000-00-0005");  // kept as the old program held it
  EXPECT_EQ(r[fieldIndex("DOB")], "06/21/1980");
  EXPECT_EQ(r[fieldIndex("DOT")], "06/01/2026");
  EXPECT_EQ(r[fieldIndex("TOTAL")], "250");
  EXPECT_EQ(r[fieldIndex("C_RUN")], "92");
  EXPECT_EQ(r[fieldIndex("STAT")], "PASS");
  EXPECT_EQ(r[fieldIndex("REMARK")], "");
  EXPECT_EQ(m.rows[1][fieldIndex("DOB")], "01/02/1850");
  EXPECT_EQ(m.rows[1][fieldIndex("SSN")], "000000007");
  EXPECT_EQ(m.rows[3][fieldIndex("DOB")], "not a date");  // what cannot be read is kept, not lost

  const JetPreview p = previewJetRecords(m, {5, 6});
  ASSERT_TRUE(p.ok());
  ASSERT_EQ(p.keepingId.size(), 1);
  EXPECT_EQ(p.keepingId[0].sourceRow, 2);
  EXPECT_EQ(p.keepingId[0].record[fieldIndex("ID")], "7");
  ASSERT_EQ(p.conflicts.size(), 2);
  EXPECT_EQ(p.conflicts[0].row.sourceRow, 1);
  EXPECT_TRUE(p.conflicts[0].reason.contains("stored record"));
  EXPECT_EQ(p.conflicts[1].row.sourceRow, 3);
  EXPECT_TRUE(p.conflicts[1].reason.contains("twice"));
  ASSERT_EQ(p.newId.size(), 2);
  EXPECT_EQ(p.newId[0].record[fieldIndex("ID")], "");
  EXPECT_EQ(p.newId[1].record[fieldIndex("LNAME")], "Zero, Id");
  EXPECT_EQ(p.ignoredColumns, m.ignoredColumns);
}

}  // namespace
}  // namespace quillon
