#include <QUndoStack>
#include <tuple>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "fitnessfixture.h"
#include "fitnessrecords.h"
#include "laneentry.h"
#include "rawentry.h"
#include "scriptedchooser.h"
#include "scriptedfitness.h"
#include "testgroupbackends.h"
#include "testgroupfixture.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// A saved group of three in a fresh records file, and one station's sheet
// over it. The group's men are read in the M|C column, the woman of the
// group fixture is on the combat standard, so every member is read there.
class LaneSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path_);
    group_ = TestGroups::forDatabase(path_)->save(rangeDayGroup());
    store_ = FitnessRecords::forDatabase(path_);
    sheet_ = std::make_unique<LaneSheet>(group_, *store_, undo_);
    const fitness::FitnessTest& t = fitnessTest();
    const int age = fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12));
    column_ = fitness::columnIndex(t.ageGroupOf(age), fitness::Column::MaleCombat);
  }
  int event(const char* key) const { return fitnessTest().eventIndex(QString::fromLatin1(key)); }
  QString figure(const char* key, int points) const { return figureFor(event(key), column_, points); }
  // The record as another station reads it after a restart.
  QString storedField(int member, const QString& name) {
    const auto row = FitnessRecords::forDatabase(path_)->find(group_.members.at(member).ssn, group_.testDate);
    return row ? row->fields.value(static_cast<int>(fitnessFieldNames().indexOf(name))) : QStringLiteral("<no record>");
  }

  ScratchDir dir_;
  QString path_;
  TestGroup group_;
  std::unique_ptr<FitnessRecords> store_;
  QUndoStack undo_;
  std::unique_ptr<LaneSheet> sheet_;
  int column_ = 0;
};

}  // namespace

// An entry is one call to the records: the line as the sheet holds it is
// stored without reading the record first, and a soldier's first value
// makes his record holding it. Lanes another station stored meanwhile,
// unseen here, still count in the total the last event makes.
TEST_F(LaneSheetTest, AnEntryIsOneCallToTheRecordsAndStillCountsLanesStoredElsewhere) {
  ScriptedFitnessRecords records(FitnessRecords::forDatabase(path_));
  records.open();
  QUndoStack undo;
  LaneSheet sheet(group_, records, undo);
  const int readOnOpening = records.reads;
  ASSERT_EQ(sheet.enter(1, LaneField::PushUp, figure("pushup", 60)), QString());
  EXPECT_EQ(records.adds, 1);
  EXPECT_EQ(records.stores, 0);
  ASSERT_EQ(sheet.enter(1, LaneField::Plank, figure("plank", 100)), QString());
  EXPECT_EQ(records.adds, 1);
  EXPECT_EQ(records.stores, 1);
  EXPECT_EQ(records.reads, readOnOpening) << "nothing read to store a value";

  // The fixture's sheet is the other station.
  ASSERT_EQ(sheet_->enter(1, LaneField::DeadliftFirst, figure("deadlift", 100)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::SprintDragCarry, figure("sdc", 59)), QString());
  ASSERT_EQ(sheet.enter(1, LaneField::Run, figure("run", 70)), QString());
  fitness::Entry e;
  e.dob = QDate(1998, 2, 28);
  e.testDate = QDate(2026, 6, 12);
  e.raw = {figure("deadlift", 100), figure("pushup", 60), figure("sdc", 59), figure("plank", 100), figure("run", 70)};
  const fitness::Score all = fitness::scoreEntry(fitnessTest(), e);
  ASSERT_TRUE(all.scored()) << all.refused.toStdString();
  EXPECT_EQ(storedField(1, QStringLiteral("total_pts")), QString::number(all.total));
  EXPECT_EQ(storedField(1, QStringLiteral("result_go")), QStringLiteral("NO-GO"));
  EXPECT_EQ(sheet.line(1).total, all.total);
  EXPECT_EQ(storedField(1, QStringLiteral("deadlift_pts")), QStringLiteral("100")) << "their lane stays";
}

