#pragma once
// The engines behind a Gateway: what a statement writes differently on a
// records file and on a records server, and how each runs it. Only the
// gateway includes this.

#include <memory>

#include "gateway.h"
#include "recordssession.h"

namespace quillon {

// What differs between the engines: how a statement names its parameters,
// reads a field as text, takes a list, orders names, keeps row versions,
// and runs.
class Gateway::Dialect {
 public:
  virtual ~Dialect() = default;
  virtual QString param(int n) const = 0;
  // Parameter `n` compared with a key: a number, whatever the key column's
  // declared kind in a table made by hand.
  virtual QString keyParam(int n) const = 0;
  // A column's name as a statement writes it: a records file may hold a
  // column made by hand whose name is no plain word.
  virtual QString name(const QString& column) const = 0;
  // The column as text, no value read as empty, compared byte for byte.
  virtual QString asText(const QString& column) const = 0;
  // `expr` is one of the items of list parameter `n` (listParam).
  virtual QString oneOf(const QString& expr, int n, bool numbers) const = 0;
  virtual QString listParam(const QStringList& items) const = 0;
  virtual QString ssnKey(const QString& column) const = 0;
  virtual QString nameOrder(const QString& column) const = 0;
  // True where `column` holds a date of a real day written YYYY-MM-DD, the
  // years 1000 to 9999 (where text order is date order), false elsewhere.
  virtual QString plainDate(const QString& column) const = 0;
  // What an UPDATE sets besides the fields so that the version moves; the
  // server's trigger moves it by itself.
  virtual QString versionBump() const = 0;
  // What an INSERT says to give a row a key of the caller's.
  virtual QString overridingKey() const = 0;
  // The change counter's mark as a statement reads it (`counter`: the
  // table of changes), and the test that a change came after mark `n`.
  virtual QString markNow(const QString& counter) const = 0;
  virtual QString changedAfter(const QString& change, int n) const = 0;
  // Whether a table of that name is there to read.
  virtual bool hasTable(const QString& name) = 0;
  // Rows of the table's columns, then the version when `versioned`. With
  // `mark`, each row ends with a mark read into it, and a row without key
  // stands for none (a mark with no rows). `repeated`: a statement a station
  // sends over and over (a store), worth keeping ready on a server.
  // With `only`, the statement reads no other column (the key among them)
  // and the row's others hold no value.
  virtual std::vector<RowAsRead> run(const QString& sql, const QStringList& params, int columns, bool versioned,
                                     qint64* mark = nullptr, bool repeated = false, const QList<int>& only = {}) = 0;
  // The same rows, each handed to `row` as it is read until it answers
  // false. The row handed is the same one each time, refilled: a field the
  // callee keeps is its own copy.
  virtual void each(const QString& sql, const QStringList& params, int columns, bool versioned, qint64* mark,
                    bool repeated, const QList<int>& only, const Gateway::RowSink& row) = 0;
};

// What a records file must hold before `table` is read from it.
RecordsSession::Needs needsOf(const RecordTable& table);

// The dialect of `session` for `table`.
std::unique_ptr<Gateway::Dialect> makeDialect(RecordsSession& session, const RecordTable& table);

}  // namespace quillon
