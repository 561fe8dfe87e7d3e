#pragma once
// Test groups and the five-event records together, over a records file and
// over a scratch schema on the records server (skipped without a server
// unless QUILLON_REQUIRE_PG=1), so the group and lane-entry tests hold both
// to the same behaviour. Each gives stores of its own, as a second station
// on the same records would have.

#include <QFile>
#include <gtest/gtest.h>
#include <memory>

#include "fitnessrecords.h"
#include "pgscratch.h"
#include "recordsdb.h"
#include "testgroups.h"
#include "testsupport.h"

namespace quillon::test {

class GroupsInAFile {
 public:
  static constexpr const char* kName = "file";
  QString setUp() {
    path_ = dir_.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path_);
    return QString();
  }
  std::unique_ptr<TestGroups> groups() { return TestGroups::forDatabase(path_); }
  std::unique_ptr<FitnessRecords> records() { return FitnessRecords::forDatabase(path_); }
  // The folder's records as the windows open them: by the path of info.mdb.
  QString recordsPath() const { return path_; }

 private:
  ScratchDir dir_;
  QString path_;
};

class GroupsOnAServer {
 public:
  static constexpr const char* kName = "server";
  QString setUp() {
    scratch_ = std::make_unique<PgScratch>(setupSqlPath());
    return scratch_->error();
  }
  std::unique_ptr<TestGroups> groups() { return TestGroups::onServer(scratch_->conninfo()); }
  std::unique_ptr<FitnessRecords> records() {
    auto r = FitnessRecords::onServer(scratch_->conninfo());
    r->open();
    return r;
  }
  PgScratch& scratch() { return *scratch_; }
  // A folder whose connection file sends the windows to this server, and
  // the path of info.mdb there, as the windows open the records.
  QString recordsPath() {
    QFile conn(dir_.file(QStringLiteral("info.pgconn")));
    EXPECT_TRUE(conn.open(QIODevice::WriteOnly));
    conn.write(scratch_->conninfo().toUtf8() + "\n");
    conn.close();
    conn.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return dir_.file(QStringLiteral("info.mdb"));
  }

 private:
  std::unique_ptr<PgScratch> scratch_;
  ScratchDir dir_;
};

template <typename Backend>
class GroupBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString why = backend.setUp();
    if (why.isEmpty()) return;
    if (qEnvironmentVariableIntValue("QUILLON_REQUIRE_PG") == 1)
      FAIL() << "QUILLON_REQUIRE_PG=1 but no records server: " << qPrintable(why);
    GTEST_SKIP() << "No records server reachable through the PG* environment: " << qPrintable(why);
  }
  Backend backend;
};

using GroupBackends = ::testing::Types<GroupsInAFile, GroupsOnAServer>;

class GroupBackendNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return T::kName;
  }
};

}  // namespace quillon::test
