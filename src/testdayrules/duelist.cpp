// The due list: who has to take the five-event test.

#include <QHash>
#include <algorithm>

#include "groupreports.h"
#include "grouprecordfields.h"
#include "infofields.h"
#include "numeric.h"
#include "recordrow.h"

namespace quillon {

namespace {

using K = ExportTable::Kind;
using namespace recordfields;

struct Soldier {
  QString ssn;
  QString name, unit;
  QDate lastThreeEvent;
  QDate lastNameDate;  // the date of the record the name was taken from
  bool fromFiveEvent = false;
  QDate lastTest;  // the last five-event test with a result
  QString lastResult;
};

}  // namespace

ReportTable dueList(const TestDayRecords& records, const QDate& asOf, int months) {
  QHash<QString, Soldier> soldiers;
  const auto soldier = [&](const QString& ssn) -> Soldier& {
    Soldier& s = soldiers[ssn];
    s.ssn = ssn;
    return s;
  };

  const int lname = static_cast<int>(infoFieldNames().indexOf(QStringLiteral("LNAME")));
  const int ssnAt = static_cast<int>(infoFieldNames().indexOf(QStringLiteral("SSN")));
  const int dot = static_cast<int>(infoFieldNames().indexOf(QStringLiteral("DOT")));
  for (const QStringList& row : records.info) {
    const QString ssn = ssnDigits(row.value(ssnAt));
    if (ssn.isEmpty()) continue;  // a record with no usable SSN names nobody
    Soldier& s = soldier(ssn);
    const QDate on = parseDateOfBirth(row.value(dot)).value_or(QDate());
    // A record dated after the list's day still names the soldier, but is
    // no test yet.
    if (on.isValid() && on <= asOf && (!s.lastThreeEvent.isValid() || on > s.lastThreeEvent)) s.lastThreeEvent = on;
    // A name from the five-event records wins; among three-event records
    // the latest one's.
    if (!s.fromFiveEvent && (s.name.isEmpty() || (on.isValid() && on >= s.lastNameDate))) {
      s.name = row.value(lname).trimmed();
      s.lastNameDate = on;
    }
  }
  for (const RowAsRead& r : records.fiveEvent) {
    const QString ssn = ssnDigits(field(r, "ssn"));
    if (ssn.isEmpty()) continue;
    const QDate on = QDate::fromString(field(r, "test_date"), Qt::ISODate);
    Soldier& s = soldier(ssn);
    if (!s.fromFiveEvent || on >= s.lastNameDate) {
      s.name = field(r, "name");
      s.unit = field(r, "unit");
      s.lastNameDate = on;
      s.fromFiveEvent = true;
    }
    const QString result = field(r, "result_go");
    if (result.isEmpty() || !on.isValid() || on > asOf) continue;
    if (!s.lastTest.isValid() || on > s.lastTest) {
      s.lastTest = on;
      s.lastResult = result;
    }
  }

  // A member of a test group is known even before a first record.
  for (const GroupMember& m : records.groupMembers) {
    const QString ssn = ssnDigits(m.ssn);
    if (ssn.isEmpty()) continue;
    Soldier& s = soldier(ssn);
    if (s.name.isEmpty()) {
      s.name = m.name;
      s.unit = m.unit;
    }
  }

  ReportTable t;
  t.title = QStringLiteral("Due List: no five-event test in %1 months, or a NO-GO, as of %2")
                .arg(months)
                .arg(asOf.toString(Qt::ISODate));
  t.columns = {{"name", "Name", 22, K::Text},     {"ssn", "SSN", 11, K::Text, "ssn"},       {"unit", "Unit", 14, K::Text},
               {"last", "Last Test", 10, K::Date}, {"result", "Result", 7, K::Text}, {"why", "Due Because", 30, K::Text},
               {"from", "Due From", 10, K::Date}};
  t.emptyText = QStringLiteral("No soldier is due a test.");
  t.landscape = true;

  std::vector<const Soldier*> due;
  QHash<const Soldier*, QString> why, from;
  for (const Soldier& s : std::as_const(soldiers)) {
    QString reason;
    if (!s.lastTest.isValid()) {
      reason = QStringLiteral("No five-event test");
      if (s.lastThreeEvent.isValid())
        reason += QStringLiteral(" (last three-event test %1)").arg(s.lastThreeEvent.toString(Qt::ISODate));
    } else if (s.lastResult != QLatin1String("GO")) {
      reason = QStringLiteral("Last test NO-GO");
    } else if (const QDate ripe = s.lastTest.addMonths(months); ripe < asOf) {
      reason = QStringLiteral("Over %1 months since the last test").arg(months);
      from.insert(&s, ripe.addDays(1).toString(Qt::ISODate));
    }
    if (reason.isEmpty()) continue;
    due.push_back(&s);
    why.insert(&s, reason);
  }
  std::sort(due.begin(), due.end(), [](const Soldier* a, const Soldier* b) {
    const int c = a->name.compare(b->name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a->ssn < b->ssn;
  });
  for (const Soldier* s : due)
    t.rows << QStringList{s->name, s->ssn, s->unit, s->lastTest.isValid() ? s->lastTest.toString(Qt::ISODate) : QString(),
                          s->lastResult, why.value(s), from.value(s)};
  return t;
}

}  // namespace quillon
