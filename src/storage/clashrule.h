#pragma once
// A change of a record and the one rule for when it clashes with another
// station's change, for both tests.
//
// A change is "set these fields of record R from what this station read to
// new values". It names every field it answers for: those it writes, and
// those it was decided on without writing them. A lane of the five-event
// test answers for its own fields only, so lanes of one soldier entered at
// different stations never clash; a three-event row is typed and converted
// against the whole row as the clerk sees it, so its change answers for
// every field of the row; a deletion answers for every field and writes
// none. A field clashes when another station changed it since it was read
// and this change answers for it, unless both stored the same value in it.
//
// What the clerk chooses about a clash is asked through one seam: the
// windows ask with the conflict window, tests answer in its place.

#include <QList>
#include <QString>
#include <functional>

#include "recordbackend.h"

namespace quillon {

struct Change {
  struct Field {
    QString name;
    QString from;  // as this station read it
    QString to;    // what it becomes (`from` when not written)
    bool writes = false;
  };
  qint64 key = 0;
  QList<Field> fields;

  // Sets `name` from `from` to `to`.
  void write(const QString& name, const QString& from, const QString& to) { fields.append({name, from, to, true}); }
  // Counts `name` as read at `from` without writing it.
  void rest(const QString& name, const QString& from) { fields.append({name, from, from, false}); }
  // The fields written, as they were read and as they become.
  Record before() const;
  Record after() const;
  // The same fields set back: what this change wrote becomes what it read.
  Change inverse() const;
};

// The fields of `change` that another station changed since they were
// read; `stored` gives a field's value as stored now. In the change's order.
// Text compares as the clerk sees it: no value and empty text are alike.
QList<FieldClash> clashesOf(const Change& change, const std::function<QString(const QString& name)>& stored);

// What becomes of a change that clashed: the clerk's choice.
enum class ConflictChoice {
  Undecided,   // closed without choosing: nothing stored, the typing stays
  KeepTheirs,  // the other station's values stay; what was typed is dropped
  StoreOurs,   // what was typed is stored over theirs
};

// Asks the clerk about a clash. The windows ask with the conflict window;
// tests answer in its place.
class ConflictChooser {
 public:
  virtual ~ConflictChooser() = default;
  // `subject` names what clashed ("the record of Baker (ID 12)", "HRP of
  // Baker"); `conflict` each clashing field with theirs and ours.
  virtual ConflictChoice choose(const QString& subject, const StoreConflict& conflict) = 0;
};

// Asks about `conflict` and carries out the choice: Store mine calls
// `storeOver` with the conflict (their row as stored now), which throws
// ConflictError when yet another change came in between, asked about
// again; Keep theirs calls `keep`. Returns the choice; Undecided stores
// nothing and leaves in `conflict` the last one met. DbError passes.
ConflictChoice settleConflict(ConflictChooser& chooser, const QString& subject, StoreConflict& conflict,
                              const std::function<void(const StoreConflict&)>& storeOver,
                              const std::function<void(const StoreConflict&)>& keep);

}  // namespace quillon
