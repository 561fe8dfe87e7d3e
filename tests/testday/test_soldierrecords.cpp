// A soldier's history and a group's cards read through the index by SSN,
// on the file and on the records server, held to what reading every record
// of both tables made of them: the same records in the same order, whichever
// way each SSN was written, nothing of a soldier who has no records, and no
// one else's records among many soldiers.
#include <gtest/gtest.h>

#include "cardsfromrecords.h"
#include "fitnesspg.h"
#include "fitnessrecordsfixture.h"
#include "history.h"
#include "infofields.h"
#include "pgbackend.h"
#include "recordbackend.h"
#include "recordrow.h"
#include "rowarena.h"
#include "testgroupbackends.h"
#include "testgroupfixture.h"

using namespace quillon;
using namespace quillon::test;

namespace {

QString described(const QList<TestResult>& history) {
  QStringList out;
  for (const TestResult& e : history) {
    QStringList events;
    for (const EventResult& v : e.events)
      events << kindOf(e).captionOf(v) + '=' + kindOf(e).rawText(v) + '/' +
                    (v.points ? QString::number(*v.points) : QString('-'));
    out << QStringLiteral("%1 #%2 %3 %4 %5 %6 [%7]")
               .arg(e.kind == TestResult::Kind::FiveEvent ? "5" : "3")
               .arg(e.id)
               .arg(e.date.toString(Qt::ISODate), e.soldier.name, e.total ? QString::number(*e.total) : QString('-'), e.result,
                    events.join(' '));
  }
  return out.join('\n');
}

QString described(const CardTest& t) {
  QStringList events;
  for (const CardEventResult& e : t.events) events << e.raw + '/' + e.points + '/' + e.grader;
  return QStringList{t.date, t.mos, t.payGrade, t.age, t.total, QString::number(int(t.overall)), t.alternate,
                     t.alternateTime, t.alternatePoints, events.join(' ')}
      .join('|');
}

QString described(const QList<FitnessCard>& cards) {
  QStringList out;
  for (const FitnessCard& c : cards) {
    QStringList tests;
    for (const CardTest& t : c.tests) tests << described(t);
    out << QStringList{c.lastName, c.firstName, c.middleInitial, c.sex, c.unit, tests.join(" ; ")}.join(", ");
  }
  return out.join('\n');
}

// The nine digits of soldier `n`, and the same SSN written each way a
// record may hold it: `form` 0 and 1 are the two the rules accept, 2 and 3
// add white space around them, 4 and 5 are the same digits written in a form
// the rules refuse (so not this soldier's).
QString soldierSsn(int n) { return QString::number(310000000 + n * 7919); }
QString written(const QString& digits, int form) {
  const QString dashed = digits.left(3) + '-' + digits.mid(3, 2) + '-' + digits.mid(5);
  switch (form % 6) {
    case 0: return dashed;
    case 1: return digits;
    case 2: return QStringLiteral("  ") + digits + QStringLiteral("\t");
    case 3: return QChar(0x00a0) + dashed + QChar(0x3000);
    case 4: return digits.left(2) + '-' + digits.mid(2, 3) + '-' + digits.mid(5);
    default: return digits.left(3) + ' ' + digits.mid(3);
  }
}

constexpr int kSoldiers = 30;
constexpr int kWithoutRecords = kSoldiers - 1;  // in the group, never tested

template <typename Backend>
class SoldierRecords : public GroupBackendTest<Backend> {
 protected:
  void SetUp() override {
    GroupBackendTest<Backend>::SetUp();
    if (!this->ready()) return;
    path_ = this->backend.recordsPath();
    std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(path_);
    info->open();
    RowArena columns;
    info->readRows(QStringLiteral("info"), columns);
    std::unique_ptr<FitnessRecords> five = this->backend.records();
    five->open();
    const auto at = [](const char* f) { return static_cast<int>(infoFieldNames().indexOf(QLatin1String(f))); };
    int serial = 0;
    for (int n = 0; n < kSoldiers; ++n) {
      if (n == kWithoutRecords) continue;
      const QString digits = soldierSsn(n);
      // A few soldiers have many records, most a handful, in every form.
      const int count = n % 10 == 0 ? 14 : 1 + n % 5;
      bool named = false;  // by at least one record in a form the rules accept
      for (int i = 0; i < count; ++i) {
        named = named || (n + i) % 6 < 4;
        ++serial;
        const QString ssn = written(digits, n + i);
        const int year = 2019 + (i * 5 + n) % 8;
        const QString day = QString::number(10 + i % 3);
        info->add({{at("LNAME"), QStringLiteral("Soldier%1, Pat").arg(n)},
                   {at("SSN"), ssn},
                   {at("DOT"), i == 3 ? QString() : QStringLiteral("06/%1/%2").arg(day).arg(year)},
                   {at("RAW_PU"), QString::number(30 + serial % 40)},
                   {at("C_PU"), QString::number(50 + serial % 50)},
                   {at("RUN_M"), QStringLiteral("14")},
                   {at("RUN_S"), QString::number(serial % 60)},
                   {at("TOTAL"), QString::number(150 + serial % 150)},
                   {at("STAT"), QStringLiteral("PASS")}});
        Record r = fullFitnessRecord(n);
        r["ssn"] = ssn;
        r["name"] = QStringLiteral("Soldier%1, Pat %2").arg(n).arg(QChar('A' + i % 3));
        // Two forms of one SSN on one date (the table keeps them apart),
        // and a record without a date of test.
        r["test_date"] = i == 5 ? QString() : QStringLiteral("%1-06-%2").arg(year).arg(i == 1 ? "10" : day);
        r["total_pts"] = QString::number(300 + serial % 200);
        r["pushup"] = QString::number(10 + serial % 50);
        five->add(r);
      }
      soldiersNamed_ += named;
    }
    // Records naming nobody.
    info->add({{at("LNAME"), QStringLiteral("Blank, Sam")}, {at("SSN"), QString()}});
    Record blank = fullFitnessRecord(999);
    blank["ssn"] = QString();
    five->add(blank);
  }

