#pragma once
// The two homes of a folder's records, for the suites that hold the file and
// the records server to the same behaviour: a records file in a scratch
// folder, and a scratch schema on the server of the PG* environment. A suite
// derives its own sides from these, adding the stores it tests, runs them
// through PairedTest, and names each case after its side.

#include <QString>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "pgscratch.h"
#include "dbfile.h"
#include "testsupport.h"

namespace quillon::test {

// For SetUp, when a side could not be made (`why`): without a server a test
// skips, except under the test command (QUILLON_REQUIRE_PG=1), where the
// server tests must never all pass by skipping.
inline void failOrSkipWithoutServer(const QString& why) {
  if (qEnvironmentVariableIntValue("QUILLON_REQUIRE_PG") == 1)
    FAIL() << "QUILLON_REQUIRE_PG=1 but no records server: " << qPrintable(why);
  GTEST_SKIP() << "No records server reachable through the PG* environment (scripts/test.sh starts one): "
               << qPrintable(why);
}

// A folder's records file, info.mdb, made empty.
class RecordsFileSide {
 public:
  static constexpr const char* kName = "file";
  // Empty when ready, else why not.
  QString setUp() {
    path_ = dir_.file(QStringLiteral("info.mdb"));
    createRecordsDatabase(path_);
    return QString();
  }
  const QString& path() const { return path_; }
  ScratchDir& dir() { return dir_; }

 protected:
  ScratchDir dir_;
  QString path_;
};

// A scratch schema on the records server with the shipped setup run in it.
class RecordsServerSide {
 public:
  static constexpr const char* kName = "server";
  QString setUp() {
    scratch_ = std::make_unique<PgScratch>(setupSqlPath());
    return scratch_->error();
  }
  PgScratch& scratch() { return *scratch_; }
  QString conninfo() const { return scratch_->conninfo(); }

 protected:
  std::unique_ptr<PgScratch> scratch_;
};

// A typed suite's fixture over the sides: `side` set up before each case.
template <typename Side>
class PairedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const QString why = side.setUp(); !why.isEmpty()) failOrSkipWithoutServer(why);
  }
  // Whether SetUp left the case to run.
  static bool ready() { return !HasFatalFailure() && !IsSkipped(); }

  Side side;
};

// Names the cases of a typed suite "file" and "server".
class SideNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return T::kName;
  }
};

}  // namespace quillon::test
