#pragma once
// RecordStore: the current-row cursor over the test records (Data1 of the
// main window). It runs the row source query over info.mdb, keeps the rows
// it returned in memory in query order, and writes every change straight to
// the database. Rows added since the last re-query sit at the end, where
// MoveLast finds them.
//
// A row is addressed by its key, the engine's own row number, not by ID:
// in a table edited by hand an ID may occur twice, and an update or a
// deletion must still touch exactly one row. Where the row source offers no
// row number the ID serves as the key.
//
// Built on the sqlite3 C API rather than QtSql: the file must be opened
// read-write without ever being created (QtSql's driver always adds the
// create flag), and every failure must carry the engine's own message.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "dbfile.h"

struct sqlite3;

namespace quillon {

// A whole record or some of its fields, by field name; a null string is
// a field the database holds no value in.
using Record = QHash<QString, QString>;

class RecordStore : public QObject {
  Q_OBJECT

 public:
  static QString rowSourceQuery() { return QStringLiteral("SELECT * FROM info ORDER BY LName Asc"); }

  explicit RecordStore(QObject* parent = nullptr);
  ~RecordStore() override;

  // Where the records are and what to read. Neither opens anything.
  void setDatabaseName(const QString& path);
  QString databaseName() const { return path_; }
  void setRecordSource(const QString& sql) { source_ = sql; }
  QString recordSource() const { return source_; }

  // Opens the file if needed (it must exist) and runs the row source; the
  // first row becomes current. Throws DbError with the engine's message;
  // the store is then closed and holds no rows.
  void refresh();
  void close();
  bool isOpen() const { return db_ != nullptr; }

  // ---- cursor ----
  // True when there is no current row.
  bool eof() const;
  // Index of the current row in rows(), or -1.
  int currentRow() const;
  // Makes row `row` current (-1: none). Drops an unfinished Edit/AddNew.
  void moveTo(int row);
  void moveNext();
  void moveLast();

  // Edit buffer: Edit (current row) or AddNew (new row), then Update.
  void edit();
  void addNew();
  void setField(const QString& name, const QString& value);
  void update();
  void cancelUpdate();
  bool editing() const { return mode_ != Mode::None; }
  // Deletes the current row. The position stays where the row was, so the
  // following MoveNext reaches the row after it.
  void deleteCurrent();

  // Field of the current row by name (case ignored); the edit buffer's
  // value when one is pending.
  QString field(const QString& name) const;

  // ---- row access (grid, binding) ----
  int rowCount() const { return static_cast<int>(rows_.size()); }
  const QStringList& fieldNames() const { return names_; }
  // Column of `name` in the query result, case ignored; -1 when absent.
  int fieldIndex(const QString& name) const;
  QString value(int row, int column) const;
  qint64 rowKey(int row) const { return rows_.at(static_cast<size_t>(row)).key; }
  // Current index of the row with this key, or -1 (deleted / never read).
  int indexOfKey(qint64 key) const;
  // Writes fields of the row with this key (column -> text). Nothing is
  // written when `values` is empty. Throws DbError (also when the row is gone).
  void updateByKey(qint64 key, const QHash<int, QString>& values);
  // Adds a row holding `values` at the end; returns its index.
  int insertRow(const QHash<int, QString>& values);
  // Deletes a row by index; the current row keeps pointing at the same
  // record, or at the row that followed a deleted current row.
  void removeRow(int row);

  // ---- whole records, read from and written to the file itself ----
  // The record with this key as the database holds it now; none when no
  // such row exists. Throws DbError.
  std::optional<Record> storedRecord(qint64 key) const;
  // Writes these fields of the row with this key, a null string as no value.
  void writeFields(qint64 key, const Record& fields);
  // Puts a deleted record back under its own key, every field as it was;
  // it joins the rows at the end. Throws DbError when the key is taken.
  void restoreRecord(qint64 key, const Record& record);
  // Deletes the row with this key, whether or not the query returned it.
  void deleteByKey(qint64 key);

