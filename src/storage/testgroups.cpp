#include "testgroups.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include "dbfile.h"
#include "pgconnection.h"
#include "ranks.h"
#include "sqlitedb.h"
#include "gateway.h"
#include "recordssession.h"
#include "serversetup.h"

namespace quillon {

namespace {

using sqlite::Statement;

// The members' table of a file; %1 its name (a rebuild makes it aside first).
// A member is known by the SSN, the DoD ID or both: each is empty text when
// unknown, never no value, so that the key can hold them.
constexpr const char* kMembersTable =
    "CREATE TABLE %1 (group_id INTEGER NOT NULL REFERENCES test_groups(id) ON DELETE CASCADE, "
    "position INTEGER NOT NULL, ssn TEXT NOT NULL DEFAULT '', name TEXT, sex TEXT, dob TEXT, unit TEXT, "
    "standard TEXT NOT NULL, rank TEXT, dod_id TEXT NOT NULL DEFAULT '', "
    "CHECK (ssn <> '' OR dod_id <> ''), PRIMARY KEY (group_id, ssn, dod_id))";

bool isDate(const QString& s) {
  return s.size() == 10 && QDate::fromString(s, Qt::ISODate).isValid();
}

GroupMember memberOf(const RowAsRead& row) {
  const QStringList& f = row.fields;
  return GroupMember{f.value(2), f.value(3), f.value(4), f.value(5), f.value(6), f.value(7), f.value(8), f.value(9)};
}

TestGroup groupOf(const RowAsRead& row) { return TestGroup{row.key, row.fields.value(1), row.fields.value(2), {}}; }

// Optional particulars are kept as empty text, never as no value, on both engines.
QString textOrEmpty(const QString& v) { return v.isNull() ? QStringLiteral("") : v; }

// The groups through the gateway, in the file or on the server alike.
class GroupRows : public TestGroups {
 public:
  explicit GroupRows(std::shared_ptr<RecordsSession> session)
      : groups_(session, testGroupsTable()), members_(std::move(session), testGroupMembersTable()) {}

  QList<TestGroup> all() override {
    // One statement per table rather than one per group: a station opening
    // the window reads every group at once.
    ready();
    QList<TestGroup> out;
    QHash<qint64, qsizetype> at;
    for (const RowAsRead& g : groups_.all({QStringLiteral("test_date DESC"), QStringLiteral("id")})) {
      at.insert(g.key, out.size());
      out << groupOf(g);
    }
    for (const RowAsRead& m : members_.all({QStringLiteral("group_id"), QStringLiteral("position")})) {
      const auto it = at.constFind(m.key);
      if (it == at.constEnd()) continue;  // a group added between the two reads
      out[*it].members << memberOf(m);
    }
    return out;
  }

  std::optional<TestGroup> load(qint64 id) override {
    ready();
    const std::optional<RowAsRead> g = groups_.fetch(id);
    if (!g) return std::nullopt;
    TestGroup out = groupOf(*g);
    for (const RowAsRead& m : members_.where({{QStringLiteral("group_id"), QString::number(id)}}, false,
                                             {QStringLiteral("position")}))
      out.members << memberOf(m);
    return out;
  }

  TestGroup save(const TestGroup& group) override {
    if (const QString why = testGroupProblem(group); !why.isEmpty()) throw DbError(why);
    ready();
    // A save replaces the group whole: two stations saving one group take
    // turns, and the second save stands.
    RecordsSession::Transaction tx(groups_.session(), RecordsSession::Needs::TestGroups);
    TestGroup saved = group;
    const Record particulars{{QStringLiteral("test_date"), textOrEmpty(group.testDate)},
                             {QStringLiteral("location"), textOrEmpty(group.location)}};
    if (group.id == 0) {
      saved.id = groups_.add(particulars).key;
    } else {
      RowAsRead asRead;
      asRead.key = group.id;
      if (!groups_.store(asRead, particulars, Gateway::Check::None).stored)
        throw DbError(QStringLiteral("Test group %1 was deleted.").arg(group.id));
      members_.removeWhere(QStringLiteral("group_id"), QString::number(group.id));
    }
    int position = 0;
    for (const GroupMember& m : group.members)
      members_.add({{QStringLiteral("group_id"), QString::number(saved.id)},
                    {QStringLiteral("position"), QString::number(position++)},
                    {QStringLiteral("ssn"), textOrEmpty(m.ssn)},
                    {QStringLiteral("name"), textOrEmpty(m.name)},
                    {QStringLiteral("sex"), textOrEmpty(m.sex)},
                    {QStringLiteral("dob"), textOrEmpty(m.dob)},
                    {QStringLiteral("unit"), textOrEmpty(m.unit)},
                    {QStringLiteral("standard"), textOrEmpty(m.standard)},
                    {QStringLiteral("rank"), textOrEmpty(m.rank)},
                    {QStringLiteral("dod_id"), textOrEmpty(m.dodId)}});
    tx.commit();
    return saved;
  }