TEST_F(LaneSheetTest, ATimeInEachOfItsThreeFormsStoresTheSameSecondsAndPoints) {
  const QString sdc = figure("sdc", 60);  // m:ss
  const QString compact = QString(sdc).remove(QLatin1Char(':'));
  const QString spaced = QString(sdc).replace(QLatin1Char(':'), QLatin1Char(' '));
  EXPECT_EQ(sheet_->enter(0, LaneField::SprintDragCarry, sdc), QString());
  EXPECT_EQ(sheet_->enter(1, LaneField::SprintDragCarry, compact), QString());
  EXPECT_EQ(sheet_->enter(2, LaneField::SprintDragCarry, spaced), QString());
  for (int m = 0; m < 3; ++m) {
    EXPECT_EQ(sheet_->line(m).shown[static_cast<int>(LaneField::SprintDragCarry)], sdc);
    EXPECT_EQ(sheet_->line(m).points[event("sdc")], 60);
    EXPECT_FALSE(sheet_->line(m).total) << "four events are still missing";
    EXPECT_EQ(storedField(m, "sdc_pts"), QStringLiteral("60"));
    EXPECT_EQ(storedField(m, "sdc_go"), QStringLiteral("GO"));
  }
}

TEST_F(LaneSheetTest, ARefusedValueNamesTheLaneAndTheTextAndStoresNothing) {
  const fitness::EventDef& pushup = fitnessTest().events[event("pushup")];
  const QString tooMany = QString::number(pushup.maxRaw + 1);
  for (const auto& [field, text] : QList<std::pair<LaneField, QString>>{{LaneField::Plank, "1:75"},
                                                                        {LaneField::Run, "17:6"},
                                                                        {LaneField::PushUp, tooMany},
                                                                        {LaneField::DeadliftFirst, "two hundred"}}) {
    const QString why = sheet_->enter(0, field, text);
    EXPECT_TRUE(why.startsWith(laneCaption(field) + ":")) << why.toStdString();
    EXPECT_TRUE(why.contains(text)) << why.toStdString();
  }
  EXPECT_EQ(storedField(0, "ssn"), QStringLiteral("<no record>"));
  EXPECT_EQ(undo_.count(), 0);
}

TEST_F(LaneSheetTest, AllFiveEventsGiveTheTotalAndResultOfTheScorerWithTheHeavierDeadliftCounted) {
  ASSERT_EQ(sheet_->enter(1, LaneField::DeadliftFirst, figure("deadlift", 100)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::DeadliftSecond, figure("deadlift", 60)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::PushUp, figure("pushup", 60)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::SprintDragCarry, figure("sdc", 59)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::Plank, figure("plank", 100)), QString());
  EXPECT_FALSE(sheet_->line(1).total);
  ASSERT_EQ(sheet_->enter(1, LaneField::Run, figure("run", 70)), QString());

  fitness::Entry e;
  e.dob = QDate(1998, 2, 28);
  e.testDate = QDate(2026, 6, 12);
  e.raw = {figure("deadlift", 100), figure("pushup", 60), figure("sdc", 59), figure("plank", 100), figure("run", 70)};
  const fitness::Score s = fitness::scoreEntry(fitnessTest(), e);
  ASSERT_TRUE(s.scored()) << s.refused.toStdString();
  const LaneLine l = sheet_->line(1);
  for (int i = 0; i < fitness::kEvents; ++i) EXPECT_EQ(l.points[i], s.points[i]) << i;
  EXPECT_EQ(l.points[event("deadlift")], 100);
  ASSERT_TRUE(l.total);
  EXPECT_EQ(*l.total, s.total);
  EXPECT_EQ(l.result, QStringLiteral("NO-GO")) << "59 points in one event fail the test whatever the total";
  EXPECT_EQ(storedField(1, "result_go"), QStringLiteral("NO-GO"));
  EXPECT_EQ(storedField(1, "total_pts"), QString::number(s.total));
}

