#pragma once
// Bringing one folder's five-event records and test groups into another
// records database, a file or a server, as one transaction: all of the
// merge is stored or none of it, and the folder merged from is only read
// (a copy of its file is opened, never the file itself; a server's folder
// is read as its clerk may read it, say to bring the office's records into
// a file).
//
// A record is known by its soldier and date of test (takeout.h), and a
// soldier here by the DoD ID number where both sides know it, else by the
// SSN; a member or record whose DoD ID names one soldier here and whose SSN
// another, or whose identifiers read as neither, is refused and listed with
// the reason, nothing of it stored. Each field is decided on its own
// against the record as it was taken out (none: a laptop that took nothing
// out): a field only the folder changed is stored,
// one only the target changed stays, and one both changed to different
// values is a conflict, stored over only by the clerk's choice. A record
// the target lacks is added; one deleted in the folder is deleted where
// nobody changed it since. Merging the same folder again finds nothing to
// do, a clash the clerk settled by keeping the value here included: that
// choice is kept in the target (mergesettled.h) until the folder brings
// another value. On a server a clerk held to some units stores only theirs:
// the others, records and members of groups, are refused and listed, never
// lost.
//
// With a clerk to ask, the merge reads first, asks outside any transaction
// (other stations keep writing meanwhile), then stores in one transaction
// what it decides again there; a clash that is not the one the clerk saw
// (the record changed meanwhile) is asked again, never stored over.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "clashrule.h"
#include "columnkind.h"
#include "soldierid.h"

namespace quillon::fieldday {

// Which side's value a conflicting field keeps without asking.
enum class Prefer { Neither, Source, Target };

// What becomes of one field, seen from the folder merged (`source`), the
// target, and what both held at the take-out (`base`; empty when nothing
// was taken out). Text compares as stored: no value and empty are alike,
// numbers by value.
enum class FieldFate { Same, Store, Conflict };
FieldFate fieldFate(const QString& base, const QString& source, const QString& target, ColumnKind kind);

struct MergeClash {
  QString field;
  QString source, target, base;
  // When, by whom and where each side's value was entered, as the trail of
  // changes of its database tells it; empty where it does not.
  QString sourceEntered = {}, targetEntered = {};
};

// A soldier as the merge's lines and questions name them: the SSN (masked
// unless asked for whole) and the DoD ID, as far as known.
QString shownSoldier(const QString& ssn, const QString& dodId, SsnShown how);

struct MergeLine {
  enum class Kind { Stored, Unchanged, Conflict, Refused };
  Kind kind = Kind::Unchanged;
  QString ssn, name, testDate;
  QString dodId = {};
  QList<MergeClash> clashes;  // Conflict: the fields left as the target holds them
  QString reason;             // Refused; Stored: how (added, deleted, fields)
  // The line as the command and the window show it: the soldier by name,
  // SSN (masked unless asked for whole) and DoD ID, as far as known.
  QString text(SsnShown how = SsnShown::Masked) const;
};

struct MergeReport {
  QList<MergeLine> lines;
  // What the clerk should know beyond the lines: the records changed while
  // the clerk decided, and what was asked again.
  QStringList notes;
  int count(MergeLine::Kind kind) const;
  // "stored N, unchanged N, conflicts N, refused N"
  QString summary() const;
  bool clean() const { return count(MergeLine::Kind::Conflict) == 0 && count(MergeLine::Kind::Refused) == 0; }
};

struct MergeOptions {
  Prefer prefer = Prefer::Neither;
  // Asked about each conflicting record when set (and prefer is Neither):
  // Store mine keeps the folder's values, Keep theirs the target's.
  ConflictChooser* chooser = nullptr;
  // How the questions put to the chooser show a soldier's SSN.
  SsnShown ssnShown = SsnShown::Masked;
  // Called before each statement the merge sends to the target, numbered
  // from 1, and last with the number of the commit (tests stop it there).
  std::function<void(int)> beforeStatement;
};

// Merges the records folder `fromFolder` into `intoFolder`. Throws Error
// with the reason, having stored nothing, when either cannot be read or
// reached, the folder's file is damaged or made by another version, or it
// holds only records of units the clerk may not store.
MergeReport mergeFolder(const QString& fromFolder, const QString& intoFolder, const MergeOptions& options = {});

}  // namespace quillon::fieldday
