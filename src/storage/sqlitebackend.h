#pragma once
// The records in a folder's own file, info.mdb, through SQLite.
//
// A row is addressed by the engine's row number, not by ID: in a table made
// by hand an ID may occur twice, and an update or a deletion must still
// touch exactly one row. Where the row source offers no row number the ID
// serves as the key.
//
// Several scorers may have one file open. The file keeps no row versions, so
// a store writes only where the row still holds every field as this scorer
// read it; a field that differs is another scorer's change, and nothing is
// written over it. Rows are read and written through the gateway
// (gateway.h), over table info as this file holds it (infoTableOfFile).
//
// Built on the sqlite3 C API rather than QtSql: the file must be opened
// read-write without ever being created (QtSql's driver always adds the
// create flag), and every failure must carry the engine's own message.

#include "recordbackend.h"
#include "recordtables.h"
#include "rowarena.h"
#include "sqlitedb.h"

#include <memory>

namespace quillon {

class Gateway;
class RecordsSession;

class SqliteBackend : public RecordBackend {
 public:
  explicit SqliteBackend(const QString& path);
  ~SqliteBackend() override;

  void open() override;
  void close() override;
  bool isOpen() const override { return db_ != nullptr; }
  QString describe() const override;

  void readRows(const QString& source, RowArena& into) override;
  std::optional<RowAsRead> fetch(qint64 key) override;
  RowAsRead store(const RowAsRead& asRead, const QHash<int, QString>& changes, bool exact) override;
  RowAsRead add(const QHash<int, QString>& values) override;
  RowAsRead restore(qint64 key, const Record& record) override;
  std::optional<RowAsRead> remove(qint64 key) override;
  void forEachRow(const QList<RowOrder>& order, const std::function<bool(const QStringList&)>& row) override;
  void forEachRowOf(const QStringList& fields, const std::function<bool(const QStringList&)>& row) override;
  std::vector<QStringList> rowsOfSoldier(const QString& ssnDigits) override;
  std::optional<QList<BatchChange>> applyBatch(const QList<BatchOp>& ops, const BatchProgress& progress) override;

 private:
  void requireOpen() const;
  // What orders the records by ID alone.
  QString idOrderSql() const;
  // The gateway over table info as the last row source shows it, made at
  // its first use after readRows.
  Gateway& rows();
  void forgetTable();
  // A row of the gateway's as the row source shows it, and back.
  RowAsRead shown(RowAsRead inTable) const;
  RowAsRead inTable(const RowAsRead& shown) const;
  // Changes by the row source's column as the gateway takes them; refuses
  // ID and what is no column. Unless `exact`, no value is stored as empty text.
  Record named(const QHash<int, QString>& changes, bool exact);
  // A row source this backend reads unordered and sorts itself.
  struct SortHere {
    QString table, field;
    RowArena::Collation collation = RowArena::Collation::Binary;
    bool descending = false;
  };
  std::optional<SortHere> sortableHere(const QString& source) const;
  // The integer a PRAGMA without argument gives.
  qint64 pragmaValue(const char* name) const;

  QString path_;
  // The folder's records session, and its file while this backend is open.
  std::shared_ptr<RecordsSession> session_;
  sqlite::Database* db_ = nullptr;
  // True when the row source carries the engine's row number as its hidden
  // first column (the key); false when the ID is the key.
  bool rowidKey_ = false;
  // A key deleted in this run is never given to a new row, so a deletion
  // can always be taken back under the record's own key.
  qint64 highestDeletedKey_ = 0;
  std::unique_ptr<RecordTable> table_;
  std::unique_ptr<Gateway> rows_;  // over *table_, so declared after it
  QList<int> inTable_;             // for each of columns_, its column in *table_ or -1
};

}  // namespace quillon
