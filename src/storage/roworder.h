#pragma once
// The one rule rows are ordered by, wherever they are ordered: the file's
// engine (through an SQL function), a sort in memory for the server's rows,
// and a report's rows in hand. Numbers and dates compare by value, text by
// its case-folded form without the spaces around it; a blank, and a number
// or date that does not read as one (readDate decides for dates), is no
// value and comes first in ascending order, all such values equal.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "columnkind.h"

struct sqlite3;

namespace quillon {

// One key of an order.
// A key sorts by what its field's kind compares as (comparedAs()).
struct RowOrder {
  using As = ColumnKind;
  QString field;
  bool descending = false;
  As as = As::Text;
  bool operator==(const RowOrder&) const = default;
};

// What a field sorts by under a Number or Date key: none for a blank or a
// value that does not read as its kind.
std::optional<double> orderValue(ColumnKind as, const QString& raw);

// The whole order of a row as one string of bytes: rows compare as their
// keys compare bytewise, every key in its own direction. `values` are the
// row's values for the keys of `order`, one each.
QByteArray sortKey(const QList<RowOrder>& order, const QStringList& values);

// Rows in infoFieldNames() order, sorted by `order` and then by ID (as a
// number); rows equal on all of it keep their order. Throws DbError naming
// a key that is no field.
void sortRows(std::vector<QStringList>& rows, const QList<RowOrder>& order);

// Teaches a connection to the file the SQL function that orders by the same
// rule: quillon_sort_key('<kinds>', v1, v2, ...) is sortKey() of the values,
// where <kinds> holds per key one of t n d (ascending) or T N D
// (descending). Returns false when the engine refused it.
bool addSortKeyFunction(sqlite3* db);
// The SQL expression of that function over `order`'s fields. Throws DbError
// naming a key that is no field.
QString sortKeySql(const QList<RowOrder>& order);

}  // namespace quillon
