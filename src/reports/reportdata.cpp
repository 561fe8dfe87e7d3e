// The rows a report prints: what a field's value is, how values order and
// group, and the two places rows come from (the database, or rows in hand).

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "dbfile.h"
#include "recordbackend.h"
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

// A stored date read as the record store orders it, so a report groups and
// sorts dates as the grid does.
QDate parseDate(const QString& s) {
  const std::optional<double> day = orderValue(RowOrder::As::Date, s);
  return day ? QDate::fromJulianDay(static_cast<qint64>(*day)) : QDate();
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


QString groupValue(const ReportRow& row, int at, bool dates) {
  const QString v = cell(row, at).trimmed();
  const QDate d = dates ? parseDate(v) : QDate();
  return d.isValid() ? d.toString(kInfoDateForm) : v;
}

}  // namespace detail

using namespace detail;

QByteArray orderKey(FieldKind kind, const QString& value) {
  const QString t = value.trimmed();
  // Numbers and dates are read by the record store's one rule, so the
  // database and the engine order rows alike.
  std::optional<double> read;
  if (kind != FieldKind::Text) read = orderValue(kind == FieldKind::Number ? RowOrder::As::Number : RowOrder::As::Date, t);
  const bool valid = kind == FieldKind::Text || read.has_value();
  const double number = read.value_or(0);
  QByteArray key;
  key.append(valid ? '\x01' : '\x00');
  if (valid && kind != FieldKind::Text) {
    // The bits of a double, turned so that they compare as unsigned numbers
    // in the order of the values (-0 is 0).
    auto bits = std::bit_cast<std::uint64_t>(number == 0 ? 0.0 : number);
    bits = (bits >> 63) ? ~bits : bits | (std::uint64_t(1) << 63);
    for (int shift = 56; shift >= 0; shift -= 8) key.append(static_cast<char>((bits >> shift) & 0xff));
    return key;
  }
  // UTF-16 units, high byte first: bytes compare as QString::compare does.
  const QString folded = t.toCaseFolded();
  key.reserve(1 + 2 * folded.size());
  for (const QChar c : folded) {
    key.append(static_cast<char>(c.unicode() >> 8));
    key.append(static_cast<char>(c.unicode() & 0xff));
  }
  return key;
}

QList<SortKey> rowOrder(const ReportLayout& layout, const QList<SortKey>& keys) {
  QList<SortKey> order;
  if (!layout.group.isEmpty()) order << SortKey{layout.group, false};
  order << keys << SortKey{QStringLiteral("ID"), false};
  return order;
}

bool Condition::matches(const QStringList& row) const {
  const bool same = cell(row, fieldIndex(field)).trimmed() == value;
  return equal ? same : !same;
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
  const QList<SortKey> order = rowOrder(layout, keys);
  struct Keyed {
    std::vector<QByteArray> values;
    size_t index;
  };
  std::vector<Keyed> keyed(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    keyed[i].index = i;
    for (const SortKey& k : order) keyed[i].values.push_back(orderKey(fieldKind(k.field), cell(rows[i], fieldIndex(k.field))));
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    for (size_t k = 0; k < a.values.size(); ++k) {
      const int c = a.values[k].compare(b.values[k]);
      if (c != 0) return order[static_cast<qsizetype>(k)].descending ? c > 0 : c < 0;
    }
    return false;
  });
  std::vector<ReportRow> sorted;
  sorted.reserve(rows.size());
  for (const Keyed& k : keyed) sorted.push_back(std::move(rows[k.index]));
  return PreparedReport{layout, keys, std::make_shared<ListedRows>(std::move(sorted))};
}

PreparedReport prepareReport(const ReportLayout& layout, const QString& dbPath, const QList<SortKey>& keys) {
  return PreparedReport{layout, keys, std::make_shared<TableRows>(dbPath, layout.select, rowOrder(layout, keys))};
}

}  // namespace quillon
