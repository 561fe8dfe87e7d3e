#pragma once
// The report engine's way to the records: the rows of table info, selected
// and ordered by the storage layer, handed over one at a time so a report
// never holds more of them than it is working on.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "report.h"

namespace quillon {

class OrderedRows;
struct RowOrder;
struct RowFilter;

// The storage layer's form of a report's order and selection.
QList<RowOrder> storageOrder(const QList<SortKey>& order);
QList<RowFilter> storageFilter(const QList<Condition>& select);

// A read-only view of the records of the folder of `dbPath`. Every pass
// made while it lives sees the same rows, whatever other programs write in
// the meantime, so the passes of one printing agree on counts and pages.
class InfoRowReader {
 public:
  // Throws ReportError naming the file (or the server) when the records
  // cannot be read.
  explicit InfoRowReader(const QString& dbPath);
  ~InfoRowReader();
  InfoRowReader(const InfoRowReader&) = delete;
  InfoRowReader& operator=(const InfoRowReader&) = delete;

  // Calls `each` for every row meeting all of `select`, in `order` (then the
  // order of entry). The row is reused between calls. Throws ReportError.
  void forEach(const QList<Condition>& select, const QList<SortKey>& order,
               const std::function<void(const ReportRow&)>& each);
  // The same rows stepped one at a time, from the `first` (from 0) on. The
  // cursor must not outlive the reader. Throws ReportError.
  std::unique_ptr<ReportRowCursor> rows(const QList<Condition>& select, const QList<SortKey>& order, qint64 first = 0);
  // The same rows after the one a cursor of this reader stood on
  // (ReportRowCursor::position()), at most `limit` of them unless negative.
  std::unique_ptr<ReportRowCursor> rowsAfter(const QList<Condition>& select, const QList<SortKey>& order,
                                             const QByteArray& after, qint64 limit = -1);
  // Every row after that one, read a slice at a time, each slice found by
  // its place in the order: a page far into the report is read without the
  // engine sorting all the rows before it.
  std::unique_ptr<ReportRowCursor> rowsFrom(const QList<Condition>& select, const QList<SortKey>& order,
                                            const QByteArray& after);
  // Counting without sorting (see OrderedRows::enteredRows and rowsAt);
  // null where the rows are not reached by their number.
  std::unique_ptr<ReportRowCursor> enteredRows(const QList<Condition>& select, const QList<SortKey>& order,
                                               const QByteArray& after, qint64 limit);
  std::unique_ptr<ReportRowCursor> rowsAt(const QList<Condition>& select, const QList<SortKey>& order,
                                          std::function<const QByteArray*()> next);

 private:
  std::unique_ptr<OrderedRows> rows_;
};

}  // namespace quillon
