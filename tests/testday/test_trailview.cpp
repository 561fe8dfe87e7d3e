// The trail of changes as the clerk meets it: under a soldier's History,
// each change to their records with who made it and where, an SSN in it
// masked until asked for whole; and the trail exported from the History
// menu, readable by its owner only. Over a records file and a records
// server alike, with a result changed at two stations.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSysInfo>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "fitnessrecordsfixture.h"
#include "historywindow.h"
#include "testdaywindow.h"
#include "testgroupbackends.h"
#include "trailview.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// Two lane stations of a records file: the same system account, which is
// who a change in a file is made by.
class TrailInAFile : public GroupsInAFile {
 public:
  std::unique_ptr<FitnessRecords> station(int) { return FitnessRecords::forDatabase(path_); }
  QString who(int) const { return QString::fromLocal8Bit(getpwuid(geteuid())->pw_name); }
  QString where(int) const { return QCoreApplication::applicationName() + '@' + QSysInfo::machineHostName(); }
};

// Two lane stations of a records server, each its own clerk logging in as
// themselves: the first the server's own user, the second a battalion clerk.
class TrailOnAServer : public GroupsOnAServer {
 public:
  ~TrailOnAServer() {
    if (clerk_.isEmpty()) return;
    try {
      scratch_->admin().runScript(("DROP ROLE IF EXISTS " + clerk_).toUtf8());
    } catch (const DbError& e) {
      ADD_FAILURE() << qPrintable(e.message());
    }
  }
  std::unique_ptr<FitnessRecords> station(int n) {
    QString conn = scratch_->conninfo() + " application_name=lane" + QString::number(n);
    if (n == 2) conn += " user=" + clerk();
    auto r = FitnessRecords::onServer(conn);
    r->open();
    return r;
  }
  QString who(int n) {
    return n == 2 ? clerk() : scratch_->admin().exec("SELECT session_user").value(0, 0);
  }
  QString where(int n) const { return "lane" + QString::number(n); }

 private:
  QString clerk() {
    if (clerk_.isEmpty()) {
      const QString pw = qEnvironmentVariable("PGPASSWORD").replace('\'', "''");
      const QString login = pw.isEmpty() ? QStringLiteral("LOGIN") : "LOGIN PASSWORD '" + pw + "'";
      clerk_ = scratch_->schema() + "_lane2";
      scratch_->admin().runScript(("CREATE ROLE " + clerk_ + " " + login + " IN ROLE quillon_battalion").toUtf8());
    }
    return clerk_;
  }
  QString clerk_;
};

template <typename Side>
class Trail : public PairedTest<Side> {
 protected:
  // The trail's lines as the History window of `ssn` shows them, one
  // string a line: change, field, before, after, who, where.
  QStringList shown(HistoryWindow& h, const QString& ssn) {
    h.showSoldier(ssn);
    const auto* t = h.findChild<QTableWidget*>(QStringLiteral("historyTrail"));
    EXPECT_NE(t, nullptr);
    QStringList out;
    for (int r = 0; t && r < t->rowCount(); ++r) {
      QStringList cells;
      for (int c : {4, 5, 6, 7, 2, 3}) cells << t->item(r, c)->text();
      out << cells.join('|');
    }
    return out;
  }
};

using TrailSides = ::testing::Types<TrailInAFile, TrailOnAServer>;
TYPED_TEST_SUITE(Trail, TrailSides, SideNames);

}  // namespace