// The grid paints what score() foresees before the store: the line it
// foresees must be the one stored, the last event's total and result too.
TEST_F(LaneSheetTest, ScoringAValueStoresNothingAndForeseesTheLineTheStoreLeaves) {
  const LaneEntry first = sheet_->score(1, LaneField::PushUp, figure("pushup", 70));
  ASSERT_EQ(first.error, QString());
  EXPECT_EQ(first.line.points[event("pushup")], 70);
  EXPECT_EQ(storedField(1, "ssn"), QStringLiteral("<no record>")) << "scoring alone stores nothing";
  EXPECT_EQ(undo_.count(), 0);
  ASSERT_EQ(sheet_->store(first), QString());
  EXPECT_EQ(storedField(1, "pushup_pts"), QStringLiteral("70"));

  for (const auto& [field, key, points] : {std::tuple{LaneField::DeadliftFirst, "deadlift", 100},
                                           std::tuple{LaneField::SprintDragCarry, "sdc", 59},
                                           std::tuple{LaneField::Plank, "plank", 100}})
    ASSERT_EQ(sheet_->enter(1, field, figure(key, points)), QString());
  const LaneEntry last = sheet_->score(1, LaneField::Run, figure("run", 65));
  ASSERT_EQ(last.error, QString());
  ASSERT_TRUE(last.line.total) << "the fifth event completes the line";
  EXPECT_EQ(last.line.result, QStringLiteral("NO-GO"));
  EXPECT_EQ(storedField(1, "total_pts"), QString());
  ASSERT_EQ(sheet_->store(last), QString());
  const LaneLine stored = sheet_->line(1);
  EXPECT_EQ(stored.points, last.line.points);
  EXPECT_EQ(stored.total, last.line.total);
  EXPECT_EQ(stored.result, last.line.result);
  EXPECT_EQ(storedField(1, "total_pts"), QString::number(*last.line.total));

  const LaneEntry refused = sheet_->score(1, LaneField::Plank, QStringLiteral("1:75"));
  EXPECT_TRUE(refused.error.startsWith(QStringLiteral("PLK:"))) << refused.error.toStdString();
  EXPECT_EQ(sheet_->store(refused), refused.error) << "a refused value is never stored";
}

// Initials given to a lane after its first values were entered: those
// values without a grader get them, as one step; a grader set stays.
TEST_F(LaneSheetTest, GraderInitialsSetLaterGoToTheLanesValuesWithoutAGraderAsOneStep) {
  ASSERT_EQ(sheet_->setGrader(LaneField::PushUp, QStringLiteral("zz")), QString());
  ASSERT_EQ(sheet_->enter(2, LaneField::PushUp, figure("pushup", 80)), QString());
  ASSERT_EQ(sheet_->setGrader(LaneField::PushUp, QString()), QString());
  ASSERT_EQ(sheet_->enter(0, LaneField::PushUp, figure("pushup", 60)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::Plank, figure("plank", 70)), QString());
  ASSERT_EQ(undo_.count(), 3);
  ASSERT_EQ(storedField(2, "grader_pushup"), QStringLiteral("ZZ"));

  ASSERT_EQ(sheet_->setGrader(LaneField::PushUp, QStringLiteral("ab")), QString());
  EXPECT_EQ(undo_.count(), 4) << "one step for the lane, however many records";
  EXPECT_EQ(storedField(0, "grader_pushup"), QStringLiteral("AB"));
  EXPECT_EQ(storedField(0, "pushup_pts"), QStringLiteral("60")) << "the value and its points stay";
  EXPECT_EQ(storedField(1, "grader_pushup"), QString()) << "no push-ups entered, no grader";
  EXPECT_EQ(storedField(2, "grader_pushup"), QStringLiteral("ZZ")) << "a grader set stays";
  ASSERT_EQ(sheet_->setGrader(LaneField::SprintDragCarry, QStringLiteral("sd")), QString());
  EXPECT_EQ(undo_.count(), 4) << "a lane without values is no step";

  sheet_->undo();
  EXPECT_EQ(sheet_->stepProblem(), QString());
  EXPECT_EQ(storedField(0, "grader_pushup"), QString());
  EXPECT_EQ(storedField(0, "pushup"), figure("pushup", 60));
  EXPECT_EQ(storedField(2, "grader_pushup"), QStringLiteral("ZZ"));
  sheet_->redo();
  EXPECT_EQ(storedField(0, "grader_pushup"), QStringLiteral("AB"));

  // A step over two records whose undo another station's change refuses
  // for one of them is refused whole: the other keeps its initials.
  ASSERT_EQ(sheet_->enter(0, LaneField::Plank, figure("plank", 60)), QString());
  ASSERT_EQ(sheet_->setGrader(LaneField::Plank, QStringLiteral("pk")), QString());
  ASSERT_EQ(storedField(0, "grader_plank"), QStringLiteral("PK"));
  ASSERT_EQ(storedField(1, "grader_plank"), QStringLiteral("PK"));
  std::unique_ptr<FitnessRecords> otherStore = FitnessRecords::forDatabase(path_);
  QUndoStack otherUndo;
  LaneSheet other(group_, *otherStore, otherUndo);
  ASSERT_EQ(other.setGrader(LaneField::Plank, QStringLiteral("qq")), QString());
  ASSERT_EQ(other.enter(0, LaneField::Plank, figure("plank", 90)), QString());
  ASSERT_EQ(storedField(0, "grader_plank"), QStringLiteral("QQ"));
  const int at = undo_.index();
  sheet_->undo();
  EXPECT_TRUE(sheet_->stepProblem().startsWith(QStringLiteral("PLK of Yates, Ann B:"))) << sheet_->stepProblem().toStdString();
  EXPECT_EQ(undo_.index(), at);
  EXPECT_EQ(storedField(1, "grader_plank"), QStringLiteral("PK")) << "put back when the step was refused";
  EXPECT_EQ(storedField(1, "plank_pts"), QStringLiteral("70"));
  EXPECT_EQ(storedField(0, "plank_pts"), QStringLiteral("90"));
}

