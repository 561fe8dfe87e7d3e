#pragma once
// The records in a folder's own file, info.mdb, through SQLite.
//
// A row is addressed by the engine's row number, not by ID: in a table made
// by hand an ID may occur twice, and an update or a deletion must still
// touch exactly one row. Where the row source offers no row number the ID
// serves as the key.
//
// Several scorers may have one file open. The file keeps no row versions, so
// a store compares the row as this scorer read it with what the file holds,
// inside the write transaction: any field that differs is another scorer's
// change, and nothing is written over it.
//
// Built on the sqlite3 C API rather than QtSql: the file must be opened
// read-write without ever being created (QtSql's driver always adds the
// create flag), and every failure must carry the engine's own message.

#include "recordbackend.h"
#include "rowarena.h"
#include "sqlitedb.h"

#include <memory>

namespace quillon {

class RecordsSession;

class SqliteBackend : public RecordBackend {
 public:
  explicit SqliteBackend(const QString& path) : path_(path) {}

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
  std::vector<QStringList> rowsOfSoldier(const QString& ssnDigits) override;
  std::optional<QList<BatchChange>> applyBatch(const QList<BatchOp>& ops, const BatchProgress& progress) override;

 private:
  void requireOpen() const;
  QString keyTest() const;
  // A row source this backend reads unordered and sorts itself.
  struct SortHere {
    QString table, field;
    RowArena::Collation collation = RowArena::Collation::Binary;
    bool descending = false;
  };
  std::optional<SortHere> sortableHere(const QString& source) const;
  // The integer a PRAGMA without argument gives.
  qint64 pragmaValue(const char* name) const;
  // The row with this key, its fields in the row source's column order.
  std::optional<RowAsRead> read(qint64 key);
  QString columnList(const QList<int>& cols) const;
  // The row with this key as a record (every field by name); none when gone.
  std::optional<Record> record(qint64 key);

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
};

}  // namespace quillon
