#pragma once
// Test groups and the five-event records together, over a records file and
// over a scratch schema on the records server (skipped without a server
// unless QUILLON_REQUIRE_PG=1), so the group and lane-entry tests hold both
// to the same behaviour. Each gives stores of its own, as a second station
// on the same records would have.

#include <QFile>
#include <gtest/gtest.h>
#include <memory>

#include "backendpair.h"
#include "fitnessrecords.h"
#include "recordsdb.h"
#include "testgroups.h"

namespace quillon::test {

class GroupsInAFile : public RecordsFileSide {
 public:
  std::unique_ptr<TestGroups> groups() { return TestGroups::forDatabase(path_); }
  std::unique_ptr<FitnessRecords> records() { return FitnessRecords::forDatabase(path_); }
  // The folder's records as the windows open them: by the path of info.mdb.
  QString recordsPath() const { return path_; }
};

class GroupsOnAServer : public RecordsServerSide {
 public:
  std::unique_ptr<TestGroups> groups() { return TestGroups::onServer(scratch_->conninfo()); }
  std::unique_ptr<FitnessRecords> records() {
    auto r = FitnessRecords::onServer(scratch_->conninfo());
    r->open();
    return r;
  }
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
  ScratchDir dir_;
};

template <typename Backend>
class GroupBackendTest : public PairedTest<Backend> {
 protected:
  Backend& backend = this->side;
};

using GroupBackends = ::testing::Types<GroupsInAFile, GroupsOnAServer>;
using GroupBackendNames = SideNames;

}  // namespace quillon::test
