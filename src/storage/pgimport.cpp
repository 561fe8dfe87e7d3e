#include "pgimport.h"

#include <QFile>
#include <QStringList>
#include <sqlite3.h>

#include <vector>

namespace quillon::pg {

namespace {

using SourceRow = std::vector<Param>;  // the eighteen fields, ID first

std::vector<SourceRow> readSource(const QString& path) {
  sqlite3* db = nullptr;
  // Read-only and never created: a mistyped name must not leave an empty file.
  int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  if (rc == SQLITE_OK) {
    const QByteArray sql = ("SELECT " + infoFieldNames().join(", ") + " FROM info ORDER BY ID").toUtf8();
    rc = sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
  }
  std::vector<SourceRow> rows;
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) break;
    SourceRow row;
    for (int c = 0; c < infoFieldNames().size(); ++c) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
      row.push_back(t ? Param(QByteArray(t, sqlite3_column_bytes(st, c))) : std::nullopt);
    }
    rows.push_back(std::move(row));
  }
  const QString err = rc == SQLITE_DONE ? QString() : QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  sqlite3_finalize(st);
  sqlite3_close(db);
  if (!err.isEmpty()) throw DbError(path + ": " + err);
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

  server.exec("BEGIN");
  try {
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
    server.exec("COMMIT");
  } catch (...) {
    // The server drops the transaction by itself when the connection is gone.
    try {
      server.exec("ROLLBACK");
    } catch (const PgError&) {
    }
    throw;
  }
  return report;
}

}  // namespace quillon::pg
