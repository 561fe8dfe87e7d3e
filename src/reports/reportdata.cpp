// The rows a report prints: what a field's value is, how values order and
// group, and the two places rows come from (the database, or rows in hand).

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <algorithm>

#include "datetext.h"
#include "dbfile.h"
#include "orderedrows.h"
#include "report.h"
#include "reportdetail.h"
#include "reportrows.h"

namespace quillon {

namespace detail {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

int fieldIndex(const QString& field) {
  return static_cast<int>(infoFieldNames().indexOf(field.trimmed().toUpper()));
}

QString cell(const ReportRow& row, int index) { return index >= 0 && index < row.size() ? row[index] : QString(); }

// A stored date read as the order reads it, so a report groups dates as it
// sorts them.
QDate parseDate(const QString& s) {
  return readDate(s).value_or(QDate());
}


std::vector<ColumnFields> columnFields(const ReportLayout& L) {
  std::vector<ColumnFields> out;
  const auto at = [&](const QString& f) {
    return L.fields.isEmpty() ? fieldIndex(f) : static_cast<int>(L.fields.indexOf(f.trimmed()));
  };
  for (const ReportColumn& c : L.columns) out.push_back({at(c.fields.value(0)), at(c.fields.value(1))});
  return out;
}

QString formatCell(const ReportRow& row, const ReportColumn& c, const ColumnFields& at) {
  if (c.format == QLatin1String("time")) {
    const QString m = cell(row, at.first).trimmed();
    const QString s = cell(row, at.second).trimmed();
    if (m.isEmpty() && s.isEmpty()) return QString();
    return m + QLatin1Char(':') + s.rightJustified(2, QLatin1Char('0'));
  }
  const QString v = cell(row, at.first);
  if (c.format == QLatin1String("ssn")) {
    const QString t = v.trimmed();
    static const QRegularExpression nine(QStringLiteral("^\\d{9}$"));
    if (nine.match(t).hasMatch()) return t.left(3) + QLatin1Char('-') + t.mid(3, 2) + QLatin1Char('-') + t.mid(5);
    return t;
  }
  return v.trimmed();
}


int groupColumn(const ReportLayout& L) { return L.group.isEmpty() ? -1 : fieldIndex(L.group); }

QString groupValue(const ReportRow& row, int at, bool dates) {
  const QString v = cell(row, at).trimmed();
  const QDate d = dates ? parseDate(v) : QDate();
  return d.isValid() ? d.toString(kInfoDateForm) : v;
}

}  // namespace detail

using namespace detail;

QList<SortKey> rowOrder(const ReportLayout& layout, const QList<SortKey>& keys) {
  QList<SortKey> order;
  if (!layout.group.isEmpty()) order << SortKey{layout.group, false};
  order << keys << SortKey{QStringLiteral("ID"), false};
  return order;
}

bool Condition::matches(const QStringList& row) const {
  return RowFilter{field, equal, value}.matches(row);
}

namespace {

// A cursor that stops after `left` rows.
class Limited : public ReportRowCursor {
 public:
  Limited(std::unique_ptr<ReportRowCursor> c, qint64 limit) : c_(std::move(c)), left_(limit) {}
  const ReportRow* next() override {
    if (left_ == 0) return nullptr;
    if (left_ > 0) --left_;
    return c_->next();
  }
  QByteArray position() const override { return c_->position(); }

 private:
  std::unique_ptr<ReportRowCursor> c_;
  qint64 left_;
};

}  // namespace

std::unique_ptr<ReportRowCursor> ReportRowPass::slice(const QByteArray& after, qint64 first, qint64 limit) {
  return std::make_unique<Limited>(rowsAfter(after, first), limit);
}

namespace {

// Rows in hand, already in print order.
class ListedRows : public ReportRowSource {
 public:
  explicit ListedRows(std::vector<ReportRow> rows) : rows_(std::move(rows)) {}
  std::unique_ptr<ReportRowPass> open() const override { return std::make_unique<Pass>(rows_); }

