// Compact and the commands around both maintenance commands, on real files
// in scratch folders: what is left on disk when any step fails.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "commands.h"
#include "dbengine.h"
#include "dbfile.h"
#include "leftovers.h"
#include "recordingmessages.h"
#include "recordsfixture.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using quillon::test::ScratchDir;
using quillon::dbtool::test::Box;
using quillon::dbtool::test::RecordingMessages;
using namespace quillon::dbtool::test;


// ---------------------------------------------------------------- names

TEST(BackupName, CutsFourCharactersWhateverTheExtension) {
  EXPECT_EQ(MaintenanceCommands::BackupName("info.mdb"), "info.old");
  EXPECT_EQ(MaintenanceCommands::BackupName("data.accdb"), "data.a.old");
  EXPECT_EQ(MaintenanceCommands::BackupName("abcd"), ".old");
  EXPECT_EQ(MaintenanceCommands::BackupName("Info.MDB"), "Info.old");
  EXPECT_THROW(MaintenanceCommands::BackupName("abc"), ToolError);
}

TEST(TargetPath, JoinsFolderAndFileWithOneSeparator) {
  EXPECT_EQ(MaintenanceCommands::targetPathOf({"info.mdb", "info.mdb", "", "/"}), "/info.mdb");
  EXPECT_EQ(MaintenanceCommands::targetPathOf({"info.mdb", "info.mdb", "", "/srv/Tests"}), "/srv/Tests/info.mdb");
}

// ---------------------------------------------------------------- guard

TEST(Commands, NoFileChosenDoesNothingAtAll) {
  ScratchDir dir;
  makeRecords("info.mdb", 20);
  const QByteArray before = hashOf("info.mdb");
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  for (const char* caption : {"*.mdb", "*.*"}) {
    // A file chosen earlier is not consulted once the caption is a pattern.
    const PickerState s{caption, "info.mdb", "", QDir::currentPath()};
    cmd.repair(s);
    cmd.compact(s);
  }
  EXPECT_TRUE(seam.boxes.empty());
  EXPECT_TRUE(seam.ends.empty());
  EXPECT_TRUE(cmd.TargetPath().isEmpty());
  EXPECT_FALSE(cmd.engineCreated());
  EXPECT_EQ(folderNames(), QStringList{"info.mdb"});
  EXPECT_EQ(hashOf("info.mdb"), before);
}

TEST(Commands, CaptionCloseToAPatternStillCountsAsAFile) {
  ScratchDir dir;
  makeRecords("*.MDB", 3);  // a file may carry such a name on this system
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.repair({"*.MDB", "*.MDB", "", QDir::currentPath()});
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kRepairDone);
}

// ---------------------------------------------------------------- compact

TEST(Commands, CompactTwiceInARowKeepsRecordsAndIds) {
  ScratchDir dir;
  makeRecords("info.mdb", 400);
  {
    SqlDb d("info.mdb");
    d.exec("DELETE FROM info WHERE ID % 3 = 0 OR ID > 390");
  }
  const auto original = records("info.mdb");
  const QByteArray originalBytes = hashOf("info.mdb");
  const qint64 originalSize = QFileInfo("info.mdb").size();

  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, "Compact database successful!");
  EXPECT_EQ(seam.boxes[0].title, "Task Complete");
  EXPECT_EQ(seam.boxes[0].icon, BoxIcon::None);
  EXPECT_TRUE(seam.ends.empty());
  EXPECT_EQ(cmd.TargetPath(), QDir::current().filePath("info.mdb"));
  EXPECT_EQ(hashOf("info.old"), originalBytes) << "the backup is the file as it was";
  EXPECT_EQ(records("info.mdb"), original);
  EXPECT_LT(QFileInfo("info.mdb").size(), originalSize);
  const QByteArray firstCompact = hashOf("info.mdb");

  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 2u);
  EXPECT_EQ(seam.boxes[1].text, "Compact database successful!");
  EXPECT_EQ(hashOf("info.old"), firstCompact) << "the second run's backup is the first run's result";
  EXPECT_EQ(records("info.mdb"), original);
  EXPECT_EQ(folderNames(), (QStringList{"info.mdb", "info.old"}));

  // Numbering goes on where it was: deleted IDs are never given out again.
  SqlDb d("info.mdb");
  EXPECT_EQ(d.value("SELECT seq FROM sqlite_sequence WHERE name='info'"), "400");
  d.exec("INSERT INTO info (LNAME) VALUES ('NEW')");
  EXPECT_EQ(d.value("SELECT max(ID) FROM info"), "401");
  // The compacted file is as private as the one it replaced.
  EXPECT_EQ(QFileInfo("info.mdb").permissions(), QFileInfo("info.old").permissions());
}