TEST_F(LaneSheetTest, UndoTakesBackTheLastEntryOnlyAndRedoStoresItAgain) {
  ASSERT_EQ(sheet_->enter(0, LaneField::PushUp, figure("pushup", 60)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::PushUp, figure("pushup", 70)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::PushUp, figure("pushup", 90)), QString());
  ASSERT_EQ(undo_.count(), 3);
  undo_.undo();
  EXPECT_EQ(storedField(1, "pushup"), figure("pushup", 70));
  EXPECT_EQ(storedField(1, "pushup_pts"), QStringLiteral("70"));
  EXPECT_EQ(storedField(0, "pushup_pts"), QStringLiteral("60"));
  undo_.undo();
  EXPECT_EQ(storedField(1, "pushup"), QString()) << "the record's first value, taken back";
  EXPECT_EQ(storedField(1, "pushup_pts"), QString());
  EXPECT_EQ(sheet_->line(1).points[event("pushup")], -1);
  undo_.redo();
  undo_.redo();
  EXPECT_EQ(storedField(1, "pushup_pts"), QStringLiteral("90"));
}

TEST_F(LaneSheetTest, TwoStationsOnDifferentLanesKeepBothAndTheSameLaneClashesNamingBothValues) {
  std::unique_ptr<FitnessRecords> otherStore = FitnessRecords::forDatabase(path_);
  QUndoStack otherUndo;
  ASSERT_EQ(sheet_->enter(2, LaneField::PushUp, figure("pushup", 60)), QString());
  LaneSheet other(group_, *otherStore, otherUndo);
  // Both stations have now read the soldier's record.
  ASSERT_EQ(other.enter(2, LaneField::Plank, figure("plank", 70)), QString());
  EXPECT_EQ(sheet_->enter(2, LaneField::SprintDragCarry, figure("sdc", 80)), QString());
  EXPECT_EQ(storedField(2, "plank_pts"), QStringLiteral("70"));
  EXPECT_EQ(storedField(2, "sdc_pts"), QStringLiteral("80"));
  EXPECT_EQ(storedField(2, "pushup_pts"), QStringLiteral("60"));

  ASSERT_EQ(other.enter(2, LaneField::PushUp, figure("pushup", 90)), QString()) << "it read push-ups at 60";
  const QString why = sheet_->enter(2, LaneField::PushUp, figure("pushup", 100));
  EXPECT_TRUE(why.contains(figure("pushup", 90))) << why.toStdString();
  EXPECT_TRUE(why.contains(figure("pushup", 100))) << why.toStdString();
  EXPECT_EQ(storedField(2, "pushup"), figure("pushup", 90));
}

