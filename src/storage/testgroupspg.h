#pragma once
// Test groups on a records server (testgroups.h), in tables test_groups and
// test_group_members that data/postgres/setup.sql makes. A save locks the
// group's row, so two stations saving one group take turns and the second
// save replaces the first whole.

#include "pgconnection.h"
#include "testgroups.h"

namespace quillon {

class GroupsOnServer : public TestGroups {
 public:
  explicit GroupsOnServer(const QString& conninfo) : conn_(conninfo) {}

  QList<TestGroup> all() override;
  std::optional<TestGroup> load(qint64 id) override;
  TestGroup save(const TestGroup& group) override;

 private:
  // Opens the connection and checks the tables are there, once.
  pg::Connection& conn();

  pg::Connection conn_;
  bool checked_ = false;
};

}  // namespace quillon