  // Every record of both tables, as the history and the cards read them
  // before they could ask for one soldier's.
  std::vector<QStringList> allThreeEvent() {
    std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(path_);
    info->open();
    std::vector<QStringList> rows;
    info->forEachRow({}, [&](const QStringList& row) {
      rows.push_back(row);
      return true;
    });
    return rows;
  }

  QString path_;
  int soldiersNamed_ = 0;
};

TYPED_TEST_SUITE(SoldierRecords, GroupBackends, GroupBackendNames);

TYPED_TEST(SoldierRecords, EachSoldiersHistoryIsWhatReadingEveryRecordMadeOfIt) {
  const std::vector<QStringList> three = this->allThreeEvent();
  const std::vector<RowAsRead> five = this->backend.records()->readAll();
  int withRecords = 0;
  for (int n = 0; n < kSoldiers; ++n) {
    for (int form : {0, 1}) {
      const QString ssn = written(soldierSsn(n), form);
      const QList<TestResult> byIndex = loadSoldierHistory(this->path_, ssn);
      EXPECT_EQ(described(byIndex), described(soldierHistory(ssn, three, five))) << qPrintable(ssn);
      if (n == kWithoutRecords) {
        EXPECT_TRUE(byIndex.isEmpty());
      }
      withRecords += !byIndex.isEmpty();
    }
  }
  EXPECT_EQ(withRecords, 2 * this->soldiersNamed_);
  EXPECT_GT(this->soldiersNamed_, kSoldiers / 2);
  // Soldier 0 wrote their SSN in all six ways over fourteen tests of each
  // kind: the two ways the rules refuse name nobody.
  const QList<TestResult> many = loadSoldierHistory(this->path_, soldierSsn(0));
  EXPECT_EQ(many.size(), 2 * (14 - 2 - 2));
}

TYPED_TEST(SoldierRecords, AGroupsCardsAreWhatReadingEveryRecordMadeOfThem) {
  TestGroup group{0, QStringLiteral("2026-06-12"), QString(), {}};
  for (int n = kSoldiers - 1; n >= 0; n -= 2) group.members << groupMember(soldierSsn(n), QStringLiteral("Member %1").arg(n));
  group.members << groupMember(soldierSsn(0), QStringLiteral("Member 0"));
  std::unique_ptr<FitnessRecords> records = this->backend.records();
  const std::vector<RowAsRead> all = records->readAll();
  const QList<FitnessCard> byIndex = cardsForGroup(group, *records);
  EXPECT_EQ(described(byIndex), described(cardsForGroup(group, all)));

  // And each card holds the four tests the card's own rule picks from all
  // of the soldier's tests.
  ASSERT_EQ(byIndex.size(), group.members.size());
  for (int m = 0; m < group.members.size(); ++m) {
    QList<CardTest> tests;
    for (const RowAsRead& r : all)
      if (ssnDigits(r.fields.value(fitnessFieldNames().indexOf("ssn"))) == group.members[m].ssn)
        tests << cardTestFromRecord(r);
    QStringList expected, got;
    for (const CardTest& t : testsOnCard(tests)) expected << described(t);
    for (const CardTest& t : byIndex[m].tests) got << described(t);
    EXPECT_EQ(got, expected) << qPrintable(group.members[m].ssn);
  }
  EXPECT_TRUE(byIndex.first().tests.isEmpty()) << "the soldier without records gets a blank card";
  EXPECT_EQ(byIndex.first().lastName, QStringLiteral("Member %1").arg(kWithoutRecords));
}

// The index in setup.sql and the stations' query must be the same
// expression, or the server reads every row: asked with sequential scans
// off, inside one transaction, the server counts the index's scans.
class SoldierRecordsOnAServer : public SoldierRecords<GroupsOnAServer> {
 protected:
  static qint64 scansOf(pg::Connection& c, const char* index) {
    return c.exec(QByteArray("SELECT pg_stat_get_xact_numscans('").append(index).append("'::regclass)").constData())
        .integer(0, 0);
  }
};

TEST_F(SoldierRecordsOnAServer, ASoldiersRecordsComeFromTheIndexBySsn) {
  const QString digits = soldierSsn(3);
  std::unique_ptr<PgBackend> info = PgBackend::fromConnInfo(this->backend.conninfo());
  info->open();
  pg::Connection& c = *info->connection();
  c.exec("BEGIN");
  c.exec("SET LOCAL enable_seqscan = off");
  const qint64 before = scansOf(c, "info_ssn_key");
  EXPECT_EQ(info->rowsOfSoldier(digits).size(), 4u);
  EXPECT_GT(scansOf(c, "info_ssn_key"), before);
  c.exec("COMMIT");

  FitnessOnServer five(this->backend.conninfo());
  five.open();
  pg::Connection& f = five.connection();
  f.exec("BEGIN");
  f.exec("SET LOCAL enable_seqscan = off");
  const qint64 fiveBefore = scansOf(f, "fitness_tests_ssn_key");
  EXPECT_EQ(five.readOfSoldiers({digits, soldierSsn(4)}).size(), 4u + 5u);
  EXPECT_GT(scansOf(f, "fitness_tests_ssn_key"), fiveBefore);
  f.exec("COMMIT");
}

}  // namespace
