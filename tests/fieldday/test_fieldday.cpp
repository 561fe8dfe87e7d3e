// Take-out and merge between records files: what a merge decides field by
// field, what it refuses, that it never changes the laptop's folder, and
// that a merge killed anywhere leaves the target as it was, the next run
// completing it.

#include <QRegularExpression>
#include <QSaveFile>
#include <gtest/gtest.h>

#include "changetrail.h"
#include "dbfile.h"
#include "fitnessrows.h"
#include "recordbackend.h"
#include "rowarena.h"
#include "sqlitedb.h"
#include "fielddayfixture.h"
#include "merge.h"
#include "recordssession.h"
#include "takeout.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::fieldday;
using namespace quillon::test;

namespace {

TEST(FieldFate, EachSideIsJudgedAgainstWhatBothHeldAtTheTakeOut) {
  const ColumnKind n = ColumnKind::Number;
  // Changed on the laptop alone, even to no value: stored.
  EXPECT_EQ(fieldFate("40", "45", "40", n), FieldFate::Store);
  EXPECT_EQ(fieldFate("40", QString(), "40", n), FieldFate::Store);
  // Changed at the target alone: it stays.
  EXPECT_EQ(fieldFate("40", "40", "50", n), FieldFate::Same);
  // Both changed, to the same value or to different ones.
  EXPECT_EQ(fieldFate("40", "50", "50", n), FieldFate::Same);
  EXPECT_EQ(fieldFate("40", "45", "50", n), FieldFate::Conflict);
  // Nothing taken out: what the laptop adds fills an empty field, and a
  // field the laptop left empty never clears the target's.
  EXPECT_EQ(fieldFate(QString(), "45", QString(), n), FieldFate::Store);
  EXPECT_EQ(fieldFate(QString(), QString(), "50", n), FieldFate::Same);
  EXPECT_EQ(fieldFate(QString(), "45", "50", n), FieldFate::Conflict);
  // No value and empty text are alike; numbers and SSNs compare by value.
  EXPECT_EQ(fieldFate(QString(), "", QString(), ColumnKind::Text), FieldFate::Same);
  EXPECT_EQ(fieldFate(QString(), "64.50", "64.5", ColumnKind::Decimal), FieldFate::Same);
  EXPECT_EQ(fieldFate(QString(), "300000001", "300-00-0001", ColumnKind::Ssn), FieldFate::Same);
}

// An office's records file with one group of soldiers, and laptops' folders.
class FieldDayFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    office_ = dir_.file(QStringLiteral("office"));
    QDir().mkpath(office_);
    createRecordsDatabase(records(office_));
    group_ = TestGroups::forDatabase(records(office_))
                 ->save(TestGroup{0, QStringLiteral("2026-11-20"), QStringLiteral("Range 4"),
                                  fieldDaySoldiers(4, QStringLiteral("A CO 1-5 IN"))});
  }
  QString records(const QString& folder) const { return QDir(folder).filePath(QStringLiteral("info.mdb")); }
  QString laptop(int n) const { return dir_.file(QStringLiteral("lane%1").arg(n)); }
  // Every five-event record of the folder, as text, in ID order.
  QStringList dump(const QString& folder) {
    std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(records(folder));
    store->open();
    QStringList out;
    for (const RowAsRead& r : store->readAll()) out << r.fields.join('|');
    out.sort();
    store->close();
    for (const TestGroup& g : TestGroups::forDatabase(records(folder))->all())
      out << QStringLiteral("group %1 %2 %3 members").arg(g.testDate, g.location).arg(g.members.size());
    return out;
  }
  void takeOutTo(int n) { takeOut(office_, group_.id, laptop(n)); }

  ScratchDir dir_;
  QString office_;
  TestGroup group_;
};

