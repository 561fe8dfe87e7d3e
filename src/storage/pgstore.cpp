#include "pgstore.h"

#include <QByteArray>
#include <algorithm>

#include "gateway.h"
#include "recordssession.h"
#include "recordtables.h"

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

}  // namespace

QString PgRecord::field(const QString& name) const {
  const int i = infoFieldNames().indexOf(name.toUpper());
  Q_ASSERT_X(i >= 0, "PgRecord::field", "not a field of info");
  return i < 0 ? QString() : fields.value(i);
}

QString PgStore::rowSourceQuery() {
  return "SELECT " + selectList() + " FROM info ORDER BY lower(lname COLLATE \"C\") NULLS FIRST, id";
}

PgStore::PgStore(const QString& conninfo) : PgStore(RecordsSession::onServer(conninfo)) {}

PgStore::PgStore(std::shared_ptr<RecordsSession> session)
    : conn_(session->server()), rows_(std::make_unique<Gateway>(std::move(session), infoTable())) {}

PgStore::~PgStore() = default;

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

PgRecord PgStore::record(RowAsRead r) {
  // No value reads as empty text here, as in the row source.
  for (QString& f : r.fields)
    if (f.isNull()) f = QStringLiteral("");
  return PgRecord{r.key, r.version, std::move(r.fields)};
}

std::vector<PgRecord> PgStore::readAll() {
  const Result r = conn_.exec(rowSourceQuery().toUtf8().constData());
  std::vector<PgRecord> rows;
  rows.reserve(static_cast<size_t>(r.rows()));
  for (int i = 0; i < r.rows(); ++i) rows.push_back(record(r, i));
  return rows;
}

std::vector<PgRecord> PgStore::readOfSoldier(const QString& ssnDigits) {
  std::vector<PgRecord> rows;
  for (RowAsRead& r : rows_->bySsn({ssnDigits}, {QStringLiteral("ID")})) rows.push_back(record(std::move(r)));
  return rows;
}

std::optional<PgRecord> PgStore::fetch(qint64 id) {
  std::optional<RowAsRead> r = rows_->fetch(id);
  if (!r) return std::nullopt;
  return record(std::move(*r));
}

PgRecord PgStore::add(const QHash<QString, QString>& values) {
  // A value given as none is stored as empty text, as a box left empty is.
  Record named;
  for (const auto& [c, v] : byColumn(values)) named.insert(infoFieldNames().at(c), v.isNull() ? QStringLiteral("") : v);
  return record(rows_->add(named));
}

StoreOutcome PgStore::store(const PgRecord& asRead, const QHash<QString, QString>& changes) {
  Record named;
  for (const auto& [c, v] : byColumn(changes)) named.insert(infoFieldNames().at(c), v.isNull() ? QStringLiteral("") : v);
  PgRecord base = asRead;
  // A second round only when the row's version moved but none of its fields
  // did (another station stored the same values): nothing to ask about.
  for (int round = 0; round < 2; ++round) {
    const Gateway::Outcome out = rows_->store(RowAsRead{base.id, base.version, base.fields}, named,
                                              Gateway::Check::Version);
    if (out.stored) {
      PgRecord row = record(*out.stored);
      // Nothing to write leaves the version as it is; a moved one is news.
      if (!named.isEmpty() || row.version == base.version) return {StoreOutcome::Kind::Done, std::move(row), {}};
      StoreOutcome c = conflict(base, std::move(row), changes);
      if (!c.clashes.isEmpty()) return c;
      base = c.row;
      continue;
    }
    if (!out.now) return {StoreOutcome::Kind::DeletedElsewhere, base, {}};
    StoreOutcome c = conflict(base, record(*out.now), changes);
    if (!c.clashes.isEmpty()) return c;
    base = c.row;
  }
  return conflictOrGone(base, changes);
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
    if (rows_->remove(RowAsRead{base.id, base.version, base.fields}, Gateway::Check::Version).stored)
      return {StoreOutcome::Kind::Done, base, {}};
    StoreOutcome out = conflictOrGone(base, {});
    // As in store: a version that moved without any field moving is no news.
    if (round > 0 || out.kind != StoreOutcome::Kind::Conflict || !out.clashes.isEmpty()) return out;
    base = out.row;
  }
}

bool PgStore::removeAnyway(qint64 id) { return take(id).has_value(); }

std::optional<PgRecord> PgStore::take(qint64 id) {
  RowAsRead key;
  key.key = id;
  auto gone = rows_->remove(key, Gateway::Check::None);
  if (!gone.stored) return std::nullopt;
  return record(std::move(*gone.stored));
}

PgRecord PgStore::restore(qint64 id, const QHash<QString, QString>& values) {
  Record named;
  for (const auto& [c, v] : byColumn(values)) named.insert(infoFieldNames().at(c), v);
  return record(rows_->addWithKey(id, named));
}

}  // namespace quillon::pg
