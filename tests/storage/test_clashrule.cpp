// The one rule for when a change clashes with another station's, as the
// lane entry (its own fields) and the three-event row (the whole row as
// read) hand it their changes.
#include <gtest/gtest.h>

#include "clashrule.h"

namespace {

using quillon::Change;
using quillon::FieldClash;
using quillon::Record;

QList<FieldClash> against(const Change& c, const Record& now) {
  return quillon::clashesOf(c, [&](const QString& name) { return now.value(name); });
}

TEST(ClashRule, ALaneClashesOnlyOnTheFieldsItWritesAndNeverOverTheSameValue) {
  Change lane{7, {}};
  lane.write("pushup", "30", "44");
  lane.write("pushup_pts", "", "64");
  lane.write("grader_pushup", "", "AB");
  // Another lane's event moved, and another station stored the very same
  // points: neither is a clash. Their push-up is.
  const Record now{{"pushup", "41"}, {"pushup_pts", "64"}, {"grader_pushup", QString()}, {"plank_s", "200"}};
  const QList<FieldClash> clashes = against(lane, now);
  ASSERT_EQ(clashes.size(), 1);
  EXPECT_EQ(clashes[0].field, "pushup");
  EXPECT_EQ(clashes[0].theirs, "41");
  EXPECT_EQ(clashes[0].asRead, "30");
  EXPECT_EQ(clashes[0].ours, "44");
  EXPECT_TRUE(clashes[0].changedByUs);
}

TEST(ClashRule, ARowTypedAgainstTheWholeRowNamesTheirOtherFieldsAsKeptInTheRowsOrder) {
  Change row{3, {}};
  row.rest("LNAME", "Baker");
  row.write("RAW_PU", "40", "50");
  row.rest("REMARK", "first");
  row.rest("DOT", "");
  // REMARK changed elsewhere though this station left it alone; DOT only
  // went from empty text to no value, which the clerk cannot tell apart.
  const Record now{{"LNAME", "Baker"}, {"RAW_PU", "45"}, {"REMARK", "retested"}, {"DOT", QString()}};
  const QList<FieldClash> clashes = against(row, now);
  ASSERT_EQ(clashes.size(), 2);
  EXPECT_EQ(clashes[0].field, "RAW_PU");
  EXPECT_TRUE(clashes[0].changedByUs);
  EXPECT_EQ(clashes[1].field, "REMARK");
  EXPECT_EQ(clashes[1].ours, "first");
  EXPECT_FALSE(clashes[1].changedByUs);

  // Undoing it sets back only what it wrote, and clashes where their
  // change stands on a field it wrote.
  const Change back = row.inverse();
  EXPECT_EQ(back.after(), (Record{{"RAW_PU", "40"}}));
  EXPECT_EQ(back.before(), (Record{{"RAW_PU", "50"}}));
  EXPECT_TRUE(against(back, {{"LNAME", "Baker"}, {"RAW_PU", "50"}, {"REMARK", "first"}}).isEmpty());
}

}  // namespace
