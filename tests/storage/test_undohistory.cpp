// The one undo history both tests' windows keep, over records held in
// memory by a target that refuses a step when a record no longer holds
// what the step expects (as another station's change makes the stores do).
#include <gtest/gtest.h>

#include <QUndoStack>

#include "undohistory.h"

namespace {

using namespace quillon;
using D = UndoHistory::Direction;

class MemoryRecords : public UndoTarget {
 public:
  QMap<qint64, Record> records;
  int takes = 0;

  QString take(const QList<UndoEdit>& edits) override {
    ++takes;
    QMap<qint64, Record> next = records;
    for (const UndoEdit& e : edits) {
      const qint64 k = e.change.key;
      if (e.kind == UndoEdit::Add) {
        if (next.contains(k)) return QStringLiteral("key %1 is taken").arg(k);
        next.insert(k, e.change.after());
        continue;
      }
      if (!next.contains(k)) return QStringLiteral("record %1 is gone").arg(k);
      const Record expected = e.change.before();
      for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (next[k].value(it.key()) != it.value()) return QStringLiteral("%1 of %2 changed").arg(it.key()).arg(k);
      if (e.kind == UndoEdit::Remove) {
        next.remove(k);
        continue;
      }
      const Record after = e.change.after();
      for (auto it = after.cbegin(); it != after.cend(); ++it) next[k].insert(it.key(), it.value());
    }
    records = next;  // all or none
    return {};
  }
};

UndoEdit set(qint64 key, const QString& field, const QString& from, const QString& to) {
  UndoEdit e{UndoEdit::Update, {key, {}}};
  e.change.write(field, from, to);
  return e;
}

TEST(UndoHistory, AStepOfSeveralRecordsGoesBackNewestFirstAndARefusedStepStaysWhereItStood) {
  QUndoStack stack;
  MemoryRecords target;
  UndoHistory history(stack, target);
  // One action that changed record 1 twice and added record 2, as stored.
  target.records = {{1, {{"RAW_PU", "50"}}}, {2, {{"RAW_PU", "7"}}}};
  UndoEdit added{UndoEdit::Add, {2, {}}};
  added.change.write("RAW_PU", QString(), "7");
  history.record("Import of roster.csv", {set(1, "RAW_PU", "30", "40"), set(1, "RAW_PU", "40", "50"), added});
  history.record("Nothing", {});
  ASSERT_EQ(stack.count(), 1) << "a step that changed nothing is no step";
  EXPECT_EQ(target.takes, 0) << "recording a step stores nothing again";
  EXPECT_EQ(history.stepText(D::Back), "Import of roster.csv");
  EXPECT_EQ(history.stepKey(D::Back), 2) << "taken back newest first";

  ASSERT_EQ(history.step(D::Back), QString());
  EXPECT_EQ(target.records, (QMap<qint64, Record>{{1, {{"RAW_PU", "30"}}}})) << "a record changed twice ends as it began";
  EXPECT_FALSE(history.canStep(D::Back));
  ASSERT_EQ(history.step(D::Forward), QString());
  EXPECT_EQ(target.records, (QMap<qint64, Record>{{1, {{"RAW_PU", "50"}}}, {2, {{"RAW_PU", "7"}}}}));

  // Another station changes record 1: the step is refused whole and stays
  // to be taken, by Undo as often as the clerk likes.
  target.records[1]["RAW_PU"] = "55";
  const int at = stack.index();
  EXPECT_EQ(history.step(D::Back), "RAW_PU of 1 changed");
  EXPECT_EQ(history.step(D::Back), "RAW_PU of 1 changed");
  EXPECT_EQ(stack.index(), at);
  EXPECT_EQ(target.records[2], (Record{{"RAW_PU", "7"}})) << "nothing of a refused step is stored";
  EXPECT_EQ(history.stepText(D::Back), "Import of roster.csv");
  // Seen from the records, the same step meets the change, named.
  const auto stored = [&](qint64 k) { return target.records.contains(k) ? std::optional(target.records[k]) : std::nullopt; };
  const UndoObstacle o = obstacleOf(history.nextEdits(D::Back), stored);
  EXPECT_EQ(o.kind, UndoObstacle::Changed);
  EXPECT_EQ(o.fields, QStringList{"RAW_PU"});
  target.records[1]["RAW_PU"] = "50";
  ASSERT_EQ(history.step(D::Back), QString());

  // A new step forgets what was undone.
  target.records[1]["RAW_PU"] = "31";
  history.record("Change of Baker", {set(1, "RAW_PU", "30", "31")});
  EXPECT_FALSE(history.canStep(D::Forward));
  EXPECT_EQ(stack.count(), 1);
  EXPECT_EQ(history.stepText(D::Back), "Change of Baker");
}

TEST(UndoHistory, OnlyTheExactInverseOfTheNewestStepIsAbsorbedAndADroppedStepStoresNothing) {
  QUndoStack stack;
  MemoryRecords target;
  UndoHistory history(stack, target);
  target.records = {{1, {{"RANK", "SGT"}}}};
  history.record("Change of Baker", {set(1, "RANK", "SSG", "SGT")});
  EXPECT_FALSE(history.absorb(set(1, "RANK", "SGT", "PV2"))) << "not what the step changed";
  EXPECT_FALSE(history.absorb(set(2, "RANK", "SGT", "SSG"))) << "another record";
  EXPECT_EQ(stack.count(), 1);
  EXPECT_TRUE(history.absorb(set(1, "RANK", "SGT", "SSG")));
  EXPECT_EQ(stack.count(), 0);
  EXPECT_FALSE(history.canStep(D::Forward)) << "an absorbed step cannot be redone";

  history.record("Change of Baker", {set(1, "RANK", "SSG", "SGT")});
  history.drop(D::Back);
  EXPECT_EQ(stack.count(), 0);
  EXPECT_EQ(target.takes, 0);

  // A record filled since it was added stops the undo of its addition;
  // one whose key another took stops putting it back.
  UndoEdit added{UndoEdit::Add, {5, {}}};
  added.change.write("LNAME", QString(), "Cole");
  const auto stored = [&](qint64 k) { return target.records.contains(k) ? std::optional(target.records[k]) : std::nullopt; };
  target.records[5] = {{"LNAME", "Cole"}, {"RAW_SU", "60"}, {"RANK", ""}};
  const UndoObstacle filled = obstacleOf({added.inverse()}, stored);
  EXPECT_EQ(filled.kind, UndoObstacle::Changed);
  EXPECT_EQ(filled.fields, QStringList{"RAW_SU"});
  EXPECT_EQ(obstacleOf({added}, stored).kind, UndoObstacle::Taken);
  target.records.remove(5);
  EXPECT_EQ(obstacleOf({added.inverse()}, stored).kind, UndoObstacle::Gone);
  EXPECT_EQ(obstacleOf({added}, stored).kind, UndoObstacle::None);
}

}  // namespace
