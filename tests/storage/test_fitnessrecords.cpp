// The five-event records on the file and on the records server, held to one
// behaviour: every field comes back as stored, lanes entering different
// events of one soldier never undo each other, a clash on one field is
// reported with both values and stores nothing.

#include <QFile>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "fitnessrecordsfixture.h"
#include "fitnessrecords.h"
#include "fitnessrows.h"
#include "recordssession.h"
#include "recordsdb.h"
#include "sqlitebackend.h"
#include "sqlitedb.h"

using namespace quillon;
using namespace quillon::test;

template <typename Records>
using FitnessStore = FitnessTest<Records>;
TYPED_TEST_SUITE(FitnessStore, FitnessBackends, FitnessBackendNames);

TYPED_TEST(FitnessStore, EveryFieldComesBackAsStoredAndFromAnotherStation) {
  const Record full = fullFitnessRecord();
  const RowAsRead added = this->records.station()->add(full);
  EXPECT_GT(added.key, 0);
  EXPECT_EQ(byName(added), full);

  auto other = this->records.station();
  const std::vector<RowAsRead> all = other->readAll();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].key, added.key);
  EXPECT_EQ(byName(all[0]), full);
  const std::optional<RowAsRead> found = other->find(full.value("ssn"), full.value("test_date"));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->key, added.key);
}

// A reader of every record that needs a few fields of each (the soldier
// picker) has those as stored, in readAll's order; the others are not read.
TYPED_TEST(FitnessStore, ReadingEveryRecordForSomeFieldsGivesThoseAsStoredInTheSameOrder) {
  auto station = this->records.station();
  for (int n : {3, 1, 2}) {
    Record r = fullFitnessRecord(n);
    r.insert("ssn", QStringLiteral("30000000%1").arg(n));
    r.insert("test_date", QStringLiteral("2025-0%1-01").arg(4 - n));
    station->add(r);
  }
  const std::vector<RowAsRead> all = station->readAll();
  const std::vector<RowAsRead> some = station->readAllOf({"name", "test_date"});
  ASSERT_EQ(some.size(), all.size());
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(some[i].key, all[i].key);
    EXPECT_EQ(byName(some[i]).value("name"), byName(all[i]).value("name"));
    EXPECT_EQ(byName(some[i]).value("test_date"), byName(all[i]).value("test_date"));
    EXPECT_TRUE(byName(some[i]).value("ssn").isEmpty()) << "a field not asked for is not read";
  }
  EXPECT_THROW(station->readAllOf({"name", "nosuch"}), DbError);
  // Handed over one at a time, as a division's records are read: a row kept
  // stays as it was read while the next is read, and the reading stops when
  // told.
  std::vector<RowAsRead> kept;
  station->forEachOf({"test_date"}, [&kept](const RowAsRead& row) {
    kept.push_back(row);
    return kept.size() < 2;
  });
  ASSERT_EQ(kept.size(), 2u);
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(kept[i].key, all[i].key);
    EXPECT_EQ(byName(kept[i]).value("test_date"), byName(all[i]).value("test_date"));
    EXPECT_TRUE(byName(kept[i]).value("name").isEmpty());
  }
}

TYPED_TEST(FitnessStore, EntriesInAnotherFormAreStoredInOneFormOrRefusedByName) {
  auto s = this->records.station();
  Record r{{"ssn", "300000001"}, {"test_date", "2025-10-01"}, {"pushup", " 042 "}, {"height_in", "070.50"},
           {"plank_go", "no go"}, {"weight_lb", "180.0"}};
  const Record stored = byName(s->add(r));
  EXPECT_EQ(stored.value("pushup"), "42");
  EXPECT_EQ(stored.value("height_in"), "70.5");
  EXPECT_EQ(stored.value("weight_lb"), "180");
  EXPECT_EQ(stored.value("plank_go"), "NO-GO");

  // A time typed as minutes:seconds, a date in the wrong order, a verdict
  // that is neither: each refused with its field and value, nothing stored.
  const std::vector<std::pair<Record, QString>> refused = {
      {{{"ssn", "300000002"}, {"run_s", "15:30"}}, "Field 'run_s': \"15:30\""},
      {{{"ssn", "300000003"}, {"test_date", "10/01/2025"}}, "Field 'test_date': \"10/01/2025\""},
      {{{"ssn", "300000004"}, {"test_date", "2025-02-30"}}, "Field 'test_date': \"2025-02-30\""},
      {{{"ssn", "300000005"}, {"result_go", "PASS"}}, "Field 'result_go': \"PASS\""},
      {{{"ssn", "300000006"}, {"version", "9"}}, "version"},
  };
  for (const auto& [values, message] : refused) {
    try {
      s->add(values);
      ADD_FAILURE() << "stored: " << qPrintable(message);
    } catch (const DbError& e) {
      EXPECT_TRUE(e.message().contains(message)) << qPrintable(e.message());
    }
  }
  EXPECT_EQ(s->readAll().size(), 1u);
}

