#pragma once
// The five-event test records: one row per soldier per test date, in table
// fitness_tests of the same records database as the three-event table info,
// on the file and on the records server alike. Storage keeps the values it
// is given (points, totals and verdicts come from the scoring rules) after
// checking that each fits its column.
//
// Several stations may enter different events of the same soldier at the
// same time (one lane each), so a store names only the fields it changes and
// is refused only when one of those very fields was changed by another
// station since it was read; a row's other fields are never written. A store
// that clashes writes nothing and reports each clashing field with the value
// stored now and the one meant (ConflictError).

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "recordbackend.h"
#include "recordtables.h"

namespace quillon {

namespace sqlite {
class Database;
}

// A column of table fitness_tests (recordtables.h). Key: the row's ID, given by
// the database. Number: a whole number, never negative (repetitions, pounds,
// points, and times as whole seconds). Decimal: a number with at most two
// decimal places (height in inches, body fat). Date: YYYY-MM-DD. Verdict: GO
// or NO-GO. Text and Ssn: kept as given.
using FitnessField = RecordColumn;

// Every column of table fitness_tests but the row version, in table order;
// the ID first.
const QList<FitnessField>& fitnessFields();
const QStringList& fitnessFieldNames();
inline QString fitnessTableName() { return QStringLiteral("fitness_tests"); }

// The fields added to the table after its first form ("dod_id"), and the
// table's columns in the order a file holds them: the first fields, the row
// version, then those added later, as an upgrade adds them.
const QStringList& fitnessFieldsAddedLater();
QStringList fitnessTableColumns();

// The statements that create the table and its indexes in a records file.
QStringList fitnessTableSqliteDdl();
// Those of them that serve the DoD ID (an older file gains them with it).
QStringList fitnessDodIdIndexesSqliteDdl();

// Adds table fitness_tests to a records file that holds table info but not
// yet this one, in one transaction; every other table is left as it was.
// Throws DbError with the engine's message.
void addFitnessTable(sqlite::Database& db);
bool hasFitnessTable(const sqlite::Database& db);

// `values` checked against their columns, each in the form it is stored in
// (a blank or null value as none). Throws DbError naming the field and the
// value that does not fit, or a name that is no writable field.
Record checkedFitnessValues(const Record& values);

// The fields of `changes` that another station changed since `asRead`.
QList<FieldClash> fitnessClashes(const RowAsRead& asRead, const RowAsRead& now, const Record& changes);

class FitnessRecords {
 public:
  virtual ~FitnessRecords();

  // The five-event records beside the records at `dbPath` (a folder's
  // info.mdb): on the server its connection file names, else in the file.
  static std::unique_ptr<FitnessRecords> forDatabase(const QString& dbPath);
  static std::unique_ptr<FitnessRecords> onServer(const QString& conninfo);

  // Throws DbError with the engine's message.
  virtual void open() = 0;
  virtual void close() = 0;

  // Rows carry the ID as key, the row version, and every field in
  // fitnessFieldNames() order (the ID as text first, no value as a null
  // string).
  virtual std::vector<RowAsRead> readAll() = 0;  // by test date, name, ID
  // The same records with only `fields` (and the ID) read where the store
  // can leave the others out; a reader looks at no other field.
  std::vector<RowAsRead> readAllOf(const QStringList& fields);
  // Those records handed to `row` one at a time as they are read, until it
  // answers false, none of them kept: a division's records in the memory of
  // one. The row handed is refilled for the next.
  virtual void forEachOf(const QStringList& fields, const std::function<bool(const RowAsRead&)>& row);
  // The records of these soldiers, each named by soldierIdentity(): nine
  // digits through the index by SSN (rows of an SSN written another way may
  // come along, ssnkey.h), ten through the index by DoD ID. In
  // readAll's order. With `fields` named, only those (and the ID) are read;
  // the row's other fields hold no value.
  virtual std::vector<RowAsRead> readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields = {}) = 0;
  // The same records, every field, in no order promised: for a reader that
  // puts them in its own, spared a sort it would undo.
  virtual std::vector<RowAsRead> readOfSoldiersUnordered(const QStringList& ssnDigits) {
    return readOfSoldiers(ssnDigits);
  }
  // The records with these IDs, in readAll's order; an ID no record has is
  // left out.
  virtual std::vector<RowAsRead> readIds(const QList<qint64>& ids) = 0;
  virtual std::optional<RowAsRead> fetch(qint64 id) = 0;
  // The record of this SSN on this date of test; none when there is none.
  virtual std::optional<RowAsRead> find(const QString& ssn, const QString& testDate) = 0;
  // Of each SSN as written (not empty), the records of its latest date of
  // test and those of its latest date up to `upTo` that hold a result; with
  // every record whose date is no date of a real day written YYYY-MM-DD,
  // which only the caller can place. In readAll's order. Whoever picks a
  // soldier's latest record or latest result from all of them picks the
  // same from these, ties and all. Every record where they cannot be told.
  virtual std::vector<RowAsRead> readLatest(const QString& upTo);
  // The record of this DoD ID number (ten digits) on this date of test.
  virtual std::optional<RowAsRead> findByDodId(const QString& dodId, const QString& testDate) = 0;
  // The record on this date of the soldier these identifiers name: by the
  // DoD ID number when given, else (or when none carries it: a record made
  // before the number) by the SSN.
  std::optional<RowAsRead> findOfSoldier(const QString& dodId, const QString& ssn, const QString& testDate);
  // Adds a record holding `values` (field name -> text). Refused when the
  // soldier already has a record on that date of test, by SSN or by DoD ID
  // (DbError naming both).
  virtual RowAsRead add(const Record& values) = 0;
  // Writes `changes` into the row read as `asRead`; ConflictError when one
  // of those fields changed elsewhere since, DbError when the row is gone
  // or when the change would leave a record that names its soldier (by SSN
  // or DoD ID number) naming no one.
  virtual RowAsRead store(const RowAsRead& asRead, const Record& changes) = 0;
  // Deletes the row read as `asRead`; ConflictError when any of its fields
  // changed since. False when it was already gone.
  virtual bool remove(const RowAsRead& asRead) = 0;

  // What a test day's window follows: the records with these IDs, and
  // those of these SSNs or DoD ID numbers (exactly as written) on this date
  // of test.
  struct Followed {
    QList<qint64> ids;
    QStringList ssns;
    QStringList dodIds;
    QString testDate;
  };
  // What changed among them since `mark` (0: every one of them), with the
  // mark to hand the next call. A row may come again unchanged: compare
  // versions. None where the records keep no change counter (a server set
  // up before it): the caller reads each record itself.
  struct Changes {
    std::vector<RowAsRead> rows;
    qint64 mark = 0;
  };
  virtual std::optional<Changes> changesSince(const Followed& followed, qint64 mark);
  // While held, the engine keeps little of the pages it reads: for a read
  // that visits each of them once (RecordsSession::holdCacheSmall).
  virtual void holdCacheSmall(bool) {}
};

}  // namespace quillon
