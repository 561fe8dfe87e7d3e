#pragma once
// Test results filed by soldier on the five-event side, where a soldier is
// known by the DoD ID number when it is known and by the SSN otherwise
// (soldierIdentity). A record written before the number (SSN only) is the
// soldier's whose other records or group membership pair that SSN with a
// number: filed under the number too, so a card, a report line or the due
// list of a soldier known now by the number still holds their older tests.

#include <QHash>
#include <QList>
#include <QString>

#include "testkind.h"

namespace quillon {

struct GroupMember;

// The keys alone, for a reader that keeps what it needs of each result
// itself (the due list over a division's records).
class SoldierKeys {
 public:
  // `members` pair SSNs with numbers as the results do.
  explicit SoldierKeys(const QList<TestResult>& results, const QList<GroupMember>& members = {});

  // The key a soldier named by these identifiers is filed under; empty when
  // neither names one.
  QString keyOf(const QString& dodId, const QString& ssn) const;

 private:
  QHash<QString, QString> numberOfSsn_;
};

class ResultsBySoldier {
 public:
  explicit ResultsBySoldier(const QList<TestResult>& results, const QList<GroupMember>& members = {});

  QString keyOf(const QString& dodId, const QString& ssn) const { return keys_.keyOf(dodId, ssn); }
  // Their results, in the order given.
  QList<TestResult> of(const QString& dodId, const QString& ssn) const;
  // Every soldier's results by key, each in the order given.
  const QHash<QString, QList<TestResult>>& all() const { return byKey_; }

 private:
  SoldierKeys keys_;
  QHash<QString, QList<TestResult>> byKey_;
};

}  // namespace quillon
