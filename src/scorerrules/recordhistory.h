#pragma once
// RecordHistory: what was done to the records in this run, so that it can be
// walked back and forward. It listens to the record store and records, in
// the window's undo history, one step for each deletion (the whole record)
// and each stored change of a row (the fields it changed, before and
// after), and stores the steps taken back and forward through the store.
// A step is only taken when the file still holds what the step left
// behind; the window asks the clerk what to do otherwise, so a later
// change is never overwritten without a word.

#include <QObject>
#include <QUndoStack>

#include "recordstore.h"
#include "undohistory.h"

namespace quillon {

class RecordHistory : public QObject, private UndoTarget {
  Q_OBJECT

 public:
  using Direction = UndoHistory::Direction;
  // What stands in the way of the next step.
  using Obstacle = UndoObstacle;

  explicit RecordHistory(RecordStore& store, QObject* parent = nullptr);
  ~RecordHistory() override;

  const QUndoStack& stack() const { return stack_; }
  bool canStep(Direction d) const { return history_.canStep(d); }
  // The next step's name, e.g. "Delete of Abernathy, Cole"; empty when none.
  QString stepText(Direction d) const { return history_.stepText(d); }
  // The record the next step touches; -1 when there is none.
  qint64 stepKey(Direction d) const { return history_.stepKey(d); }
  // Compares the file with what the next step expects. Throws DbError.
  Obstacle check(Direction d) const;
  // Takes the next step, whatever the file holds. False when the database
  // refused it (error() has the engine's message); the step is then dropped.
  bool step(Direction d);
  // Drops the next step from the history without touching the file.
  void drop(Direction d) { history_.drop(d); }
  QString error() const { return error_; }

  // While set, a stored change that exactly takes back the newest step
  // removes that step instead of becoming one of its own (a pick in the
  // grid undone by Escape leaves no trace).
  void setAbsorbInverse(bool on) { absorbInverse_ = on; }

  // Records what one batch of the store did as a single step named `text`
  // (e.g. "Import of roster.csv"); nothing when the batch changed nothing.
  void recordBatch(const QString& text, const QList<RecordStore::BatchChange>& changes);

  // How a record is named in the history: its name, or "record <ID>".
  static QString subjectOf(const QString& name, const QString& id);

 private:
  void onStored(qint64 key, const Record& before, const Record& after);
  void onDeleted(qint64 key, const Record& record);
  QString subjectOfKey(qint64 key, const Record& hint) const;
  QString take(const QList<UndoEdit>& edits) override;

  RecordStore& store_;
  QUndoStack stack_;
  UndoHistory history_;
  bool applying_ = false;
  bool absorbInverse_ = false;
  QString error_;
};

}  // namespace quillon
