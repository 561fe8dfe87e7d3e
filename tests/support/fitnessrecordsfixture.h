#pragma once
// The five-event records over the file and over a scratch schema on the
// records server (skipped without a server unless QUILLON_REQUIRE_PG=1), and
// a whole record with every field filled, shared by the storage, server and
// maintenance tests.

#include <QString>
#include <gtest/gtest.h>
#include <memory>

#include "backendpair.h"
#include "dbfile.h"
#include "fitnessrecords.h"

namespace quillon::test {

// A soldier's record with every field given, in the form storage keeps it.
// `n` varies the soldier (SSN, name, unit) and the results.
inline Record fullFitnessRecord(int n = 1, const QString& unit = QStringLiteral("A CO 1-5 IN")) {
  Record r;
  const auto set = [&](const char* k, const QString& v) { r.insert(QString::fromLatin1(k), v); };
  set("test_group", QString::number(7));
  set("name", QStringLiteral("O'Brien-Núñez, María %1").arg(n));
  set("rank", QStringLiteral("SGT"));
  set("ssn", QString::number(200000000 + n));
  set("sex", QStringLiteral("F"));
  set("dob", QStringLiteral("1996-02-29"));
  set("unit", unit);
  set("mos", QStringLiteral("68W"));
  set("pay_grade", QStringLiteral("E-5"));
  set("test_name", QStringLiteral("Five-event fitness test"));
  set("edition", QStringLiteral("June 2025"));
  set("standard", QStringLiteral("general"));
  set("test_date", QStringLiteral("2025-09-30"));
  set("deadlift_1", QString::number(180 + n));
  set("deadlift_2", QString::number(190 + n));
  set("pushup", QStringLiteral("34"));
  set("sdc_s", QStringLiteral("131"));
  set("plank_s", QStringLiteral("205"));
  set("run_s", QStringLiteral("1102"));
  set("deadlift_pts", QStringLiteral("80"));
  set("pushup_pts", QStringLiteral("79"));
  set("sdc_pts", QStringLiteral("85"));
  set("plank_pts", QStringLiteral("77"));
  set("run_pts", QStringLiteral("0"));
  set("deadlift_go", QStringLiteral("GO"));
  set("pushup_go", QStringLiteral("GO"));
  set("sdc_go", QStringLiteral("GO"));
  set("plank_go", QStringLiteral("GO"));
  set("run_go", QStringLiteral("NO-GO"));
  set("alt_event", QStringLiteral("row"));
  set("alt_time_s", QStringLiteral("1510"));
  set("alt_pts", QStringLiteral("60"));
  set("alt_go", QStringLiteral("GO"));
  set("total_pts", QStringLiteral("381"));
  set("result_go", QStringLiteral("GO"));
  set("bc_date", QStringLiteral("2025-09-29"));
  set("height_in", QStringLiteral("64.5"));
  set("weight_lb", QStringLiteral("141"));
  set("weight_go", QStringLiteral("NO-GO"));
  set("body_fat_pct", QStringLiteral("29.25"));
  set("body_fat_go", QStringLiteral("GO"));
  set("grader_deadlift", QStringLiteral("JK"));
  set("grader_pushup", QStringLiteral("LM"));
  set("grader_sdc", QStringLiteral("NO"));
  set("grader_plank", QStringLiteral("PQ"));
  set("grader_run", QString());
  set("grader_alt", QStringLiteral("RS"));
  set("oic_ncoic_name", QStringLiteral("SFC Tanaka"));
  set("remark", QStringLiteral("Profile: rowed; \"quotes\", commas, and a\nsecond line"));
  // None: tests make other soldiers of this record by giving it another
  // SSN, and a number kept from it would make them one. Those about the
  // number give it one (test_dodid.cpp).
  set("dod_id", QString());
  return r;
}

// The record of `row` by field name, as read back.
inline Record byName(const RowAsRead& row) {
  Record r;
  for (int c = 1; c < fitnessFieldNames().size(); ++c) r.insert(fitnessFieldNames().at(c), row.fields.value(c));
  return r;
}

class FitnessFile : public RecordsFileSide {
 public:
  // Another station's view of the same records.
  std::unique_ptr<FitnessRecords> station() { return FitnessRecords::forDatabase(path_); }
};

class FitnessServer : public RecordsServerSide {
 public:
  std::unique_ptr<FitnessRecords> station() { return FitnessRecords::onServer(scratch_->conninfo()); }
};

template <typename Records>
class FitnessTest : public PairedTest<Records> {
 protected:
  Records& records = this->side;
};

using FitnessBackends = ::testing::Types<FitnessFile, FitnessServer>;
using FitnessBackendNames = SideNames;

}  // namespace quillon::test