  bool giveDodId(qint64 groupId, const QString& ssn, const QString& dodId) override {
    ready();
    // Only where the member has none: a number the office gave stands.
    return members_.storeWhere({{QStringLiteral("group_id"), QString::number(groupId)},
                                {QStringLiteral("ssn"), ssn},
                                {QStringLiteral("dod_id"), QStringLiteral("")}},
                               {{QStringLiteral("dod_id"), dodId}}) == 1;
  }

 private:
  // A server set up before the groups lacks their tables: said once, with
  // what to do. The file gains them when the session first opens it for them.
  void ready() {
    if (checked_) return;
    RecordsSession& s = groups_.session();
    if (s.isServer()) {
      pg::Connection& c = s.server();
      const pg::Result r = c.exec("SELECT to_regclass('test_groups') IS NOT NULL AND "
                                  "EXISTS (SELECT FROM pg_attribute WHERE attrelid = to_regclass('test_group_members') "
                                  "AND attname = 'dod_id' AND NOT attisdropped)");
      if (r.value(0, 0) != QLatin1String("t"))
        throw DbError(QStringLiteral("The records server (%1) keeps no test groups yet, or keeps them as before the "
                                     "DoD ID number (test_group_members has no column dod_id): an administrator "
                                     "runs the setup script %2 on it again to bring them up to date.")
                          .arg(c.description(), installedSetupScript()));
    } else {
      s.file(RecordsSession::Needs::TestGroups);
    }
    checked_ = true;
  }

