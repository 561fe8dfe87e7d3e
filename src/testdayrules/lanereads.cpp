// What a lane sheet reads after it opened: where the records count their
// changes, one statement for whatever changed in the group since the last
// answer; elsewhere each soldier's record again.
#include <QHash>

#include "laneentry.h"

namespace quillon {

std::optional<QList<int>> LaneSheet::readGroupChanges() {
  FitnessRecords::Followed followed;
  followed.testDate = group_.testDate;
  QHash<qint64, QList<int>> byId;
  QHash<QString, QList<int>> bySsn;
  for (int m = 0; m < size(); ++m) {
    if (const std::optional<RowAsRead>& held = rows_.at(m)) {
      followed.ids << held->key;
      byId[held->key] << m;
    } else if (!group_.members.at(m).ssn.isEmpty()) {
      followed.ssns << group_.members.at(m).ssn;
      bySsn[group_.members.at(m).ssn] << m;
    }
  }
  std::optional<FitnessRecords::Changes> changes = store_.changesSince(followed, mark_);
  if (!changes) return std::nullopt;
  mark_ = changes->mark;
  const int ssn = int(fitnessFieldNames().indexOf(QStringLiteral("ssn"))), date = int(fitnessFieldNames().indexOf(QStringLiteral("test_date")));
  QList<int> changed;
  for (RowAsRead& row : changes->rows) {
    // A record held is followed by its ID wherever it moved; a soldier's
    // first one is the one under the very SSN the group holds, on its date.
    QList<int> members = byId.value(row.key);
    if (members.isEmpty() && row.fields.value(date) == group_.testDate) members = bySsn.value(row.fields.value(ssn));
    for (int m : members) {
      if (rows_.at(m) && rows_.at(m)->key == row.key && rows_.at(m)->version == row.version) continue;
      rows_[m] = row;
      changed << m;
    }
  }
  // A soldier known by the DoD ID number alone is followed by no SSN: until
  // a record of theirs is held (and then followed by its ID), it is looked
  // for by the number.
  for (int m = 0; m < size(); ++m) {
    const GroupMember& g = group_.members.at(m);
    if (rows_.at(m) || !g.ssn.isEmpty() || g.dodId.isEmpty()) continue;
    if (std::optional<RowAsRead> now = store_.findByDodId(g.dodId, group_.testDate)) {
      rows_[m] = std::move(now);
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
