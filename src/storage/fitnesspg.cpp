#include "fitnesspg.h"

#include "ssnkey.h"

namespace quillon {

namespace {

RowAsRead rowOf(const pg::Result& r, int row) {
  RowAsRead out;
  const int n = static_cast<int>(fitnessFieldNames().size());
  for (int c = 0; c < n; ++c) out.fields << (r.isNull(row, c) ? QString() : r.value(row, c));
  out.key = r.integer(row, 0);
  out.version = r.integer(row, n);
  return out;
}

std::vector<RowAsRead> rowsOf(const pg::Result& r) {
  std::vector<RowAsRead> out;
  out.reserve(static_cast<size_t>(r.rows()));
  for (int i = 0; i < r.rows(); ++i) out.push_back(rowOf(r, i));
  return out;
}

std::optional<RowAsRead> firstRow(const pg::Result& r) {
  if (r.rows() == 0) return std::nullopt;
  return rowOf(r, 0);
}

pg::Param param(const QString& v) { return v.isNull() ? pg::Param() : pg::text(v); }

// The server's refusal of a second record of one soldier on one date, in
// the words the file uses.
[[noreturn]] void rethrow(const pg::PgError& e, const Record& values) {
  if (e.sqlState() == QLatin1String("23505"))
    throw DbError(QStringLiteral("SSN %1 already has a five-event test record dated %2.")
                      .arg(values.value(QStringLiteral("ssn")), values.value(QStringLiteral("test_date"))));
  throw e;
}

}  // namespace

std::vector<RowAsRead> FitnessOnServer::readAll() {
  const pg::Result r = conn_.exec(("SELECT " + fitnessSelectList() + " FROM fitness_tests ORDER BY test_date, "
                                   "lower(name COLLATE \"C\"), id").toUtf8().constData());
  std::vector<RowAsRead> out;
  out.reserve(static_cast<size_t>(r.rows()));
  for (int i = 0; i < r.rows(); ++i) out.push_back(rowOf(r, i));
  return out;
}

std::vector<RowAsRead> FitnessOnServer::readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields) {
  // All soldiers in one round trip, as one array.
  QStringList quoted;
  for (QString s : ssnDigits) quoted << '"' + s.replace('\\', "\\\\").replace('"', "\\\"") + '"';
  const QByteArray sql = ("SELECT " + fitnessSelectListOf(fields) + " FROM fitness_tests WHERE " +
                          ssnKeyPostgres(QStringLiteral("ssn")) +
                          " = ANY($1::text[]) ORDER BY test_date, lower(name COLLATE \"C\"), id")
                             .toUtf8();
  return rowsOf(conn_.execPrepared(sql, {pg::text('{' + quoted.join(',') + '}')}));
}

std::vector<RowAsRead> FitnessOnServer::readIds(const QList<qint64>& ids) {
  QStringList list;
  for (qint64 id : ids) list << QString::number(id);
  static const QByteArray sql = ("SELECT " + fitnessSelectList() +
                                 " FROM fitness_tests WHERE id = ANY($1::bigint[]) ORDER BY test_date, "
                                 "lower(name COLLATE \"C\"), id")
                                    .toUtf8();
  return rowsOf(conn_.execPrepared(sql, {pg::text('{' + list.join(',') + '}')}));
}

std::optional<RowAsRead> FitnessOnServer::fetch(qint64 id) {
  return firstRow(conn_.exec(("SELECT " + fitnessSelectList() + " FROM fitness_tests WHERE id = $1").toUtf8().constData(),
                             {QByteArray::number(id)}));
}

std::optional<RowAsRead> FitnessOnServer::fetchLocked(qint64 id) {
  return firstRow(
      conn_.exec(("SELECT " + fitnessSelectList() + " FROM fitness_tests WHERE id = $1 FOR UPDATE").toUtf8().constData(),
                 {QByteArray::number(id)}));
}

std::optional<RowAsRead> FitnessOnServer::find(const QString& ssn, const QString& testDate) {
  return firstRow(conn_.exec(
      ("SELECT " + fitnessSelectList() + " FROM fitness_tests WHERE ssn = $1 AND test_date = $2 LIMIT 1").toUtf8().constData(),
      {param(ssn), param(testDate)}));
}