TYPED_TEST(FitnessStore, ASecondRecordOfOneSoldierOnOneDateIsRefused) {
  auto s = this->records.station();
  const Record full = fullFitnessRecord();
  s->add(full);
  try {
    this->records.station()->add({{"ssn", full.value("ssn")}, {"test_date", full.value("test_date")}});
    FAIL() << "a second record was stored";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains(full.value("ssn"))) << qPrintable(e.message());
    EXPECT_TRUE(e.message().contains("2025-09-30")) << qPrintable(e.message());
  }
  // The same soldier on another day is another record.
  EXPECT_NO_THROW(s->add({{"ssn", full.value("ssn")}, {"test_date", "2026-03-02"}}));
  EXPECT_EQ(s->readAll().size(), 2u);
}

// A station's first store of a kind is the one a server prepares as it
// runs it: a refusal then must name the record as any refusal does, and
// leave the connection fit for the next store.
TYPED_TEST(FitnessStore, AStoreOntoADayTheSoldierHasIsRefusedAndTheStationStoresOnAfterIt) {
  auto s = this->records.station();
  const Record full = fullFitnessRecord();
  s->add(full);
  const RowAsRead other = s->add({{"ssn", full.value("ssn")}, {"test_date", "2026-03-02"}});
  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      s->store(*s->fetch(other.key), {{"test_date", full.value("test_date")}});
      FAIL() << "two records of one soldier on one day, attempt " << attempt;
    } catch (const DbError& e) {
      EXPECT_TRUE(e.message().contains(full.value("ssn"))) << qPrintable(e.message());
      EXPECT_TRUE(e.message().contains("2025-09-30")) << qPrintable(e.message());
    }
  }
  const RowAsRead stored = s->store(*s->fetch(other.key), {{"pushup", "41"}});
  EXPECT_EQ(byName(stored).value("pushup"), "41");
  EXPECT_EQ(byName(stored).value("test_date"), "2026-03-02");
  EXPECT_EQ(byName(*this->records.station()->fetch(other.key)).value("pushup"), "41");
}

TYPED_TEST(FitnessStore, LanesStoringDifferentEventsOfOneSoldierKeepBoth) {
  auto deadliftLane = this->records.station();
  auto plankLane = this->records.station();
  const RowAsRead row = deadliftLane->add({{"ssn", "300000010"}, {"test_date", "2025-10-01"}, {"name", "Lane"}});
  // Both lanes read the row before either stored.
  const RowAsRead seenByDeadlift = *deadliftLane->fetch(row.key);
  const RowAsRead seenByPlank = *plankLane->fetch(row.key);
  deadliftLane->store(seenByDeadlift, {{"deadlift_1", "200"}, {"deadlift_2", "210"}, {"grader_deadlift", "AB"}});
  const RowAsRead after = plankLane->store(seenByPlank, {{"plank_s", "185"}, {"grader_plank", "CD"}});

  const Record now = byName(*this->records.station()->fetch(row.key));
  EXPECT_EQ(now.value("deadlift_1"), "200");
  EXPECT_EQ(now.value("deadlift_2"), "210");
  EXPECT_EQ(now.value("grader_deadlift"), "AB");
  EXPECT_EQ(now.value("plank_s"), "185");
  EXPECT_EQ(now.value("grader_plank"), "CD");
  EXPECT_EQ(now.value("name"), "Lane");
  // Every change counts in the row's version.
  EXPECT_EQ(after.version, row.version + 2);
}

