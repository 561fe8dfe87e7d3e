#include "mergesettled.h"

#include "sqlitedb.h"

namespace quillon {

const RecordTable& mergeSettledTable() {
  using K = ColumnKind;
  static const RecordTable t{QStringLiteral("merge_settled"),
                             {{QStringLiteral("takeout"), K::Text, 0},
                              {QStringLiteral("record"), K::Text, 0},
                              {QStringLiteral("field"), K::Text, 0},
                              {QStringLiteral("value"), K::Text, 0},
                              {QStringLiteral("unit"), K::Text, 0}},
                             {QStringLiteral("takeout"), QStringLiteral("record"), QStringLiteral("field")},
                             RecordTable::Versioned::Never};
  return t;
}

void addMergeSettledTable(sqlite::Database& db) {
  db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS merge_settled (takeout TEXT NOT NULL, record TEXT NOT NULL, "
                         "field TEXT NOT NULL, value TEXT, unit TEXT, PRIMARY KEY (takeout, record, field))"));
}

}  // namespace quillon
