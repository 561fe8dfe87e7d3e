#include "repair.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <limits>

namespace quillon::dbtool {

SalvagePlan planSalvage(std::vector<salvage::Row> rows, qint64 highestGivenOut) {
  SalvagePlan plan;
  plan.records.reserve(rows.size());
  QSet<qint64> used;
  qint64 highest = std::max<qint64>(highestGivenOut, 0);
  std::vector<size_t> clashing;
  for (salvage::Row& r : rows) {
    const salvage::Value& stored = r.fields.value(0);
    const qint64 id = stored.kind == salvage::Value::Integer ? stored.integer : r.rowid;
    SalvagedRecord rec{id, std::move(r.fields), false};
    if (used.contains(id)) {
      clashing.push_back(plan.records.size());
    } else {
      used.insert(id);
      highest = std::max(highest, id);
    }
    plan.records.push_back(std::move(rec));
  }
  // New IDs come after every ID in use, so none of them is taken twice.
  for (const size_t i : clashing) {
    if (highest == std::numeric_limits<qint64>::max()) {
      // No ID left above: take the lowest free one from 1 up.
      qint64 id = 1;
      while (used.contains(id)) ++id;
      plan.records[i].id = id;
    } else {
      plan.records[i].id = ++highest;
    }
    used.insert(plan.records[i].id);
    plan.records[i].renumbered = true;
    ++plan.renumbered;
  }
  return plan;
}

QString damagedKeepPath(const QString& dbPath) {
  const QFileInfo fi(dbPath);
  const QString name = fi.fileName();
  QString keep = name.size() >= 4 ? name.left(name.size() - 4) + QStringLiteral(".old") : QString();
  if (keep.isEmpty() || keep.compare(name, Qt::CaseInsensitive) == 0) keep = name + QStringLiteral(".damaged");
  return QDir(fi.absolutePath()).filePath(keep);
}

}  // namespace quillon::dbtool