TYPED_TEST(FitnessStore, AClashOnOneFieldStoresNothingAndNamesBothValues) {
  auto first = this->records.station();
  auto second = this->records.station();
  const RowAsRead row = first->add({{"ssn", "300000020"}, {"test_date", "2025-10-01"}, {"pushup", "30"}});
  const RowAsRead seenBySecond = *second->fetch(row.key);
  first->store(row, {{"pushup", "41"}});
  try {
    // The second station also meant to change another field: nothing of it
    // may land while the clash stands.
    second->store(seenBySecond, {{"pushup", "44"}, {"grader_pushup", "ZZ"}});
    FAIL() << "stored over another station's change";
  } catch (const ConflictError& e) {
    ASSERT_EQ(e.conflict().clashes.size(), 1);
    const FieldClash& c = e.conflict().clashes.first();
    EXPECT_EQ(c.field, "pushup");
    EXPECT_EQ(c.theirs, "41");
    EXPECT_EQ(c.asRead, "30");
    EXPECT_EQ(c.ours, "44");
    EXPECT_TRUE(e.message().contains("pushup")) << qPrintable(e.message());
    EXPECT_EQ(byName(e.conflict().theirs).value("pushup"), "41");
  }
  const Record now = byName(*first->fetch(row.key));
  EXPECT_EQ(now.value("pushup"), "41");
  EXPECT_TRUE(now.value("grader_pushup").isEmpty());

  // Read again, the second station stores over it knowingly.
  second->store(*second->fetch(row.key), {{"pushup", "44"}});
  EXPECT_EQ(byName(*first->fetch(row.key)).value("pushup"), "44");

  // A delete of a row changed since it was read is refused as well.
  EXPECT_THROW(second->remove(row), ConflictError);
  EXPECT_TRUE(second->remove(*second->fetch(row.key)));
  EXPECT_FALSE(first->fetch(row.key));
}

// Fields are named without regard to case, as the engines name columns; a
// name that is no field of the records is refused and nothing is written.
TYPED_TEST(FitnessStore, AFieldNamedInAnyCaseIsStoredAndANameOfNoFieldWritesNothing) {
  auto lane = this->records.station();
  const RowAsRead row = lane->add(fullFitnessRecord());
  const RowAsRead stored = lane->store(row, {{"PushUp", "41"}, {"PUSHUP_PTS", "77"}});
  EXPECT_EQ(byName(stored).value("pushup"), "41");
  EXPECT_EQ(byName(stored).value("pushup_pts"), "77");

  try {
    lane->store(stored, {{"pushup", "42"}, {"pushups", "42"}});
    ADD_FAILURE() << "a name of no field was taken";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("pushups")) << e.message().toStdString();
  }
  const RowAsRead now = *lane->fetch(row.key);
  EXPECT_EQ(byName(now).value("pushup"), "41");
  EXPECT_EQ(now.version, stored.version);
}

// What one lane entry costs: the value of one event of a record already
// there reaches the records in one statement, on a server in one round
// trip, though another lane stored into the row since this one read it.
TYPED_TEST(FitnessStore, OneLaneValueOfARecordIsOneStatementAndOnServerOneRoundTrip) {
  auto lane = this->records.station();
  auto otherLane = this->records.station();
  const RowAsRead row = lane->add(fullFitnessRecord());
  otherLane->store(*otherLane->fetch(row.key), {{"plank_s", "190"}});

  RecordsSession& session = dynamic_cast<FitnessRows&>(*lane).session();
  const quint64 statements = session.statements(), roundTrips = session.roundTrips();
  const RowAsRead stored = lane->store(row, {{"pushup", "41"}});
  EXPECT_EQ(session.statements() - statements, 1u);
  EXPECT_EQ(session.roundTrips() - roundTrips, session.isServer() ? 1u : 0u);
  EXPECT_EQ(byName(stored).value("pushup"), "41");
  EXPECT_EQ(byName(stored).value("plank_s"), "190");
  EXPECT_EQ(stored.version, row.version + 2);

  // A clash costs the read that names it, and nothing is written.
  const quint64 before = session.statements();
  EXPECT_THROW(lane->store(row, {{"plank_s", "200"}}), ConflictError);
  EXPECT_EQ(session.statements() - before, 2u);
  EXPECT_EQ(byName(*otherLane->fetch(row.key)).value("plank_s"), "190");
}

