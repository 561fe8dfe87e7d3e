#include "grouproster.h"

#include <QDate>
#include <QSet>
#include <algorithm>
#include <utility>

#include "fitnessrecords.h"
#include "soldierid.h"

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
  m.dodId = row.dodId;
  return m;
}

QString identifierClash(const RosterRow& row, const QList<KnownSoldier>& known) {
  const QString ssn = ssnNineDigits(row.ssn);
  if (row.dodId.isEmpty() || ssn.isEmpty()) return {};
  // The number is someone's, the SSN is someone's, and those two are told
  // apart by the other identifier each carries.
  bool numberKnown = false, ssnKnown = false, apart = false;
  for (const KnownSoldier& k : known) {
    const QString kSsn = ssnNineDigits(k.ssn);
    if (k.dodId == row.dodId) {
      numberKnown = true;
      apart = apart || (!kSsn.isEmpty() && kSsn != ssn);
    }
    if (kSsn == ssn) {
      ssnKnown = true;
      apart = apart || (!k.dodId.isEmpty() && k.dodId != row.dodId);
    }
  }
  if (!numberKnown || !ssnKnown || !apart) return {};
  return QStringLiteral("the DoD ID number %1 and the SSN %2 belong to two different stored soldiers")
      .arg(row.dodId, shownSsn(ssn));
}

QList<KnownSoldier> knownSoldiersFor(const RosterPreview& preview, const QString& dbPath) {
  QStringList ids;
  QList<RosterRow> rows = preview.toAdd;
  for (const RosterMatch& m : preview.matches) rows << m.row;
  for (const RosterRow& r : rows)
    for (const QString& id : {r.dodId, ssnNineDigits(r.ssn)})
      if (!id.isEmpty()) ids << id;
  QList<KnownSoldier> out;
  if (ids.isEmpty()) return out;
  ids.removeDuplicates();
  const std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(dbPath);
  records->open();
  const int ssnAt = int(fitnessFieldNames().indexOf(QStringLiteral("ssn")));
  const int dodAt = int(fitnessFieldNames().indexOf(QStringLiteral("dod_id")));
  for (const RowAsRead& r : records->readOfSoldiers(ids, {QStringLiteral("ssn"), QStringLiteral("dod_id")}))
    out << KnownSoldier{r.fields.value(dodAt), r.fields.value(ssnAt)};
  records->close();
  for (const TestGroup& g : TestGroups::forDatabase(dbPath)->all())
    for (const GroupMember& m : g.members) out << KnownSoldier{m.dodId, m.ssn};
  return out;
}

GroupRosterResult rosterForGroup(const RosterPreview& preview, const TestGroup& group, const QString& standard,
                                 const QList<KnownSoldier>& known) {
  GroupRosterResult out;
  if (!preview.ok()) {
    out.error = preview.errorLine ? QStringLiteral("line %1: %2").arg(preview.errorLine).arg(preview.error)
                                  : preview.error;
    return out;
  }
  out.unusedColumns = preview.groupIgnoredColumns;
  const bool standardColumn = preview.columns.has(RosterField::Standard);
  QList<GroupMember> inGroup = group.members;
  // A roster line that matches stored three-event records joins like any
  // other: the group takes soldiers, not records.
  QList<RosterRow> accepted = preview.toAdd;
  for (const RosterMatch& m : preview.matches) accepted << m.row;
  std::sort(accepted.begin(), accepted.end(), [](const RosterRow& a, const RosterRow& b) { return a.line < b.line; });
  for (const RosterRow& r : accepted)
    if (const QString why = identifierClash(r, known); !why.isEmpty()) {
      out.error = QStringLiteral("line %1: %2").arg(r.line).arg(why);
      return out;
    }
  const auto already = [&](const GroupMember& m) {
    return std::any_of(inGroup.cbegin(), inGroup.cend(),
                       [&](const GroupMember& g) { return sameSoldier(g.dodId, g.ssn, m.dodId, m.ssn); });
  };
  QList<std::pair<int, QString>> refused;
  for (const RosterRow& r : accepted) {
    if (standardColumn && rosterStandard(r.standard).isEmpty()) {
      refused << std::pair{r.line, QStringLiteral("column \"%1\": \"%2\" is neither combat nor general")
                                       .arg(preview.standardHeader, r.standard)};
      continue;
    }
    GroupMember m = memberFromRoster(r, standard);
    if (already(m)) {
      refused << std::pair{r.line, QStringLiteral("%1 is already in the group").arg(r.name)};
      continue;
    }
    inGroup << m;
    out.joining << m;
    out.joiningLines << r.line;
  }
  for (const RosterRefusal& r : preview.refused) refused << std::pair{r.line, r.reason};
  std::stable_sort(refused.begin(), refused.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [line, why] : refused) out.notJoining << QStringLiteral("line %1: %2").arg(line).arg(why);
  return out;
}

}  // namespace quillon