 Q_SIGNALS:
  void aboutToReset();
  void resetDone();
  void rowAboutToBeInserted(int row);
  void rowInserted(int row);
  void rowAboutToBeRemoved(int row);
  void rowRemoved(int row);
  void rowChanged(int row);
  // A write changed these fields of the row with this key (each side holds
  // only the fields whose stored text changed).
  void recordStored(qint64 key, const quillon::Record& before, const quillon::Record& after);
  // The row with this key was deleted; `record` is every field it held.
  void recordDeleted(qint64 key, const quillon::Record& record);

 private:
  enum class Mode { None, Edit, Add };
  // A row as the query returned it lives in arena_ (its fields' UTF-8 text
  // back to back, bounded by offsets_ from `first` on) and is decoded only
  // when a field is read, so a re-query costs little more than the engine's
  // own work. A row written or added since holds its fields in `own`.
  struct Row {
    qint64 key = 0;
    size_t first = 0;
    std::unique_ptr<std::vector<QString>> own;
  };
  std::vector<QString>& ownFields(Row& r);
  void clearRows();
  // Drops the rows, the cursor and any edit under way.
  void resetCursor();
  // Closes the connection; the next refresh opens the file again.
  void closeConnection();

  void open();
  void requireOpen() const;
  void requireCurrent() const;
  [[noreturn]] void fail(const QString& what = QString()) const;
  int requireField(const QString& name) const;
  qint64 insertValues(const QHash<int, QString>& values);
  // The UPDATE behind updateByKey and writeFields; `exact` stores a null
  // string as no value rather than as empty text.
  void write(qint64 key, const QHash<int, QString>& values, bool exact);
  // Appends a row read back from the file (what the database filled in too).
  int appendStored(qint64 key);
  std::optional<Record> readRecord(qint64 key) const;
  // Deletes the row with this key from the file; what it held, if it was there.
  std::optional<Record> deleteStored(qint64 key);
  QString keyTest() const;
  QString deletedText(qint64 key) const;

  sqlite3* db_ = nullptr;
  QString openPath_;
  QString path_;
  QString source_ = QStringLiteral("info");
  QStringList names_;
  int idColumn_ = -1;
  // True when the row source carries the engine's row number as its hidden
  // first column (the key); false when the ID is the key.
  bool rowidKey_ = false;
  // A key deleted in this run is never given to a new row, so a deletion
  // can always be taken back under the record's own key.
  qint64 highestDeletedKey_ = 0;
  std::vector<Row> rows_;
  QByteArray arena_;
  std::vector<quint32> offsets_;
  int cur_ = -1;
  bool onDeleted_ = false;
  Mode mode_ = Mode::None;
  QHash<int, QString> pending_;

  // ---- many records in one transaction (imports, and taking one back) ----
 public:
  struct BatchOp {
    enum Kind { Insert, Update, Delete } kind = Insert;
    // Update, Delete: the row's key. Insert: the key to store the row under,
    // or 0 for the next free one.
    qint64 key = 0;
    // Insert, Update: the fields written, a null string as no value.
    Record fields;
  };
  // What one operation did: the whole record before and after (none: no such
  // record); for an update only the fields whose stored text changed.
  struct BatchChange {
    qint64 key = 0;
    std::optional<Record> before;
    std::optional<Record> after;
  };
  // Called now and then with the number of operations done; false cancels.
  using BatchProgress = std::function<bool(int done, int total)>;
  // Runs every operation in one transaction. Cancelled: nothing is stored
  // and none is returned. Any failure rolls everything back and throws
  // DbError. The rows shown follow (added rows at the end); no
  // recordStored / recordDeleted is emitted: the caller keeps the history.
  std::optional<QList<BatchChange>> applyBatch(const QList<BatchOp>& ops, const BatchProgress& progress = {});
};

}  // namespace quillon