TEST_F(FieldDayFiles, ADeletionOnTheLaptopStandsOnlyWhereNobodyChangedTheRecordSince) {
  enterLanes(records(office_), group_.id,
             {{0, LaneField::PushUp, QStringLiteral("40")}, {1, LaneField::PushUp, QStringLiteral("41")}});
  takeOutTo(1);
  {
    std::unique_ptr<FitnessRecords> lane = FitnessRecords::forDatabase(records(laptop(1)));
    lane->open();
    for (const QString& ssn : {QStringLiteral("300000000"), QStringLiteral("300000001")})
      ASSERT_TRUE(lane->remove(*lane->find(ssn, QStringLiteral("2026-11-20"))));
    lane->close();
  }
  // The office corrects the second soldier's push-up after the take-out.
  enterLanes(records(office_), group_.id, {{1, LaneField::PushUp, QStringLiteral("42")}});

  const MergeReport r = mergeFolder(laptop(1), office_);
  EXPECT_EQ(r.summary(), "stored 1, unchanged 0, conflicts 1, refused 0");
  std::unique_ptr<FitnessRecords> office = FitnessRecords::forDatabase(records(office_));
  office->open();
  EXPECT_FALSE(office->find(QStringLiteral("300000000"), QStringLiteral("2026-11-20")));
  EXPECT_TRUE(office->find(QStringLiteral("300000001"), QStringLiteral("2026-11-20")));
  office->close();
  // Told to, the laptop's deletion stands over the change.
  MergeOptions source;
  source.prefer = Prefer::Source;
  EXPECT_EQ(mergeFolder(laptop(1), office_, source).summary(), "stored 1, unchanged 1, conflicts 0, refused 0");
  EXPECT_EQ(mergeFolder(laptop(1), office_).summary(), "stored 0, unchanged 2, conflicts 0, refused 0");
}

TEST_F(FieldDayFiles, ALaptopThatTookNothingOutMergesByTheSoldierAndDateAndItsGroupJoinsTheOffices) {
  // A laptop that kept its own records: the same group typed in again, one
  // soldier more, whose SSN the office writes with dashes.
  const QString own = laptop(9);
  QDir().mkpath(own);
  createRecordsDatabase(records(own));
  TestGroup typed{0, group_.testDate, group_.location, group_.members};
  typed.members << fieldDaySoldiers(1, QStringLiteral("A CO 1-5 IN"), 300000099);
  typed = TestGroups::forDatabase(records(own))->save(typed);
  enterLanes(records(own), typed.id,
             {{0, LaneField::Plank, QStringLiteral("2:00")}, {4, LaneField::Plank, QStringLiteral("2:10")}});
  enterLanes(records(office_), group_.id, {{0, LaneField::PushUp, QStringLiteral("40")}});
  {
    std::unique_ptr<FitnessRecords> office = FitnessRecords::forDatabase(records(office_));
    office->open();
    const RowAsRead r = *office->find(QStringLiteral("300000000"), QStringLiteral("2026-11-20"));
    office->store(r, {{QStringLiteral("ssn"), QStringLiteral("300-00-0000")}});
    office->close();
  }

  const MergeReport r = mergeFolder(own, office_);
  EXPECT_EQ(r.summary(), "stored 2, unchanged 0, conflicts 0, refused 0");
  const QStringList after = dump(office_);
  EXPECT_EQ(after.filter(QStringLiteral("|2026-11-20|")).size(), 2) << qPrintable(after.join('\n'));
  // One group still, the soldier added at the lanes its fifth member.
  EXPECT_EQ(after.filter(QStringLiteral("group ")), QStringList{"group 2026-11-20 Range 4 5 members"});
  EXPECT_EQ(mergeFolder(own, office_).summary(), "stored 0, unchanged 2, conflicts 0, refused 0");
  EXPECT_EQ(dump(office_), after);
}

