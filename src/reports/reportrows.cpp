#include "reportrows.h"

#include <algorithm>

#include "orderedrows.h"

namespace quillon {

QList<RowOrder> storageOrder(const QList<SortKey>& order) {
  QList<RowOrder> by;
  for (const SortKey& k : order) by << RowOrder{k.field, k.descending, fieldKind(k.field)};
  return by;
}

QList<RowFilter> storageFilter(const QList<Condition>& select) {
  QList<RowFilter> where;
  for (const Condition& c : select) where << RowFilter{c.field, c.equal, c.value};
  return where;
}

namespace {

class Cursor : public ReportRowCursor {
 public:
  explicit Cursor(std::unique_ptr<RowCursor> c) : c_(std::move(c)) {}
  const ReportRow* next() override {
    return c_->next();
  }
  QByteArray position() const override { return c_->position(); }

 private:
  std::unique_ptr<RowCursor> c_;
};

// Slices that grow: the first is about a screenful of pages, so a jump
// reads little; paging on from there reads ever larger ones.
class Slices : public ReportRowCursor {
 public:
  Slices(OrderedRows& rows, QList<RowFilter> where, QList<RowOrder> order, QByteArray after)
      : rows_(rows), where_(std::move(where)), order_(std::move(order)), after_(std::move(after)) {}
  const ReportRow* next() override {
    for (;;) {
      if (!slice_) {
        slice_ = rows_.rowsAfter(where_, order_, after_, size_);
        read_ = 0;
      }
      if (const ReportRow* r = slice_->next()) {
        // The next slice goes on after the last row of this one.
        if (++read_ == size_) after_ = slice_->position();
        return r;
      }
      // A slice short of its size was the last one.
      if (read_ < size_) return nullptr;
      slice_.reset();
      size_ = std::min<qint64>(size_ * 4, kLargest);
    }
  }
  QByteArray position() const override { return slice_ && read_ < size_ ? slice_->position() : after_; }

 private:
  static constexpr qint64 kLargest = 65536;
  OrderedRows& rows_;
  QList<RowFilter> where_;
  QList<RowOrder> order_;
  QByteArray after_;
  std::unique_ptr<RowCursor> slice_;
  qint64 size_ = 400;
  qint64 read_ = 0;
};

}  // namespace

// The storage layer's failures are the report's (ReportError): their
// messages already name the file or the server.
InfoRowReader::InfoRowReader(const QString& dbPath) : rows_(OrderedRows::open(dbPath)) {}

InfoRowReader::~InfoRowReader() = default;

void InfoRowReader::forEach(const QList<Condition>& select, const QList<SortKey>& order,
                            const std::function<void(const ReportRow&)>& each) {
  rows_->forEach(storageFilter(select), storageOrder(order), each);
}

std::unique_ptr<ReportRowCursor> InfoRowReader::rows(const QList<Condition>& select, const QList<SortKey>& order,
                                                      qint64 first) {
  return std::make_unique<Cursor>(rows_->rows(storageFilter(select), storageOrder(order), first));
}

std::unique_ptr<ReportRowCursor> InfoRowReader::rowsAfter(const QList<Condition>& select, const QList<SortKey>& order,
                                                           const QByteArray& after, qint64 limit) {
  return std::make_unique<Cursor>(rows_->rowsAfter(storageFilter(select), storageOrder(order), after, limit));
}

std::unique_ptr<ReportRowCursor> InfoRowReader::enteredRows(const QList<Condition>& select, const QList<SortKey>& order,
                                                             const QByteArray& after, qint64 limit) {
  std::unique_ptr<RowCursor> c = rows_->enteredRows(storageFilter(select), storageOrder(order), after, limit);
  return c ? std::make_unique<Cursor>(std::move(c)) : nullptr;
}

std::unique_ptr<ReportRowCursor> InfoRowReader::rowsAt(const QList<Condition>& select, const QList<SortKey>& order,
                                                        std::function<const QByteArray*()> next) {
  std::unique_ptr<RowCursor> c = rows_->rowsAt(storageFilter(select), storageOrder(order), std::move(next));
  return c ? std::make_unique<Cursor>(std::move(c)) : nullptr;
}

bool positionBefore(QByteArrayView a, QByteArrayView b) { return OrderedRows::before(a, b); }


std::unique_ptr<ReportRowCursor> InfoRowReader::rowsFrom(const QList<Condition>& select, const QList<SortKey>& order,
                                                          const QByteArray& after) {
  return std::make_unique<Slices>(*rows_, storageFilter(select), storageOrder(order), after);
}

}  // namespace quillon
