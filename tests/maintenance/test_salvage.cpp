// Repair's page scan on real database files: on sound ones it must read
// exactly the rows the engine reads, field for field; on damaged ones,
// every row that is still on an intact leaf page, counted against the
// engine's own page map of the file before the damage.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <map>

#include "commands.h"
#include "dbengine.h"
#include "dbfile.h"
#include "recordingmessages.h"
#include "recordsfixture.h"
#include "salvage.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using namespace quillon::dbtool::test;
using quillon::test::ScratchDir;

namespace {

using Fields = QList<salvage::Value>;

// A records database in the programs' own table, with what real files
// hold: names beyond ASCII, empty fields, remarks longer than a page, and
// rows deleted without their bytes being wiped, so the free space of the
// file is full of old rows that must stay deleted.
void makeWornRecords(const QString& path, int n, int pageSize, const char* encoding = "UTF-8",
                     bool longRemarks = true) {
  {
    SqlDb d(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    d.exec(QString("PRAGMA page_size=%1").arg(pageSize));
    d.exec(QString("PRAGMA encoding='%1'").arg(encoding));
    d.exec("PRAGMA secure_delete=OFF");
    d.exec(infoTableDdl());
    d.exec("BEGIN");
    for (int i = 1; i <= n; ++i) {
      const QString remark = longRemarks && i % 97 == 0 ? QString("a long remark %1 ").arg(i).repeated(200)
                                                        : QString("remark %1").arg(i);
      d.exec(QString("INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, RAW_PU, RAW_SU, RUN_M, RUN_S, TOTAL, STAT, REMARK) "
                     "VALUES ('%1%2', 'SGT', '%3', '%4', '01/02/1990', '42', '55', %5, '30', '0212', 'PASS', '%6')")
                 .arg(i % 3 ? "Müller-" : "O''Neil ")
                 .arg(i)
                 .arg(100000000 + i)
                 .arg(i % 2 ? "M" : "F")
                 .arg(i % 11 ? "'15'" : "NULL")
                 .arg(remark));
    }
    d.exec("COMMIT");
    d.exec(QString("DELETE FROM info WHERE ID % 5 = 0 OR ID BETWEEN %1 AND %2").arg(n / 3).arg(n / 3 + n / 10));
    ASSERT_NE(d.value("PRAGMA freelist_count"), "0") << "no freed pages to tempt the scan";
  }
}

// Every row of info as the engine reads it, by row id, each field as stored.
std::map<qint64, Fields> engineRows(const QString& path) {
  std::map<qint64, Fields> out;
  SqlDb d(path, SQLITE_OPEN_READONLY);
  const bool utf16 = d.value("PRAGMA encoding").startsWith("UTF-16");
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(d.db, "SELECT rowid, * FROM info", -1, &st, nullptr), SQLITE_OK);
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    Fields f{salvage::Value{}};  // ID is the row id: stored as NULL
    for (int c = 2; c <= salvage::kFieldCount; ++c) {
      salvage::Value v;
      switch (sqlite3_column_type(st, c)) {
        case SQLITE_INTEGER:
          v.kind = salvage::Value::Integer;
          v.integer = sqlite3_column_int64(st, c);
          break;
        case SQLITE_FLOAT:
          v.kind = salvage::Value::Real;
          v.real = sqlite3_column_double(st, c);
          break;
        case SQLITE_TEXT:
          v.kind = salvage::Value::Text;
          if (utf16)  // the machine's byte order, which is the file's here (UTF-16le)
            v.bytes = QByteArray(static_cast<const char*>(sqlite3_column_text16(st, c)), sqlite3_column_bytes16(st, c));
          else
            v.bytes = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, c)), sqlite3_column_bytes(st, c));
          break;
        case SQLITE_BLOB:
          v.kind = salvage::Value::Blob;
          v.bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, c)), sqlite3_column_bytes(st, c));
          break;
        default: break;
      }
      f << v;
    }
    out[sqlite3_column_int64(st, 0)] = f;
  }
  sqlite3_finalize(st);
  return out;
}

// The engine's own map of table info's pages: cells on each leaf page,
// and the interior pages below the root.
struct PageMap {
  std::map<qint64, int> leafCells;
  QList<qint64> innerInterior;
  qint64 root = 0;
};

