#include "grouproster.h"

#include <QDate>
#include <QSet>

namespace quillon {

GroupMember memberFromRoster(const RosterRow& row, const QString& standard) {
  GroupMember m;
  m.ssn = QString(row.ssn).remove(QLatin1Char('-'));
  m.name = row.name;
  m.sex = row.sex;
  // The roster stores dates as the three-event records do; a group keeps ISO.
  const QDate dob = QDate::fromString(row.dob, QStringLiteral("MM/dd/yyyy"));
  m.dob = dob.isValid() ? dob.toString(Qt::ISODate) : row.dob;
  m.standard = standard;
  return m;
}

GroupRosterResult rosterForGroup(const RosterPreview& preview, const TestGroup& group, const QString& standard) {
  GroupRosterResult out;
  if (!preview.ok()) {
    out.error = preview.errorLine ? QStringLiteral("line %1: %2").arg(preview.errorLine).arg(preview.error)
                                  : preview.error;
    return out;
  }
  QSet<QString> inGroup;
  for (const GroupMember& m : group.members) inGroup.insert(m.ssn);
  // A roster line that matches stored three-event records joins like any
  // other: the group takes soldiers, not records.
  QList<RosterRow> accepted = preview.toAdd;
  for (const RosterMatch& m : preview.matches) accepted << m.row;
  std::sort(accepted.begin(), accepted.end(), [](const RosterRow& a, const RosterRow& b) { return a.line < b.line; });
  for (const RosterRow& r : accepted) {
    GroupMember m = memberFromRoster(r, standard);
    if (inGroup.contains(m.ssn)) {
      out.notJoining << QStringLiteral("line %1: %2 is already in the group").arg(r.line).arg(r.name);
      continue;
    }
    inGroup.insert(m.ssn);
    out.joining << m;
    out.joiningLines << r.line;
  }
  for (const RosterRefusal& r : preview.refused) out.notJoining << QStringLiteral("line %1: %2").arg(r.line).arg(r.reason);
  return out;
}

}  // namespace quillon
