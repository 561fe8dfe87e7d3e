#pragma once
// The records on a records server (pgstore.h), as a record store backend.
// The row source is always the server's own name order over every field;
// the key is the ID, and every row carries the server's version of it.

#include <memory>

#include "pgstore.h"
#include "recordbackend.h"

namespace quillon {

class PgBackend : public RecordBackend {
 public:
  // `connFile`: the folder's connection file, read at open. Use fromConnInfo
  // for a connection string at hand.
  explicit PgBackend(const QString& connFile);
  static std::unique_ptr<PgBackend> fromConnInfo(const QString& conninfo);
  // The server of the folder of `dbPath`, through the folder's records
  // session: one connection with every other user of these records.
  static std::unique_ptr<PgBackend> forFolder(const QString& dbPath);

  void open() override;
  void close() override;
  // Open from the first open to close: a connection lost in between fails
  // the call that met it, and the next call connects again.
  bool isOpen() const override { return store_ != nullptr; }
  QString describe() const override;

  void readRows(const QString& source, RowArena& into) override;
  std::optional<RowAsRead> fetch(qint64 key) override;
  RowAsRead store(const RowAsRead& asRead, const QHash<int, QString>& changes, bool exact) override;
  RowAsRead add(const QHash<int, QString>& values) override;
  RowAsRead restore(qint64 key, const Record& record) override;
  std::optional<RowAsRead> remove(qint64 key) override;
  void forEachRow(const QList<RowOrder>& order, const std::function<bool(const QStringList&)>& row) override;
  std::vector<QStringList> rowsOfSoldier(const QString& ssnDigits) override;

  // The connection while open (tests and benches look at it), else null.
  pg::Connection* connection() { return store_ ? &store_->connection() : nullptr; }

 private:
  PgBackend() = default;
  pg::PgStore& server();
  static RowAsRead asRow(const pg::PgRecord& r);
  QHash<QString, QString> byName(const QHash<int, QString>& changes) const;

  QString connFile_;
  QString conninfo_;
  QString dbPath_;
  std::unique_ptr<pg::PgStore> store_;
};

}  // namespace quillon
