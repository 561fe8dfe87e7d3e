// The due list: who has to take the test the list is for.

#include <QHash>
#include <algorithm>

#include "groupreports.h"
#include "recordrow.h"

namespace quillon {

namespace {

using K = ExportTable::Kind;

struct DueSoldier {  // what the list knows of one SSN
  QString ssn;
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
  QHash<QString, DueSoldier> soldiers;
  for (const TestResult& r : results) {
    if (r.soldier.ssn.isEmpty()) continue;  // a record with no usable SSN names nobody
    DueSoldier& s = soldiers[r.soldier.ssn];
    s.ssn = r.soldier.ssn;
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
    const QString ssn = ssnDigits(m.ssn);
    if (ssn.isEmpty()) continue;
    DueSoldier& s = soldiers[ssn];
    s.ssn = ssn;
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
               {"from", "Due From", 10, K::Date}};
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
    return c != 0 ? c < 0 : a->ssn < b->ssn;
  });
  for (const DueSoldier* s : dueSoldiers)
    t.rows << QStringList{s->name, s->ssn, s->unit, s->lastTest.isValid() ? s->lastTest.toString(Qt::ISODate) : QString(),
                          s->lastResult, why.value(s), from.value(s)};
  return t;
}

}  // namespace quillon
