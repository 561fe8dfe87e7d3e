#pragma once
// Test groups of the five-event test: who tests on which day where, and under
// which standard each soldier is scored. Tables test_groups and
// test_group_members of the records database: added when a store first opens
// a records file, in one transaction, touching no other table; on a records
// server made by its setup script, as the five-event records are. A group is
// saved whole (its particulars and its members in their order) so reopening
// the program brings it back exactly as it was left.

#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace quillon {

namespace sqlite {
class Database;
}
class RecordsSession;

struct GroupMember {
  QString ssn;       // nine digits, or empty where the DoD ID stands alone
  QString name;      // "Last, First M"
  QString sex;       // "M" or "F"
  QString dob;       // YYYY-MM-DD
  QString unit;
  QString standard;  // "combat" or "general"
  QString rank = {};  // one of rankList(), or empty
  QString dodId = {};  // ten digits, or empty; the soldier's identifier when there
  bool operator==(const GroupMember&) const = default;
};

struct TestGroup {
  qint64 id = 0;  // 0 until saved
  QString testDate;  // YYYY-MM-DD
  QString location;
  QList<GroupMember> members;  // in the order the clerk gave them
  bool operator==(const TestGroup&) const = default;
};

// The group's particulars as saved: a date, a location, members each with a
// nine-digit SSN, a ten-digit DoD ID or both, no SSN and no DoD ID twice, a
// known sex and standard, a date of birth, a rank of the list or none. Empty when it can be saved, else what
// stops it, naming the field and the value.
QString testGroupProblem(const TestGroup& group);

class TestGroups {
 public:
  virtual ~TestGroups();

  // The groups beside the records at `dbPath` (a folder's info.mdb): on the
  // server its connection file names, else in the file.
  static std::unique_ptr<TestGroups> forDatabase(const QString& dbPath);
  static std::unique_ptr<TestGroups> onServer(const QString& conninfo);
  // The groups of an open records session, written in its transactions.
  static std::unique_ptr<TestGroups> ofSession(std::shared_ptr<RecordsSession> session);

  // Every group, members included, newest date of test first, then by ID.
  virtual QList<TestGroup> all() = 0;
  virtual std::optional<TestGroup> load(qint64 id) = 0;
  // Saves the group whole in one transaction and returns it with its ID.
  // Throws DbError with testGroupProblem() when it cannot be saved.
  virtual TestGroup save(const TestGroup& group) = 0;
  // Gives the member of group `groupId` known there by the SSN `ssn` (nine
  // digits) and no DoD ID the DoD ID `dodId` (ten digits), leaving the rest
  // of the group as it is; true when it did. A member who holds a DoD ID
  // keeps it. Throws DbError when another member of the group holds that
  // DoD ID already.
  virtual bool giveDodId(qint64 groupId, const QString& ssn, const QString& dodId) = 0;
};

// The statements that create the two tables in a records file.
QStringList testGroupTablesSqliteDdl();
// The members' table of a file under the name `table`, and its indexes.
// Key: (group_id, ssn, dod_id), each identifier empty text when unknown and
// one at least given; each given identifier is unique within its group.
QString testGroupMembersSqliteDdl(const QString& table);
QStringList testGroupMemberIndexesSqliteDdl();
// Adds the two tables to a records file that lacks them, and brings those of
// an older file up to date (schemaupgrade.h). Throws DbError.
void addTestGroupTables(sqlite::Database& db);

}  // namespace quillon