TEST(Commands, FileChosenThenAnotherFolderWorksOnTheNameThere) {
  ScratchDir dir;
  makeRecords("info.mdb", 5, "TOP");
  ASSERT_TRUE(QDir().mkdir("unit2"));
  makeRecords("unit2/info.mdb", 7, "UNIT");
  const QByteArray top = hashOf("info.mdb");
  ASSERT_TRUE(QDir::setCurrent("unit2"));
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.compact(chosen("info.mdb"));
  EXPECT_EQ(records("info.mdb").size(), 7);
  EXPECT_TRUE(QFileInfo::exists("info.old"));
  EXPECT_EQ(hashOf(QDir(dir.path()).filePath("info.mdb")), top);
  EXPECT_FALSE(QFileInfo::exists(QDir(dir.path()).filePath("info.old")));
}

TEST(Commands, NameThatIsItsOwnBackupIsRefusedAndKept) {
  ScratchDir dir;
  for (const char* name : {"info.old", "INFO.OLD", "x.Old"}) {
    makeRecords(name, 3);
    const QByteArray before = hashOf(name);
    RecordingMessages seam;
    MaintenanceCommands cmd(seam);
    cmd.compact(chosen(name));
    ASSERT_EQ(seam.boxes.size(), 1u) << name;
    EXPECT_EQ(seam.boxes[0].title, "Error");
    EXPECT_EQ(seam.boxes[0].icon, BoxIcon::Exclamation);
    EXPECT_TRUE(seam.boxes[0].text.contains(".old")) << qPrintable(seam.boxes[0].text);
    EXPECT_TRUE(seam.ends.empty()) << "a refusal does not end the program";
    EXPECT_EQ(hashOf(name), before) << name;
  }
}