RowAsRead FitnessOnServer::add(const Record& values) {
  const Record v = checkedFitnessValues(values);
  QStringList names, marks;
  std::vector<pg::Param> params;
  for (auto it = v.cbegin(); it != v.cend(); ++it) {
    names << it.key();
    params.push_back(param(it.value()));
    marks << '$' + QString::number(params.size());
  }
  const QString sql = names.isEmpty() ? "INSERT INTO fitness_tests DEFAULT VALUES RETURNING " + fitnessSelectList()
                                      : "INSERT INTO fitness_tests (" + names.join(", ") + ") VALUES (" +
                                            marks.join(", ") + ") RETURNING " + fitnessSelectList();
  try {
    return rowOf(conn_.exec(sql.toUtf8().constData(), params), 0);
  } catch (const pg::PgError& e) {
    rethrow(e, v);
  }
}

RowAsRead FitnessOnServer::store(const RowAsRead& asRead, const Record& changes) {
  const Record v = checkedFitnessValues(changes);
  QStringList sets;
  std::vector<pg::Param> params;
  for (auto it = v.cbegin(); it != v.cend(); ++it) {
    params.push_back(param(it.value()));
    sets << it.key() + " = $" + QString::number(params.size());
  }
  params.push_back(QByteArray::number(asRead.key));
  const QString update = "UPDATE fitness_tests SET " + sets.join(", ") + " WHERE id = $" +
                         QString::number(params.size());
  if (!v.isEmpty()) {
    // Where every field this store writes still holds what the station read
    // (the same text, or both empty), nothing can clash: the server checks
    // that and writes in one round trip. Callers hand in a row as read whose
    // version is not the row's own (a lane keeps its own fields from an
    // earlier read), so the fields are compared, never the version. Anything
    // else is locked and compared below, which also tells a row deleted.
    std::vector<pg::Param> checked = params;
    QString unchanged;
    for (auto it = v.cbegin(); it != v.cend(); ++it) {
      checked.push_back(pg::text(asRead.fields.value(fitnessFieldNames().indexOf(it.key()))));
      unchanged += " AND coalesce(" + it.key() + "::text, '') = $" + QString::number(checked.size());
    }
    try {
      const pg::Result r =
          conn_.execPrepared((update + unchanged + " RETURNING " + fitnessSelectList()).toUtf8(), checked);
      if (const std::optional<RowAsRead> stored = firstRow(r)) return *stored;
    } catch (const pg::PgError& e) {
      // A second record of the soldier on the date: told below, naming the
      // soldier and date as the row holds them now.
      if (e.sqlState() != QLatin1String("23505")) throw;
    }
  }
  // The row is locked while it is compared, so a lane storing another field
  // of it at the same instant waits its turn and then finds its own fields
  // as it read them.
  pg::Transaction tx(conn_);
  const std::optional<RowAsRead> now = fetchLocked(asRead.key);
  if (!now) throw DbError(deletedMessage(QString::number(asRead.key)));
  if (v.isEmpty()) return *now;
  const QList<FieldClash> clashes = fitnessClashes(asRead, *now, v);
  if (!clashes.isEmpty()) throw ConflictError(StoreConflict{asRead.key, *now, clashes});
  try {
    const pg::Result r = conn_.execPrepared((update + " RETURNING " + fitnessSelectList()).toUtf8(), params);
    const std::optional<RowAsRead> stored = firstRow(r);
    tx.commit();
    if (!stored) throw DbError(deletedMessage(QString::number(asRead.key)));
    return *stored;
  } catch (const pg::PgError& e) {
    Record named = v;
    const QStringList& f = fitnessFieldNames();
    for (const char* k : {"ssn", "test_date"})
      if (!named.contains(k)) named.insert(k, now->fields.value(f.indexOf(k)));
    rethrow(e, named);
  }
}

bool FitnessOnServer::remove(const RowAsRead& asRead) {
  pg::Transaction tx(conn_);
  const std::optional<RowAsRead> now = fetchLocked(asRead.key);
  if (!now) return false;
  const QList<FieldClash> clashes = fitnessClashes(asRead, *now, {});
  if (!clashes.isEmpty()) throw ConflictError(StoreConflict{asRead.key, *now, clashes});
  const bool gone = conn_.exec("DELETE FROM fitness_tests WHERE id = $1 RETURNING id", {QByteArray::number(asRead.key)})
                        .rows() == 1;
  tx.commit();
  return gone;
}

}  // namespace quillon
