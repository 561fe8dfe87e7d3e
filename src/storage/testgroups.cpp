#include "testgroups.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include "dbfile.h"
#include "pgconnection.h"
#include "ranks.h"
#include "sqlitedb.h"
#include "testgroupspg.h"

namespace quillon {

namespace {

using sqlite::Statement;

bool isDate(const QString& s) {
  return s.size() == 10 && QDate::fromString(s, Qt::ISODate).isValid();
}

class GroupsInFile : public TestGroups {
 public:
  explicit GroupsInFile(const QString& path) : path_(path) {}

  QList<TestGroup> all() override {
    QList<TestGroup> out;
    QList<qint64> ids;
    {
      Statement st(db(), QStringLiteral("SELECT id FROM test_groups ORDER BY test_date DESC, id"));
      while (st.step()) ids << st.integer(0);
    }
    for (qint64 id : ids)
      if (std::optional<TestGroup> g = load(id)) out << *g;
    return out;
  }

  std::optional<TestGroup> load(qint64 id) override {
    Statement st(db(), QStringLiteral("SELECT test_date, location FROM test_groups WHERE id=?"));
    st.bindInt(1, id);
    if (!st.step()) return std::nullopt;
    TestGroup g;
    g.id = id;
    g.testDate = st.text(0);
    g.location = st.text(1);
    Statement m(db_, QStringLiteral("SELECT ssn, name, sex, dob, unit, standard, rank FROM test_group_members "
                                    "WHERE group_id=? ORDER BY position"));
    m.bindInt(1, id);
    while (m.step())
      g.members << GroupMember{m.text(0), m.text(1), m.text(2), m.text(3), m.text(4), m.text(5), m.text(6)};
    return g;
  }

  TestGroup save(const TestGroup& group) override {
    if (const QString why = testGroupProblem(group); !why.isEmpty()) throw DbError(why);
    sqlite::Transaction tx(db());
    TestGroup saved = group;
    if (group.id == 0) {
      Statement st(db_, QStringLiteral("INSERT INTO test_groups (test_date, location) VALUES (?, ?)"));
      st.bindText(1, group.testDate, true);
      st.bindText(2, group.location, true);
      st.run();
      saved.id = db_.lastInsertRowid();
    } else {
      Statement st(db_, QStringLiteral("UPDATE test_groups SET test_date=?, location=? WHERE id=?"));
      st.bindText(1, group.testDate, true);
      st.bindText(2, group.location, true);
      st.bindInt(3, group.id);
      st.run();
      if (!load(group.id)) throw DbError(QStringLiteral("Test group %1 was deleted.").arg(group.id));
      Statement del(db_, QStringLiteral("DELETE FROM test_group_members WHERE group_id=?"));
      del.bindInt(1, group.id);
      del.run();
    }
    int position = 0;
    for (const GroupMember& m : group.members) {
      Statement st(db_, QStringLiteral("INSERT INTO test_group_members "
                                       "(group_id, position, ssn, name, sex, dob, unit, standard, rank) "
                                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
      st.bindInt(1, saved.id);
      st.bindInt(2, position++);
      int i = 3;
      for (const QString& v : {m.ssn, m.name, m.sex, m.dob, m.unit, m.standard, m.rank}) st.bindText(i++, v, true);
      st.run();
    }
    tx.commit();
    return saved;
  }

 private:
  sqlite::Database& db() {
    if (!db_.isOpen()) {
      if (path_.isEmpty()) throw DbError(QStringLiteral("No database file was named."));
      sqlite::Database db(path_, sqlite::Database::Mode::ReadWrite);
      addTestGroupTables(db);
      if (!sqlite::hasTable(db, QStringLiteral("test_groups")))
        throw DbError(path_ + QStringLiteral(": this file holds no test records."));
      db_ = std::move(db);
    }
    return db_;
  }

  QString path_;
  sqlite::Database db_;
};

}  // namespace

TestGroups::~TestGroups() = default;

QString testGroupProblem(const TestGroup& group) {
  if (!isDate(group.testDate)) return QStringLiteral("Date of test: '%1' is no date (YYYY-MM-DD).").arg(group.testDate);
  if (group.location.trimmed().isEmpty()) return QStringLiteral("Location: a test group needs a location.");
  static const QRegularExpression nineDigits(QStringLiteral("^[0-9]{9}$"));
  QSet<QString> seen;
  for (const GroupMember& m : group.members) {
    const QString who = m.name.isEmpty() ? m.ssn : m.name;
    if (!nineDigits.match(m.ssn).hasMatch()) return QStringLiteral("SSN: '%1' of %2 is not nine digits.").arg(m.ssn, who);
    if (seen.contains(m.ssn)) return QStringLiteral("SSN: %1 is in the group twice.").arg(m.ssn);
    seen.insert(m.ssn);
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
  return {QStringLiteral("CREATE TABLE test_groups (id INTEGER PRIMARY KEY, test_date TEXT NOT NULL, "
                         "location TEXT NOT NULL, version INTEGER NOT NULL DEFAULT 1)"),
          QStringLiteral("CREATE TABLE test_group_members (group_id INTEGER NOT NULL REFERENCES test_groups(id) "
                         "ON DELETE CASCADE, position INTEGER NOT NULL, ssn TEXT NOT NULL, name TEXT, sex TEXT, "
                         "dob TEXT, unit TEXT, standard TEXT NOT NULL, rank TEXT, PRIMARY KEY (group_id, ssn))")};
}

namespace {

bool hasColumn(const sqlite::Database& db, const QString& table, const QString& column) {
  Statement st(db, QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name=?"));
  st.bindText(1, table);
  st.bindText(2, column);
  return st.step();
}

// Groups saved before members kept a rank gain the column, empty for them.
void addRankColumn(sqlite::Database& db) {
  if (!sqlite::hasTable(db, QStringLiteral("test_group_members")) ||
      hasColumn(db, QStringLiteral("test_group_members"), QStringLiteral("rank")))
    return;
  // Another station may have added it at this moment.
  if (!db.tryExec(QStringLiteral("ALTER TABLE test_group_members ADD COLUMN rank TEXT")) &&
      !hasColumn(db, QStringLiteral("test_group_members"), QStringLiteral("rank")))
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
  const QString conn = pg::connFilePath(QFileInfo(dbPath).absolutePath());
  if (QFileInfo::exists(conn)) return std::make_unique<GroupsOnServer>(pg::readConnFile(conn));
  return std::make_unique<GroupsInFile>(dbPath);
}

std::unique_ptr<TestGroups> TestGroups::onServer(const QString& conninfo) {
  return std::make_unique<GroupsOnServer>(conninfo);
}

}  // namespace quillon
