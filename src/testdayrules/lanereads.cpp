// What a lane sheet reads after it opened: where the records count their
// changes, one statement for whatever changed in the group since the last
// answer, whichever identifier each soldier is known by; elsewhere each
// soldier's record again.
#include <QHash>

#include "laneentry.h"

namespace quillon {

std::optional<QList<int>> LaneSheet::readGroupChanges() {
  FitnessRecords::Followed followed;
  followed.testDate = group_.testDate;
  QHash<qint64, QList<int>> byId;
  QHash<QString, QList<int>> bySsn, byDodId;
  for (int m = 0; m < size(); ++m) {
    const GroupMember& g = group_.members.at(m);
    if (const std::optional<RowAsRead>& held = rows_.at(m)) {
      followed.ids << held->key;
      byId[held->key] << m;
    } else if (!g.ssn.isEmpty()) {
      followed.ssns << g.ssn;
      bySsn[g.ssn] << m;
    } else if (!g.dodId.isEmpty()) {
      // Known by the DoD ID number alone: followed by it until a record of
      // theirs is held.
      followed.dodIds << g.dodId;
      byDodId[g.dodId] << m;
    }
  }
  std::optional<FitnessRecords::Changes> changes = store_.changesSince(followed, mark_);
  if (!changes) return std::nullopt;
  mark_ = changes->mark;
  const QStringList& names = fitnessFieldNames();
  const int ssn = int(names.indexOf(QStringLiteral("ssn"))), dodId = int(names.indexOf(QStringLiteral("dod_id")));
  const int date = int(names.indexOf(QStringLiteral("test_date")));
  QList<int> changed;
  for (RowAsRead& row : changes->rows) {
    // A record held is followed by its ID wherever it moved; a soldier's
    // first one is the one under the very identifier the group holds, on
    // its date.
    QList<int> members = byId.value(row.key);
    if (members.isEmpty() && row.fields.value(date) == group_.testDate) {
      members = bySsn.value(row.fields.value(ssn));
      if (members.isEmpty() && !row.fields.value(dodId).isEmpty()) members = byDodId.value(row.fields.value(dodId));
    }
    for (int m : members) {
      if (rows_.at(m) && rows_.at(m)->key == row.key && rows_.at(m)->version == row.version) continue;
      rows_[m] = row;
      changed << m;
    }
  }
  return changed;
}

QList<int> LaneSheet::readChanges() {
  if (std::optional<QList<int>> changed = readGroupChanges()) return *changed;
  QList<int> changed;
  for (int m = 0; m < size(); ++m) {
    const std::optional<RowAsRead>& read = rows_.at(m);
    std::optional<RowAsRead> now =
        read ? store_.fetch(read->key)
             : store_.findOfSoldier(group_.members.at(m).dodId, group_.members.at(m).ssn, group_.testDate);
    if (!now || (read && now->version == read->version)) continue;
    rows_[m] = std::move(now);
    changed << m;
  }
  return changed;
}

}  // namespace quillon