TEST(Commands, PreviousBackupSurvivesWhenTheDatabaseCannotBeMoved) {
  ScratchDir dir;
  makeRecords("info.old", 4, "PREV");
  const QByteArray previous = hashOf("info.old");

  // Missing: chosen here, then gone.
  {
    RecordingMessages seam;
    MaintenanceCommands cmd(seam);
    cmd.compact(chosen("info.mdb"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_TRUE(seam.boxes[0].text.contains("info.mdb is not in")) << qPrintable(seam.boxes[0].text);
    EXPECT_TRUE(seam.ends.empty());
    EXPECT_EQ(hashOf("info.old"), previous);
  }
  // A folder of that name.
  {
    ASSERT_TRUE(QDir().mkdir("info.mdb"));
    RecordingMessages seam;
    MaintenanceCommands cmd(seam);
    cmd.compact(chosen("info.mdb"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_TRUE(seam.boxes[0].text.contains("not a plain file")) << qPrintable(seam.boxes[0].text);
    EXPECT_EQ(hashOf("info.old"), previous);
    EXPECT_TRUE(QFileInfo("info.mdb").isDir());
  }
}

TEST(Commands, SomethingOtherThanAFileUnderTheBackupNameStopsEverything) {
  ScratchDir dir;
  makeRecords("info.mdb", 4);
  const QByteArray db = hashOf("info.mdb");
  ASSERT_TRUE(QDir().mkdir("info.old"));
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].title, "Error");
  EXPECT_EQ(hashOf("info.mdb"), db);
  EXPECT_TRUE(QFileInfo("info.old").isDir());
}

TEST(Commands, NameTooShortForABackupFailsWithNothingChanged) {
  ScratchDir dir;
  makeRecords("abc", 2);
  makeRecords("abcd", 2);
  const QByteArray before = hashOf("abc");
  {
    RecordingMessages seam;
    MaintenanceCommands cmd(seam);
    cmd.compact(chosen("abc"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_TRUE(seam.boxes[0].text.startsWith(QString("Error %1: ").arg(kInvalidArgument)));
    EXPECT_EQ(seam.boxes[0].icon, BoxIcon::Critical);
    EXPECT_EQ(seam.ends, std::vector<int>{1});
    EXPECT_EQ(hashOf("abc"), before);
  }
  {
    RecordingMessages seam;
    MaintenanceCommands cmd(seam);
    cmd.compact(chosen("abcd"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kCompactDone);
    EXPECT_EQ(records(".old").size(), 2);
  }
}

TEST(Commands, NonDatabaseFailsWithTheEngineMessageAndNothingMoves) {
  ScratchDir dir;
  writeFile("junk.mdb", randomBytes(20000, 7));
  makeRecords("junk.old", 2, "PREV");
  const QByteArray junk = hashOf("junk.mdb"), previous = hashOf("junk.old");
  for (int repair = 0; repair < 2; ++repair) {
    const RecordingMessages seam = runCommand(repair != 0, "junk.mdb");
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, QString("Error %1: %2: file is not a database")
                                      .arg(SQLITE_NOTADB)
                                      .arg(QDir::current().filePath("junk.mdb")));
    EXPECT_EQ(seam.ends, std::vector<int>{1});
    EXPECT_EQ(hashOf("junk.mdb"), junk);
    EXPECT_EQ(hashOf("junk.old"), previous);
    EXPECT_EQ(folderNames(), (QStringList{"junk.mdb", "junk.old"}));
  }
}

// An empty file is what a crash can leave under the database's name; the
// engine would read it as an empty database and compact it over the only
// good backup.
TEST(Commands, EmptyFileIsNotADatabaseAndTheBackupStays) {
  ScratchDir dir;
  writeFile("info.mdb", QByteArray());
  makeRecords("info.old", 500, "PREV");
  const QByteArray previous = hashOf("info.old");
  for (int repair = 0; repair < 2; ++repair) {
    const RecordingMessages seam = runCommand(repair != 0, "info.mdb");
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_TRUE(seam.boxes[0].text.startsWith(QString("Error %1: ").arg(SQLITE_NOTADB))) << seam.boxes[0].text.toStdString();
    EXPECT_TRUE(seam.boxes[0].text.contains("file is not a database")) << seam.boxes[0].text.toStdString();
    EXPECT_EQ(seam.ends, std::vector<int>{1});
    EXPECT_EQ(QFileInfo("info.mdb").size(), 0);
    EXPECT_EQ(hashOf("info.old"), previous);
    EXPECT_EQ(records("info.old").size(), 500);
    EXPECT_EQ(folderNames(), (QStringList{"info.mdb", "info.old"}));
  }
}

// Some journal modes leave an empty journal, or one with a zeroed header,
// after every finished change; it holds nothing and must not block Compact.
TEST(Commands, FinishedJournalLeftBesideTheDatabaseDoesNotBlockCompact) {
  for (const QByteArray& leftover : {QByteArray(), QByteArray(512, '\0')}) {
    ScratchDir dir;
    makeRecords("info.mdb", 40);
    const auto before = records("info.mdb");
    writeFile("info.mdb-journal", leftover);
    RecordingMessages seam;
    MaintenanceCommands cmd(seam);
    cmd.compact(chosen("info.mdb"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kCompactDone);
    EXPECT_EQ(records("info.mdb"), before);
    EXPECT_EQ(records("info.old"), before);
  }
}

// A scorer holding the records open, as another process.
class LockHolder {
 public:
  explicit LockHolder(const QString& dbPath) {
    proc.start("flock", {"--shared", "--no-fork", lockFilePath(dbPath), "sh", "-c", "echo held; exec sleep 60"});
    started = proc.waitForStarted(-1) && proc.waitForReadyRead(-1) && proc.readAll().startsWith("held");
  }
  ~LockHolder() {
    proc.kill();
    proc.waitForFinished(-1);
  }
  QProcess proc;
  bool started = false;
};

TEST(Commands, DatabaseOpenInTheScorerIsRefusedNothingMoved) {
  ScratchDir dir;
  makeRecords("info.mdb", 10);
  makeRecords("info.old", 2, "PREV");
  const QByteArray db = hashOf("info.mdb"), previous = hashOf("info.old");
  LockHolder holder(QDir::current().filePath("info.mdb"));
  ASSERT_TRUE(holder.started);

  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.compact(chosen("info.mdb"));
  cmd.repair(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 2u);
  for (const Box& b : seam.boxes) {
    EXPECT_TRUE(b.text.contains("in use")) << qPrintable(b.text);
    EXPECT_EQ(b.icon, BoxIcon::Exclamation);
  }
  EXPECT_TRUE(seam.ends.empty());
  EXPECT_EQ(hashOf("info.mdb"), db);
  EXPECT_EQ(hashOf("info.old"), previous);

  // Once the scorer is gone the same command goes through.
  holder.proc.kill();
  holder.proc.waitForFinished(-1);
  cmd.compact(chosen("info.mdb"));
  EXPECT_EQ(seam.boxes.back().text, MaintenanceCommands::kCompactDone);
}

// Copies a database in the middle of an open transaction: the copy is what a
// crash at that moment leaves behind.
void copyWithJournal(const QString& from, const QString& to, const QStringList& suffixes) {
  for (const QString& s : QStringList{""} + suffixes) ASSERT_TRUE(QFile::copy(from + s, to + s)) << qPrintable(s);
}

TEST(Commands, HotJournalIsRolledBackBeforeTheMoveAndNeverTravelsAlone) {
  ScratchDir dir;
  ASSERT_TRUE(QDir().mkdir("live"));
  makeRecords("live/info.mdb", 600);
  const auto committed = records("live/info.mdb");
  {
    SqlDb d("live/info.mdb");
    d.exec("PRAGMA cache_size=5");
    d.exec("BEGIN");
    d.exec("UPDATE info SET REMARK = 'half-written ' || ID");
    ASSERT_TRUE(QFileInfo::exists("live/info.mdb-journal"));
    copyWithJournal("live/info.mdb", "info.mdb", {"-journal"});
    d.exec("ROLLBACK");
  }
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kCompactDone);
  EXPECT_EQ(records("info.mdb"), committed);
  EXPECT_EQ(records("info.old"), committed);
  EXPECT_EQ(folderNames(), (QStringList{"info.mdb", "info.old", "live"}));
}

TEST(Commands, WriteAheadLogIsFoldedInBeforeTheMove) {
  ScratchDir dir;
  ASSERT_TRUE(QDir().mkdir("live"));
  makeRecords("live/info.mdb", 50);
  {
    SqlDb d("live/info.mdb");
    d.exec("PRAGMA journal_mode=WAL");
    d.exec("PRAGMA wal_autocheckpoint=0");
    d.exec("INSERT INTO info (LNAME) VALUES ('ONLY IN THE LOG')");
    ASSERT_TRUE(QFileInfo::exists("live/info.mdb-wal"));
    copyWithJournal("live/info.mdb", "info.mdb", {"-wal"});
  }
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kCompactDone);
  EXPECT_FALSE(QFileInfo::exists("info.mdb-wal"));
  EXPECT_FALSE(QFileInfo::exists("info.old-wal"));
  const auto after = records("info.mdb");
  EXPECT_EQ(after.size(), 51);
  EXPECT_EQ(after.value(51).value(1), "ONLY IN THE LOG");
  EXPECT_EQ(records("info.old").size(), 51);
}

TEST(Engine, CompactNeverOverwritesAnExistingDestination) {
  ScratchDir dir;
  makeRecords("a.mdb", 3);
  makeRecords("b.mdb", 5);
  const QByteArray b = hashOf("b.mdb");
  DBEngine engine;
  try {
    engine.CompactDatabase(QDir::current().filePath("a.mdb"), QDir::current().filePath("b.mdb"));
    ADD_FAILURE() << "an existing destination was accepted";
  } catch (const ToolError& e) {
    EXPECT_EQ(e.number(), EEXIST);
  }
  EXPECT_EQ(hashOf("b.mdb"), b);
}

// ---------------------------------------------------------------- faults


TEST(Compact, EachStepFailingInTurnLeavesTheRecordsWholeAndABackup) {
  ScratchDir dir;
  std::vector<std::string> seen;
  bool completed = false;
  for (int k = 1; k < 100 && !completed; ++k) {
    const QString run = QDir(dir.path()).filePath(QString("run%1").arg(k));
    ASSERT_TRUE(QDir().mkpath(run));
    ASSERT_TRUE(QDir::setCurrent(run));
    makeRecords("info.mdb", 300, "NOW");
    {
      SqlDb d("info.mdb");
      d.exec("DELETE FROM info WHERE ID % 4 = 0");
    }
    makeRecords("info.old", 6, "BEFORE");
    const auto nowRecords = records("info.mdb");
    const QByteArray now = hashOf("info.mdb"), before = hashOf("info.old");
    bool renamed = false;

    NthStepFails plan;
    plan.failAt = k;
    plan.observe = [&](const char* step) {
      // Before every step: the database's own name holds the file as it was
      // or the whole compacted copy, and a backup exists, the earlier one
      // (perhaps under its hidden name) or the new one.
      const QByteArray mdb = hashOf("info.mdb"), old = hashOf("info.old");
      EXPECT_TRUE(mdb == now || records("info.mdb") == nowRecords) << "records not whole before " << step;
      EXPECT_TRUE(old == before || old == now || hashOf(".info.old.keep") == before)
          << "no backup before " << step;
      if (old == now) renamed = true;
    };
    RecordingMessages seam;
    MaintenanceCommands cmd(seam, &plan);
    cmd.compact(chosen("info.mdb"));
    ASSERT_EQ(seam.boxes.size(), 1u) << "run " << k;
    if (plan.calls < k) {
      completed = true;
      EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kCompactDone);
      EXPECT_EQ(records("info.mdb"), nowRecords);
      EXPECT_EQ(hashOf("info.old"), now);
      EXPECT_EQ(folderNames(), QStringList({"info.mdb", "info.old"}));
      break;
    }
    seen.push_back(plan.failedStep);
    SCOPED_TRACE("failing step: " + plan.failedStep);
    EXPECT_TRUE(seam.boxes[0].text.startsWith(QString("Error %1: injected failure at ").arg(kInjectedFailure)))
        << qPrintable(seam.boxes[0].text);
    EXPECT_EQ(seam.ends, std::vector<int>{1});
    // The database is back under its own name, as it was, and the previous
    // backup under its name, even when the database had already replaced it.
    EXPECT_EQ(hashOf("info.mdb"), now);
    EXPECT_EQ(hashOf("info.old"), before) << (renamed ? "after the move" : "before the move");
    EXPECT_EQ(folderNames(), QStringList({"info.mdb", "info.old"}));
  }
  EXPECT_TRUE(completed);
  for (const char* step : {"create engine", "lock database", "look for previous backup", "open database to settle it",
                           "keep previous backup", "flush directory after keeping backup", "make backup",
                           "flush directory after backup", "open source", "create temporary file",
                           "write compacted copy", "check compacted copy", "count rows", "copy permissions",
                           "flush new file", "rename new file into place", "flush directory", "drop previous backup"})
    EXPECT_NE(std::find(seen.begin(), seen.end(), step), seen.end()) << "never failed: " << step;
}

// A copy that lost rows on the way (here taken out behind the engine's back
// just before the count) never replaces the database.
TEST(Compact, CopyMissingARowIsRefusedAndTheDatabaseStays) {
  ScratchDir dir;
  makeRecords("info.mdb", 50);
  const QByteArray now = hashOf("info.mdb");
  NthStepFails plan;
  plan.observe = [&](const char* step) {
    if (std::string(step) != "count rows") return;
    const QStringList temps = QDir::current().entryList({"info.mdb.*.tmp"}, QDir::Files);
    ASSERT_EQ(temps.size(), 1);
    SqlDb copy(temps.first());
    copy.exec("DELETE FROM info WHERE ID = 17");
  };
  RecordingMessages seam;
  MaintenanceCommands cmd(seam, &plan);
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, QString("Error %1: %2: the compacted copy lost rows of table info")
                                    .arg(SQLITE_CORRUPT)
                                    .arg(QDir::current().filePath("info.mdb")));
  EXPECT_EQ(hashOf("info.mdb"), now);
  EXPECT_EQ(folderNames(), QStringList{"info.mdb"}) << "no copy, journal or backup left behind";
}

// A name too long for the working files beside it is refused before
// anything moves, not met with a nameless temporary file halfway.
TEST(Compact, NameTooLongForTheWorkingFilesIsRefusedBeforeAnythingMoves) {
  ScratchDir dir;
  const QString longName = QString(240, QChar('n')) + ".mdb";
  makeRecords(longName, 3);
  makeRecords(QString(240, QChar('n')) + ".old", 2, "PREV");
  const RecordingMessages seam = runCommand(false, longName);
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_TRUE(seam.boxes[0].text.contains("too long")) << qPrintable(seam.boxes[0].text);
  EXPECT_EQ(seam.boxes[0].icon, BoxIcon::Exclamation);
  EXPECT_EQ(folderNames(), (QStringList{longName, QString(240, QChar('n')) + ".old"}));
}

TEST(Compact, ReadOnlyFolderIsReportedAsSuch) {
  ScratchDir dir;
  makeRecords("info.mdb", 3);
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes into any folder";
  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
  const RecordingMessages seam = runCommand(false, "info.mdb");
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_TRUE(seam.boxes[0].text.contains("permission denied")) << qPrintable(seam.boxes[0].text);
  EXPECT_FALSE(seam.boxes[0].text.contains(".ldb")) << qPrintable(seam.boxes[0].text);
}

// Where the file system gives no file a second name, a copy becomes the
// backup, and the backup is still the file as it was.
TEST(Compact, WithoutSecondNamesACopyBecomesTheBackup) {
  struct NoLinks : FaultPlan {
    void at(const char* step) override {
      if (std::string(step) == "make backup") throw ToolError(EXDEV, "no second names here");
    }
  } plan;
  ScratchDir dir;
  makeRecords("info.mdb", 200);
  {
    SqlDb d("info.mdb");
    d.exec("DELETE FROM info WHERE ID % 3 = 0");
  }
  makeRecords("info.old", 3, "PREV");
  const auto before = records("info.mdb");
  const QByteArray now = hashOf("info.mdb");
  RecordingMessages seam;
  MaintenanceCommands cmd(seam, &plan);
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, MaintenanceCommands::kCompactDone);
  EXPECT_EQ(hashOf("info.old"), now);
  EXPECT_EQ(records("info.mdb"), before);
  EXPECT_NE(hashOf("info.mdb"), now);
  EXPECT_EQ(folderNames(), (QStringList{"info.mdb", "info.old"}));
}