 private:
  struct Pass : ReportRowPass {
    explicit Pass(const std::vector<ReportRow>& rows) : all(rows) {}
    std::unique_ptr<ReportRowCursor> rows(qint64 first) override { return std::make_unique<Cursor>(all, first); }
    const std::vector<ReportRow>& all;
  };
  struct Cursor : ReportRowCursor {
    Cursor(const std::vector<ReportRow>& rows, qint64 first) : all(rows), at(static_cast<size_t>(std::max<qint64>(first, 0))) {}
    const ReportRow* next() override { return at < all.size() ? &all[at++] : nullptr; }
    const std::vector<ReportRow>& all;
    size_t at;
  };
  std::vector<ReportRow> rows_;
};

// Table info, read afresh by each pass on a connection of the pass's own.
class TableRows : public ReportRowSource {
 public:
  TableRows(QString dbPath, QList<Condition> select, QList<SortKey> order)
      : path_(std::move(dbPath)), select_(std::move(select)), order_(std::move(order)) {}
  std::unique_ptr<ReportRowPass> open() const override { return std::make_unique<Pass>(*this); }

 private:
  struct Pass : ReportRowPass {
    explicit Pass(const TableRows& t) : from(t), reader(t.path_) {}
    void forEach(const std::function<void(const ReportRow&)>& each) override {
      reader.forEach(from.select_, from.order_, each);
    }
    std::unique_ptr<ReportRowCursor> rows(qint64 first) override { return reader.rows(from.select_, from.order_, first); }
    std::unique_ptr<ReportRowCursor> rowsAfter(const QByteArray& after, qint64 first) override {
      if (after.isEmpty()) return rows(first);
      return reader.rowsFrom(from.select_, from.order_, after);
    }
    std::unique_ptr<ReportRowCursor> slice(const QByteArray& after, qint64 first, qint64 limit) override {
      // Only the very first rows or rows after a position are found by the
      // engine with a limit; a row number alone is counted to.
      if (!after.isEmpty() || first == 0) return reader.rowsAfter(from.select_, from.order_, after, limit);
      return ReportRowPass::slice(after, first, limit);
    }
    std::unique_ptr<ReportRowCursor> entered(const QByteArray& after, qint64 limit) override {
      return reader.enteredRows(from.select_, from.order_, after, limit);
    }
    std::unique_ptr<ReportRowCursor> at(std::function<const QByteArray*()> next) override {
      return reader.rowsAt(from.select_, from.order_, std::move(next));
    }
    const TableRows& from;
    InfoRowReader reader;
  };
  QString path_;
  QList<Condition> select_;
  QList<SortKey> order_;
};

}  // namespace

PreparedReport prepareReport(const ReportLayout& layout, std::vector<ReportRow> rows, const QList<SortKey>& keys) {
  std::erase_if(rows, [&](const ReportRow& row) {
    return !std::all_of(layout.select.begin(), layout.select.end(), [&](const Condition& c) { return c.matches(row); });
  });
  // The storage layer's one order rule; equal rows keep the order given.
  const QList<RowOrder> order = storageOrder(rowOrder(layout, keys));
  std::vector<std::pair<QByteArray, size_t>> keyed(rows.size());
  QStringList values;
  for (size_t i = 0; i < rows.size(); ++i) {
    values.clear();
    for (const RowOrder& k : order) values << cell(rows[i], fieldIndex(k.field));
    keyed[i] = {sortKey(order, values), i};
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<ReportRow> sorted;
  sorted.reserve(rows.size());
  for (const auto& k : keyed) sorted.push_back(std::move(rows[k.second]));
  return PreparedReport{layout, keys, std::make_shared<ListedRows>(std::move(sorted))};
}

PreparedReport prepareReport(const ReportLayout& layout, const QString& dbPath, const QList<SortKey>& keys) {
  return PreparedReport{layout, keys, std::make_shared<TableRows>(dbPath, layout.select, rowOrder(layout, keys))};
}

}  // namespace quillon
