#pragma once
// One gateway to the rows of any table of the records (recordtables.h), in the
// file or on the server of a records session (recordssession.h). Every
// statement is made from the table's descriptor by the engine's dialect;
// nothing else in storage writes SQL for reading or changing a row.
//
// A store is one statement that writes only where the row still holds what
// the store checks for, and answers with the row as stored: one round trip
// to a server. Only when it matched no row does the gateway read the row
// again, to say that it is gone or what is in it now.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "recordbackend.h"
#include "recordtables.h"

namespace quillon {

class RecordsSession;

class Gateway {
 public:
  // What a store or a removal checks before it writes.
  enum class Check {
    Version,        // the row's version is still the one read
    FieldsWritten,  // each field written still holds what was read or what is meant
    AllFields,      // every field still holds what was read
    None,           // the row whatever it holds (the caller holds a transaction)
  };
  // What a store found.
  struct Outcome {
    std::optional<RowAsRead> stored;  // the row as stored now
    std::optional<RowAsRead> now;     // not stored: the row as it is now; none when it is gone
  };

  Gateway(std::shared_ptr<RecordsSession> session, const RecordTable& table);
  ~Gateway();

  const RecordTable& table() const { return table_; }
  RecordsSession& session() { return *session_; }
  bool onServer() const;

  // Rows come with their key, their version (0 where the table keeps none
  // here) and every field in table order, no value as a null string. With
  // `fields` named, only those and the key are read; the others hold no value.
  std::optional<RowAsRead> fetch(qint64 key);
  // The rows where every column named holds the text given (a null string:
  // no value); at most one row when `one`; in `order`.
  std::vector<RowAsRead> where(const QList<std::pair<QString, QString>>& equal, bool one = false,
                               const QStringList& order = {});
  // Whether a row holds nothing in `empty` (no value or an empty one) and
  // something in `filled`.
  bool anyWithout(const QString& empty, const QString& filled);
  // The rows of these soldiers (nine digits each) through the index by SSN
  // (ssnkey.h), in `order`.
  std::vector<RowAsRead> bySsn(const QStringList& ssnDigits, const QStringList& order,
                               const QStringList& fields = {});
  // The rows of these soldiers by SSN (as bySsn) or whose `column` holds one
  // of `values`, in one statement, each through its own index; in `order`.
  std::vector<RowAsRead> bySsnOr(const QStringList& ssnDigits, const QString& column, const QStringList& values,
                                 const QStringList& order, const QStringList& fields = {});
  // The rows with these keys, in `order`.
  std::vector<RowAsRead> byKeys(const QList<qint64>& keys, const QStringList& order);
  // Every row, in `order`.
  std::vector<RowAsRead> all(const QStringList& order, const QStringList& fields = {});
  // A row as it is read; false stops the reading.
  using RowSink = std::function<bool(const RowAsRead&)>;
  // Every row, in `order`, each handed over as it is read and none kept:
  // for reading a whole table of a division's size.
  void each(const QStringList& order, const QStringList& fields, const RowSink& row);
  // Of each value of `group` (not empty): the rows holding its latest date
  // in `date`, and those holding its latest date up to `upTo` among the rows
  // where `with` holds a value; with every row whose date is no date of a
  // real day written YYYY-MM-DD (the engine cannot place it). In `order`.
  // One pass over the table for the dates, then the index on `group` and
  // `date` for the rows.
  std::vector<RowAsRead> latestOfEach(const QString& group, const QString& date, const QString& with,
                                      const QString& upTo, const QStringList& order);
  // Of the rows read as `asRead`, those whose version moved since, as they
  // are now; a row deleted since is not among them. Versioned tables only.
  std::vector<RowAsRead> changedSince(const std::vector<RowAsRead>& asRead);

