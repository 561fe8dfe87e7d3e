// Power cuts at a sample of the points in each file-changing operation: the
// records must open under their own name, whole, with every record that
// was committed before the cut. bench/bench_powercut tries every point.

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>

#include "powercut.h"
#include "powercutcases.h"

using namespace quillon;
using namespace quillon::powercut;

namespace {

// The model is only worth its verdicts if it does show the disks a careless
// writer leaves: a file renamed over another with nothing flushed may come
// back old, empty or new.
TEST(PowerCutModel, AnUnflushedReplacementMayComeBackOldEmptyOrNew) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  {
    QFile f(dir.filePath(QStringLiteral("note.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
  }
  const Recording run = record(dir.path(), QStringLiteral("/bin/sh"),
                               {QStringLiteral("-c"), QStringLiteral("printf new > note.tmp && mv note.tmp note.txt")},
                               dir.path());
  ASSERT_EQ(run.exitCode, 0) << qPrintable(run.errorText);
  QSet<QByteArray> seen;
  const int states = forEachState(run.before, run.ops, Coverage::Every, [&](const CutState& s) {
    if (s.disk.names.contains(QStringLiteral("note.txt")))
      seen.insert(s.disk.content.value(s.disk.names[QStringLiteral("note.txt")].ino));
    return true;
  });
  EXPECT_GE(states, 3);
  EXPECT_EQ(seen, (QSet<QByteArray>{"old", "", "new"}));
}

// The contents note.txt ("old" before) may come back with after a cut
// anywhere in `program` run in its folder.
QSet<QByteArray> notesACutMayLeave(const QString& program, const QStringList& args) {
  QTemporaryDir dir;
  EXPECT_TRUE(dir.isValid());
  {
    QFile f(dir.filePath(QStringLiteral("note.txt")));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
  }
  const Recording run = record(dir.path(), program, args, dir.path());
  EXPECT_EQ(run.exitCode, 0) << qPrintable(run.errorText);
  QSet<QByteArray> seen;
  forEachState(run.before, run.ops, Coverage::Every, [&](const CutState& s) {
    if (s.disk.names.contains(QStringLiteral("note.txt")))
      seen.insert(s.disk.content.value(s.disk.names[QStringLiteral("note.txt")].ino));
    return true;
  });
  return seen;
}

// Flushing the file and then its folder leaves only old or new.
TEST(PowerCutModel, AFlushedReplacementComesBackOldOrNew) {
  EXPECT_EQ(notesACutMayLeave(QStringLiteral("/bin/sh"),
                              {QStringLiteral("-c"),
                               QStringLiteral("printf new > note.tmp && sync note.tmp && mv note.tmp note.txt && sync .")}),
            (QSet<QByteArray>{"old", "new"}));
}

// A flush counts however the file was opened: a hardened build (the
// package's) opens through the C library's checked entry points, a library
// may call the system itself. Missed, such a flush made the model show a
// careful writer's file empty after a cut.
class PowerCutRecorder : public ::testing::TestWithParam<const char*> {};

TEST_P(PowerCutRecorder, SeesAFlushOnAFileOpenedOutsideThePlainEntryPoints) {
  EXPECT_EQ(notesACutMayLeave(QStringLiteral(QUILLON_PCFLUSH), {QLatin1String(GetParam())}),
            (QSet<QByteArray>{"old", "new"}));
}

INSTANTIATE_TEST_SUITE_P(OpenedThrough, PowerCutRecorder, ::testing::Values("checked", "syscall"));

class PowerCut : public ::testing::TestWithParam<const char*> {};

TEST_P(PowerCut, TheRecordsSurviveACutAnywhere) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  test::PowerCutCase c;
  ASSERT_TRUE(test::preparePowerCutCase(QLatin1String(GetParam()), QFileInfo(dir.path()).canonicalFilePath(), c));
  const Recording run = record(c.root, c.program, c.args, c.workdir, QString(), c.env);
  ASSERT_EQ(run.exitCode, 0) << qPrintable(run.errorText);
  ASSERT_GT(run.ops.size(), 1) << "the recorder saw nothing";
  // Every third flush point keeps the sample quick; the bench tries them all.
  const Verdict v = checkCuts(run, c.expect, Coverage::Sample, 3);
  std::cout << GetParam() << ": " << run.ops.size() << " operations, " << v.states << " disks checked\n";
  EXPECT_GT(v.states, 1);
  for (const QString& f : v.failures) ADD_FAILURE() << qPrintable(f);
}

INSTANTIATE_TEST_SUITE_P(Operations, PowerCut,
                         ::testing::Values("compact", "repair", "store", "roster", "export", "oldimport", "firststart"));

}  // namespace