TEST_F(FieldDayFiles, SoldiersKnownByTheDodIdJoinTheOfficesGroupOnceAndADodIdOfOneWithTheSsnOfAnotherIsRefused) {
  takeOutAndAddDodIds(office_, group_.id, laptop(1));
  const MergeReport r = mergeFolder(laptop(1), office_);
  EXPECT_EQ(r.summary(), "stored 3, unchanged 0, conflicts 0, refused 0");
  expectEachSoldierOnceWithTheirResults(office_, group_.id, group_);
  // The lines name each soldier as the windows do: the SSN masked, the DoD
  // ID where there is one.
  QStringList lines;
  for (const MergeLine& l : r.lines) lines << l.text();
  EXPECT_EQ(lines.filter(QStringLiteral("***-**-0000 DoD ID ") + kGainedDodId).size(), 1) << qPrintable(lines.join('\n'));
  EXPECT_EQ(lines.filter(QStringLiteral("stored DoD ID ") + kDodIdOnly + " 2026-11-20 Dodson, Lee").size(), 1)
      << qPrintable(lines.join('\n'));
  EXPECT_TRUE(lines.filter(QStringLiteral("300000000")).isEmpty());
  const std::optional<TestGroup> merged = TestGroups::forDatabase(records(office_))->load(group_.id);
  EXPECT_EQ(mergeFolder(laptop(1), office_).summary(), "stored 0, unchanged 3, conflicts 0, refused 0");
  EXPECT_TRUE(TestGroups::forDatabase(records(office_))->load(group_.id) == merged);
  // Taken out again, the soldier known by the DoD ID alone goes with the
  // number and the record of the day.
  takeOutTo(3);
  const std::optional<TestGroup> again = TestGroups::forDatabase(records(laptop(3)))->load(group_.id);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->members.last().dodId, kDodIdOnly);
  EXPECT_EQ(dump(laptop(3)).filter(kDodIdOnly).size(), 1);

  // The DoD ID of the soldier who joined, with the SSN of member 2.
  const QStringList before = dump(office_);
  laptopWithOneSoldier(laptop(2), group_, kDodIdOnly, group_.members.at(2).ssn);
  const MergeReport bad = mergeFolder(laptop(2), office_);
  EXPECT_EQ(bad.summary(), "stored 0, unchanged 0, conflicts 0, refused 1");
  ASSERT_EQ(bad.lines.size(), 1);
  EXPECT_EQ(bad.lines.at(0).text(), QStringLiteral("refused ***-**-0002 DoD ID %1 2026-11-20 Twofold, Kim: its DoD ID "
                                                   "is that of Dodson, Lee and its SSN that of %2 in the group at "
                                                   "Range 4")
                                        .arg(kDodIdOnly, group_.members.at(2).name));
  EXPECT_EQ(dump(office_), before);

  // The DoD ID that member 0 gained here, with the SSN of member 3, who has
  // none: two soldiers, refused, and member 3 is given no number.
  laptopWithOneSoldier(laptop(5), group_, kGainedDodId, group_.members.at(3).ssn);
  const MergeReport taken = mergeFolder(laptop(5), office_);
  EXPECT_EQ(taken.summary(), "stored 0, unchanged 0, conflicts 0, refused 1");
  ASSERT_EQ(taken.lines.size(), 1);
  EXPECT_EQ(taken.lines.at(0).text(), QStringLiteral("refused ***-**-0003 DoD ID %1 2026-11-20 Twofold, Kim: its DoD ID "
                                                     "is that of %2 and its SSN that of %3 in the group at Range 4")
                                          .arg(kGainedDodId, group_.members.at(0).name, group_.members.at(3).name));
  EXPECT_EQ(dump(office_), before);
  EXPECT_TRUE(TestGroups::forDatabase(records(office_))->load(group_.id) == merged);

  // An SSN in the DoD ID's place, in the member and the record alike: one
  // line, the SSN masked there too.
  laptopWithOneSoldier(laptop(4), group_, QString(), QStringLiteral("300000007"));
  {
    sqlite::Database db(records(laptop(4)), sqlite::Database::Mode::ReadWrite);
    db.exec(QStringLiteral("UPDATE test_group_members SET dod_id = ssn, ssn = ''"));
    db.exec(QStringLiteral("UPDATE fitness_tests SET dod_id = ssn, ssn = ''"));
  }
  const MergeReport swapped = mergeFolder(laptop(4), office_);
  ASSERT_EQ(swapped.lines.size(), 1);
  EXPECT_EQ(swapped.lines.at(0).text(), "refused DoD ID ***-**-0007 2026-11-20 Twofold, Kim: an SSN (***-**-0007) "
                                        "stands where the DoD ID belongs");
  EXPECT_EQ(dump(office_), before);
}

