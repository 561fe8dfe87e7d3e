// The due list: who has to take the test the list is for.

#include <QHash>
#include <algorithm>

#include "groupreports.h"
#include "recordrow.h"
#include "soldierresults.h"

namespace quillon {

namespace {

using K = ExportTable::Kind;

struct DueSoldier {  // what the list knows of one soldier
  QString ssn, dodId;
  QString name, unit;
  QDate lastOther;  // the last test of another kind
  const TestKind* otherKind = nullptr;
  QDate lastNameDate;  // the date of the record the name was taken from
  bool fromDueKind = false;
  QDate lastTest;  // the last test of the list's kind with a result
  QString lastResult;
};

}  // namespace

ReportTable dueList(const TestDayRecords& records, const QDate& asOf, int months) {
  return dueList(records.results, records.groupMembers, testKind(kGroupTest), asOf, months);
}

ReportTable dueList(const QList<TestResult>& results, const QList<GroupMember>& members, const TestKind& due,
                    const QDate& asOf, int months) {
  // A soldier by the DoD ID number when known, their older records by SSN
  // among theirs.
  const SoldierKeys keys(results, members);
  QHash<QString, DueSoldier> soldiers;
  for (const TestResult& r : results) {
    const QString key = keys.keyOf(r.soldier.dodId, r.soldier.ssn);
    if (key.isEmpty()) continue;  // a record with no usable SSN or DoD ID names nobody
    DueSoldier& s = soldiers[key];
    if (!r.soldier.ssn.isEmpty()) s.ssn = r.soldier.ssn;
    if (!r.soldier.dodId.isEmpty()) s.dodId = r.soldier.dodId;
    const QDate& on = r.date;
    if (r.kind != due.id()) {
      // A record dated after the list's day still names the soldier, but is
      // no test yet.
      if (on.isValid() && on <= asOf && (!s.lastOther.isValid() || on > s.lastOther)) {
        s.lastOther = on;
        s.otherKind = &kindOf(r);
      }
      // A name from the list's own kind of test wins; among the others the
      // latest one's.
      if (!s.fromDueKind && (s.name.isEmpty() || (on.isValid() && on >= s.lastNameDate))) {
        s.name = r.soldier.name;
        s.lastNameDate = on;
      }
      continue;
    }
    if (!s.fromDueKind || on >= s.lastNameDate) {
      s.name = r.soldier.name;
      s.unit = r.soldier.unit;
      s.lastNameDate = on;
      s.fromDueKind = true;
    }
    // Only a result (every event in) is a test.
    if (r.result.isEmpty() || !on.isValid() || on > asOf) continue;
    if (!s.lastTest.isValid() || on > s.lastTest) {
      s.lastTest = on;
      s.lastResult = r.result;
    }
  }

  // A member of a test group is known even before a first record.
  for (const GroupMember& m : members) {
    const QString key = keys.keyOf(m.dodId, m.ssn);
    if (key.isEmpty()) continue;
    DueSoldier& s = soldiers[key];
    if (s.ssn.isEmpty()) s.ssn = ssnDigits(m.ssn);
    if (s.dodId.isEmpty()) s.dodId = m.dodId;
    if (s.name.isEmpty()) {
      s.name = m.name;
      s.unit = m.unit;
    }
  }

  ReportTable t;
  t.title = QStringLiteral("Due List: no %1 test in %2 months, or a NO-GO, as of %3")
                .arg(due.name())
                .arg(months)
                .arg(asOf.toString(Qt::ISODate));
  t.columns = {{"name", "Name", 22, K::Text},     {"ssn", "SSN", 11, K::Text, "ssn"},       {"unit", "Unit", 14, K::Text},
               {"last", "Last Test", 10, K::Date}, {"result", "Result", 7, K::Text}, {"why", "Due Because", 30, K::Text},
               {"from", "Due From", 10, K::Date}, {"dod_id", "DoD ID", 11, K::Text}};
  t.emptyText = QStringLiteral("No soldier is due a test.");
  t.landscape = true;

  std::vector<const DueSoldier*> dueSoldiers;
  QHash<const DueSoldier*, QString> why, from;
  for (const DueSoldier& s : std::as_const(soldiers)) {
    QString reason;
    if (!s.lastTest.isValid()) {
      reason = QStringLiteral("No %1 test").arg(due.name());
      if (s.lastOther.isValid())
        reason += QStringLiteral(" (last %1 test %2)").arg(s.otherKind->name(), s.lastOther.toString(Qt::ISODate));
    } else if (s.lastResult != due.passWord()) {
      reason = QStringLiteral("Last test NO-GO");
    } else if (const QDate ripe = s.lastTest.addMonths(months); ripe < asOf) {
      reason = QStringLiteral("Over %1 months since the last test").arg(months);
      from.insert(&s, ripe.addDays(1).toString(Qt::ISODate));
    }
    if (reason.isEmpty()) continue;
    dueSoldiers.push_back(&s);
    why.insert(&s, reason);
  }
  std::sort(dueSoldiers.begin(), dueSoldiers.end(), [](const DueSoldier* a, const DueSoldier* b) {
    const int c = a->name.compare(b->name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : std::pair(a->ssn, a->dodId) < std::pair(b->ssn, b->dodId);
  });
  for (const DueSoldier* s : dueSoldiers)
    t.rows << QStringList{s->name, s->ssn, s->unit, s->lastTest.isValid() ? s->lastTest.toString(Qt::ISODate) : QString(),
                          s->lastResult, why.value(s), from.value(s), s->dodId};
  return t;
}

}  // namespace quillon
