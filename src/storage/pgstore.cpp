#include "pgstore.h"

#include <QByteArray>
#include <algorithm>

#include "ssnkey.h"

namespace quillon::pg {

namespace {

// The table's columns in infoFieldNames() order, then the row version. The
// names are the table's own, never taken from a caller.
const QString& selectList() {
  static const QString list = infoFieldNames().join(QStringLiteral(", ")).toLower() + QStringLiteral(", version");
  return list;
}

// Column index of a field name given by a caller, case ignored; refuses ID
// (the server's) and anything that is not a field.
int writableField(const QString& name) {
  const int i = infoFieldNames().indexOf(name.toUpper());
  if (i < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + name);
  if (i == 0) throw DbError(QStringLiteral("Field 'ID' cannot be updated."));
  return i;
}

// Changes keyed by column index, each column once, in table order so that
// the statements are the same for the same set of fields.
std::vector<std::pair<int, QString>> byColumn(const QHash<QString, QString>& changes) {
  QHash<int, QString> cols;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it) cols.insert(writableField(it.key()), it.value());
  std::vector<std::pair<int, QString>> out;
  for (auto it = cols.cbegin(); it != cols.cend(); ++it) out.emplace_back(it.key(), it.value());
  std::sort(out.begin(), out.end());
  return out;
}

QByteArray number(qint64 n) { return QByteArray::number(n); }

}  // namespace

QString PgRecord::field(const QString& name) const {
  const int i = infoFieldNames().indexOf(name.toUpper());
  Q_ASSERT_X(i >= 0, "PgRecord::field", "not a field of info");
  return i < 0 ? QString() : fields.value(i);
}

QString PgStore::rowSourceQuery() {
  return "SELECT " + selectList() + " FROM info ORDER BY lower(lname COLLATE \"C\") NULLS FIRST, id";
}

PgStore::PgStore(const QString& conninfo) : conn_(conninfo) {}

void PgStore::open() { conn_.open(); }

PgRecord PgStore::record(const Result& r, int row) {
  PgRecord rec;
  const int n = static_cast<int>(infoFieldNames().size());
  rec.fields.reserve(n);
  for (int c = 0; c < n; ++c) rec.fields << r.value(row, c);
  rec.id = r.integer(row, 0);
  rec.version = r.integer(row, n);
  return rec;
}

std::vector<PgRecord> PgStore::readAll() {
  const Result r = conn_.exec(rowSourceQuery().toUtf8().constData());
  std::vector<PgRecord> rows;
  rows.reserve(static_cast<size_t>(r.rows()));
  for (int i = 0; i < r.rows(); ++i) rows.push_back(record(r, i));
  return rows;
}

std::vector<PgRecord> PgStore::readOfSoldier(const QString& ssnDigits) {
  static const QByteArray sql =
      ("SELECT " + selectList() + " FROM info WHERE " + ssnKeyPostgres(QStringLiteral("ssn")) + " = $1 ORDER BY id")
          .toUtf8();
  const Result r = conn_.execPrepared(sql, {text(ssnDigits)});
  std::vector<PgRecord> rows;
  rows.reserve(static_cast<size_t>(r.rows()));
  for (int i = 0; i < r.rows(); ++i) rows.push_back(record(r, i));
  return rows;
}

std::optional<PgRecord> PgStore::fetch(qint64 id) {
  static const QByteArray sql = ("SELECT " + selectList() + " FROM info WHERE id = $1").toUtf8();
  const Result r = conn_.execPrepared(sql, {number(id)});
  if (r.rows() == 0) return std::nullopt;
  return record(r, 0);
}

PgRecord PgStore::add(const QHash<QString, QString>& values) {
  const auto cols = byColumn(values);
  QString sql;
  std::vector<Param> params;
  if (cols.empty()) {
    sql = "INSERT INTO info DEFAULT VALUES RETURNING " + selectList();
  } else {
    QStringList names, marks;
    for (const auto& [c, v] : cols) {
      names << infoFieldNames().at(c).toLower();
      params.push_back(text(v));
      marks << '$' + QString::number(params.size());
    }
    sql = "INSERT INTO info (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ") RETURNING " + selectList();
  }
  const Result r = conn_.exec(sql.toUtf8().constData(), params);
  return record(r, 0);
}

