#pragma once
// Table info read only, in an order, for a report: the rows that meet a
// selection, handed over one at a time from any place in the order, from
// the folder's file or from its records server. Whoever asks never learns
// which: the choice is made here, as for the record store.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "roworder.h"

namespace quillon {

// A row test: the field's value, spaces around it ignored, is (or is not)
// exactly `value`.
struct RowFilter {
  QString field;  // a field of table info
  bool equal = true;
  QString value;
  bool matches(const QStringList& row) const;
  bool operator==(const RowFilter&) const = default;
};

// Rows handed over one at a time, every field in infoFieldNames() order.
class RowCursor {
 public:
  virtual ~RowCursor();
  // The next row, or null after the last; valid until the next call.
  // Throws DbError.
  virtual const QStringList* next() = 0;
  // Where the row last handed over stands in the order, for rowsAfter().
  virtual QByteArray position() const = 0;
};

// One read-only view of the records for as long as it lives: everything
// read through it sees the same rows, whatever other stations write in the
// meantime, so several walks over them agree on counts.
class OrderedRows {
 public:
  // The records of the folder of `dbPath` (its info.mdb, or the server its
  // info.pgconn names). Throws DbError with a message for the clerk that
  // names the file or the server.
  static std::unique_ptr<OrderedRows> open(const QString& dbPath);
  virtual ~OrderedRows();

  // The rows meeting all of `where`, in `order` and then in the order they
  // were entered, from the `first` (from 0) on. A cursor must not outlive
  // its view. Throws DbError.
  virtual std::unique_ptr<RowCursor> rows(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                          qint64 first = 0) = 0;
  // The same rows after the one at `after` (a cursor's position() over the
  // same selection and order), found by their place in the order rather
  // than by counting the rows before; an empty `after` is the start. At
  // most `limit` rows unless it is negative.
  virtual std::unique_ptr<RowCursor> rowsAfter(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                               const QByteArray& after, qint64 limit = -1) = 0;
  // Counting without sorting. The same rows in the order they were entered,
  // after the one at `after` (a position() of this cursor; empty: from the
  // first), at most `limit` unless negative; each row's position() is still
  // its place in `order`, as rowsAfter() takes it. Null where rows are not
  // reached by their number (the server, a table made by hand).
  virtual std::unique_ptr<RowCursor> enteredRows(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                                 const QByteArray& after, qint64 limit);
  // The rows at the positions `next` hands over one by one (null: no more),
  // each read by its number. A row no longer there, or no longer selected,
  // ends the cursor early; one moved in the order comes with its new
  // position(). Null where enteredRows() is.
  virtual std::unique_ptr<RowCursor> rowsAt(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                            std::function<const QByteArray*()> next);
  // Whether the row at position `a` comes before the one at `b` in the
  // order both were read in; positions of enteredRows() and rowsAfter()
  // cursors only.
  static bool before(QByteArrayView a, QByteArrayView b);

  // Every row of rows(where, order) in one walk.
  virtual void forEach(const QList<RowFilter>& where, const QList<RowOrder>& order,
                       const std::function<void(const QStringList&)>& each);
};

}  // namespace quillon
