#pragma once
// Where the test records live, as the record store, the reports and the
// tools need it: a records file on this machine (SqliteBackend) or a table on
// a records server that several stations share (PgBackend). Nothing of either
// engine shows through.
//
// A row is addressed by its key: in the file the engine's own row number, on
// the server the ID. Every store of a row names the row as it was read (its
// fields, and on the server its version); a row another station changed
// since is never written over unseen (StoreConflict).

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "dbfile.h"
#include "roworder.h"

namespace quillon {

class RowArena;

// A whole record or some of its fields, by field name; a null string is
// a field the database holds no value in.
using Record = QHash<QString, QString>;

// A row as this station read it: key, version (0 where the engine keeps
// none) and every field in the row source's column order.
struct RowAsRead {
  qint64 key = 0;
  qint64 version = 0;
  QStringList fields;
};

// A field another station changed since this one read the row.
struct FieldClash {
  QString field;     // the row source's name of the field
  QString theirs;    // stored now
  QString asRead;    // what this station read
  QString ours;      // what this station meant to store (asRead when it left the field alone)
  bool changedByUs;  // this station changed the field too
};

// What a store found instead of the row it read: nothing was written.
struct StoreConflict {
  qint64 key = 0;
  RowAsRead theirs;  // the row as stored now, to read again or store over
  QList<FieldClash> clashes;
};

// A store refused because another station changed the row first.
class ConflictError : public DbError {
 public:
  explicit ConflictError(StoreConflict c);
  const StoreConflict& conflict() const { return c_; }

 private:
  StoreConflict c_;
};

// Some fields of one record by name, as a plain list: a batch holds one for
// each of many thousand rows, and a hash each (room for dozens of fields
// however few it holds) cost more than storing the rows. Names are matched
// as given.
class FieldValues {
 public:
  struct Field {
    QString name;
    QString value;
  };
  FieldValues() = default;
  explicit FieldValues(const Record& r);
  // Sets the field, or adds it at the end.
  void insert(const QString& name, const QString& value);
  // Adds a field the caller knows is not here yet: a batch builds many
  // thousand records whose names are distinct by construction, and looking
  // each name up first cost as much as adding it.
  void append(const QString& name, const QString& value) { fields_.append({name, value}); }
  // The field's value; a null string when it is not here.
  QString value(const QString& name) const;
  const Field* find(const QString& name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
  bool isEmpty() const { return fields_.isEmpty(); }
  qsizetype size() const { return fields_.size(); }
  void reserve(qsizetype n) { fields_.reserve(n); }
  QList<Field>::const_iterator begin() const { return fields_.cbegin(); }
  QList<Field>::const_iterator end() const { return fields_.cend(); }
  Record toRecord() const;

 private:
  QList<Field> fields_;
};

// One change of a batch run in one transaction.
struct BatchOp {
  enum Kind { Insert, Update, Delete } kind = Insert;
  // Update, Delete: the row's key. Insert: the key to store the row under,
  // or 0 for the next free one.
  qint64 key = 0;
  // Insert, Update: the fields written, a null string as no value.
  FieldValues fields;
};
// What one operation did: the whole record before and after (none: no such
// record); for an update only the fields whose stored text changed. A
// record an insert added holds only its fields that have a value: every
// field it leaves out has none.
struct BatchChange {
  qint64 key = 0;
  std::optional<FieldValues> before;
  std::optional<FieldValues> after;
};
// Called now and then with the number of operations done; false cancels.
using BatchProgress = std::function<bool(int done, int total)>;

class RecordBackend {
 public:
  virtual ~RecordBackend();

  // The backend of the records at `dbPath` (a folder's info.mdb): the
  // server named by the connection file beside it when there is one, else
  // the file itself. Opens nothing.
  static std::unique_ptr<RecordBackend> forDatabase(const QString& dbPath);

  // Throws DbError with the engine's message (the server named, never a
  // password).
  virtual void open() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Which records are open, for the status bar: the file's path, or the
  // server and database (never the password).
  virtual QString describe() const = 0;

  // Runs the row source (a table name or a SELECT over info), filling
  // `into` with the field names and the rows, each with its key.
  virtual void readRows(const QString& source, RowArena& into) = 0;
  // The record with this key as held now (every field by name); none when
  // no such row exists.
  virtual std::optional<RowAsRead> fetch(qint64 key) = 0;
  // Writes `changes` (column -> text) into the row read as `asRead`, unless
  // another station changed it since (ConflictError) or deleted it (DbError
  // naming the deletion). `exact` stores a null string as no value. Returns
  // the row as stored now.
  virtual RowAsRead store(const RowAsRead& asRead, const QHash<int, QString>& changes, bool exact) = 0;
  // Adds a row holding `values` (column -> text); returns it as stored.
  virtual RowAsRead add(const QHash<int, QString>& values) = 0;
  // Puts a deleted record back under its own key; returns it as stored.
  virtual RowAsRead restore(qint64 key, const Record& record) = 0;
  // Deletes the row with this key; what it held when it was there.
  virtual std::optional<RowAsRead> remove(qint64 key) = 0;

  // Runs every operation in one transaction: all are stored, or none (a
  // failure throws DbError, a cancel returns none).
  virtual std::optional<QList<BatchChange>> applyBatch(const QList<BatchOp>& ops, const BatchProgress& progress);

  // Every record of table info, each field in infoFieldNames() order, in
  // `order` and then by ID; `row` returning false stops the walk.
  virtual void forEachRow(const QList<RowOrder>& order, const std::function<bool(const QStringList&)>& row) = 0;
  // Of every record of table info only `fields` (names of infoFieldNames(),
  // case ignored), in that order, the records by ID; `row` returning false
  // stops the walk. A name of no field throws DbError.
  virtual void forEachRowOf(const QStringList& fields, const std::function<bool(const QStringList&)>& row);

  // The records of table info of one soldier (`ssnDigits`, nine digits),
  // found through the index by SSN: rows of an SSN written another way may
  // come along (ssnkey.h). Each field in infoFieldNames() order, in no
  // order promised (the reader puts them in its own). Throws DbError.
  virtual std::vector<QStringList> rowsOfSoldier(const QString& ssnDigits) = 0;

  // Column names of the last readRows, in order.
  const QStringList& columns() const { return columns_; }
  // The row source's column of `name`, case ignored; -1 when absent.
  int column(const QString& name) const;

 protected:
  QStringList columns_;
};

// The places in infoFieldNames() of `fields` (infoFieldIndex); a name of no
// field throws DbError.
QList<int> infoFieldPlaces(const QStringList& fields);

// The fields in `now` that differ from `asRead`, with what was meant for them.
QList<FieldClash> clashesOf(const QStringList& names, const QStringList& asRead, const QStringList& now,
                            const QHash<int, QString>& changes);

// The message of a row deleted elsewhere.
QString deletedMessage(const QString& id);

}  // namespace quillon
