#pragma once
// The fixture of every test that needs a records server. Outside the test
// command such tests skip with a message; the test command sets
// QUILLON_REQUIRE_PG=1, which turns a missing server into a failure so that
// the server tests can never all pass by skipping.

#include <gtest/gtest.h>

#include <memory>

#include "backendpair.h"
#include "pgscratch.h"
#include "pgstore.h"

namespace quillon::test {

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::make_unique<PgScratch>(setupSqlPath());
    if (!scratch_->error().isEmpty()) failOrSkipWithoutServer(scratch_->error());
  }

  // A station: its own connection to the scratch schema.
  std::unique_ptr<pg::PgStore> station() {
    auto s = std::make_unique<pg::PgStore>(scratch_->conninfo());
    s->open();
    return s;
  }
  pg::Connection& admin() { return scratch_->admin(); }
  qint64 count() { return admin().exec("SELECT count(*) FROM info").integer(0, 0); }

  std::unique_ptr<PgScratch> scratch_;
};

}  // namespace quillon::test
