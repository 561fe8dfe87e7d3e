#include "pgimport.h"

#include <QStringList>

#include <vector>

#include "sqlitedb.h"

namespace quillon::pg {

namespace {

using SourceRow = std::vector<Param>;  // the eighteen fields, ID first

std::vector<SourceRow> readSource(const QString& path) {
  std::vector<SourceRow> rows;
  try {
    // Read-only and never created: a mistyped name must not leave an empty file.
    sqlite::Database db(path, sqlite::Database::Mode::ReadOnly, 0);
    sqlite::Statement st(db, "SELECT " + infoFieldNames().join(", ") + " FROM info ORDER BY ID");
    while (st.step()) {
      SourceRow row;
      for (int c = 0; c < infoFieldNames().size(); ++c) {
        const char* t = st.raw(c);
        row.push_back(t ? Param(QByteArray(t, st.bytes(c))) : std::nullopt);
      }
      rows.push_back(std::move(row));
    }
  } catch (const DbError& e) {
    throw DbError(path + ": " + e.message());
  }
  return rows;
}

// The clerk sees NULL and an empty field alike, so they count as the same.
bool sameField(const Param& a, bool bNull, const QByteArray& b) {
  const QByteArray av = a.value_or(QByteArray());
  return av == (bNull ? QByteArray() : b);
}

}  // namespace

ImportReport importRecords(Connection& server, const QString& mdbPath) {
  const std::vector<SourceRow> rows = readSource(mdbPath);
  ImportReport report;
  report.read = static_cast<int>(rows.size());

  QStringList names, marks;
  for (int i = 0; i < infoFieldNames().size(); ++i) {
    names << infoFieldNames().at(i).toLower();
    marks << '$' + QString::number(i + 1);
  }
  const QByteArray insert = ("INSERT INTO info (" + names.join(", ") + ") OVERRIDING SYSTEM VALUE VALUES (" +
                             marks.join(", ") + ") ON CONFLICT (id) DO NOTHING RETURNING id")
                                .toUtf8();
  const QByteArray select = ("SELECT " + names.join(", ") + " FROM info WHERE id = $1").toUtf8();

  Transaction tx(server);
  server.exec("LOCK TABLE info IN EXCLUSIVE MODE");
  for (const SourceRow& row : rows) {
    if (server.exec(insert.constData(), row).rows() == 1) {
      ++report.added;
      continue;
    }
    const Result there = server.exec(select.constData(), {row.front()});
    bool same = there.rows() == 1;
    for (int c = 1; same && c < infoFieldNames().size(); ++c)
      same = sameField(row[static_cast<size_t>(c)], there.isNull(0, c),
                       QByteArray(there.raw(0, c), there.length(0, c)));
    if (same) {
      ++report.alreadyThere;
    } else {
      report.refused << ImportRefusal{row.front()->toLongLong(), QString::fromUtf8(row[1].value_or(QByteArray())),
                                      there.rows() == 1 ? there.value(0, 1) : QString()};
    }
  }
  // Only forward: stations may already have taken IDs beyond the file's.
  server.exec(
      "SELECT setval(s.seq, m.top) FROM (SELECT pg_get_serial_sequence('info', 'id')::regclass AS seq) s, "
      "(SELECT max(id) AS top FROM info) m "
      "WHERE m.top IS NOT NULL AND m.top > coalesce(pg_sequence_last_value(s.seq), 0)");
  tx.commit();
  return report;
}

}  // namespace quillon::pg