PageMap pageMap(const QString& path) {
  PageMap m;
  SqlDb d(path, SQLITE_OPEN_READONLY);
  for (const QStringList& r : d.rows("SELECT pageno, pagetype, ncell, path FROM dbstat WHERE name = 'info'")) {
    if (r[1] == "leaf") m.leafCells[r[0].toLongLong()] = r[2].toInt();
    if (r[1] == "internal" && r[3] != "/") m.innerInterior << r[0].toLongLong();
    if (r[3] == "/") m.root = r[0].toLongLong();
  }
  return m;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(PageScan, ReadsExactlyTheEnginesRowsOfSoundFilesFieldForField) {
  ScratchDir dir;
  const struct {
    int pageSize;
    const char* encoding;
  } kinds[] = {{4096, "UTF-8"}, {1024, "UTF-16le"}, {512, "UTF-8"}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(QString("%1 bytes a page, %2").arg(k.pageSize).arg(k.encoding).toStdString());
    const QString path = QString("sound-%1.mdb").arg(k.pageSize);
    makeWornRecords(path, 900, k.pageSize, k.encoding);
    const auto expected = engineRows(path);
    const PageMap map = pageMap(path);
    ASSERT_GT(expected.size(), 500u);

    const salvage::Scan s = salvage::scanInfoRows(readAll(path));
    EXPECT_EQ(s.pageSize, quint32(k.pageSize));
    EXPECT_TRUE(s.treeWhole);
    EXPECT_EQ(s.infoRoot, quint32(map.root));
    EXPECT_EQ(s.damagedCells + s.damagedPages + s.conflictingCopies + s.strayRowsIgnored, 0);
    std::map<qint64, Fields> scanned;
    for (const salvage::Row& r : s.rows) scanned[r.rowid] = r.fields;
    EXPECT_EQ(scanned.size(), expected.size()) << "a deleted row came back, or a row was missed";
    for (const auto& [rowid, fields] : expected) {
      ASSERT_TRUE(scanned.count(rowid)) << rowid;
      EXPECT_TRUE(scanned[rowid] == fields) << "row " << rowid << " differs";
    }
    QSet<qint64> leaves;
    for (const quint32 p : s.leafPages) leaves.insert(p);
    QSet<qint64> engineLeaves;
    for (const auto& [p, cells] : map.leafCells)
      if (cells > 0) engineLeaves.insert(p);
    EXPECT_EQ(leaves, engineLeaves);
  }
}

// Each kind of damage on a copy of one worn file: how many rows must come
// back is what the engine's page map says stood on the leaf pages that the
// damage left whole.
TEST(RepairSalvage, RecoversEveryRowOnTheLeafPagesTheDamageLeftWhole) {
  ScratchDir dir;
  constexpr int kPage = 1024;
  makeWornRecords("sound.mdb", 3000, kPage, "UTF-8", false);
  const auto original = records("sound.mdb");
  const PageMap map = pageMap("sound.mdb");
  const qint64 pages = QFileInfo("sound.mdb").size() / kPage;
  ASSERT_FALSE(map.innerInterior.isEmpty()) << "the table needs three levels of pages";
  const qint64 seq = SqlDb("sound.mdb").value("SELECT seq FROM sqlite_sequence").toLongLong();

  struct Damage {
    const char* what;
    std::function<void()> apply;
    qint64 pagesLeft;  // pages from 1 that remain in the file
    QList<qint64> overwritten;
  };
  const qint64 interior = map.innerInterior.value(map.innerInterior.size() / 2);
  const auto overwrite = [](qint64 p) { return [p] { damagePage("info.mdb", p, kPage); }; };
  const auto truncateTo = [](qint64 n) { return [n] { QFile("info.mdb").resize(n * kPage); }; };
  const Damage cases[] = {
      {"an interior page overwritten", overwrite(interior), pages, {interior}},
      {"the table's root page overwritten", overwrite(map.root), pages, {map.root}},
      {"page 1 overwritten", overwrite(1), pages, {1}},
      {"the file cut short by one page", truncateTo(pages - 1), pages - 1, {}},
      {"the file cut to half", truncateTo(pages / 2), pages / 2, {}},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove("info.mdb");
    QFile::remove("info.old");
    ASSERT_TRUE(QFile::copy("sound.mdb", "info.mdb"));
    c.apply();
    const QByteArray damaged = hashOf("info.mdb");
    qint64 expected = 0;
    for (const auto& [p, cells] : map.leafCells)
      if (p <= c.pagesLeft && !c.overwritten.contains(p)) expected += cells;

    DBEngine engine;
    const RepairResult r = engine.RepairDatabase(QDir::current().filePath("info.mdb"));
    std::cout << c.what << ": " << r.rowsKept << " of " << expected << " rows on the remaining leaf pages recovered ("
              << original.size() << " in the sound file)\n";
    EXPECT_TRUE(r.rebuilt);
    EXPECT_EQ(r.rowsKept, expected);
    EXPECT_EQ(r.rowsDamaged, 0);
    EXPECT_EQ(r.idsRenumbered, 0);
    const auto after = records("info.mdb");
    EXPECT_EQ(after.size(), expected);
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
      ASSERT_TRUE(original.contains(it.key())) << "row " << it.key() << " was deleted before the damage";
      EXPECT_EQ(it.value(), original.value(it.key())) << it.key();
    }
    EXPECT_EQ(QDir::cleanPath(r.keptAs), QDir::cleanPath(QDir::current().filePath("info.old")));
    EXPECT_EQ(hashOf("info.old"), damaged) << "the damaged original is kept as it was";
    SqlDb d("info.mdb", SQLITE_OPEN_READONLY);
    EXPECT_EQ(d.value("PRAGMA integrity_check"), "ok");
    // Where the numbering could still be read, no lost row's ID is given out again.
    if (c.overwritten != QList<qint64>{1}) {
      EXPECT_GE(d.value("SELECT seq FROM sqlite_sequence").toLongLong(), seq);
    }
  }
}