// When even putting the files back fails, the message says where they lie,
// and the next start puts them right.
TEST(Compact, FilesThatCannotBePutBackAreNamedAndSettledLater) {
  ScratchDir dir;
  makeRecords("info.mdb", 30);
  makeRecords("info.old", 4, "PREV");
  const QByteArray now = hashOf("info.mdb"), previous = hashOf("info.old");
  NthStepFails plan;
  plan.alsoFail = "put files back";
  RecordingMessages seam;
  MaintenanceCommands cmd(seam, &plan);
  plan.observe = [&](const char* step) {
    if (std::string(step) == "write compacted copy") plan.failAt = plan.calls;
  };
  cmd.compact(chosen("info.mdb"));
  ASSERT_EQ(seam.boxes.size(), 1u);
  const QString text = seam.boxes[0].text;
  EXPECT_TRUE(text.contains("The records are in " + QDir::current().filePath("info.mdb"))) << qPrintable(text);
  EXPECT_TRUE(text.contains("the previous backup is kept as " + QDir::current().filePath(".info.old.keep")))
      << qPrintable(text);
  EXPECT_EQ(hashOf("info.mdb"), now);
  EXPECT_EQ(hashOf(".info.old.keep"), previous);

  EXPECT_EQ(settleLeftovers(QDir::current().filePath("info.mdb")), QStringList());
  EXPECT_EQ(hashOf("info.mdb"), now);
  EXPECT_EQ(hashOf("info.old"), previous);
  EXPECT_EQ(folderNames(), QStringList({"info.mdb", "info.old"}));
}
