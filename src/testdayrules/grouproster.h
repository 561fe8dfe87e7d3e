#pragma once
// A roster file read into a test group: the same checks as the three-event
// roster import (previewRosterFile), then each accepted line as a member.

#include <QList>
#include <QString>

#include "roster.h"
#include "testgroups.h"

namespace quillon {

struct GroupRosterResult {
  QString error;                 // the whole file refused; nothing joins
  QList<GroupMember> joining;    // accepted lines not already in the group, in file order
  QList<int> joiningLines;       // the file's line of each of `joining`
  QStringList notJoining;        // "line N: why", for each refused or repeated line
};

// A roster line as a group member: SSN as nine digits, the date of birth as
// YYYY-MM-DD, the standard `standard` ("combat" or "general") since a roster
// carries none.
GroupMember memberFromRoster(const RosterRow& row, const QString& standard);

// The members a roster adds to `group`; soldiers already in it stay as they
// are and are named in notJoining.
GroupRosterResult rosterForGroup(const RosterPreview& preview, const TestGroup& group, const QString& standard);

}  // namespace quillon
