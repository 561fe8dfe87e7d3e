// Matching the folder's groups and their members to those here.
#include "merger.h"

#include <algorithm>

#include "gateway.h"
#include "recordssession.h"
#include "recordtables.h"
#include "testgroups.h"

namespace quillon::fieldday::merging {

void Merger::mergeGroups(Gateway& groups, Gateway& members) {
  if (source_.groups.empty()) return;
  next();
  std::vector<RowAsRead> there = groups.all({QStringLiteral("id")});
  next();
  const std::vector<RowAsRead> theirMembers = members.all({QStringLiteral("group_id"), QStringLiteral("position")});
  const int ssnAt = testGroupMembersTable().column(QStringLiteral("ssn"));
  const int dodIdAt = testGroupMembersTable().column(QStringLiteral("dod_id"));
  // Each group's members by either identifier; `memberNames` names them
  // (those this merge adds after those there) for a refusal's reason.
  KnownSoldiers known;
  QStringList memberNames;
  QHash<qint64, int> nextPosition;
  for (const RowAsRead& m : theirMembers) {
    const qint64 g = m.fields.value(0).toLongLong();
    known.add(QString::number(g), m.fields.value(dodIdAt), m.fields.value(ssnAt), int(memberNames.size()));
    memberNames << m.fields.value(3);
    nextPosition[g] = std::max(nextPosition.value(g), m.fields.value(1).toInt() + 1);
  }
  qint64 planned = 0;  // a group the plan would add has no ID yet
  for (const RowAsRead& g : source_.groups) {
    const QString date = g.fields.value(1), place = g.fields.value(2);
    std::optional<qint64> match;
    for (const RowAsRead& t : there) {
      const bool samePlace = t.fields.value(1) == date && t.fields.value(2) == place;
      const bool takenFromHere = note_ && note_->group == g.key && t.key == g.key &&
                                 note_->from == target_->describe() && t.fields.value(1) == date;
      if (takenFromHere) {
        match = t.key;
        break;
      }
      if (samePlace && !match) match = t.key;
    }
    if (!match) {
      next();
      const RowAsRead added =
          writing() ? groups.add({{QStringLiteral("test_date"), date}, {QStringLiteral("location"), place}})
                    : RowAsRead{--planned, 0, {QString(), date, place}};
      there.push_back(added);
      match = added.key;
    }
    groupMap_.insert(g.key, *match);
    for (const RowAsRead& m : source_.members) {
      if (m.fields.value(0).toLongLong() != g.key) continue;
      const QString scope = QString::number(*match);
      const QString dodId = m.fields.value(dodIdAt), ssn = m.fields.value(ssnAt);
      if (const QString why = identifierProblem(dodId, ssn); !why.isEmpty()) {
        refuseMember(m, date, why);
        continue;
      }
      const KnownSoldiers::Found found = known.find(scope, dodId, ssn);
      if (found.other) {
        refuseMember(m, date, found.other == found.at
                                  ? QStringLiteral("its SSN is that of %1 in the group at %2, who has another DoD ID")
                                        .arg(memberNames.value(*found.at), place)
                                  : QStringLiteral("its DoD ID is that of %1 and its SSN that of %2 in the group "
                                                   "at %3")
                                        .arg(memberNames.value(*found.at), memberNames.value(*found.other), place));
        continue;
      }
      // Known there by one identifier while the laptop pairs both: one
      // soldier, found by either from now on.
      if (found.at) {
        known.add(scope, dodId, ssn, *found.at);
        if (*found.at < int(theirMembers.size())) giveDodId(theirMembers.at(*found.at), *match, dodId);
        continue;
      }
      if (!writable(m.fields.value(6))) {
        skippedMembers_.push_back({&m, date, place});
        continue;
      }
      Record values;
      const QStringList names = testGroupMembersTable().names();
      for (int c = 0; c < names.size(); ++c) values.insert(names.at(c), m.fields.value(c).isNull() ? QStringLiteral("") : m.fields.value(c));
      values.insert(QStringLiteral("group_id"), QString::number(*match));
      values.insert(QStringLiteral("position"), QString::number(nextPosition[*match]++));
      next();
      if (writing()) members.add(values);
      known.add(scope, dodId, ssn, int(memberNames.size()));
      memberNames << m.fields.value(3);
    }
  }
}

void Merger::refuseMember(const RowAsRead& m, const QString& date, const QString& reason) {
  const QString dodId = m.fields.value(testGroupMembersTable().column(QStringLiteral("dod_id")));
  const QString ssn = m.fields.value(testGroupMembersTable().column(QStringLiteral("ssn")));
  refusedSoldiers_.add(QString(), dodId, ssn, 0);
  const Record member{
      {QStringLiteral("ssn"), ssn}, {QStringLiteral("dod_id"), dodId}, {QStringLiteral("test_date"), date}};
  if (listed_.contains(recordIdentity(member))) return;
  listed_.insert(recordIdentity(member));
  MergeLine line;
  line.kind = MergeLine::Kind::Refused;
  line.ssn = ssn;
  line.dodId = dodId;
  line.name = m.fields.value(3);
  line.testDate = date;
  line.reason = reason;
  report_.lines << line;
}

void Merger::listSkippedMembers() {
  for (const SkippedMember& s : skippedMembers_) {
    const QString dodId = s.row->fields.value(testGroupMembersTable().column(QStringLiteral("dod_id")));
    const Record member{{QStringLiteral("ssn"), s.row->fields.value(2)},
                        {QStringLiteral("dod_id"), dodId},
                        {QStringLiteral("test_date"), s.date}};
    if (listed_.contains(recordIdentity(member))) continue;
    listed_.insert(recordIdentity(member));
    MergeLine line;
    line.kind = MergeLine::Kind::Refused;
    line.ssn = s.row->fields.value(2);
    line.dodId = dodId;
    line.name = s.row->fields.value(3);
    line.testDate = s.date;
    line.reason = QStringLiteral("a member of the group at %1, of unit %2, which this clerk may not store")
                      .arg(s.place, describeValue(s.row->fields.value(6)));
    report_.lines << line;
  }
}
void Merger::giveDodId(const RowAsRead& here, qint64 group, const QString& dodId) {
  const std::optional<QString> number = normalizedDodId(dodId);
  const int dodIdAt = testGroupMembersTable().column(QStringLiteral("dod_id"));
  if (!number || !here.fields.value(dodIdAt).isEmpty() || !writable(here.fields.value(6))) return;
  next();
  if (writing()) groupsHere_->giveDodId(group, here.fields.value(testGroupMembersTable().column(QStringLiteral("ssn"))),
                                         *number);
}

}  // namespace quillon::fieldday::merging