TEST_F(LaneSheetTest, AnAlternateEventIsAGoAtItsLimitAndANoGoASecondOverAndReplacesTheRun) {
  const fitness::FitnessTest& t = fitnessTest();
  const fitness::AlternateDef& walk = t.alternates.at(t.alternateIndex(QStringLiteral("walk")));
  const int limit = walk.maxSeconds[column_];
  ASSERT_EQ(sheet_->enter(1, LaneField::Run, figure("run", 70)), QString());
  ASSERT_EQ(sheet_->setGrader(LaneField::Run, QStringLiteral("jk")), QString());

  ASSERT_EQ(sheet_->enter(1, LaneField::Run, QStringLiteral("w ") + fitness::formatTime(limit)), QString());
  EXPECT_EQ(storedField(1, "alt_event"), QStringLiteral("walk"));
  EXPECT_EQ(storedField(1, "alt_time_s"), QString::number(limit));
  EXPECT_EQ(storedField(1, "alt_pts"), QString::number(t.alternateGoPoints));
  EXPECT_EQ(storedField(1, "alt_go"), QStringLiteral("GO"));
  EXPECT_EQ(storedField(1, "grader_alt"), QStringLiteral("JK"));
  EXPECT_EQ(storedField(1, "run_s"), QString()) << "the alternate replaces the run";
  EXPECT_EQ(storedField(1, "run_pts"), QString());
  EXPECT_EQ(storedField(1, "grader_run"), QString());
  EXPECT_EQ(sheet_->shown(1, LaneField::Run), QStringLiteral("walk ") + fitness::formatTime(limit));

  ASSERT_EQ(sheet_->enter(1, LaneField::Run, QStringLiteral("Walk") + fitness::formatTime(limit + 1).remove(':')),
            QString());
  EXPECT_EQ(storedField(1, "alt_pts"), QStringLiteral("0"));
  EXPECT_EQ(storedField(1, "alt_go"), QStringLiteral("NO-GO"));
  EXPECT_EQ(sheet_->line(1).points[t.runEvent], 0);

  for (const QString& text : {QStringLiteral("X 30:00"), QStringLiteral("W 30:75"), QStringLiteral("bicycle 30:00")}) {
    const QString why = sheet_->enter(1, LaneField::Run, text);
    EXPECT_TRUE(why.startsWith(QStringLiteral("Run/Alt:"))) << why.toStdString();
    EXPECT_TRUE(why.contains(text.section(' ', 1)) || why.contains(text)) << why.toStdString();
  }
  EXPECT_EQ(storedField(1, "alt_time_s"), QString::number(limit + 1));

  // With the other four events in, the total counts the alternate's points.
  for (const auto& [lane, key] : QList<std::pair<LaneField, const char*>>{{LaneField::DeadliftFirst, "deadlift"},
                                                                          {LaneField::PushUp, "pushup"},
                                                                          {LaneField::SprintDragCarry, "sdc"},
                                                                          {LaneField::Plank, "plank"}})
    ASSERT_EQ(sheet_->enter(1, lane, figure(key, 100)), QString());
  ASSERT_EQ(sheet_->enter(1, LaneField::Run, QStringLiteral("W") + fitness::formatTime(limit)), QString());
  EXPECT_EQ(*sheet_->line(1).total, 4 * 100 + t.alternateGoPoints);
  EXPECT_EQ(storedField(1, "result_go"), QStringLiteral("GO"));
}

TEST_F(LaneSheetTest, BodyCompositionKeepsDecimalsAndTheVerdictAsEntered) {
  ASSERT_EQ(sheet_->enter(0, LaneField::BodyFat, QStringLiteral("22.5 n")), QString());
  ASSERT_EQ(sheet_->enter(0, LaneField::Weight, QStringLiteral("141.25 go")), QString());
  ASSERT_EQ(sheet_->enter(0, LaneField::Height, QStringLiteral("64.5")), QString());
  EXPECT_EQ(storedField(0, "body_fat_pct"), QStringLiteral("22.5"));
  EXPECT_EQ(storedField(0, "body_fat_go"), QStringLiteral("NO-GO"));
  EXPECT_EQ(storedField(0, "weight_lb"), QStringLiteral("141.25"));
  EXPECT_EQ(storedField(0, "weight_go"), QStringLiteral("GO"));
  EXPECT_EQ(storedField(0, "height_in"), QStringLiteral("64.5"));
  EXPECT_EQ(storedField(0, "bc_date"), group_.testDate);
  EXPECT_EQ(sheet_->shown(0, LaneField::BodyFat), QStringLiteral("22.5 NO-GO"));
  EXPECT_FALSE(sheet_->line(0).total) << "body composition earns no points";

  for (const auto& [lane, text] : QList<std::pair<LaneField, QString>>{{LaneField::BodyFat, "100.5"},
                                                                      {LaneField::BodyFat, "22,5"},
                                                                      {LaneField::Weight, "180 maybe"},
                                                                      {LaneField::Height, "64.5 GO"},
                                                                      {LaneField::Height, "0"}}) {
    const QString why = sheet_->enter(0, lane, text);
    EXPECT_TRUE(why.startsWith(laneCaption(lane) + ":")) << why.toStdString();
    EXPECT_TRUE(why.contains(text)) << why.toStdString();
  }
  EXPECT_EQ(storedField(0, "body_fat_pct"), QStringLiteral("22.5"));
  EXPECT_EQ(undo_.count(), 3);
}