// A station sends the same few stores over and over: each one still writes
// and checks exactly its own fields, whatever the station stored before and
// in whatever order the fields were given.
TYPED_TEST(FitnessStore, EachStoreWritesAndChecksOnlyItsOwnFieldsWhateverWasStoredBefore) {
  auto lane = this->records.station();
  auto other = this->records.station();
  const RowAsRead row = lane->add({{"ssn", "300000030"}, {"test_date", "2025-10-02"}, {"pushup", "30"}});
  const RowAsRead mine = lane->store(row, {{"pushup", "31"}});
  other->store(*other->fetch(row.key), {{"grader_pushup", "OT"}});
  // From the same read, the one field goes through over the other
  // station's grader...
  lane->store(mine, {{"pushup", "31"}});
  // ...the field with the grader clashes on the grader alone...
  try {
    lane->store(mine, {{"pushup", "33"}, {"grader_pushup", "ME"}});
    FAIL() << "stored over another station's grader";
  } catch (const ConflictError& e) {
    ASSERT_EQ(e.conflict().clashes.size(), 1);
    EXPECT_EQ(e.conflict().clashes.first().field, "grader_pushup");
  }
  // ...and the one field alone goes through again.
  EXPECT_EQ(byName(lane->store(mine, {{"pushup", "32"}})).value("grader_pushup"), "OT");
  Record given;
  given.reserve(512);  // another order of the same fields
  given.insert("grader_pushup", "ME");
  given.insert("pushup", "34");
  const RowAsRead both = lane->store(*lane->fetch(row.key), given);
  const Record now = byName(*other->fetch(row.key));
  EXPECT_EQ(now.value("pushup"), "34");
  EXPECT_EQ(now.value("grader_pushup"), "ME");
  EXPECT_EQ(byName(both), now);
  // A soldier's first record, its fields in another order, is stored whole.
  Record first = fullFitnessRecord(4);
  Record reordered;
  reordered.reserve(1024);
  for (auto it = first.cbegin(); it != first.cend(); ++it) reordered.insert(it.key(), it.value());
  lane->add(fullFitnessRecord(3));
  const RowAsRead added = lane->add(reordered);
  Record back = byName(*other->fetch(added.key));
  back.remove("id");
  for (auto it = first.cbegin(); it != first.cend(); ++it)
    EXPECT_EQ(back.value(it.key()), it.value()) << qPrintable(it.key());
}

// A window that read some rows asks what moved since: only the rows whose
// version moved come back, as they are now; a row deleted since does not.
TYPED_TEST(FitnessStore, RowsChangedSinceTheyWereReadComeBackAndNoOthers) {
  auto station = this->records.station();
  auto other = this->records.station();
  const RowAsRead kept = station->add(fullFitnessRecord(1));
  const RowAsRead changed = station->add(fullFitnessRecord(2));
  const RowAsRead deleted = station->add(fullFitnessRecord(3));
  other->store(*other->fetch(changed.key), {{"run_s", "1099"}});
  ASSERT_TRUE(other->remove(*other->fetch(deleted.key)));

  FitnessRows& rows = dynamic_cast<FitnessRows&>(*station);
  const std::vector<RowAsRead> moved = rows.changedSince({kept, changed, deleted});
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].key, changed.key);
  EXPECT_EQ(moved[0].version, changed.version + 1);
  EXPECT_EQ(byName(moved[0]).value("run_s"), "1099");
  EXPECT_TRUE(rows.changedSince({kept}).empty());
}

// ---------------------------------------------------------------- the file

namespace {

// Every row of info with every value in its stored type and bytes.
QList<Row> infoAsStored(const QString& path) {
  QList<Row> out;
  sqlite::Database db(path, sqlite::Database::Mode::ReadOnly);
  sqlite::Statement cols(db, QStringLiteral("PRAGMA table_info(info)"));
  QStringList quoted;
  while (cols.step()) quoted << "quote(" + cols.text(1) + ")";
  sqlite::Statement st(db, "SELECT _rowid_, " + quoted.join(',') + " FROM info ORDER BY _rowid_");
  while (st.step()) {
    Row r;
    for (int i = 0; i < st.columnCount(); ++i) r.insert(QString::number(i), st.text(i));
    out << r;
  }
  return out;
}

}  // namespace

