#pragma once
// RecordHistory: what was done to the records in this run, so that it can be
// walked back and forward. It listens to the record store and keeps one step
// for each deletion (the whole record) and each stored change of a row (the
// fields it changed, before and after). A step is only taken when the file
// still holds what the step left behind; the window asks the clerk what to
// do otherwise, so a later change is never overwritten without a word.

#include <QObject>
#include <QStringList>
#include <QUndoStack>
#include <optional>

#include "recordstore.h"

namespace quillon {

class RecordHistory : public QObject {
  Q_OBJECT

 public:
  enum class Direction { Back, Forward };

  // What stands in the way of the next step.
  struct Obstacle {
    enum Kind {
      None,     // the file holds what the step expects
      Changed,  // the record was changed since (`fields` say where)
      Gone,     // the record the step changes no longer exists
      Taken     // the record to put back has its number used by another
    };
    Kind kind = None;
    QStringList fields;
  };

  explicit RecordHistory(RecordStore& store, QObject* parent = nullptr);
  ~RecordHistory() override;

  const QUndoStack& stack() const { return stack_; }
  bool canStep(Direction d) const;
  // The next step's name, e.g. "Delete of Abernathy, Cole"; empty when none.
  QString stepText(Direction d) const;
  // The record the next step touches; -1 when there is none.
  qint64 stepKey(Direction d) const;
  // Compares the file with what the next step expects. Throws DbError.
  Obstacle check(Direction d) const;
  // Takes the next step, whatever the file holds. False when the database
  // refused it (error() has the engine's message); the step is then dropped.
  bool step(Direction d);
  // Drops the next step from the history without touching the file.
  void drop(Direction d);
  QString error() const { return error_; }

  // While set, a stored change that exactly takes back the newest step
  // removes that step instead of becoming one of its own (a pick in the
  // grid undone by Escape leaves no trace).
  void setAbsorbInverse(bool on) { absorbInverse_ = on; }

  // How a record is named in the history: its name, or "record <ID>".
  static QString subjectOf(const QString& name, const QString& id);

 private:
  class Step;
  void onStored(qint64 key, const Record& before, const Record& after);
  void onDeleted(qint64 key, const Record& record);
  QString subjectOfKey(qint64 key, const Record& hint) const;
  const Step* next(Direction d) const;
  // Makes the file hold `target` for the record (none: no such record).
  void apply(qint64 key, const std::optional<Record>& target, const std::optional<Record>& expected);

  RecordStore& store_;
  QUndoStack stack_;
  bool applying_ = false;
  bool absorbInverse_ = false;
  QString error_;

  // ---- many records changed together ----
 public:
  // Records what one batch of the store did as a single step named `text`
  // (e.g. "Import of roster.csv"); nothing when the batch changed nothing.
  void recordBatch(const QString& text, const QList<RecordStore::BatchChange>& changes);

 private:
  Obstacle checkBatch(const QList<RecordStore::BatchChange>& batch, Direction d) const;
  // Makes the file hold what the batch's records were before (Back) or after.
  void applyBatch(const QList<RecordStore::BatchChange>& batch, Direction d);
};

}  // namespace quillon