TEST_F(LaneSheetTest, ClearingALaneIsOneUndoStepThatBringsBackValuePointsAndGrader) {
  ASSERT_EQ(sheet_->setGrader(LaneField::Plank, QStringLiteral("3x")).isEmpty(), false);
  ASSERT_EQ(sheet_->setGrader(LaneField::Plank, QStringLiteral("pq")), QString());
  ASSERT_EQ(sheet_->enter(2, LaneField::PushUp, figure("pushup", 60)), QString());
  ASSERT_EQ(sheet_->enter(2, LaneField::Plank, figure("plank", 90)), QString());
  EXPECT_EQ(storedField(2, "grader_plank"), QStringLiteral("PQ"));
  ASSERT_EQ(undo_.count(), 2);

  ASSERT_EQ(sheet_->clear(2, LaneField::Plank), QString());
  EXPECT_EQ(undo_.count(), 3);
  EXPECT_EQ(storedField(2, "plank_s"), QString());
  EXPECT_EQ(storedField(2, "plank_pts"), QString());
  EXPECT_EQ(storedField(2, "grader_plank"), QString());
  EXPECT_EQ(storedField(2, "pushup_pts"), QStringLiteral("60")) << "only that one value goes";
  EXPECT_EQ(sheet_->clear(2, LaneField::Plank), QString());
  EXPECT_EQ(undo_.count(), 3) << "clearing an empty lane is no step";

  undo_.undo();
  EXPECT_EQ(sheet_->shown(2, LaneField::Plank), figure("plank", 90));
  EXPECT_EQ(storedField(2, "plank_pts"), QStringLiteral("90"));
  EXPECT_EQ(storedField(2, "grader_plank"), QStringLiteral("PQ"));
  // A station opened later reads the lane's grader from the records.
  QUndoStack other;
  EXPECT_EQ(LaneSheet(group_, *store_, other).grader(LaneField::Plank), QStringLiteral("PQ"));
}

namespace {

template <typename Backend>
using LaneStations = GroupBackendTest<Backend>;
TYPED_TEST_SUITE(LaneStations, GroupBackends, GroupBackendNames);

QString field(FitnessRecords& store, const GroupMember& m, const QString& date, const char* name) {
  const auto row = store.find(m.ssn, date);
  return row ? row->fields.value(static_cast<int>(fitnessFieldNames().indexOf(QLatin1String(name)))) : QString();
}

}  // namespace

