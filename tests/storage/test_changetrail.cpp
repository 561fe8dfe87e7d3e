// The trail of changes, on the file and on the records server alike: every
// add, change and delete of a result leaves who, where, the field and its
// values before and after, in the same transaction as the change; the trail
// is exported readable by its owner only.

#include <QFile>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include "changetrail.h"
#include "fitnessrecordsfixture.h"
#include "fitnessrecords.h"
#include "sqlitedb.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class TrailFile : public FitnessFile {
 public:
  std::unique_ptr<ChangeTrail> trail() { return ChangeTrail::forDatabase(path_); }
  // Who a change in a file is made by: the system account.
  QString who() { return QString::fromLocal8Bit(getpwuid(geteuid())->pw_name); }
};

class TrailServer : public FitnessServer {
 public:
  std::unique_ptr<ChangeTrail> trail() { return ChangeTrail::onServer(scratch_->conninfo()); }
  // Who a change on the server is made by: the database user that logged in.
  QString who() { return scratch_->admin().exec("SELECT session_user").value(0, 0); }
};

template <typename Side>
using Trail = PairedTest<Side>;
using TrailSides = ::testing::Types<TrailFile, TrailServer>;
TYPED_TEST_SUITE(Trail, TrailSides, SideNames);

std::vector<TrailEntry> only(const std::vector<TrailEntry>& all, TrailEntry::Action a) {
  std::vector<TrailEntry> out;
  for (const TrailEntry& e : all)
    if (e.action == a) out.push_back(e);
  return out;
}

}  // namespace

TYPED_TEST(Trail, EveryAddChangeAndDeleteOfAResultLeavesWhoWhereAndTheValues) {
  auto station = this->side.station();
  const RowAsRead added = station->add(fullFitnessRecord(1));
  const RowAsRead stored = station->store(added, {{"pushup", "50"}, {"pushup_pts", "88"}});
  // A store that changes nothing leaves nothing.
  const RowAsRead same = station->store(stored, {{"pushup", "50"}});
  ASSERT_TRUE(station->remove(same));

  const std::vector<TrailEntry> trail = this->side.trail()->ofRecord(TracedTable::FiveEvent, added.key);
  ASSERT_FALSE(trail.empty());
  for (const TrailEntry& e : trail) {
    EXPECT_EQ(e.who, this->side.who());
    EXPECT_TRUE(e.station.endsWith('@' + QSysInfo::machineHostName())) << qPrintable(e.station);
    EXPECT_EQ(e.record, added.key);
    EXPECT_EQ(e.unit, "A CO 1-5 IN");
    EXPECT_TRUE(e.when.isValid());
    EXPECT_LE(e.when, QDateTime::currentDateTimeUtc().addSecs(1));
  }
  // The add leaves each field given, and the ID a record with none would.
  const std::vector<TrailEntry> adds = only(trail, TrailEntry::Action::Add);
  Record addedValues;
  for (const TrailEntry& e : adds) {
    EXPECT_TRUE(e.before.isNull()) << qPrintable(e.field);
    addedValues.insert(e.field, e.after);
  }
  EXPECT_EQ(addedValues.value("id"), QString::number(added.key));
  EXPECT_EQ(addedValues.value("pushup"), "34");
  EXPECT_EQ(addedValues.value("remark"), fullFitnessRecord(1).value("remark"));
  EXPECT_FALSE(addedValues.contains("version"));

  const std::vector<TrailEntry> changes = only(trail, TrailEntry::Action::Change);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].field == "pushup" ? changes[0].before : changes[1].before, "34");
  EXPECT_EQ(changes[0].field == "pushup" ? changes[0].after : changes[1].after, "50");
  EXPECT_EQ(changes[0].field == "pushup" ? changes[1].field : changes[0].field, "pushup_pts");

  Record deleted;
  for (const TrailEntry& e : only(trail, TrailEntry::Action::Delete)) {
    EXPECT_TRUE(e.after.isNull()) << qPrintable(e.field);
    deleted.insert(e.field, e.before);
  }
  EXPECT_EQ(deleted.value("pushup"), "50");
  EXPECT_EQ(deleted.value("name"), fullFitnessRecord(1).value("name"));
  // Oldest first.
  for (size_t i = 1; i < trail.size(); ++i) EXPECT_LT(trail[i - 1].id, trail[i].id);
}

TYPED_TEST(Trail, AChangeRefusedByTheDatabaseLeavesNoTrail) {
  auto station = this->side.station();
  station->add(fullFitnessRecord(1));
  const size_t before = this->side.trail()->all().size();
  // The second record of one soldier on one date: the unique index refuses
  // it after the row, and its trail, were written.
  EXPECT_THROW(station->add(fullFitnessRecord(1)), DbError);
  EXPECT_EQ(this->side.trail()->all().size(), before);
}

TYPED_TEST(Trail, TheExportHoldsEveryEntryAndIsReadableByItsOwnerOnly) {
  this->side.station()->add(fullFitnessRecord(1));
  const std::vector<TrailEntry> all = this->side.trail()->all();
  ScratchDir dir;
  const QString path = dir.file("trail.csv");
  // Written over a file everyone could read, which it replaces.
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
  exportTrailCsv(all, path);
  const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
  EXPECT_EQ(QFile::permissions(path) & others, QFile::Permissions());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(f.readAll());
  EXPECT_TRUE(text.startsWith("when,who,station,address,table,record,unit,action,field,before,after\r\n"));
  // The remark, with its quotes, commas and second line, in one quoted cell.
  EXPECT_TRUE(text.contains(",fitness_tests,1,A CO 1-5 IN,add,remark,,\"Profile: rowed; \"\"quotes\"\", commas, and "
                            "a\nsecond line\"\r\n"))
      << qPrintable(text);
  EXPECT_EQ(text.count(",add,"), qsizetype(all.size()));
}

// The file's own: any connection that traces its changes traces the
// three-event records too, and a table that gains fields has all of them
// traced; a program that traces nothing can still change the file.
TEST(TrailInFile, AFieldAddedLaterIsTracedAndAnUntracingProgramStillWrites) {
  TrailFile side;
  side.setUp();
  {
    sqlite::Database db(side.path(), sqlite::Database::Mode::ReadWrite);
    addChangeTrail(db);
    db.exec("INSERT INTO info (LNAME, RAW_PU) VALUES ('DOE', '40')");
    db.exec("UPDATE info SET RAW_PU = '41'");
    db.exec("ALTER TABLE info ADD COLUMN EXTRA TEXT");
    addChangeTrail(db);
    db.exec("UPDATE info SET EXTRA = 'x'");
  }
  {
    // Another program, which knows nothing of the trail.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(side.path()).constData(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "UPDATE info SET RAW_PU = '45'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
  }
  std::vector<QString> seen;
  for (const TrailEntry& e : side.trail()->ofRecord(TracedTable::ThreeEvent, 1))
    seen.push_back(actionName(e.action) + ' ' + e.field + ' ' + e.before + '>' + e.after);
  EXPECT_EQ(seen, (std::vector<QString>{"add id >1", "add lname >DOE", "add raw_pu >40", "change raw_pu 40>41",
                                        "change extra >x"}));
}
