// Per-unit access on a records server: a company clerk reads, changes and
// deletes only their own company's five-event records, through the stations
// and through raw SQL alike; the battalion's clerks reach every company's.

#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>

#include "fitnessrecordsfixture.h"
#include "fitnessrecords.h"
#include "pgtest.h"

using namespace quillon;
using namespace quillon::test;

namespace {

class UnitAccess : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    alpha_ = scratch_->schema() + "_alpha";
    bravo_ = scratch_->schema() + "_bravo";
    admin().runScript(("SELECT quillon_add_unit('A CO 1-5 IN', '" + alpha_ + "');"
                       "SELECT quillon_add_unit('b co 1-5 in', '" + bravo_ + "');")
                          .toUtf8());
    // Stored by the administrator, who is held to no unit. Unit text as a
    // clerk might type it: case and outer spaces vary.
    auto all = FitnessRecords::onServer(scratch_->conninfo());
    a1_ = all->add(fullFitnessRecord(1, "A CO 1-5 IN")).key;
    a2_ = all->add(fullFitnessRecord(2, " a co 1-5 in ")).key;
    b1_ = all->add(fullFitnessRecord(3, "B CO 1-5 IN")).key;
    none_ = all->add(fullFitnessRecord(4, QString())).key;
  }
  void TearDown() override {
    if (alpha_.isEmpty()) return;
    try {
      admin().runScript(("DROP ROLE IF EXISTS " + alpha_ + "; DROP ROLE IF EXISTS " + bravo_).toUtf8());
    } catch (const DbError& e) {
      ADD_FAILURE() << qPrintable(e.message());
    }
  }
  // A connection of the scratch schema acting as `role`, as a clerk's login
  // that was made a member of it would.
  QString as(const QString& role) const {
    return "options='-c search_path=" + scratch_->schema() + " -c role=" + role + "'";
  }
  qint64 countAsAdmin(const QString& where) {
    return admin().exec(("SELECT count(*) FROM fitness_tests WHERE " + where).toUtf8().constData()).integer(0, 0);
  }

  QString alpha_, bravo_;
  qint64 a1_ = 0, a2_ = 0, b1_ = 0, none_ = 0;
};

QList<qint64> keys(const std::vector<RowAsRead>& rows) {
  QList<qint64> out;
  for (const RowAsRead& r : rows) out << r.key;
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST_F(UnitAccess, ACompanyClerkReachesOnlyTheirOwnCompanysRecordsThroughTheStation) {
  auto alpha = FitnessRecords::onServer(as(alpha_));
  EXPECT_EQ(keys(alpha->readAll()), (QList<qint64>{a1_, a2_}));
  EXPECT_FALSE(alpha->fetch(b1_));
  EXPECT_FALSE(alpha->fetch(none_));

  // A row of another company reads as gone: storing into it stores nothing.
  RowAsRead b;
  b.key = b1_;
  b.fields = QStringList(fitnessFieldNames().size());
  EXPECT_THROW(alpha->store(b, {{"pushup", "1"}}), DbError);
  EXPECT_FALSE(alpha->remove(b));
  // Nor can a record be added for another company, or without a unit.
  EXPECT_THROW(alpha->add(fullFitnessRecord(20, "B CO 1-5 IN")), DbError);
  EXPECT_THROW(alpha->add(fullFitnessRecord(21, QString())), DbError);
  // Its own company's records it changes and adds as any station does.
  const RowAsRead own = *alpha->fetch(a1_);
  EXPECT_EQ(byName(alpha->store(own, {{"pushup", "50"}})).value("pushup"), "50");
  EXPECT_NO_THROW(alpha->add(fullFitnessRecord(22, "A CO 1-5 IN")));

  EXPECT_EQ(countAsAdmin("pushup = 1"), 0);
  EXPECT_EQ(countAsAdmin("upper(btrim(unit)) = 'B CO 1-5 IN'"), 1);
  EXPECT_EQ(countAsAdmin("true"), 5);
}

TEST_F(UnitAccess, RawSqlOfACompanyClerkCannotReadChangeOrDeleteAnotherCompanysRows) {
  pg::Connection clerk(as(bravo_));
  clerk.open();
  EXPECT_EQ(clerk.exec("SELECT count(*) FROM fitness_tests").integer(0, 0), 1);
  EXPECT_EQ(clerk.exec("SELECT id FROM fitness_tests").integer(0, 0), b1_);
  // Every row asked for by hand: only their own is touched.
  EXPECT_EQ(clerk.exec("UPDATE fitness_tests SET remark = 'bravo was here' RETURNING id").rows(), 1);
  EXPECT_EQ(clerk.exec("DELETE FROM fitness_tests WHERE unit ILIKE '%a co%' RETURNING id").rows(), 0);
  // Moving their own row into another company is refused by the server.
  EXPECT_THROW(clerk.exec("UPDATE fitness_tests SET unit = 'A CO 1-5 IN'"), pg::PgError);
  EXPECT_THROW(clerk.exec("INSERT INTO fitness_tests (unit, ssn) VALUES ('A CO 1-5 IN', '1')"), pg::PgError);
  // Nor may a clerk list their role for another unit or switch policies off.
  EXPECT_THROW(clerk.exec(("INSERT INTO quillon_units VALUES ('A CO 1-5 IN', '" + bravo_ + "')").toUtf8().constData()),
               pg::PgError);
  EXPECT_THROW(clerk.exec("ALTER TABLE fitness_tests DISABLE ROW LEVEL SECURITY"), pg::PgError);

  EXPECT_EQ(countAsAdmin("remark = 'bravo was here'"), 1);
  EXPECT_EQ(countAsAdmin("remark = 'bravo was here' AND id = " + QString::number(b1_)), 1);
  EXPECT_EQ(countAsAdmin("true"), 4);
  EXPECT_EQ(countAsAdmin("upper(btrim(unit)) = 'A CO 1-5 IN'"), 2);
}

TEST_F(UnitAccess, TheBattalionReachesEveryCompanyAndSetupRunAgainKeepsTheUnits) {
  // Setup run again (an upgrade) keeps the units and their policy.
  QFile f(setupSqlPath());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  admin().runScript("SET search_path TO " + scratch_->schema().toUtf8() + ";\n" + f.readAll());

  auto battalion = FitnessRecords::onServer(as("quillon_battalion"));
  EXPECT_EQ(keys(battalion->readAll()), (QList<qint64>{a1_, a2_, b1_, none_}));
  battalion->store(*battalion->fetch(b1_), {{"plank_s", "240"}});
  EXPECT_TRUE(battalion->remove(*battalion->fetch(a2_)));
  EXPECT_NO_THROW(battalion->add(fullFitnessRecord(30, "C CO 1-5 IN")));
  EXPECT_EQ(countAsAdmin("plank_s = 240"), 1);
  EXPECT_EQ(countAsAdmin("true"), 4);

  // A clerk of no unit at all reaches nothing.
  pg::Connection plain(as("quillon_clerk"));
  EXPECT_EQ(plain.exec("SELECT count(*) FROM fitness_tests").integer(0, 0), 0);
  // Still one role per unit after the second run.
  auto alpha = FitnessRecords::onServer(as(alpha_));
  EXPECT_EQ(keys(alpha->readAll()), (QList<qint64>{a1_}));
}
