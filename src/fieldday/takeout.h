#pragma once
// A test day without a network: a test group taken out of the records (on
// the battalion's server, as a rule) into a folder of its own on a laptop,
// which then works offline as any records folder does. The folder keeps,
// beside its info.mdb, a note of the take-out: where the group came from
// and every record as it was taken out, so that a merge can tell what the
// laptop changed from what others changed at the same time (merge.h).
//
// Rules only: everything reaches the records through storage's sessions
// and gateways; nothing here shows a window.

#include <QHash>
#include <QString>
#include <optional>

#include "quillonerror.h"
#include "recordbackend.h"
#include "soldierid.h"

namespace quillon::fieldday {

// The note's own form; a note of a higher form was written by a later
// version of the program, whose merge this one does not know.
inline constexpr int kNoteFormat = 1;

// A record is known in every database by its soldier and date of test: the
// SSN's nine digits (the DoD ID number for a soldier known by it alone) and
// YYYY-MM-DD. A take-out adds nothing to the records
// themselves, so a laptop that never took a group out merges the same way.
// `record` is a five-event record as field name -> text (fitnessRecordOf).
// Every comparison of records across databases (the take-out's note, the
// merge, the choices a clerk settled) asks this one function, so that how a
// soldier is known can change here alone.
QString recordIdentity(const Record& record);

// The SSN's digits alone.
QString ssnDigits(const QString& ssn);

// Soldiers already known in one database (a group's members, a date's
// records), found again by how another database names them: by the DoD ID
// number where both know it, else by the SSN. `scope` keeps groups or
// dates apart; `at` is whatever the caller finds the soldier by again.
class KnownSoldiers {
 public:
  // A soldier known by either identifier or both; one already known under
  // `at` gains the identifier it lacked.
  void add(const QString& scope, const QString& dodId, const QString& ssn, int at);
  struct Found {
    std::optional<int> at;  // the soldier named, when one is
    // Set when the DoD ID names `at` and the SSN `other`, or (`other` equal
    // to `at`) the SSN names a soldier known by another DoD ID: two
    // soldiers in one, whom nothing may be stored for.
    std::optional<int> other;
  };
  Found find(const QString& scope, const QString& dodId, const QString& ssn) const;

 private:
  QHash<QString, int> byDodId_, bySsn_;
  QHash<int, QString> dodIdOf_;
};

// The five-event record's identifiers as another database would find it by.
inline QString dodIdOf(const Record& r) { return r.value(QStringLiteral("dod_id")); }
inline QString ssnOf(const Record& r) { return r.value(QStringLiteral("ssn")); }
// A five-event row as field name -> text, its fields with a value only,
// the ID (each database's own) left out.
Record fitnessRecordOf(const RowAsRead& row);

struct TakeOutNote {
  int format = kNoteFormat;
  QString id;       // generated at the take-out; one per laptop folder
  QString takenAt;  // UTC, ISO 8601
  QString from;     // the records the group came from, as their session describes them
  qint64 group = 0;  // the group's ID there, and in the folder
  QString testDate, location;
  // Each record taken out, by recordIdentity(), as field name -> text.
  QHash<QString, Record> records;
};

// The note's file in a folder.
QString notePath(const QString& folder);
// The folder's note; none when the folder was never a take-out. Throws
// Error when the note is there but unreadable or of a later form.
std::optional<TakeOutNote> readNote(const QString& folder);

struct TakeOutResult {
  int soldiers = 0;
  int records = 0;  // the test date's and the history's
};

// Copies group `groupId` of the records folder `fromFolder` into
// `toFolder` (made if missing): the group and its members, and every
// soldier's record of the test date and their last four five-event tests
// before it, for cards and history. `toFolder` must hold no records yet.
// Throws Error with the reason; the source is only read.
TakeOutResult takeOut(const QString& fromFolder, qint64 groupId, const QString& toFolder);

// The records database of a records folder (info.mdb; a connection file
// beside it sends it to a server).
QString recordsPathOf(const QString& folder);

}  // namespace quillon::fieldday
