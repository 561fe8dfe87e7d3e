#pragma once
// A test day without a network, as the tests and the bench play it: a test
// group of soldiers on the records, laptops' folders taken out of it, lanes
// entered on a laptop through the lane entry the test-day window uses, and
// quillon-fieldday run as a clerk's script would run it.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUndoStack>
#include <algorithm>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "clashrule.h"
#include "dbfile.h"
#include "fitnessrecords.h"
#include "laneentry.h"
#include "merge.h"
#include "pgconnection.h"
#include "takeout.h"
#include "testgroups.h"

namespace quillon::test {

// A soldier's name made of the SSN's digits spelled as letters (0 as A,
// 1 as B...), one of its own that holds no digit, so that an SSN found in
// a line came from the SSN and never from the name.
inline QString fieldDayName(int ssn) {
  QString letters;
  for (QChar c : QString::number(ssn)) letters += QChar('a' + c.digitValue());
  letters[0] = letters[0].toUpper();
  return letters + QStringLiteral(", Pat");
}

// `n` soldiers of `unit` (SSNs from `firstSsn` on), every one of them old
// enough to score and under the general standard.
inline QList<GroupMember> fieldDaySoldiers(int n, const QString& unit, int firstSsn = 300000000) {
  QList<GroupMember> out;
  for (int i = 0; i < n; ++i)
    out << GroupMember{QString::number(firstSsn + i),
                       fieldDayName(firstSsn + i),
                       i % 3 == 0 ? QStringLiteral("F") : QStringLiteral("M"),
                       QStringLiteral("199%1-0%2-1%3").arg(i % 10).arg(1 + i % 9).arg(i % 10),
                       unit,
                       QStringLiteral("general"),
                       QStringLiteral("SPC")};
  return out;
}

// A folder whose records are on the server: its connection file names it.
inline void makeServerFolder(const QString& folder, const QString& conninfo) {
  QDir().mkpath(folder);
  QFile f(pg::connFilePath(folder));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(conninfo.toUtf8() + "\n");
  f.close();
  f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// What a lane enters: the member's position in the group, the lane, the text.
struct LaneValueTyped {
  int member;
  LaneField field;
  QString text;
};

// Enters `values` into group `groupId` of the records at `dbPath` (a
// laptop's info.mdb, or a station's on the server), as a lane's clerk does.
inline void enterLanes(const QString& dbPath, qint64 groupId, const QList<LaneValueTyped>& values) {
  const std::optional<TestGroup> group = TestGroups::forDatabase(dbPath)->load(groupId);
  ASSERT_TRUE(group) << qPrintable(dbPath);
  std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(dbPath);
  store->open();
  QUndoStack undo;
  LaneSheet sheet(*group, *store, undo);
  for (const LaneValueTyped& v : values)
    ASSERT_EQ(sheet.enter(v.member, v.field, v.text), QString()) << v.member << " " << qPrintable(v.text);
  store->close();
}

// The DoD ID number at the lanes: a laptop takes group `groupId` of the
// folder `target` out, where its member 0 gains a DoD ID, a soldier known by
// a DoD ID alone joins the group, and both are entered with member 1.
inline const QString kGainedDodId = QStringLiteral("1000000000");
inline const QString kDodIdOnly = QStringLiteral("1000000001");
inline void takeOutAndAddDodIds(const QString& target, qint64 groupId, const QString& laptop) {
  fieldday::takeOut(target, groupId, laptop);
  const QString records = fieldday::recordsPathOf(laptop);
  std::optional<TestGroup> g = TestGroups::forDatabase(records)->load(groupId);
  ASSERT_TRUE(g);
  g->members[0].dodId = kGainedDodId;
  GroupMember newcomer = g->members.at(1);
  newcomer.ssn.clear();
  newcomer.name = QStringLiteral("Dodson, Lee");
  newcomer.dodId = kDodIdOnly;
  g->members << newcomer;
  const TestGroup saved = TestGroups::forDatabase(records)->save(*g);
  enterLanes(records, saved.id,
             {{0, LaneField::PushUp, QStringLiteral("41")},
              {1, LaneField::PushUp, QStringLiteral("42")},
              {int(saved.members.size()) - 1, LaneField::PushUp, QStringLiteral("43")}});
}

// After that laptop's merge into `target`: the group holds each soldier
// once, the newcomer among them, and each entered soldier has one record of
// the day with the push-ups entered and their identifiers.
inline void expectEachSoldierOnceWithTheirResults(const QString& target, qint64 groupId, const TestGroup& before) {
  const QString records = fieldday::recordsPathOf(target);
  const std::optional<TestGroup> g = TestGroups::forDatabase(records)->load(groupId);
  ASSERT_TRUE(g);
  ASSERT_EQ(g->members.size(), before.members.size() + 1);
  for (int i = 0; i < before.members.size(); ++i)
    EXPECT_EQ(std::count_if(g->members.cbegin(), g->members.cend(),
                            [&](const GroupMember& m) { return m.ssn == before.members.at(i).ssn; }),
              1)
        << i;
  EXPECT_EQ(std::count_if(g->members.cbegin(), g->members.cend(),
                          [](const GroupMember& m) { return m.dodId == kDodIdOnly && m.ssn.isEmpty(); }),
            1);
  // The member known there by the SSN alone holds the DoD ID the laptop gave.
  EXPECT_EQ(std::count_if(g->members.cbegin(), g->members.cend(),
                          [&](const GroupMember& m) {
                            return m.ssn == before.members.at(0).ssn && m.dodId == kGainedDodId;
                          }),
            1);
  std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(records);
  store->open();
  const QStringList& names = fitnessFieldNames();
  QStringList ofTheDay;
  for (const RowAsRead& r : store->readAll())
    if (r.fields.value(names.indexOf("test_date")) == before.testDate)
      ofTheDay << QStringLiteral("%1|%2|%3").arg(r.fields.value(names.indexOf("ssn")),
                                                 r.fields.value(names.indexOf("dod_id")),
                                                 r.fields.value(names.indexOf("pushup")));
  store->close();
  ofTheDay.sort();
  QStringList expected{"|" + kDodIdOnly + "|43", before.members.at(0).ssn + "|" + kGainedDodId + "|41",
                       before.members.at(1).ssn + "||42"};
  expected.sort();
  EXPECT_EQ(ofTheDay, expected);
}

// A laptop that took nothing out, whose group of the same day and place
// holds one soldier with `dodId` and `ssn`, entered at the lanes.
inline void laptopWithOneSoldier(const QString& laptop, const TestGroup& like, const QString& dodId,
                                 const QString& ssn) {
  QDir().mkpath(laptop);
  const QString records = fieldday::recordsPathOf(laptop);
  createRecordsDatabase(records);
  GroupMember twofold = like.members.at(0);
  twofold.name = QStringLiteral("Twofold, Kim");
  twofold.dodId = dodId;
  twofold.ssn = ssn;
  const TestGroup saved =
      TestGroups::forDatabase(records)->save(TestGroup{0, like.testDate, like.location, {twofold}});
  enterLanes(records, saved.id, {{0, LaneField::PushUp, QStringLiteral("50")}});
}

// Answers the merge's questions as a script says, outside any window:
// `onAsk` runs first (a test changes the records there while the clerk
// would be deciding), then the next answer is given (the last repeats).
struct ScriptedChooser : ConflictChooser {
  QList<ConflictChoice> answers;
  std::function<void(int asked)> onAsk;
  QStringList subjects;
  QList<StoreConflict> shown;
  ConflictChoice choose(const QString& subject, const StoreConflict& conflict) override {
    subjects << subject;
    shown << conflict;
    if (onAsk) onAsk(int(subjects.size()));
    return answers.value(int(subjects.size()) - 1, answers.value(int(answers.size()) - 1, ConflictChoice::Undecided));
  }
};

struct CommandRun {
  int exit = -1;
  QString out, err;
  QStringList lines() const { return out.split('\n', Qt::SkipEmptyParts); }
  QString summary() const { return lines().value(lines().size() - 1); }
};

// Runs quillon-fieldday with `args` (its environment is this process's: the
// server of the PG* settings).
inline CommandRun runFieldDay(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(QUILLON_FIELDDAY_PROGRAM), args);
  CommandRun r;
  if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit) {
    ADD_FAILURE() << "quillon-fieldday did not finish: " << qPrintable(p.errorString());
    return r;
  }
  r.exit = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

// The bytes of every file in `folder`, by name: to tell that a folder was
// left exactly as it was.
inline QHash<QString, QByteArray> folderDigest(const QString& folder) {
  QHash<QString, QByteArray> out;
  for (const QFileInfo& fi : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
    QFile f(fi.filePath());
    if (f.open(QIODevice::ReadOnly))
      out.insert(fi.fileName(), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
  }
  return out;
}

// Runs the merge in a child process killed before its statement `at` (the
// last is the commit), as a power cut or a kill would stop it; whether it
// was killed there. The child opens its own connections.
inline bool mergeKilledAt(const QString& from, const QString& into, int at) {
  const pid_t child = fork();
  if (child == 0) {
    fieldday::MergeOptions o;
    o.beforeStatement = [at](int n) {
      if (n == at) raise(SIGKILL);
    };
    try {
      fieldday::mergeFolder(from, into, o);
    } catch (...) {
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// How many statements a whole merge of `from` into `into` sends, merging it.
inline int mergeCountingStatements(const QString& from, const QString& into) {
  int statements = 0;
  fieldday::MergeOptions counting;
  counting.beforeStatement = [&](int n) { statements = n; };
  fieldday::mergeFolder(from, into, counting);
  return statements;
}

}  // namespace quillon::test