// The soldiers a window follows go to the engine as one list: an
// identifier written by hand with a quote, a backslash or a control
// character in it is matched exactly as written, and nothing else is.
TYPED_TEST(FitnessStore, AFollowedIdentifierIsMatchedExactlyAsWrittenWhateverItHolds) {
  auto station = this->records.station();
  const QStringList odd{QStringLiteral("12\"345"), QStringLiteral("5\\678"), QStringLiteral("9\t01"),
                        QStringLiteral("\\u0041"), QStringLiteral("A")};
  QHash<QString, qint64> keys;
  for (int i = 0; i < odd.size(); ++i) {
    Record r = fullFitnessRecord(i + 1);
    r.insert(QStringLiteral("ssn"), odd.at(i));
    keys.insert(odd.at(i), station->add(r).key);
  }
  FitnessRecords::Followed followed;
  followed.ssns = odd.mid(0, 4);
  followed.testDate = QStringLiteral("2025-09-30");
  const std::optional<FitnessRecords::Changes> changes = station->changesSince(followed, 0);
  ASSERT_TRUE(changes);
  QSet<qint64> found;
  for (const RowAsRead& row : changes->rows) found << row.key;
  EXPECT_EQ(found, (QSet<qint64>{keys.value(odd.at(0)), keys.value(odd.at(1)), keys.value(odd.at(2)),
                                 keys.value(odd.at(3))}))
      << "\\u0041 is no A";
}

TEST(FitnessFileUpgrade, AnOldFileGainsTheTableWhenTheScorerOpensItAndInfoKeepsEveryValue) {
  ScratchDir dir;
  const QString path = dir.file("info.mdb");
  // A file as the last three-event scorer left it: the twenty fields,
  // values of several stored types, a gap in the IDs.
  QFile(path).open(QIODevice::WriteOnly);
  execSql(path, "CREATE TABLE info (ID INTEGER PRIMARY KEY AUTOINCREMENT, LNAME TEXT, RANK TEXT, SSN TEXT, SEX TEXT, "
                "DOB TEXT, DOT TEXT, RAW_PU TEXT, RAW_SU TEXT, RUN_M TEXT, RUN_S TEXT, C_PU TEXT, C_SU TEXT, "
                "C_RUN TEXT, TOTAL TEXT, STAT TEXT, PROFILE TEXT, REMARK TEXT, ALT_EVENT TEXT, ALT_TIME TEXT)");
  execSql(path, "INSERT INTO info (ID, LNAME, RAW_PU, RUN_S, REMARK) VALUES (1, 'Able', ' 60', 30, NULL), "
                "(5, 'baker', '0060', 2.5, ''), (9, NULL, x'00ff', '06/01/2026', 'last')");
  const QList<Row> before = infoAsStored(path);

  SqliteBackend scorer(path);
  scorer.open();
  scorer.close();
  EXPECT_EQ(infoAsStored(path), before);
  sqlite::Database db(path, sqlite::Database::Mode::ReadOnly);
  EXPECT_TRUE(hasFitnessTable(db));
  // Opening again adds nothing more.
  SqliteBackend again(path);
  again.open();
  sqlite::Statement n(db, "SELECT count(*) FROM sqlite_master WHERE tbl_name='" + fitnessTableName() + "'");
  ASSERT_TRUE(n.step());
  EXPECT_EQ(n.integer(0), 8) << "the table, its five indexes (soldier and date by SSN and by DoD ID, group, SSN, "
                                 "DoD ID) and its change counter's two triggers, once";
}

TEST(FitnessFileUpgrade, AnUpgradeThatFailsHalfwayLeavesTheFileAsItWas) {
  ScratchDir dir;
  const QString path = dir.file("info.mdb");
  createRecordsDatabase(path);
  // An index of that name already stands, so the last statement of the
  // upgrade fails after the table was made.
  execSql(path, "CREATE INDEX " + fitnessTableName() + "_group ON info(LNAME)");
  execSql(path, "ALTER TABLE info ADD COLUMN ALT_EVENT TEXT; ALTER TABLE info ADD COLUMN ALT_TIME TEXT");
  execSql(path, "INSERT INTO info (LNAME) VALUES ('Able')");
  const QList<Row> before = infoAsStored(path);
  SqliteBackend scorer(path);
  EXPECT_THROW(scorer.open(), DbError);
  sqlite::Database db(path, sqlite::Database::Mode::ReadOnly);
  EXPECT_FALSE(hasFitnessTable(db));
  EXPECT_EQ(infoAsStored(path), before);
}

