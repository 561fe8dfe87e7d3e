#pragma once
// Undo and Redo over changes of records, for both tests' windows.
//
// A step is what one action of the clerk did, as the changes it made to
// one record or several, each marked as bringing its record into being,
// taking it away, or setting fields of it. The history records a step once
// it has been stored, and takes it back or forward again through its
// owner, who alone knows how to store a change; a step the owner refuses
// stores nothing and leaves the history where it stood. What the clerk is
// asked when another station changed a record since is the owner's too.
//
// The steps are kept on a QUndoStack, so a window's Edit menu follows its
// signals. Undo and Redo go through step(), which moves the stack only once
// the step is stored; the stack's own undo() and redo() store the step too,
// but move on whether or not the owner refused it.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "clashrule.h"

class QUndoStack;

namespace quillon {

// One record's part of a step.
struct UndoEdit {
  enum Kind {
    Update,  // sets the fields `change` writes
    Add,     // brings the record into being with the fields `change` writes
    Remove   // takes the record away; `change` writes every field it had
  };
  Kind kind = Update;
  Change change;
  // The edit that takes this one back.
  UndoEdit inverse() const;
};

// The owner of the records a history's steps change.
class UndoTarget {
 public:
  virtual ~UndoTarget() = default;
  // Stores the edits of one step in their order, all or none. Empty when
  // stored, else why nothing was.
  virtual QString take(const QList<UndoEdit>& edits) = 0;
};

// What stands in the way of a step, seen from the records as stored now.
struct UndoObstacle {
  enum Kind {
    None,     // the records hold what the step expects
    Changed,  // a record was changed since (`fields` say where)
    Gone,     // a record the step changes no longer exists
    Taken     // a record to put back has its key used by another
  };
  Kind kind = None;
  QStringList fields;
};

// The value `r` holds for field `name`, its case aside: field names of a
// hand-made table need not be upper case. None when `r` holds no such field.
std::optional<QString> fieldIn(const Record& r, const QString& name);

// The obstacle the worst of `edits` meets; `stored` reads a record as it
// is stored now (none: no such record). A field named in several records
// is named once. A record the edits take away that has a value in a field
// they do not name was filled since.
UndoObstacle obstacleOf(const QList<UndoEdit>& edits, const std::function<std::optional<Record>(qint64)>& stored);

class UndoHistory {
 public:
  enum class Direction { Back, Forward };

  // `stack` and `target` outlive the history.
  UndoHistory(QUndoStack& stack, UndoTarget& target);
  ~UndoHistory();
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;

  QUndoStack& stack() { return stack_; }
  const QUndoStack& stack() const { return stack_; }

  // Records a step already stored, named `text`; nothing when it has no
  // edits. Any steps that were undone are forgotten.
  void record(const QString& text, const QList<UndoEdit>& edits);

  bool canStep(Direction d) const;
  // The next step's name; empty when there is none.
  QString stepText(Direction d) const;
  // The record the next step touches first; -1 when there is none.
  qint64 stepKey(Direction d) const;
  // The edits the next step stores, in the order it stores them (taken
  // back newest first, so a record changed twice ends as it began).
  QList<UndoEdit> nextEdits(Direction d) const;

  // Takes the next step through the target. Empty when it was stored;
  // else why not, and the history stands where it stood.
  QString step(Direction d);
  // Forgets the next step without storing anything.
  void drop(Direction d);
  // Forgets the newest step when `edit` takes exactly it back and nothing
  // was undone since (a change put back by hand leaves no trace); true
  // then.
  bool absorb(const UndoEdit& edit);

 private:
  class Step;
  const Step* next(Direction d) const;
  // Moves the stack's position one step without storing anything.
  void move(Direction d);
  static QList<UndoEdit> backOf(const QList<UndoEdit>& edits);

  QUndoStack& stack_;
  UndoTarget& target_;
  bool moving_ = false;  // the stack moves over a step stored already
};

}  // namespace quillon
