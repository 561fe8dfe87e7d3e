#include "soldierresults.h"

#include "soldierid.h"
#include "testgroups.h"

namespace quillon {

ResultsBySoldier::ResultsBySoldier(const QList<TestResult>& results, const QList<GroupMember>& members) {
  const auto pair = [this](const QString& dodId, const QString& ssn) {
    const QString digits = ssnNineDigits(ssn);
    if (const std::optional<QString> d = normalizedDodId(dodId); d && !digits.isEmpty())
      numberOfSsn_.insert(digits, *d);
  };
  for (const TestResult& r : results) pair(r.soldier.dodId, r.soldier.ssn);
  for (const GroupMember& m : members) pair(m.dodId, m.ssn);
  for (const TestResult& r : results)
    if (const QString key = keyOf(r.soldier.dodId, r.soldier.ssn); !key.isEmpty()) byKey_[key] << r;
}

QString ResultsBySoldier::keyOf(const QString& dodId, const QString& ssn) const {
  const QString id = soldierIdentity(dodId, ssn);
  return numberOfSsn_.value(id, id);
}

QList<TestResult> ResultsBySoldier::of(const QString& dodId, const QString& ssn) const {
  const QString key = keyOf(dodId, ssn);
  return key.isEmpty() ? QList<TestResult>() : byKey_.value(key);
}

}  // namespace quillon