  // The rows a window follows: those with these keys, and those where one
  // of the `columns` holds one of its values exactly and every column named
  // in `equal` holds the text given (a row with no value in a column is no
  // one's by it). An index on each such column and then those of `equal`
  // serves it.
  struct Followed {
    QList<qint64> keys;
    QList<std::pair<QString, QStringList>> columns;
    QList<std::pair<QString, QString>> equal;
  };
  // What changed: the rows, and the mark to hand the next call.
  struct Changes {
    std::vector<RowAsRead> rows;
    qint64 mark = 0;
  };
  // In one statement (one round trip), the rows followed that were added
  // or changed since `mark` was given, through the table's change counter;
  // with mark 0, every row followed. A row may come again though it did not
  // change (a change still being made when the mark was given is looked for
  // again), so callers compare versions. Tables with a change counter only.
  Changes changedSince(const Followed& followed, qint64 mark);
  // Whether the records keep the table's change counter: a server set up
  // before it does not until its setup script runs again.
  bool keepsChanges();

  // Adds a row holding `values` (column name -> text, a null string as no
  // value); the key is the database's.
  RowAsRead add(const Record& values);
  // Puts a row back under its own key (one the database gave before).
  RowAsRead addWithKey(qint64 key, const Record& values);
  // Writes `changes` into the row read as `asRead` where `check` holds.
  Outcome store(const RowAsRead& asRead, const Record& changes, Check check);
  // Deletes the row read as `asRead` where `check` holds (FieldsWritten:
  // none). Outcome::stored is the row as it was.
  Outcome remove(const RowAsRead& asRead, Check check);
  // Deletes every row whose `column` holds `value`; how many there were.
  int removeWhere(const QString& column, const QString& value);
  // Writes `changes` into every row where each column named in `equal`
  // holds the text given; how many rows it wrote. For a table whose rows
  // are named by several columns (a group's members).
  int storeWhere(const QList<std::pair<QString, QString>>& equal, const Record& changes);

  // The table's columns as this database holds them, in its own order: a
  // file made by another version of the program may hold others.
  QStringList columnsHere();
  // The units whose rows the station may add and change, as the server
  // lists them (upper case, no outer spaces); none when it may write every
  // unit's (a file, a battalion clerk, an administrator, a server that
  // lists no units).
  std::optional<QStringList> unitsWritable();
  // What is wrong with the records file, as its engine's own check finds
  // it; empty when it is sound, and always on a server.
  QString damage();

  // A column written in `order` (a name, with " DESC" for the other way): by name as the engine's name order sorts
  // it (text without case, no value first), anything else by value.
  static QString byName(const QString& column) { return QStringLiteral("name:") + column; }

  class Dialect;

 private:
  QString selectList(const QStringList& fields = {}, bool qualified = true) const;
  QString orderBy(const QStringList& order) const;
  // A column named in an order, as a statement writes it.
  QString column(const QString& name) const;
  // `repeated`: a store, which a station sends over and over. `only`: the
  // columns a read of some fields looks at (columnsRead).
  std::vector<RowAsRead> run(const QString& sql, const QStringList& params, bool repeated = false,
                             const QList<int>& only = {});
  // The columns a read of `fields` (selectList) looks at, the key first;
  // none when every field is read.
  QList<int> columnsRead(const QStringList& fields) const;
  RowAsRead insert(std::optional<qint64> key, const Record& values);
  // The column's index, refusing a name that is not one.
  int columnOf(const QString& name) const;
  // The text of a store writing columns `written` (in table order) under
  // `check`, or of an add naming them (`check` none, `withKey` when the key
  // is the caller's): made once per shape, as a station sends the same
  // few over and over.
  const QString& storeText(const QList<int>& written, Check check);
  const QString& insertText(const QList<int>& named, bool withKey);

  std::shared_ptr<RecordsSession> session_;
  const RecordTable& table_;
  std::unique_ptr<Dialect> dialect_;
  std::optional<bool> keepsChanges_;
  // Made once from the table: each column as a statement names it, and
  // every column listed, qualified (t.) and bare (RETURNING).
  QStringList names_;
  QString everyColumn_, everyColumnBare_;
  // Each column's index by the descriptor's own spelling of its name, the
  // one callers use: a store names a dozen fields, and a walk down fifty
  // names compared without case for each is most of what a store costs
  // here. Other spellings are looked for the long way.
  QHash<QString, int> columnAt_;
  QHash<QString, QString> storeTexts_, insertTexts_;
};

}  // namespace quillon