TEST(FitnessFileRead, EachRowKeepsItsOwnValueWhereTheRowBeforeHeldTheSameOrNone) {
  ScratchDir dir;
  const QString path = dir.file("info.mdb");
  createRecordsDatabase(path);
  FitnessRecords::forDatabase(path)->open();
  // One soldier's rows in the order they are read (by date of test); the
  // unit goes from none to empty and back, a name repeats, then differs by
  // one letter of the same length or only beyond plain ASCII.
  execSql(path, "INSERT INTO fitness_tests (ssn, test_date, unit, name, grader_run) VALUES "
                "('300000001', '2021-01-01', NULL, 'Able, Pat', 'Ng'), "
                "('300000001', '2022-01-01', '', 'Able, Pat', 'Ng'), "
                "('300000001', '2023-01-01', NULL, 'Able, Pet', 'Ng'), "
                "('300000001', '2024-01-01', '', 'Able, P\u00e9t', 'Ng'), "
                "('300000001', '2025-01-01', 'A CO', 'Able, P\u00e9t', '')");
  auto records = FitnessRecords::forDatabase(path);
  records->open();
  const std::vector<RowAsRead> rows = records->readOfSoldiers({QStringLiteral("300000001")});
  ASSERT_EQ(rows.size(), 5u);
  const qsizetype unit = fitnessFieldNames().indexOf(QStringLiteral("unit")),
                  name = fitnessFieldNames().indexOf(QStringLiteral("name")),
                  grader = fitnessFieldNames().indexOf(QStringLiteral("grader_run"));
  const QStringList units = {rows[0].fields[unit], rows[1].fields[unit], rows[2].fields[unit], rows[3].fields[unit],
                             rows[4].fields[unit]};
  EXPECT_EQ(units, QStringList({QString(), "", QString(), "", "A CO"}));
  EXPECT_TRUE(rows[0].fields[unit].isNull() && rows[2].fields[unit].isNull()) << "no value stays none";
  EXPECT_FALSE(rows[1].fields[unit].isNull() || rows[3].fields[unit].isNull()) << "an empty value stays empty";
  EXPECT_EQ(rows[1].fields[name], "Able, Pat");
  EXPECT_EQ(rows[2].fields[name], "Able, Pet");
  EXPECT_EQ(rows[3].fields[name], QString::fromUtf8("Able, P\u00e9t"));
  EXPECT_EQ(rows[4].fields[name], QString::fromUtf8("Able, P\u00e9t"));
  EXPECT_EQ(rows[3].fields[grader], "Ng");
  EXPECT_TRUE(rows[4].fields[grader].isEmpty() && !rows[4].fields[grader].isNull());
}

// Whole numbers are compared with the row before as numbers, so a field
// that holds the same digits as text, none, or another kind of number
// between two rows of the same number still reads as each row holds it.
TEST(FitnessFileRead, EachRowKeepsItsOwnNumberWhereTheRowBeforeHeldItOrItsDigitsAsText) {
  ScratchDir dir;
  const QString path = dir.file("info.mdb");
  createRecordsDatabase(path);
  FitnessRecords::forDatabase(path)->open();
  const QList<std::pair<const char*, const char*>> held = {
      {"40", "70"}, {"40", "70.5"}, {"NULL", "70"}, {"40", "'70'"}, {"'40'", "'70 in'"}, {"'40 reps'", "70"},
      {"40", "70.25"}, {"-7", "-7"}, {"9007199254740993", "9007199254740993"}, {"9007199254740993", "70.5"}};
  QStringList values;
  for (int i = 0; i < held.size(); ++i)
    values << QStringLiteral("('300000001', '%1-01-01', %2, %3)").arg(2010 + i).arg(held[i].first, held[i].second);
  execSql(path, "INSERT INTO fitness_tests (ssn, test_date, pushup, height_in) VALUES " + values.join(", "));
  auto records = FitnessRecords::forDatabase(path);
  records->open();
  const std::vector<RowAsRead> rows = records->readOfSoldiers({QStringLiteral("300000001")});
  ASSERT_EQ(rows.size(), size_t(held.size()));
  const qsizetype pushup = fitnessFieldNames().indexOf(QStringLiteral("pushup")),
                  height = fitnessFieldNames().indexOf(QStringLiteral("height_in"));
  QStringList pushups, heights;
  for (const RowAsRead& r : rows) {
    pushups << (r.fields[pushup].isNull() ? QStringLiteral("<none>") : r.fields[pushup]);
    heights << r.fields[height];
  }
  EXPECT_EQ(pushups.join(" | ").toStdString(),
            "40 | 40 | <none> | 40 | 40 | 40 reps | 40 | -7 | 9007199254740993 | 9007199254740993");
  EXPECT_EQ(heights.join(" | ").toStdString(),
            "70 | 70.5 | 70 | 70 | 70 in | 70 | 70.25 | -7 | 9007199254740993 | 70.5");
}