TEST_F(FieldDayFiles, ADamagedFileOrAnotherVersionsFolderIsRefusedWithTheReasonAndNothingIsStored) {
  takeOutTo(1);
  enterLanes(records(laptop(1)), group_.id, {{0, LaneField::PushUp, QStringLiteral("40")}});
  const QStringList before = dump(office_);

  // Another version's note of the take-out.
  takeOutTo(2);
  {
    QFile note(notePath(laptop(2)));
    ASSERT_TRUE(note.open(QIODevice::ReadWrite));
    QByteArray text = note.readAll();
    text.replace("\"format\": 1", "\"format\": 9");
    note.resize(0);
    note.write(text);
  }
  CommandRun r = runFieldDay({"merge", laptop(2), office_});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.err.contains("another version of Quillon")) << qPrintable(r.err);

  // A file whose records hold a field this version does not know.
  QDir().mkpath(laptop(3));
  QFile::copy(records(laptop(1)), records(laptop(3)));
  {
    sqlite::Database db(records(laptop(3)), sqlite::Database::Mode::ReadWrite);
    db.exec(QStringLiteral("ALTER TABLE fitness_tests ADD COLUMN hand_grip INTEGER"));
  }
  r = runFieldDay({"merge", laptop(3), office_});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.err.contains("another version of Quillon")) << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("hand_grip")) << qPrintable(r.err);

  // A file whose pages were overwritten half way.
  QDir().mkpath(laptop(4));
  QFile::copy(records(laptop(1)), records(laptop(4)));
  {
    QFile f(records(laptop(4)));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 size = f.size();
    f.seek(size / 2);
    f.write(QByteArray(int(size - size / 2), '\x5a'));
  }
  const auto damaged = folderDigest(laptop(4));
  r = runFieldDay({"merge", laptop(4), office_});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.err.contains("damaged")) << qPrintable(r.err);
  EXPECT_EQ(r.out, QString());
  EXPECT_EQ(folderDigest(laptop(4)), damaged);

  EXPECT_EQ(dump(office_), before);
  // The sound folder still merges, and is left byte for byte as it was.
  const auto laptopBefore = folderDigest(laptop(1));
  r = runFieldDay({"merge", laptop(1), office_});
  EXPECT_EQ(r.exit, 0) << qPrintable(r.err);
  EXPECT_EQ(r.summary(), "stored 1, unchanged 0, conflicts 0, refused 0");
  EXPECT_EQ(folderDigest(laptop(1)), laptopBefore);
}

