// What a lane sheet reads after it opened: where the records count their
// changes, one statement for whatever changed in the group since the last
// answer, whichever identifier each soldier is known by; elsewhere each
// soldier's record again.
#include <QHash>
#include <utility>
#include <vector>

#include "laneentry.h"

namespace quillon {

namespace {

// The members under each identifier, in the group's order: a soldier is
// in a group once as a rule, so the first and last are kept by the
// identifier and any between chained through `next`.
template <typename Key>
class Members {
 public:
  explicit Members(std::vector<int>& next) : next_(next) {}
  void reserve(qsizetype n) { ends_.reserve(n); }
  void add(const Key& key, int member) {
    auto at = ends_.find(key);
    if (at == ends_.end()) {
      ends_.insert(key, {member, member});
      return;
    }
    next_[size_t(at->second)] = member;
    at->second = member;
  }
  QList<int> of(const Key& key) const {
    QList<int> out;
    const auto at = ends_.constFind(key);
    if (at == ends_.cend()) return out;
    for (int m = at->first;; m = next_[size_t(m)]) {
      out << m;
      if (m == at->second) break;
    }
    return out;
  }

 private:
  QHash<Key, std::pair<int, int>> ends_;
  std::vector<int>& next_;
};

}  // namespace

std::optional<QList<int>> LaneSheet::readGroupChanges() {
  FitnessRecords::Followed followed;
  followed.testDate = group_.testDate;
  std::vector<int> next(size_t(size()), -1);
  Members<qint64> byId(next);
  Members<QString> bySsn(next), byDodId(next);
  bySsn.reserve(size());
  for (int m = 0; m < size(); ++m) {
    const GroupMember& g = group_.members.at(m);
    if (const std::optional<RowAsRead>& held = rows_.at(m)) {
      followed.ids << held->key;
      byId.add(held->key, m);
    } else if (!g.ssn.isEmpty()) {
      followed.ssns << g.ssn;
      bySsn.add(g.ssn, m);
    } else if (!g.dodId.isEmpty()) {
      // Known by the DoD ID number alone: followed by it until a record of
      // theirs is held.
      followed.dodIds << g.dodId;
      byDodId.add(g.dodId, m);
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
    QList<int> members = byId.of(row.key);
    if (members.isEmpty() && row.fields.value(date) == group_.testDate) {
      members = bySsn.of(row.fields.value(ssn));
      if (members.isEmpty() && !row.fields.value(dodId).isEmpty()) members = byDodId.of(row.fields.value(dodId));
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
