#include "testgroupspg.h"

#include <QHash>

namespace quillon {

namespace {

pg::Param textOrEmpty(const QString& v) { return v.isNull() ? pg::text(QStringLiteral("")) : pg::text(v); }

}  // namespace

pg::Connection& GroupsOnServer::conn() {
  if (!checked_) {
    conn_.open();
    const pg::Result r = conn_.exec("SELECT to_regclass('test_groups') IS NOT NULL AND "
                                    "to_regclass('test_group_members') IS NOT NULL");
    if (r.value(0, 0) != QLatin1String("t"))
      throw DbError(QStringLiteral("The records server (%1) keeps no test groups yet: an administrator runs "
                                   "data/postgres/setup.sql on it again to add them.")
                        .arg(conn_.description()));
    checked_ = true;
  }
  return conn_;
}

QList<TestGroup> GroupsOnServer::all() {
  // One statement per table rather than one per group: a station opening
  // the window reads every group at once.
  const pg::Result g = conn().exec("SELECT id, test_date, location FROM test_groups ORDER BY test_date DESC, id");
  QList<TestGroup> out;
  QHash<qint64, qsizetype> at;
  for (int i = 0; i < g.rows(); ++i) {
    at.insert(g.integer(i, 0), out.size());
    out << TestGroup{g.integer(i, 0), g.value(i, 1), g.value(i, 2), {}};
  }
  const pg::Result m = conn_.exec("SELECT group_id, ssn, name, sex, dob, unit, standard, rank FROM test_group_members "
                                  "ORDER BY group_id, position");
  for (int i = 0; i < m.rows(); ++i) {
    const auto it = at.constFind(m.integer(i, 0));
    if (it == at.constEnd()) continue;  // a group added between the two reads
    out[*it].members << GroupMember{m.value(i, 1), m.value(i, 2), m.value(i, 3),
                                    m.value(i, 4), m.value(i, 5), m.value(i, 6), m.value(i, 7)};
  }
  return out;
}

std::optional<TestGroup> GroupsOnServer::load(qint64 id) {
  const pg::Result g = conn().exec("SELECT test_date, location FROM test_groups WHERE id = $1", {QByteArray::number(id)});
  if (g.rows() == 0) return std::nullopt;
  TestGroup out{id, g.value(0, 0), g.value(0, 1), {}};
  const pg::Result m = conn_.exec("SELECT ssn, name, sex, dob, unit, standard, rank FROM test_group_members "
                                  "WHERE group_id = $1 ORDER BY position",
                                  {QByteArray::number(id)});
  for (int i = 0; i < m.rows(); ++i)
    out.members << GroupMember{m.value(i, 0), m.value(i, 1), m.value(i, 2), m.value(i, 3),
                               m.value(i, 4), m.value(i, 5), m.value(i, 6)};
  return out;
}

TestGroup GroupsOnServer::save(const TestGroup& group) {
  if (const QString why = testGroupProblem(group); !why.isEmpty()) throw DbError(why);
  pg::Connection& c = conn();
  pg::Transaction tx(c);
  TestGroup saved = group;
  if (group.id == 0) {
    saved.id = c.exec("INSERT INTO test_groups (test_date, location) VALUES ($1, $2) RETURNING id",
                      {textOrEmpty(group.testDate), textOrEmpty(group.location)})
                   .integer(0, 0);
  } else {
    const pg::Result r = c.exec("UPDATE test_groups SET test_date = $1, location = $2 WHERE id = $3 RETURNING id",
                                {textOrEmpty(group.testDate), textOrEmpty(group.location),
                                 QByteArray::number(group.id)});
    if (r.rows() == 0) throw DbError(QStringLiteral("Test group %1 was deleted.").arg(group.id));
    c.exec("DELETE FROM test_group_members WHERE group_id = $1", {QByteArray::number(group.id)});
  }
  int position = 0;
  for (const GroupMember& m : group.members)
    c.exec("INSERT INTO test_group_members (group_id, position, ssn, name, sex, dob, unit, standard, rank) "
           "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
           {QByteArray::number(saved.id), QByteArray::number(position++), textOrEmpty(m.ssn), textOrEmpty(m.name),
            textOrEmpty(m.sex), textOrEmpty(m.dob), textOrEmpty(m.unit), textOrEmpty(m.standard),
            textOrEmpty(m.rank)});
  tx.commit();
  return saved;
}

}  // namespace quillon