TEST_F(FieldDayFiles, AMergeKilledAtAnyStatementLeavesTheTargetAsItWasAndTheNextRunCompletesIt) {
  takeOutTo(1);
  enterLanes(records(office_), group_.id, {{0, LaneField::PushUp, QStringLiteral("40")}});
  {
    TestGroup grown = *TestGroups::forDatabase(records(laptop(1)))->load(group_.id);
    grown.members << fieldDaySoldiers(1, QStringLiteral("A CO 1-5 IN"), 300000099);
    TestGroups::forDatabase(records(laptop(1)))->save(grown);
  }
  QList<LaneValueTyped> lanes;
  for (int m = 0; m < 5; ++m) lanes << LaneValueTyped{m, LaneField::Plank, QStringLiteral("2:3%1").arg(m)};
  enterLanes(records(laptop(1)), group_.id, lanes);
  const QByteArray pristine = [&] {
    QFile f(records(office_));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  const QStringList before = dump(office_);

  // The statements of a whole merge, on a copy.
  const QString trial = dir_.file(QStringLiteral("trial"));
  QDir().mkpath(trial);
  QFile::copy(records(office_), records(trial));
  const int statements = mergeCountingStatements(laptop(1), trial);
  const QStringList whole = dump(trial);
  ASSERT_GE(statements, 6);
  ASSERT_NE(whole, before);

  for (int at = 1; at <= statements; ++at) {
    QFile::remove(records(office_));
    QFile f(records(office_));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pristine);
    f.close();
    ASSERT_TRUE(mergeKilledAt(laptop(1), office_, at)) << at;
    EXPECT_EQ(dump(office_), before) << "killed before statement " << at;
    mergeFolder(laptop(1), office_);
    EXPECT_EQ(dump(office_), whole) << "run again after a kill before statement " << at;
  }
}

TEST_F(FieldDayFiles, AClashKeptForTheTargetIsNotListedAgainUntilTheLaptopBringsAnotherValue) {
  takeOutTo(1);
  enterLanes(records(laptop(1)), group_.id, {{0, LaneField::PushUp, QStringLiteral("45")}});
  enterLanes(records(office_), group_.id, {{0, LaneField::PushUp, QStringLiteral("50")}});
  const auto laptopBefore = folderDigest(laptop(1));

  CommandRun r = runFieldDay({"merge", "--prefer", "target", laptop(1), office_});
  EXPECT_EQ(r.exit, 0) << qPrintable(r.out + r.err);
  EXPECT_EQ(r.summary(), "stored 0, unchanged 1, conflicts 0, refused 0");
  // The soldier by name and the SSN's last four digits alone.
  EXPECT_TRUE(r.lines().value(0).contains(QRegularExpression(
      "^unchanged \\*\\*\\*-\\*\\*-0000 2026-11-20 " + fieldDayName(300000000) +
      ": pushup: from 45 \\(entered [^)]+\\), into 50 \\(entered [^)]+\\)(;|$)")))
      << qPrintable(r.out);
  EXPECT_FALSE(r.out.contains("300000000") || r.out.contains("300-00-0000")) << qPrintable(r.out);

  // Asked by nobody, the clerk's choice stands: nothing to list, nothing left.
  r = runFieldDay({"merge", "--whole-ssn", laptop(1), office_});
  EXPECT_EQ(r.exit, 0) << qPrintable(r.out + r.err);
  EXPECT_EQ(r.lines(), QStringList({"unchanged 300-00-0000 2026-11-20 " + fieldDayName(300000000),
                                    "stored 0, unchanged 1, conflicts 0, refused 0"}));
  EXPECT_EQ(folderDigest(laptop(1)), laptopBefore);

  // A value the clerk has not seen is a question again.
  enterLanes(records(laptop(1)), group_.id, {{0, LaneField::PushUp, QStringLiteral("47")}});
  r = runFieldDay({"merge", laptop(1), office_});
  EXPECT_EQ(r.exit, 2) << qPrintable(r.out + r.err);
  EXPECT_TRUE(r.lines().value(0).startsWith("conflict ***-**-0000 2026-11-20 " + fieldDayName(300000000) +
                                            ": pushup: from 47 (entered "))
      << qPrintable(r.out);
  EXPECT_TRUE(r.lines().value(0).contains(", into 50 (entered ")) << qPrintable(r.out);
  // A question closed without a choice keeps nothing: it is asked again.
  for (int round = 1; round <= 2; ++round) {
    ScriptedChooser closing;
    MergeOptions asking;
    asking.chooser = &closing;
    EXPECT_EQ(mergeFolder(laptop(1), office_, asking).summary(), "stored 0, unchanged 0, conflicts 1, refused 0");
    EXPECT_EQ(closing.subjects.size(), 1) << "round " << round;
  }
}