  Gateway groups_;
  Gateway members_;
  bool checked_ = false;
};

}  // namespace

TestGroups::~TestGroups() = default;

QString testGroupProblem(const TestGroup& group) {
  if (!isDate(group.testDate)) return QStringLiteral("Date of test: '%1' is no date (YYYY-MM-DD).").arg(group.testDate);
  if (group.location.trimmed().isEmpty()) return QStringLiteral("Location: a test group needs a location.");
  static const QRegularExpression nineDigits(QStringLiteral("^[0-9]{9}$")), tenDigits(QStringLiteral("^[0-9]{10}$"));
  QSet<QString> seen;
  for (const GroupMember& m : group.members) {
    const QString who = !m.name.isEmpty() ? m.name : m.dodId.isEmpty() ? m.ssn : m.dodId;
    if (m.ssn.isEmpty() && m.dodId.isEmpty())
      return QStringLiteral("SSN, DoD ID: %1 has neither; a member needs one of the two.").arg(who);
    if (!m.ssn.isEmpty() && !nineDigits.match(m.ssn).hasMatch())
      return QStringLiteral("SSN: '%1' of %2 is not nine digits.").arg(m.ssn, who);
    if (!m.dodId.isEmpty() && !tenDigits.match(m.dodId).hasMatch())
      return QStringLiteral("DoD ID: '%1' of %2 is not ten digits.").arg(m.dodId, who);
    // Nine digits and ten never meet, so one set holds both kinds.
    for (const QString& id : {m.ssn, m.dodId}) {
      if (id.isEmpty()) continue;
      if (seen.contains(id))
        return QStringLiteral("%1: %2 is in the group twice.").arg(id.size() == 9 ? "SSN" : "DoD ID", id);
      seen.insert(id);
    }
    if (m.sex != QLatin1String("M") && m.sex != QLatin1String("F"))
      return QStringLiteral("Sex: '%1' of %2 is neither M nor F.").arg(m.sex, who);
    if (!isDate(m.dob)) return QStringLiteral("Date of birth: '%1' of %2 is no date (YYYY-MM-DD).").arg(m.dob, who);
    if (m.standard != QLatin1String("combat") && m.standard != QLatin1String("general"))
      return QStringLiteral("Standard: '%1' of %2 is neither combat nor general.").arg(m.standard, who);
    if (!m.rank.isEmpty() && !rankList().contains(m.rank))
      return QStringLiteral("Rank: '%1' of %2 is not in the list of ranks.").arg(m.rank, who);
  }
  return {};
}

QStringList testGroupTablesSqliteDdl() {
  return QStringList{QStringLiteral("CREATE TABLE test_groups (id INTEGER PRIMARY KEY, test_date TEXT NOT NULL, "
                         "location TEXT NOT NULL, version INTEGER NOT NULL DEFAULT 1)"),
          testGroupMembersSqliteDdl(QStringLiteral("test_group_members"))} +
         testGroupMemberIndexesSqliteDdl();
}

QString testGroupMembersSqliteDdl(const QString& table) { return QString::fromLatin1(kMembersTable).arg(table); }

QStringList testGroupMemberIndexesSqliteDdl() {
  return {QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS test_group_members_ssn ON test_group_members "
                         "(group_id, ssn) WHERE ssn <> ''"),
          QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS test_group_members_dod_id ON test_group_members "
                         "(group_id, dod_id) WHERE dod_id <> ''"),
          // A soldier's groups, by either identifier.
          QStringLiteral("CREATE INDEX IF NOT EXISTS test_group_members_dod_id_key ON test_group_members (dod_id)")};
}

namespace {

// Groups saved before members kept a rank gain the column, empty for them.
void addRankColumn(sqlite::Database& db) {
  if (!sqlite::hasTable(db, QStringLiteral("test_group_members")) ||
      sqlite::hasColumn(db, QStringLiteral("test_group_members"), QStringLiteral("rank")))
    return;
  // Another station may have added it at this moment.
  if (!db.tryExec(QStringLiteral("ALTER TABLE test_group_members ADD COLUMN rank TEXT")) &&
      !sqlite::hasColumn(db, QStringLiteral("test_group_members"), QStringLiteral("rank")))
    db.fail(QStringLiteral("Cannot add the rank to the test groups of the file"));
}

}  // namespace

void addTestGroupTables(sqlite::Database& db) {
  if (sqlite::hasTable(db, QStringLiteral("test_groups"))) return addRankColumn(db);
  // A file without table info is no records file and gains nothing.
  if (!sqlite::hasTable(db, QStringLiteral("info"))) return;
  const QString what = QStringLiteral("Cannot add the test groups to the file");
  if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) db.fail(what);
  try {
    // Checked again inside the transaction: another scorer may be opening
    // the same file at this moment.
    if (!sqlite::hasTable(db, QStringLiteral("test_groups")))
      for (const QString& sql : testGroupTablesSqliteDdl())
        if (!db.tryExec(sql)) db.fail(what);
    if (!db.tryExec(QStringLiteral("COMMIT"))) db.fail(what);
  } catch (const DbError&) {
    db.tryExec(QStringLiteral("ROLLBACK"));
    throw;
  }
}

std::unique_ptr<TestGroups> TestGroups::forDatabase(const QString& dbPath) {
  return std::make_unique<GroupRows>(RecordsSession::forDatabase(dbPath));
}

std::unique_ptr<TestGroups> TestGroups::onServer(const QString& conninfo) {
  return std::make_unique<GroupRows>(RecordsSession::onServer(conninfo));
}

std::unique_ptr<TestGroups> TestGroups::ofSession(std::shared_ptr<RecordsSession> session) {
  return std::make_unique<GroupRows>(std::move(session));
}

}  // namespace quillon