StoreOutcome PgStore::store(const PgRecord& asRead, const QHash<QString, QString>& changes) {
  const auto cols = byColumn(changes);
  PgRecord base = asRead;
  // A second round only when the row's version moved but none of its fields
  // did (another station stored the same values): nothing to ask about.
  for (int round = 0; round < 2; ++round) {
    std::optional<StoreOutcome> out;
    if (cols.empty()) {
      const std::optional<PgRecord> now = fetch(base.id);
      if (!now) return {StoreOutcome::Kind::DeletedElsewhere, base, {}};
      if (now->version == base.version) return {StoreOutcome::Kind::Done, *now, {}};
    } else {
      std::vector<Param> params;
      params.reserve(cols.size() + 2);
      for (const auto& [c, v] : cols) params.push_back(text(v));
      params.push_back(number(base.id));
      params.push_back(number(base.version));
      const Result r = conn_.execPrepared(updateSql(cols), params);
      if (r.rows() == 1) {
        PgRecord row = record(r, 0);
        if (*r.raw(0, r.columns() - 1) == 't') return {StoreOutcome::Kind::Done, std::move(row), {}};
        // Theirs as the statement saw it. At our version it is stale: the
        // change that refused ours came after the statement began and is
        // read below; any other version is a change to answer with.
        if (row.version != base.version) out = conflict(base, std::move(row), changes);
      }
    }
    if (!out) out = conflictOrGone(base, changes);
    if (out->kind != StoreOutcome::Kind::Conflict || !out->clashes.isEmpty()) return std::move(*out);
    base = out->row;
  }
  return conflictOrGone(base, changes);
}

const QByteArray& PgStore::updateSql(const std::vector<std::pair<int, QString>>& cols) {
  // The fields come sorted, so their numbers name the statement.
  QByteArray fields;
  for (const auto& col : cols) fields += QByteArray::number(col.first) + ',';
  auto it = updateSql_.constFind(fields);
  if (it != updateSql_.constEnd()) return *it;
  QStringList sets;
  for (const auto& col : cols)
    sets << infoFieldNames().at(col.first).toLower() + " = $" + QString::number(sets.size() + 1);
  const qsizetype n = sets.size();
  const QString id = "$" + QString::number(n + 1);
  // The version test is the whole conflict check when nothing moved, so a
  // store is one round trip. When the row did move, the same round trip
  // answers with the row as the statement saw it: a clash costs no second
  // one unless that view is already stale. The last column says which.
  const QString sql = "WITH stored AS (UPDATE info SET " + sets.join(", ") + " WHERE id = " + id +
                      " AND version = $" + QString::number(n + 2) + " RETURNING " + selectList() +
                      ") SELECT *, true FROM stored UNION ALL SELECT " + selectList() +
                      ", false FROM info WHERE id = " + id + " AND NOT EXISTS (SELECT FROM stored)";
  return *updateSql_.insert(fields, sql.toUtf8());
}

StoreOutcome PgStore::conflictOrGone(const PgRecord& asRead, const QHash<QString, QString>& changes) {
  std::optional<PgRecord> now = fetch(asRead.id);
  if (!now) return {StoreOutcome::Kind::DeletedElsewhere, asRead, {}};
  return conflict(asRead, std::move(*now), changes);
}

StoreOutcome PgStore::conflict(const PgRecord& asRead, PgRecord theirs, const QHash<QString, QString>& changes) {
  QHash<int, QString> ours;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it) ours.insert(writableField(it.key()), it.value());
  QList<FieldClash> clashes = clashesOf(infoFieldNames(), asRead.fields, theirs.fields, ours);
  return {StoreOutcome::Kind::Conflict, std::move(theirs), std::move(clashes)};
}

StoreOutcome PgStore::remove(const PgRecord& asRead) {
  PgRecord base = asRead;
  for (int round = 0;; ++round) {
    const Result r = conn_.execPrepared("DELETE FROM info WHERE id = $1 AND version = $2 RETURNING id",
                                        {number(base.id), number(base.version)});
    if (r.rows() == 1) return {StoreOutcome::Kind::Done, base, {}};
    StoreOutcome out = conflictOrGone(base, {});
    // As in store: a version that moved without any field moving is no news.
    if (round > 0 || out.kind != StoreOutcome::Kind::Conflict || !out.clashes.isEmpty()) return out;
    base = out.row;
  }
}

bool PgStore::removeAnyway(qint64 id) {
  return conn_.exec("DELETE FROM info WHERE id = $1 RETURNING id", {number(id)}).rows() == 1;
}

std::optional<PgRecord> PgStore::take(qint64 id) {
  const QByteArray sql = ("DELETE FROM info WHERE id = $1 RETURNING " + selectList()).toUtf8();
  const Result r = conn_.exec(sql.constData(), {number(id)});
  if (r.rows() == 0) return std::nullopt;
  return record(r, 0);
}

PgRecord PgStore::restore(qint64 id, const QHash<QString, QString>& values) {
  QStringList names{QStringLiteral("id")}, marks{QStringLiteral("$1")};
  std::vector<Param> params{number(id)};
  for (const auto& [c, v] : byColumn(values)) {
    names << infoFieldNames().at(c).toLower();
    params.push_back(v.isNull() ? Param() : text(v));
    marks << '$' + QString::number(params.size());
  }
  const QString sql = "INSERT INTO info (" + names.join(", ") + ") OVERRIDING SYSTEM VALUE VALUES (" +
                      marks.join(", ") + ") RETURNING " + selectList();
  return record(conn_.exec(sql.toUtf8().constData(), params), 0);
}

}  // namespace quillon::pg
