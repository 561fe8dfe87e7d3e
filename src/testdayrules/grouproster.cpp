#include "grouproster.h"

#include <QDate>
#include <QSet>
#include <algorithm>
#include <utility>

namespace quillon {

QString rosterStandard(const QString& cell) {
  const QString t = cell.trimmed().toLower();
  if (t == QLatin1String("c") || t == QLatin1String("combat")) return QStringLiteral("combat");
  if (t == QLatin1String("g") || t == QLatin1String("general")) return QStringLiteral("general");
  return {};
}

GroupMember memberFromRoster(const RosterRow& row, const QString& standard) {
  GroupMember m;
  m.ssn = QString(row.ssn).remove(QLatin1Char('-'));
  m.name = row.name;
  m.sex = row.sex;
  // The roster stores dates as the three-event records do; a group keeps ISO.
  const QDate dob = QDate::fromString(row.dob, QStringLiteral("MM/dd/yyyy"));
  m.dob = dob.isValid() ? dob.toString(Qt::ISODate) : row.dob;
  m.unit = row.unit;
  const QString named = rosterStandard(row.standard);
  m.standard = named.isEmpty() ? standard : named;
  m.rank = row.rank;
  return m;
}

GroupRosterResult rosterForGroup(const RosterPreview& preview, const TestGroup& group, const QString& standard) {
  GroupRosterResult out;
  if (!preview.ok()) {
    out.error = preview.errorLine ? QStringLiteral("line %1: %2").arg(preview.errorLine).arg(preview.error)
                                  : preview.error;
    return out;
  }
  out.unusedColumns = preview.groupIgnoredColumns;
  const bool standardColumn = preview.columns.has(RosterField::Standard);
  QSet<QString> inGroup;
  for (const GroupMember& m : group.members) inGroup.insert(m.ssn);
  // A roster line that matches stored three-event records joins like any
  // other: the group takes soldiers, not records.
  QList<RosterRow> accepted = preview.toAdd;
  for (const RosterMatch& m : preview.matches) accepted << m.row;
  std::sort(accepted.begin(), accepted.end(), [](const RosterRow& a, const RosterRow& b) { return a.line < b.line; });
  QList<std::pair<int, QString>> refused;
  for (const RosterRow& r : accepted) {
    if (standardColumn && rosterStandard(r.standard).isEmpty()) {
      refused << std::pair{r.line, QStringLiteral("column \"%1\": \"%2\" is neither combat nor general")
                                       .arg(preview.standardHeader, r.standard)};
      continue;
    }
    GroupMember m = memberFromRoster(r, standard);
    if (inGroup.contains(m.ssn)) {
      refused << std::pair{r.line, QStringLiteral("%1 is already in the group").arg(r.name)};
      continue;
    }
    inGroup.insert(m.ssn);
    out.joining << m;
    out.joiningLines << r.line;
  }
  for (const RosterRefusal& r : preview.refused) refused << std::pair{r.line, r.reason};
  std::stable_sort(refused.begin(), refused.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [line, why] : refused) out.notJoining << QStringLiteral("line %1: %2").arg(line).arg(why);
  return out;
}

}  // namespace quillon
