#include "soldierresults.h"

#include "soldierid.h"
#include "testgroups.h"

namespace quillon {

SoldierKeys::SoldierKeys(const QList<TestResult>& results, const QList<GroupMember>& members) {
  // Most records carry no number (every three-event one): their SSN is
  // looked at only when there is a number to pair it with.
  const auto pair = [this](const QString& dodId, const QString& ssn) {
    const std::optional<QString> d = normalizedDodId(dodId);
    if (!d) return;
    if (const QString digits = ssnNineDigits(ssn); !digits.isEmpty()) numberOfSsn_.insert(digits, *d);
  };
  for (const TestResult& r : results) pair(r.soldier.dodId, r.soldier.ssn);
  for (const GroupMember& m : members) pair(m.dodId, m.ssn);
}

QString SoldierKeys::keyOf(const QString& dodId, const QString& ssn) const {
  const QString id = soldierIdentity(dodId, ssn);
  return numberOfSsn_.value(id, id);
}

ResultsBySoldier::ResultsBySoldier(const QList<TestResult>& results, const QList<GroupMember>& members)
    : keys_(results, members) {
  for (const TestResult& r : results)
    if (const QString key = keyOf(r.soldier.dodId, r.soldier.ssn); !key.isEmpty()) byKey_[key] << r;
}

QList<TestResult> ResultsBySoldier::of(const QString& dodId, const QString& ssn) const {
  const QString key = keyOf(dodId, ssn);
  return key.isEmpty() ? QList<TestResult>() : byKey_.value(key);
}

}  // namespace quillon