TYPED_TEST(Trail, AResultChangedAtTwoStationsShowsBothChangesWithTheirUsersUnderTheHistory) {
  auto& s = this->side;
  const RowAsRead added = s.records()->add(fullFitnessRecord(1));
  auto lane1 = s.station(1);
  lane1->store(*lane1->fetch(added.key), {{"pushup", "41"}});
  auto lane2 = s.station(2);
  lane2->store(*lane2->fetch(added.key), {{"pushup", "43"}});

  HistoryWindow h(s.recordsPath());
  const QStringList lines = this->shown(h, "200-00-0001");
  ASSERT_EQ(lines.size(), 3) << qPrintable(lines.join('\n'));
  // The add is one line, whatever number of fields it wrote.
  EXPECT_TRUE(lines[0].startsWith("record added|||(")) << qPrintable(lines[0]);
  // Where: the station, and on a server the address it came from.
  EXPECT_TRUE(lines[1].startsWith("changed|pushup|34|41|" + s.who(1) + '|' + s.where(1))) << qPrintable(lines[1]);
  EXPECT_TRUE(lines[2].startsWith("changed|pushup|41|43|" + s.who(2) + '|' + s.where(2))) << qPrintable(lines[2]);
  if constexpr (std::is_same_v<TypeParam, TrailOnAServer>) {
    EXPECT_NE(s.who(1), s.who(2));
  }
  // Left for the documentation's picture of the window, when asked for.
  if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
    if constexpr (std::is_same_v<TypeParam, TrailInAFile>) {
      EXPECT_TRUE(QFile::copy(s.recordsPath(), QDir(shots).filePath(QStringLiteral("info.mdb"))));
      h.resize(900, 620);
      h.show();
      QTest::qWait(50);
      EXPECT_TRUE(h.grab().save(QDir(shots).filePath(QStringLiteral("history-trail.png"))));
    }
  }
}

TYPED_TEST(Trail, AnSsnInTheTrailIsMaskedUntilTheClerkAsksForItWhole) {
  auto& s = this->side;
  const RowAsRead added = s.records()->add(fullFitnessRecord(1));
  auto lane1 = s.station(1);
  // A mistyped SSN put right: the record is now the other soldier's.
  lane1->store(*lane1->fetch(added.key), {{"ssn", "123456789"}});

  HistoryWindow h(s.recordsPath());
  QStringList lines = this->shown(h, "123456789");
  ASSERT_EQ(lines.size(), 2) << qPrintable(lines.join('\n'));
  EXPECT_TRUE(lines[1].startsWith("changed|ssn|***-**-0001|***-**-6789|")) << qPrintable(lines[1]);
  auto* field = h.findChild<QLineEdit*>(QStringLiteral("historySsn"));
  EXPECT_EQ(field->text(), "***-**-6789");

  h.findChild<QCheckBox*>(QStringLiteral("historyWholeSsn"))->setChecked(true);
  EXPECT_EQ(field->text(), "123-45-6789");
  const auto* t = h.findChild<QTableWidget*>(QStringLiteral("historyTrail"));
  EXPECT_EQ(t->item(1, 6)->text(), "200-00-0001");
  EXPECT_EQ(t->item(1, 7)->text(), "123-45-6789");

  // Masked again, the field still stands for the soldier shown: Show reads
  // their history, not that of the masked text.
  h.findChild<QCheckBox*>(QStringLiteral("historyWholeSsn"))->setChecked(false);
  EXPECT_EQ(field->text(), "***-**-6789");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(h.findChild<QTableWidget*>(QStringLiteral("historyTable"))->rowCount(), 1);
}

TYPED_TEST(Trail, TheHistoryMenuExportsEveryChangeOwnerOnlyWithSsnsMaskedUnlessAsked) {
  auto& s = this->side;
  const RowAsRead added = s.records()->add(fullFitnessRecord(1));
  auto lane2 = s.station(2);
  lane2->store(*lane2->fetch(added.key), {{"pushup", "43"}});

  TestDayWindow w(s.recordsPath());
  auto* exporter = w.findChild<TrailExport*>(QStringLiteral("trailExport"));
  ASSERT_NE(exporter, nullptr);
  auto* action = w.findChild<QAction*>(QStringLiteral("MNU_HISTORY_TRAIL_EXPORT"));
  ASSERT_NE(action, nullptr);
  ScratchDir out;
  const QString path = out.file("changes.csv");
  exporter->savePath = [&](const QString&, const QString&) { return path; };

  const auto written = [&] {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromUtf8(f.readAll());
  };
  action->trigger();
  EXPECT_EQ(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
            QFile::ReadOwner | QFile::WriteOwner);
  QString csv = written();
  EXPECT_TRUE(csv.contains(",pushup,34,43")) << qPrintable(csv);
  EXPECT_TRUE(csv.contains(s.who(2))) << qPrintable(csv);
  EXPECT_TRUE(csv.contains(",ssn,,***-**-0001")) << qPrintable(csv);
  EXPECT_FALSE(csv.contains("200000001")) << qPrintable(csv);

  exporter->wholeSsn = [] { return SsnShown::Whole; };
  action->trigger();
  csv = written();
  EXPECT_TRUE(csv.contains(",ssn,,200-00-0001")) << qPrintable(csv);
}
