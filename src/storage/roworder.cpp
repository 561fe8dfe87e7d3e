#include "roworder.h"

#include <QDate>
#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sqlite3.h>

#include "datetext.h"
#include "dbfile.h"
#include "infofields.h"

namespace quillon {

std::optional<double> orderValue(ColumnKind kind, const QString& raw) {
  const QString t = raw.trimmed();
  const ColumnKind as = comparedAs(kind);
  if (as == ColumnKind::Number) {
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (ok && std::isfinite(v)) return v;
    return std::nullopt;
  }
  if (as == ColumnKind::Date) {
    // The program's one date reader: a date it refuses (a negative year, a
    // day no calendar has) is no date here either, and sorts with the blanks.
    if (const std::optional<QDate> d = readDate(t)) return static_cast<double>(d->toJulianDay());
    return std::nullopt;
  }
  return std::nullopt;
}

namespace {

// One key's bytes, ascending. No value is a single 0 byte; a value starts
// with 1, so it comes after. Text is its UTF-16 units high byte first, which
// compare as QString::compare does.
void appendKey(QByteArray& out, ColumnKind as, const QString& raw) {
  if (comparedAs(as) == ColumnKind::Text) {
    out.append('\x01');
    for (const QChar c : raw.trimmed().toCaseFolded()) {
      out.append(static_cast<char>(c.unicode() >> 8));
      out.append(static_cast<char>(c.unicode() & 0xff));
    }
    return;
  }
  const std::optional<double> v = orderValue(as, raw);
  if (!v) {
    out.append('\x00');
    return;
  }
  out.append('\x01');
  // The bits of a double, turned so that they compare as unsigned numbers
  // in the order of the values (-0 is 0).
  auto bits = std::bit_cast<std::uint64_t>(*v == 0 ? 0.0 : *v);
  bits = (bits >> 63) ? ~bits : bits | (std::uint64_t(1) << 63);
  for (int shift = 56; shift >= 0; shift -= 8) out.append(static_cast<char>((bits >> shift) & 0xff));
}

// Keys of different lengths follow each other: each is closed by 00 00 with
// a 00 inside written 00 FF, so no key is the beginning of another and a
// shorter one comes first; a descending key has every byte turned over.
void appendSegment(QByteArray& out, ColumnKind as, bool descending, const QString& raw) {
  QByteArray one;
  appendKey(one, as, raw);
  const qsizetype from = out.size();
  for (const char b : one) {
    out.append(b);
    if (b == '\0') out.append('\xff');
  }
  out.append('\0');
  out.append('\0');
  if (descending)
    for (qsizetype i = from; i < out.size(); ++i) out[i] = static_cast<char>(~static_cast<unsigned char>(out[i]));
}

int fieldColumn(const RowOrder& o) {
  const int c = infoFieldIndex(o.field);
  if (c < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + o.field);
  return c;
}

ColumnKind kindOf(char c) {
  switch (c) {
    case 'n':
    case 'N': return ColumnKind::Number;
    case 'd':
    case 'D': return ColumnKind::Date;
    default: return ColumnKind::Text;
  }
}

QString sqlText(sqlite3_value* v) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return t ? QString::fromUtf8(t, sqlite3_value_bytes(v)) : QString();
}

void sortKeyFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const auto* kinds = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int n = kinds ? static_cast<int>(std::strlen(kinds)) : 0;
  if (n != argc - 1) {
    sqlite3_result_error(ctx, "quillon_sort_key: one kind per value", -1);
    return;
  }
  QByteArray key;
  for (int i = 0; i < n; ++i) appendSegment(key, kindOf(kinds[i]), std::isupper(static_cast<unsigned char>(kinds[i])) != 0, sqlText(argv[i + 1]));
  sqlite3_result_blob(ctx, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

}  // namespace

QByteArray sortKey(const QList<RowOrder>& order, const QStringList& values) {
  QByteArray key;
  for (qsizetype i = 0; i < order.size(); ++i) appendSegment(key, order[i].as, order[i].descending, values.value(i));
  return key;
}

void sortRows(std::vector<QStringList>& rows, const QList<RowOrder>& order) {
  QList<RowOrder> keys = order;
  keys << RowOrder{QStringLiteral("ID"), false, ColumnKind::Number};  // equal rows in the order they were entered
  std::vector<int> columns;
  for (const RowOrder& o : keys) columns.push_back(fieldColumn(o));
  // Each row's key is made once, not at every comparison.
  std::vector<std::pair<QByteArray, size_t>> keyed(rows.size());
  QStringList values;
  for (size_t i = 0; i < rows.size(); ++i) {
    values.clear();
    for (const int c : columns) values << rows[i].value(c);
    keyed[i] = {sortKey(keys, values), i};
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<QStringList> sorted;
  sorted.reserve(rows.size());
  for (const auto& k : keyed) sorted.push_back(std::move(rows[k.second]));
  rows = std::move(sorted);
}

bool addSortKeyFunction(sqlite3* db) {
  return sqlite3_create_function_v2(db, "quillon_sort_key", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    sortKeyFunction, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString sortKeySql(const QList<RowOrder>& order) {
  QString kinds;
  QStringList fields;
  for (const RowOrder& o : order) {
    fields << infoFieldNames().at(fieldColumn(o));
    const ColumnKind as = comparedAs(o.as);
    const char k = as == ColumnKind::Number ? 'n' : as == ColumnKind::Date ? 'd' : 't';
    kinds += QLatin1Char(o.descending ? static_cast<char>(std::toupper(k)) : k);
  }
  return QStringLiteral("quillon_sort_key('%1'%2%3)").arg(kinds, fields.isEmpty() ? QString() : QStringLiteral(", "),
                                                          fields.join(QStringLiteral(", ")));
}

}  // namespace quillon