TEST_F(FieldDayFiles, TheClerkDecidesWhileOtherStationsWriteAndAClashChangedMeanwhileIsAskedAgain) {
  takeOutTo(1);
  enterLanes(records(laptop(1)), group_.id,
             {{0, LaneField::PushUp, QStringLiteral("45")}, {1, LaneField::Plank, QStringLiteral("2:10")}});
  enterLanes(records(office_), group_.id, {{0, LaneField::PushUp, QStringLiteral("50")}});

  // While the first question is open, another station (its own connection,
  // not waiting for any lock) changes the very field in question.
  ScriptedChooser clerk;
  clerk.answers = {ConflictChoice::StoreOurs, ConflictChoice::KeepTheirs};
  clerk.onAsk = [&](int asked) {
    if (asked != 1) return;
    sqlite::Database other(records(office_), sqlite::Database::Mode::ReadWrite, 0);
    other.exec(QStringLiteral("UPDATE fitness_tests SET pushup = 52 WHERE ssn = '300000000'"));
  };
  MergeOptions asking;
  asking.chooser = &clerk;
  const MergeReport r = mergeFolder(laptop(1), office_, asking);
  // The answer given for 50 is not stored over 52: the clerk is asked again.
  ASSERT_EQ(clerk.shown.size(), 2);
  EXPECT_EQ(clerk.shown[0].clashes.value(0).theirs, "50");
  EXPECT_EQ(clerk.shown[1].clashes.value(0).theirs, "52");
  EXPECT_EQ(clerk.shown[1].clashes.value(0).ours, "45");
  EXPECT_EQ(r.notes.size(), 1);
  EXPECT_TRUE(clerk.subjects[0].startsWith("the record of " + fieldDayName(300000000) + " (***-**-0000) of 2026-11-20"))
      << qPrintable(clerk.subjects[0]);
  EXPECT_EQ(r.summary(), "stored 1, unchanged 1, conflicts 0, refused 0");
  const QStringList after = dump(office_);
  EXPECT_EQ(after.filter(QStringLiteral("300000000|")).value(0).split('|').value(fitnessFieldNames().indexOf("pushup")),
            "52");

  // Kept for the office, the clash is not asked again.
  ScriptedChooser again;
  asking.chooser = &again;
  EXPECT_EQ(mergeFolder(laptop(1), office_, asking).summary(), "stored 0, unchanged 2, conflicts 0, refused 0");
  EXPECT_TRUE(again.subjects.isEmpty()) << qPrintable(again.subjects.join('\n'));
  EXPECT_EQ(dump(office_), after);
}

TEST_F(FieldDayFiles, AFullDiskLeavesTheFileAsItWasAndARunWithRoomCompletesIt) {
  takeOutTo(1);
  {
    TestGroup grown = *TestGroups::forDatabase(records(laptop(1)))->load(group_.id);
    grown.members << fieldDaySoldiers(60, QStringLiteral("A CO 1-5 IN"), 300000100);
    TestGroups::forDatabase(records(laptop(1)))->save(grown);
  }
  QList<LaneValueTyped> lanes;
  for (int m = 0; m < 64; ++m)
    lanes << LaneValueTyped{m, LaneField::Plank, QStringLiteral("2:%1").arg(10 + m % 40)}
          << LaneValueTyped{m, LaneField::PushUp, QString::number(20 + m % 30)};
  enterLanes(records(laptop(1)), group_.id, lanes);
  const QString trial = dir_.file(QStringLiteral("trial"));
  QDir().mkpath(trial);
  QFile::copy(records(office_), records(trial));
  mergeFolder(laptop(1), trial);
  const QStringList whole = dump(trial), before = dump(office_);

  // The file may not grow past the pages it has when the merge begins: the
  // disk is full from then on for the merge's own connection.
  MergeOptions full;
  full.beforeStatement = [&](int n) {
    if (n == 1)
      RecordsSession::forDatabase(records(office_))
          ->file(RecordsSession::Needs::FiveEvent)
          .exec(QStringLiteral("PRAGMA max_page_count = 1"));
  };
  try {
    mergeFolder(laptop(1), office_, full);
    ADD_FAILURE() << "the merge found room";
  } catch (const Error& e) {
    EXPECT_TRUE(e.message().contains("full")) << qPrintable(e.message());
  }
  EXPECT_EQ(dump(office_), before);
  EXPECT_EQ(mergeFolder(laptop(1), office_).summary(), "stored 64, unchanged 0, conflicts 0, refused 0");
  EXPECT_EQ(dump(office_), whole);
}

