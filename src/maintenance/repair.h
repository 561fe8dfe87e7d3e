#pragma once
// What Repair makes of the rows the page scan found: the IDs they keep, the
// ones that must move because another row holds theirs, and the name the
// damaged original is kept under once it is replaced.

#include <QString>

#include <vector>

#include "salvage.h"

namespace quillon::dbtool {

struct SalvagedRecord {
  qint64 id = 0;
  QList<salvage::Value> fields;  // the eighteen fields; the first is replaced by `id` on insert
  bool renumbered = false;
};

struct SalvagePlan {
  std::vector<SalvagedRecord> records;  // in the order the rows were found, by row id
  qint64 renumbered = 0;
};

// Each row keeps its ID: the stored ID field where there is one, else the
// row id. A row whose ID an earlier row already holds is kept all the same,
// under a new ID above every ID in use and above `highestGivenOut`.
SalvagePlan planSalvage(std::vector<salvage::Row> rows, qint64 highestGivenOut);

// The name, beside `dbPath`, under which the damaged original is kept once
// a repaired file replaces it: the backup name (the file name less its last
// four characters, plus ".old"), or the file name plus ".damaged" where that
// rule gives no other name.
QString damagedKeepPath(const QString& dbPath);

}  // namespace quillon::dbtool