// Two graders open the same group before either has entered anything, so
// both start from a soldier with no record at all.
TYPED_TEST(LaneStations, TwoStationsKeepBothLanesOfOneSoldierAndTheSameLaneClashesWithBothValues) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  std::unique_ptr<FitnessRecords> storeA = this->backend.records(), storeB = this->backend.records();
  QUndoStack undoA, undoB;
  LaneSheet a(group, *storeA, undoA), b(group, *storeB, undoB);
  const GroupMember& soldier = group.members.at(1);
  const fitness::FitnessTest& t = fitnessTest();
  const int column = fitness::columnIndex(t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                          fitness::Column::MaleCombat);
  const auto fig = [&](const char* key, int points) { return figureFor(t.eventIndex(QLatin1String(key)), column, points); };

  ASSERT_EQ(a.setGrader(LaneField::PushUp, QStringLiteral("AA")), QString());
  ASSERT_EQ(b.setGrader(LaneField::Plank, QStringLiteral("BB")), QString());
  EXPECT_EQ(a.enter(1, LaneField::PushUp, fig("pushup", 70)), QString());
  EXPECT_EQ(b.enter(1, LaneField::Plank, fig("plank", 80)), QString()) << "the record A made is B's too";
  EXPECT_EQ(a.enter(1, LaneField::SprintDragCarry, fig("sdc", 90)), QString());
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  EXPECT_EQ(field(*reader, soldier, group.testDate, "pushup_pts"), QStringLiteral("70"));
  EXPECT_EQ(field(*reader, soldier, group.testDate, "grader_pushup"), QStringLiteral("AA"));
  EXPECT_EQ(field(*reader, soldier, group.testDate, "plank_pts"), QStringLiteral("80"));
  EXPECT_EQ(field(*reader, soldier, group.testDate, "grader_plank"), QStringLiteral("BB"));
  EXPECT_EQ(field(*reader, soldier, group.testDate, "sdc_pts"), QStringLiteral("90"));

  // B never read the SDC A stored: its own SDC for the soldier clashes,
  // naming the field, the value stored and its own; nothing is lost.
  const QString why = b.enter(1, LaneField::SprintDragCarry, fig("sdc", 60));
  EXPECT_TRUE(why.contains(QStringLiteral("sdc_s: stored now \"%1\", ours \"%2\"").arg(fig("sdc", 90), fig("sdc", 60))))
      << why.toStdString();
  EXPECT_EQ(field(*reader, soldier, group.testDate, "sdc_pts"), QStringLiteral("90"));
  EXPECT_EQ(field(*reader, soldier, group.testDate, "plank_pts"), QStringLiteral("80"));
  EXPECT_EQ(undoB.count(), 1);
  // Having been told, B's next entry is measured against what is stored now.
  EXPECT_EQ(b.enter(1, LaneField::SprintDragCarry, fig("sdc", 60)), QString());
  EXPECT_EQ(field(*reader, soldier, group.testDate, "sdc_pts"), QStringLiteral("60"));

  // Same push-up lane, both having read A's 70: the second store clashes.
  EXPECT_EQ(b.enter(1, LaneField::PushUp, fig("pushup", 100)), QString());
  const QString again = a.enter(1, LaneField::PushUp, fig("pushup", 60));
  EXPECT_TRUE(again.contains(fig("pushup", 100))) << again.toStdString();
  EXPECT_TRUE(again.contains(fig("pushup", 60))) << again.toStdString();
  EXPECT_EQ(field(*reader, soldier, group.testDate, "pushup"), fig("pushup", 100));

  // B's plank, since changed by A: B's undo takes nothing back and says why.
  EXPECT_EQ(a.enter(1, LaneField::Plank, fig("plank", 90)), QString());
  // The stack does not move: Undo offers the same step again.
  while (undoB.index() > 0 && undoB.text(undoB.index() - 1) != QStringLiteral("PLK of Abernathy, Cole")) b.undo();
  ASSERT_EQ(undoB.text(undoB.index() - 1), QStringLiteral("PLK of Abernathy, Cole"));
  const int at = undoB.index();
  b.undo();
  EXPECT_TRUE(b.stepProblem().startsWith(QStringLiteral("PLK of Abernathy, Cole:"))) << b.stepProblem().toStdString();
  EXPECT_TRUE(b.stepProblem().contains(fig("plank", 90))) << b.stepProblem().toStdString();
  EXPECT_EQ(undoB.index(), at);
  EXPECT_EQ(undoB.undoText(), QStringLiteral("PLK of Abernathy, Cole"));
  EXPECT_EQ(field(*reader, soldier, group.testDate, "plank_pts"), QStringLiteral("90"));
  EXPECT_EQ(b.line(1).points[t.eventIndex(QStringLiteral("plank"))], 90) << "B's grid reads A's plank";
}