// A connection makes the trail's triggers only when it first changes a
// traced table. Each way the programs change a file, made first thing by a
// freshly opened session, is traced all the same; so is a change after a
// merge that wrote and was rolled back (the triggers went with it); and a
// session that only read made no trigger at all.
TEST_F(FieldDayFiles, EveryWayOfChangingAFreshlyOpenedFileIsTracedAndReadingAloneMakesNoTriggers) {
  const QString path = records(office_);
  // How many entries of the trail say that `field` of `table` became
  // `value` (a delete: held it).
  const auto traced = [&](TracedTable table, TrailEntry::Action action, const QString& field, const QString& value) {
    int n = 0;
    for (const TrailEntry& e : ChangeTrail::forDatabase(path)->all())
      n += e.table == table && e.action == action && e.field == field &&
           (action == TrailEntry::Action::Delete ? e.before : e.after) == value;
    return n;
  };
  const auto triggers = [](RecordsSession& s) {
    sqlite::Statement st(s.file(RecordsSession::Needs::FiveEvent),
                         QStringLiteral("SELECT count(*) FROM sqlite_temp_master WHERE type = 'trigger'"));
    return st.step() ? st.integer(0) : -1;
  };
  using A = TrailEntry::Action;

  // A lane entry, the soldier's first value: the record is added.
  enterLanes(path, group_.id, {{0, LaneField::PushUp, QStringLiteral("40")}});
  EXPECT_EQ(traced(TracedTable::FiveEvent, A::Add, QStringLiteral("pushup"), QStringLiteral("40")), 1);

  {
    // Reading both kinds of records and the groups makes no trigger; the
    // first change makes them, and its undo is traced too.
    std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path);
    store->open();
    ASSERT_EQ(store->readAll().size(), 1u);
    std::unique_ptr<RecordBackend> scorer = RecordBackend::forDatabase(path);
    scorer->open();
    RowArena rows;
    scorer->readRows(QStringLiteral("info"), rows);
    const std::optional<TestGroup> group = TestGroups::forDatabase(path)->load(group_.id);
    ASSERT_TRUE(group);
    RecordsSession& session = dynamic_cast<FitnessRows&>(*store).session();
    EXPECT_EQ(triggers(session), 0);
    QUndoStack undo;
    LaneSheet sheet(*group, *store, undo);
    ASSERT_EQ(sheet.enter(0, LaneField::PushUp, QStringLiteral("45")), QString());
    EXPECT_EQ(triggers(session), 6);
    EXPECT_EQ(traced(TracedTable::FiveEvent, A::Change, QStringLiteral("pushup"), QStringLiteral("45")), 1);
    sheet.undo();
    EXPECT_EQ(sheet.stepProblem(), QString());
    EXPECT_EQ(traced(TracedTable::FiveEvent, A::Change, QStringLiteral("pushup"), QStringLiteral("40")), 1);
  }

  // The scorer's batch (an import's way in), its store and its delete,
  // each the first change of its session.
  qint64 key = 0;
  {
    std::unique_ptr<RecordBackend> scorer = RecordBackend::forDatabase(path);
    scorer->open();
    RowArena rows;
    scorer->readRows(QStringLiteral("info"), rows);
    FieldValues doe;
    doe.insert(QStringLiteral("LNAME"), QStringLiteral("DOE"));
    doe.insert(QStringLiteral("RAW_PU"), QStringLiteral("30"));
    const std::optional<QList<BatchChange>> done = scorer->applyBatch({BatchOp{BatchOp::Insert, 0, doe}}, {});
    ASSERT_TRUE(done && done->size() == 1);
    key = done->first().key;
  }
  EXPECT_EQ(traced(TracedTable::ThreeEvent, A::Add, QStringLiteral("raw_pu"), QStringLiteral("30")), 1);
  {
    std::unique_ptr<RecordBackend> scorer = RecordBackend::forDatabase(path);
    scorer->open();
    RowArena rows;
    scorer->readRows(QStringLiteral("info"), rows);
    const std::optional<RowAsRead> row = scorer->fetch(key);
    ASSERT_TRUE(row);
    scorer->store(*row, {{scorer->column(QStringLiteral("RAW_PU")), QStringLiteral("31")}}, false);
  }
  EXPECT_EQ(traced(TracedTable::ThreeEvent, A::Change, QStringLiteral("raw_pu"), QStringLiteral("31")), 1);
  {
    std::unique_ptr<RecordBackend> scorer = RecordBackend::forDatabase(path);
    scorer->open();
    ASSERT_TRUE(scorer->remove(key));
  }
  EXPECT_EQ(traced(TracedTable::ThreeEvent, A::Delete, QStringLiteral("raw_pu"), QStringLiteral("31")), 1);

  // A merge that wrote and was then stopped before its commit: its
  // session's next change, a lane entry, is traced; and a merge run whole
  // is traced.
  takeOutTo(1);
  enterLanes(records(laptop(1)), group_.id,
             {{0, LaneField::PushUp, QStringLiteral("50")}, {1, LaneField::PushUp, QStringLiteral("51")}});
  int steps = 0;
  {
    // The same merge into a copy, to count its statements.
    const QString trial = dir_.file(QStringLiteral("trial"));
    QDir().mkpath(trial);
    ASSERT_TRUE(QFile::copy(path, records(trial)));
    MergeOptions counting;
    counting.beforeStatement = [&](int n) { steps = n; };
    mergeFolder(laptop(1), trial, counting);
  }
  ASSERT_GT(steps, 3);
  {
    std::shared_ptr<RecordsSession> held = RecordsSession::forDatabase(path);
    MergeOptions stopped;
    stopped.beforeStatement = [&](int n) {
      if (n == steps) throw Error(QStringLiteral("stopped before the commit"));
    };
    EXPECT_THROW(mergeFolder(laptop(1), office_, stopped), Error);
    EXPECT_EQ(traced(TracedTable::FiveEvent, A::Change, QStringLiteral("pushup"), QStringLiteral("50")), 0);
    std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path);
    store->open();
    ASSERT_EQ(&dynamic_cast<FitnessRows&>(*store).session(), held.get());
    const std::optional<TestGroup> group = TestGroups::forDatabase(path)->load(group_.id);
    ASSERT_TRUE(group);
    QUndoStack undo;
    LaneSheet sheet(*group, *store, undo);
    ASSERT_EQ(sheet.enter(2, LaneField::PushUp, QStringLiteral("52")), QString());
    EXPECT_EQ(traced(TracedTable::FiveEvent, A::Add, QStringLiteral("pushup"), QStringLiteral("52")), 1);
  }
  EXPECT_EQ(mergeFolder(laptop(1), office_).summary(), "stored 2, unchanged 0, conflicts 0, refused 0");
  EXPECT_EQ(traced(TracedTable::FiveEvent, A::Change, QStringLiteral("pushup"), QStringLiteral("50")), 1);
  EXPECT_EQ(traced(TracedTable::FiveEvent, A::Add, QStringLiteral("pushup"), QStringLiteral("51")), 1);
}

}  // namespace
