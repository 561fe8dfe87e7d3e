// Compact and Repair keep the trail of changes of a records file as they
// keep the records: every entry, under its own number, and the file goes on
// tracing afterwards.

#include <QDir>
#include <gtest/gtest.h>

#include "changetrail.h"
#include "dbengine.h"
#include "fitnessrecordsfixture.h"
#include "fitnessrecords.h"
#include "recordsfixture.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using namespace quillon::dbtool::test;
using quillon::test::ScratchDir;
using quillon::test::fullFitnessRecord;

namespace {

QString file() { return QDir::current().filePath("info.mdb"); }

// Every entry of the trail as one line, its number first.
QStringList trail() {
  QStringList out;
  for (const TrailEntry& e : ChangeTrail::forDatabase(file())->all())
    out << QStringList{QString::number(e.id), e.when.toString(Qt::ISODateWithMs), e.who, e.station,
                       tracedTableName(e.table), QString::number(e.record), e.unit, actionName(e.action), e.field,
                       e.before, e.after}
               .join('|');
  return out;
}

// Enough five-event records, each added and changed, for the trail to fill
// many pages.
void makeTracedRecords(int n) {
  makeRecords("info.mdb", 30);
  auto records = FitnessRecords::forDatabase(file());
  for (int i = 1; i <= n; ++i) {
    const RowAsRead added = records->add(fullFitnessRecord(i));
    records->store(added, {{"pushup", QString::number(40 + i % 20)}});
  }
}

}  // namespace

TEST(TrailMaintenance, CompactKeepsEveryEntryOfTheTrail) {
  ScratchDir dir;
  makeTracedRecords(20);
  const QStringList before = trail();
  ASSERT_GT(before.size(), 20 * 40);
  const RecordingMessages seam = runCommand(false, "info.mdb");
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, "Compact database successful!");
  EXPECT_EQ(trail(), before);
}

TEST(TrailMaintenance, RepairKeepsTheTrailWhenTheFirstPageAndSchemaAreLostAndTracingGoesOn) {
  ScratchDir dir;
  makeTracedRecords(60);
  const QStringList before = trail();
  damagePage("info.mdb", 1, 4096);

  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(file());
  EXPECT_TRUE(r.rebuilt);
  // Records are what the clerk is told were kept; the trail is not counted.
  EXPECT_EQ(r.rowsKept, 30 + 60);
  EXPECT_EQ(trail(), before);
  // The next change is traced after the last entry kept.
  auto records = FitnessRecords::forDatabase(file());
  const RowAsRead one = *records->find(fullFitnessRecord(1).value("ssn"), fullFitnessRecord(1).value("test_date"));
  records->store(one, {{"pushup", "7"}});
  const QStringList after = trail();
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_TRUE(after.last().endsWith("|change|pushup|41|7")) << qPrintable(after.last());
  EXPECT_GT(after.last().section('|', 0, 0).toLongLong(), before.last().section('|', 0, 0).toLongLong());
}

TEST(TrailMaintenance, RepairOfASoundFileKeepsTheTrailAndCountsOnlyRecords) {
  ScratchDir dir;
  makeTracedRecords(5);
  const QStringList before = trail();
  DBEngine engine;
  const RepairResult r = engine.RepairDatabase(file());
  EXPECT_FALSE(r.rebuilt);
  EXPECT_EQ(r.rowsKept, 30 + 5);
  EXPECT_EQ(trail(), before);
}
