#pragma once
// A roster file read into a test group: the same checks as the three-event
// roster import (previewRosterFile), then each accepted line as a member.
// The group keeps what the three-event records do not: the unit, the
// standard the soldier is scored under and the rank (for the pay grade on
// the card).

#include <QList>
#include <QString>

#include "roster.h"
#include "testgroups.h"

namespace quillon {

struct GroupRosterResult {
  QString error;                 // the whole file refused; nothing joins
  QList<GroupMember> joining;    // accepted lines not already in the group, in file order
  QList<int> joiningLines;       // the file's line of each of `joining`
  QStringList notJoining;        // "line N: why", for each refused or repeated line, in line order
  QStringList unusedColumns;     // the file's columns a group does not take, as written
};

// A soldier as the stored records and groups already name them: by the DoD
// ID number, the SSN (nine digits) or both.
struct KnownSoldier {
  QString dodId;
  QString ssn;
};

// Why `row` cannot join when its identifiers name two different known
// soldiers (its DoD ID number is one's, its SSN another's); empty when they
// do not. The SSN is named by its last four digits only.
QString identifierClash(const RosterRow& row, const QList<KnownSoldier>& known);

// The known soldiers a five-event roster may name: the stored five-event
// records carrying any of its identifiers (read through their indexes) and
// the members of every saved group. Throws DbError.
QList<KnownSoldier> knownSoldiersFor(const RosterPreview& preview, const QString& dbPath);

// The standard a roster cell names ("combat" or "general", from either word
// or its first letter in any case), or empty when it names neither.
QString rosterStandard(const QString& cell);

// A roster line as a group member: SSN as nine digits, the DoD ID number as
// read (either may be empty, not both), the date of birth as
// YYYY-MM-DD, unit and rank as the line gives them, and the standard it
// names, or `standard` ("combat" or "general") when the roster has no
// Standard column.
GroupMember memberFromRoster(const RosterRow& row, const QString& standard);

// The members a roster adds to `group`; soldiers already in it stay as they
// are and are named in notJoining, as is a line whose Standard cell is
// neither combat nor general (a wrong standard scores the soldier on the
// wrong column, so it is never guessed). `standard` is every member's when
// the roster has no Standard column. A soldier is in the group already when
// a member names them by the same DoD ID or SSN (sameSoldier). A line whose
// identifiers name two different `known` soldiers refuses the whole roster
// (error: the line and the reason): nothing of it joins.
GroupRosterResult rosterForGroup(const RosterPreview& preview, const TestGroup& group, const QString& standard,
                                 const QList<KnownSoldier>& known = {});

}  // namespace quillon
