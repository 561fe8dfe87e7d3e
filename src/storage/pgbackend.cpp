#include "pgbackend.h"

#include <QFileInfo>

#include "recordssession.h"
#include "rowarena.h"

namespace quillon {

PgBackend::PgBackend(const QString& connFile) : connFile_(connFile) {}

std::unique_ptr<PgBackend> PgBackend::fromConnInfo(const QString& conninfo) {
  std::unique_ptr<PgBackend> b(new PgBackend());
  b->conninfo_ = conninfo;
  return b;
}

std::unique_ptr<PgBackend> PgBackend::forFolder(const QString& dbPath) {
  std::unique_ptr<PgBackend> b(new PgBackend(pg::connFilePath(QFileInfo(dbPath).absolutePath())));
  b->dbPath_ = dbPath;
  return b;
}

void PgBackend::open() {
  if (!store_) {
    // Read at every first open, so a changed file counts from the next start.
    if (!dbPath_.isEmpty())
      store_ = std::make_unique<pg::PgStore>(RecordsSession::forDatabase(dbPath_));
    else
      store_ = std::make_unique<pg::PgStore>(connFile_.isEmpty() ? conninfo_ : pg::readConnFile(connFile_));
  }
  store_->open();
  columns_ = infoFieldNames();
}

void PgBackend::close() { store_.reset(); }

QString PgBackend::describe() const {
  if (store_) return "records server: " + store_->description();
  return connFile_.isEmpty() ? "records server: " + pg::describeConnInfo(conninfo_) : connFile_;
}

pg::PgStore& PgBackend::server() {
  if (!store_) throw DbError(QStringLiteral("The records database is not open."));
  return *store_;
}

RowAsRead PgBackend::asRow(const pg::PgRecord& r) { return RowAsRead{r.id, r.version, r.fields}; }

QHash<QString, QString> PgBackend::byName(const QHash<int, QString>& changes) const {
  QHash<QString, QString> out;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
    if (it.key() <= 0 || it.key() >= columns_.size()) throw DbError(QStringLiteral("Field cannot be updated."));
    out.insert(columns_.at(it.key()), it.value());
  }
  return out;
}

void PgBackend::readRows(const QString& /*source*/, RowArena& into) {
  // Whatever the window asks for, the server's own name order: the one its
  // index serves, and the order of a folder's file.
  open();
  const pg::Result r = server().connection().exec(pg::PgStore::rowSourceQuery().toUtf8().constData());
  into.setFieldNames(columns_);
  const int n = static_cast<int>(columns_.size());
  into.reserve(r.rows());
  for (int i = 0; i < r.rows(); ++i) {
    into.beginRow(r.integer(i, 0), r.integer(i, n));
    for (int c = 0; c < n; ++c) into.appendField(r.raw(i, c), r.length(i, c));
    if (!into.roomLeft()) throw DbError(QStringLiteral("Too many records to show."));
  }
}

std::optional<RowAsRead> PgBackend::fetch(qint64 key) {
  const std::optional<pg::PgRecord> r = server().fetch(key);
  if (!r) return std::nullopt;
  return asRow(*r);
}

RowAsRead PgBackend::store(const RowAsRead& asRead, const QHash<int, QString>& changes, bool /*exact*/) {
  const pg::PgRecord rec{asRead.key, asRead.version, asRead.fields};
  const pg::StoreOutcome out = server().store(rec, byName(changes));
  switch (out.kind) {
    case pg::StoreOutcome::Kind::Done:
      return asRow(out.row);
    case pg::StoreOutcome::Kind::DeletedElsewhere:
      throw DbError(deletedMessage(QString::number(asRead.key)));
    case pg::StoreOutcome::Kind::Conflict:
      break;
  }
  StoreConflict c{asRead.key, asRow(out.row), {}};
  c.clashes = out.clashes;
  throw ConflictError(std::move(c));
}

RowAsRead PgBackend::add(const QHash<int, QString>& values) { return asRow(server().add(byName(values))); }

RowAsRead PgBackend::restore(qint64 key, const Record& record) {
  QHash<QString, QString> fields;
  for (auto it = record.cbegin(); it != record.cend(); ++it)
    if (it.key().toUpper() != QLatin1String("ID")) fields.insert(it.key(), it.value());
  return asRow(server().restore(key, fields));
}

std::optional<RowAsRead> PgBackend::remove(qint64 key) {
  const std::optional<pg::PgRecord> gone = server().take(key);
  if (!gone) return std::nullopt;
  return asRow(*gone);
}

void PgBackend::forEachRow(const QList<RowOrder>& order, const std::function<bool(const QStringList&)>& row) {
  open();
  std::vector<QStringList> rows;
  for (pg::PgRecord& r : server().readAll()) rows.push_back(std::move(r.fields));
  sortRows(rows, order);
  for (const QStringList& r : rows)
    if (!row(r)) return;
}

std::vector<QStringList> PgBackend::rowsOfSoldier(const QString& ssnDigits) {
  open();
  std::vector<QStringList> rows;
  for (pg::PgRecord& r : server().readOfSoldier(ssnDigits)) rows.push_back(std::move(r.fields));
  return rows;
}

}  // namespace quillon
