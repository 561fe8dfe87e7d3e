#pragma once
// RecordStore: the current-row cursor over the test records (Data1 of the
// main window). It runs the row source query over info.mdb, keeps the rows
// it returned in memory in query order, and writes every change straight to
// the database by the row's ID. Rows added since the last re-query sit at
// the end, where MoveLast finds them.
//
// Built on the sqlite3 C API rather than QtSql: the file must be opened
// read-write without ever being created (QtSql's driver always adds the
// create flag), and every failure must carry the engine's own message.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "dbfile.h"

struct sqlite3;

namespace quillon {

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
  qint64 rowId(int row) const { return rows_.at(static_cast<size_t>(row)).id; }
  // Current index of the row with this ID, or -1 (deleted / never read).
  int indexOfId(qint64 id) const;
  // Writes fields of the row with this ID (column -> text). Nothing is
  // written when `values` is empty. Throws DbError (also when the row is gone).
  void updateById(qint64 id, const QHash<int, QString>& values);
  // Adds a row holding `values` at the end; returns its index.
  int insertRow(const QHash<int, QString>& values);
  // Deletes a row by index; the current row keeps pointing at the same
  // record, or at the row that followed a deleted current row.
  void removeRow(int row);

 Q_SIGNALS:
  void aboutToReset();
  void resetDone();
  void rowAboutToBeInserted(int row);
  void rowInserted(int row);
  void rowAboutToBeRemoved(int row);
  void rowRemoved(int row);
  void rowChanged(int row);

 private:
  enum class Mode { None, Edit, Add };
  // A row as the query returned it lives in arena_ (its fields' UTF-8 text
  // back to back, bounded by offsets_ from `first` on) and is decoded only
  // when a field is read, so a re-query costs little more than the engine's
  // own work. A row written or added since holds its fields in `own`.
  struct Row {
    qint64 id = 0;
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

  sqlite3* db_ = nullptr;
  QString openPath_;
  QString path_;
  QString source_ = QStringLiteral("info");
  QStringList names_;
  int idColumn_ = -1;
  std::vector<Row> rows_;
  QByteArray arena_;
  std::vector<quint32> offsets_;
  int cur_ = -1;
  bool onDeleted_ = false;
  Mode mode_ = Mode::None;
  QHash<int, QString> pending_;
};

}  // namespace quillon
