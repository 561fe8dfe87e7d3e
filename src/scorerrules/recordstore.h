#pragma once
// RecordStore: the current-row cursor over the test records (Data1 of the
// main window). It runs the row source query over the records, keeps the
// rows it returned in memory in query order, and writes every change
// straight to the database. Rows added since the last re-query sit at the
// end, where MoveLast finds them.
//
// Where the records are is the backend's business (recordbackend.h): the
// folder's info.mdb, or the records server its info.pgconn names. A row is
// addressed by the backend's key. A store of a row that another station
// changed since it was read writes nothing and throws ConflictError; the
// caller then keeps theirs (keepTheirs) or stores its own over them
// (storeOurs).

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "recordbackend.h"
#include "rowarena.h"

namespace quillon {

class RecordStore : public QObject {
  Q_OBJECT

 public:
  static QString rowSourceQuery() { return QStringLiteral("SELECT * FROM info ORDER BY LName Asc"); }

  explicit RecordStore(QObject* parent = nullptr);
  ~RecordStore() override;

  // Works on these records from now on, wherever the database name points
  // (tests, tools). Closes what was open.
  void setBackend(std::unique_ptr<RecordBackend> backend);
  // Which records are open, for the status bar; empty when none.
  QString describe() const;

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
  bool isOpen() const { return backend_ && backend_->isOpen(); }

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
  int rowCount() const { return rows_.rowCount(); }
  const QStringList& fieldNames() const { return rows_.fieldNames(); }
  // Column of `name` in the query result, case ignored; -1 when absent.
  int fieldIndex(const QString& name) const;
  QString value(int row, int column) const;
  qint64 rowKey(int row) const { return rows_.key(row); }
  // Current index of the row with this key, or -1 (deleted / never read).
  int indexOfKey(qint64 key) const;
  // Writes fields of the row with this key (column -> text). Nothing is
  // written when `values` is empty. Throws DbError (also when the row is
  // gone), ConflictError when another station changed the row since.
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

  // ---- after a ConflictError ----
  // The clerk keeps the other station's row: it becomes the row as read.
  void keepTheirs(const StoreConflict& conflict);
  // The clerk stores `values` (column -> text) over the other station's
  // row; their changes to other fields stay. Throws ConflictError again
  // when yet another change came in between.
  void storeOurs(const StoreConflict& conflict, const QHash<int, QString>& values);

 Q_SIGNALS:
  void aboutToReset();
  void resetDone();
  void rowAboutToBeInserted(int row);
  void rowInserted(int row);
  void rowAboutToBeRemoved(int row);
  void rowRemoved(int row);
  void rowChanged(int row);
  // Records were opened; `description` says which (for the status bar).
  void opened(const QString& description);
  // A write changed these fields of the row with this key (each side holds
  // only the fields whose stored text changed).
  void recordStored(qint64 key, const quillon::Record& before, const quillon::Record& after);
  // The row with this key was deleted; `record` is every field it held.
  void recordDeleted(qint64 key, const quillon::Record& record);

 private:
  enum class Mode { None, Edit, Add };
  // Drops the rows, the cursor and any edit under way.
  void resetCursor();
  void open();
  void requireOpen() const;
  void requireCurrent() const;
  int requireField(const QString& name) const;
  RowAsRead asRead(int row) const;
  // Puts a row as stored into the rows (if it is among them) and tells.
  void takeStored(const RowAsRead& stored);
  // The write behind updateByKey, writeFields and storeOurs; `exact` stores
  // a null string as no value rather than as empty text.
  void write(const RowAsRead& was, const QHash<int, QString>& values, bool exact);
  int append(const RowAsRead& stored);
  Record recordOf(const QStringList& fields) const;
  QString deletedText(qint64 key) const;

  std::unique_ptr<RecordBackend> backend_;
  bool fixedBackend_ = false;
  bool onServer_ = false;
  QString openPath_;
  QString path_;
  QString source_ = QStringLiteral("info");
  int idColumn_ = -1;
  RowArena rows_;
  int cur_ = -1;
  bool onDeleted_ = false;
  Mode mode_ = Mode::None;
  QHash<int, QString> pending_;

  // ---- many records in one transaction (imports, and taking one back) ----
 public:
  using BatchOp = quillon::BatchOp;
  using BatchChange = quillon::BatchChange;
  using BatchProgress = quillon::BatchProgress;
  // Runs every operation in one transaction. Cancelled: nothing is stored
  // and none is returned. Any failure rolls everything back and throws
  // DbError. The rows shown follow (added rows at the end); no
  // recordStored / recordDeleted is emitted: the caller keeps the history.
  std::optional<QList<BatchChange>> applyBatch(const QList<BatchOp>& ops, const BatchProgress& progress = {});
};

}  // namespace quillon