// The same push-up lane of one soldier at two stations: the second to
// store chooses, as at the three-event table, and either way nothing of
// the other lanes is lost.
TYPED_TEST(LaneStations, ALaneClashKeepsTheirsOrStoresMineAsTheClerkChooses) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  std::unique_ptr<FitnessRecords> storeA = this->backend.records(), storeB = this->backend.records();
  QUndoStack undoA, undoB;
  LaneSheet a(group, *storeA, undoA);
  const GroupMember& soldier = group.members.at(1);
  const fitness::FitnessTest& t = fitnessTest();
  const int column = fitness::columnIndex(t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                          fitness::Column::MaleCombat);
  const auto fig = [&](const char* key, int points) { return figureFor(t.eventIndex(QLatin1String(key)), column, points); };
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  const auto stored = [&](const char* name) { return field(*reader, soldier, group.testDate, name); };

  ASSERT_EQ(a.enter(1, LaneField::PushUp, fig("pushup", 70)), QString());
  LaneSheet b(group, *storeB, undoB);  // reads A's 70
  ScriptedChooser clerk;
  b.setClashChooser(&clerk);
  ASSERT_EQ(b.enter(1, LaneField::Plank, fig("plank", 80)), QString());
  ASSERT_EQ(a.enter(1, LaneField::PushUp, fig("pushup", 100)), QString());

  clerk.answer = ConflictChoice::KeepTheirs;
  EXPECT_EQ(b.enter(1, LaneField::PushUp, fig("pushup", 60)), QString());
  ASSERT_EQ(clerk.subjects, QStringList{QStringLiteral("HRP of Abernathy, Cole")});
  bool named = false;
  for (const StoreConflict& asked : clerk.conflicts)
    for (const FieldClash& c : asked.clashes)
      named = named || (c.field == QLatin1String("pushup") && c.theirs == fig("pushup", 100) && c.ours == fig("pushup", 60));
  EXPECT_TRUE(named) << "the clash names the field, theirs and ours";
  EXPECT_EQ(stored("pushup"), fig("pushup", 100));
  EXPECT_EQ(b.shown(1, LaneField::PushUp), fig("pushup", 100)) << "the grid reads theirs";
  EXPECT_EQ(b.line(1).points[t.eventIndex(QStringLiteral("pushup"))], 100);
  EXPECT_EQ(undoB.count(), 1) << "keeping theirs stores nothing, so is no step";

  ASSERT_EQ(a.enter(1, LaneField::PushUp, fig("pushup", 80)), QString());
  clerk.answer = ConflictChoice::StoreOurs;
  EXPECT_EQ(b.enter(1, LaneField::PushUp, fig("pushup", 60)), QString());
  EXPECT_EQ(clerk.subjects.size(), 2);
  EXPECT_EQ(stored("pushup"), fig("pushup", 60));
  EXPECT_EQ(stored("pushup_pts"), QStringLiteral("60"));
  EXPECT_EQ(stored("plank_pts"), QStringLiteral("80")) << "the other lane stays";
  EXPECT_EQ(undoB.count(), 2);
  // Undoing mine puts theirs back, not what B had read before.
  b.undo();
  EXPECT_EQ(b.stepProblem(), QString());
  EXPECT_EQ(stored("pushup"), fig("pushup", 80));
  EXPECT_EQ(stored("pushup_pts"), QStringLiteral("80"));

  // Neither chosen: nothing stored, the clash named as before.
  ASSERT_EQ(a.enter(1, LaneField::PushUp, fig("pushup", 90)), QString());
  clerk.answer = ConflictChoice::Undecided;
  const QString why = b.enter(1, LaneField::PushUp, fig("pushup", 70));
  EXPECT_TRUE(why.contains(fig("pushup", 90))) << why.toStdString();
  EXPECT_EQ(stored("pushup"), fig("pushup", 90));
}

// Undo of a lane another station changed since asks, as at the three-event
// table: nothing is written until the clerk says to store over theirs, and
// the step stays to be taken until then.
TYPED_TEST(LaneStations, AnUndoOverAnotherStationsChangeAsksAndOverwritesOnlyWhenTheClerkSaysSo) {
  const TestGroup group = this->backend.groups()->save(rangeDayGroup());
  std::unique_ptr<FitnessRecords> storeA = this->backend.records(), storeB = this->backend.records();
  QUndoStack undoA, undoB;
  LaneSheet a(group, *storeA, undoA), b(group, *storeB, undoB);
  const GroupMember& soldier = group.members.at(1);
  const fitness::FitnessTest& t = fitnessTest();
  const int column = fitness::columnIndex(t.ageGroupOf(fitness::ageOn(QDate(1998, 2, 28), QDate(2026, 6, 12))),
                                          fitness::Column::MaleCombat);
  const auto fig = [&](const char* key, int points) { return figureFor(t.eventIndex(QLatin1String(key)), column, points); };
  std::unique_ptr<FitnessRecords> reader = this->backend.records();
  const auto stored = [&](const char* name) { return field(*reader, soldier, group.testDate, name); };
  ScriptedChooser clerk;
  b.setClashChooser(&clerk);

  ASSERT_EQ(b.enter(1, LaneField::Plank, fig("plank", 80)), QString());
  a.readChanges();
  ASSERT_EQ(a.enter(1, LaneField::Plank, fig("plank", 90)), QString());

  clerk.answer = ConflictChoice::KeepTheirs;
  b.undo();
  EXPECT_EQ(clerk.subjects, QStringList{QStringLiteral("PLK of Abernathy, Cole")});
  EXPECT_FALSE(b.stepProblem().isEmpty());
  EXPECT_EQ(undoB.index(), 1) << "the step stays to be taken";
  EXPECT_EQ(stored("plank_pts"), QStringLiteral("90"));

  clerk.answer = ConflictChoice::StoreOurs;
  b.undo();
  EXPECT_EQ(clerk.subjects.size(), 2);
  EXPECT_EQ(b.stepProblem(), QString());
  EXPECT_EQ(undoB.index(), 0);
  EXPECT_EQ(stored("plank_s"), QString());
  EXPECT_EQ(stored("plank_pts"), QString());
}