TEST(RepairSalvage, RecordsSharingAnIdAreBothKeptAndTheLaterOneRenumbered) {
  ScratchDir dir;
  {
    // A table edited by hand: its ID is a plain column, not the row number.
    SqlDb d("info.mdb", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    QString ddl = infoTableDdl();
    ddl.replace("ID INTEGER PRIMARY KEY AUTOINCREMENT", "ID INTEGER");
    d.exec(ddl);
    for (const auto& [id, name] : {std::pair{7, "ADAMS"}, {3, "BAKER"}, {7, "CLARK"}, {9, "DAVIS"}, {3, "EVANS"}})
      d.exec(QString("INSERT INTO info (ID, LNAME, STAT) VALUES (%1, '%2', 'PASS')").arg(id).arg(name));
  }
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.repair({"info.mdb", "info.mdb", QString(), QDir::currentPath()});
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_TRUE(seam.boxes[0].text.contains("2 record(s) had the ID of another record")) << qPrintable(seam.boxes[0].text);
  QMap<QString, qint64> idOf;
  for (const QStringList& r : SqlDb("info.mdb").rows("SELECT LNAME, ID FROM info")) idOf[r[0]] = r[1].toLongLong();
  ASSERT_EQ(idOf.size(), 5);
  EXPECT_EQ(idOf["ADAMS"], 7);
  EXPECT_EQ(idOf["BAKER"], 3);
  EXPECT_EQ(idOf["DAVIS"], 9);
  // The later holders of a taken ID move above every ID in use.
  EXPECT_EQ(QSet<qint64>({idOf["CLARK"], idOf["EVANS"]}), QSet<qint64>({10, 11}));
  EXPECT_TRUE(seam.ends.empty());
}

// An old copy of a page left where the tree no longer points (as after a
// page was rewritten elsewhere) holds rows the tree holds in a newer form.
// Here it lies on a freed page ahead of the tree's copy, and the list of
// free pages is lost, so every freed page looks like a page of rows.
TEST(PageScan, LeftOverCopyOfAPageNeverWinsOverTheTreesCopy) {
  ScratchDir dir;
  constexpr int kPage = 1024;
  makeWornRecords("info.mdb", 600, kPage, "UTF-8", false);
  QByteArray file = readAll("info.mdb");
  const salvage::Scan before = salvage::scanInfoRows(file);
  ASSERT_FALSE(before.rows.empty());
  const salvage::Row& target = before.rows.back();  // on one of the last pages
  const QByteArray oldPage = file.mid(qsizetype(target.page - 1) * kPage, kPage);
  {
    SqlDb d("info.mdb");
    d.exec(QString("UPDATE info SET REMARK = 'changed' WHERE ID = %1").arg(target.rowid));
  }
  file = readAll("info.mdb");
  // Free pages: those of no b-tree, as the engine maps them.
  QSet<qint64> used;
  for (const QStringList& r : SqlDb("info.mdb").rows("SELECT pageno FROM dbstat")) used.insert(r[0].toLongLong());
  qint64 freePage = 2;
  while (used.contains(freePage)) ++freePage;
  ASSERT_LT(freePage, qint64(target.page));
  file.replace(qsizetype(freePage - 1) * kPage, kPage, oldPage);
  file.replace(32, 8, QByteArray(8, '\0'));  // no free list
  const PageMap map = pageMap("info.mdb");
  const auto remarkOf = [&](const salvage::Scan& s) {
    for (const salvage::Row& r : s.rows)
      if (r.rowid == target.rowid) return r.fields[17].bytes;
    return QByteArray();
  };

  const salvage::Scan whole = salvage::scanInfoRows(file);
  EXPECT_TRUE(whole.treeWhole);
  EXPECT_EQ(remarkOf(whole), "changed");
  EXPECT_EQ(whole.rows.size(), before.rows.size()) << "rows deleted before came back";
  EXPECT_GT(whole.strayRowsIgnored, 0);
  EXPECT_EQ(whole.conflictingCopies, 0);

  // Without a readable tree every copy is a stranger: one is kept, and a
  // disagreement is counted.
  file.replace(qsizetype(map.root - 1) * kPage, kPage, QByteArray(kPage, '\x55'));
  const salvage::Scan broken = salvage::scanInfoRows(file);
  EXPECT_FALSE(broken.treeWhole);
  EXPECT_GE(broken.conflictingCopies, 1);
  EXPECT_EQ(broken.damagedPages, 1);
}
