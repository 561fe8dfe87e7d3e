#pragma once
// The test records in the table `info` of a PostgreSQL database that several
// scoring stations share.
//
// Every row carries a version that the server bumps on each change. A
// station stores a row only when the version is still the one it read, so a
// change made elsewhere in between is never overwritten unseen: the store
// answers with the other station's row and the fields it changed instead,
// and the caller decides (keep theirs, or store ours over it with
// storeAnyway). IDs come from the server's identity sequence, so adds at
// several stations never share one.
//
// Every call may throw PgError: Lost when the server went away during the
// call (the next call reconnects), Server when a statement was refused.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "pgconnection.h"
#include "recordbackend.h"

namespace quillon {
class Gateway;
class RecordsSession;
}  // namespace quillon

namespace quillon::pg {

// One row as the server holds it: the eighteen fields in infoFieldNames()
// order (ID as text in the first), NULL read as empty.
struct PgRecord {
  qint64 id = 0;
  qint64 version = 0;
  QStringList fields;
  // Field by name, case ignored; asserts the name is a field.
  QString field(const QString& name) const;
};

// A field another station changed since this one read the row: the one
// conflict rule of both backends (clashesOf).
using FieldClash = quillon::FieldClash;

struct StoreOutcome {
  enum class Kind {
    Done,              // stored (or deleted); `row` is the row as stored now
    Conflict,          // changed elsewhere, nothing written; `row` is theirs
    DeletedElsewhere,  // the row is gone from the server; nothing written
  };
  Kind kind = Kind::Done;
  PgRecord row;
  QList<FieldClash> clashes;
};

class PgStore {
 public:
  // The row source: every field of every row, by name with ASCII case
  // folded, blank names first, then by ID. The table's index has this order.
  static QString rowSourceQuery();

  // A station of its own on the server `conninfo` names.
  explicit PgStore(const QString& conninfo);
  // Through a records session (shared with whoever else holds it).
  explicit PgStore(std::shared_ptr<RecordsSession> session);
  ~PgStore();

  // Connects (or reconnects). Throws PgError(Unreachable) naming the server.
  void open();
  void close() { conn_.close(); }
  bool isOpen() const { return conn_.isOpen(); }
  // For the status bar: which database is open, never the password.
  QString description() const { return conn_.description(); }

  std::vector<PgRecord> readAll();
  // The rows of one soldier (nine digits) through the index by SSN
  // (ssnkey.h: rows of an SSN written another way may come along), by ID.
  std::vector<PgRecord> readOfSoldier(const QString& ssnDigits);
  std::optional<PgRecord> fetch(qint64 id);

  // Adds a row holding `values` (field name -> text, case ignored; the rest
  // NULL); the server gives its ID.
  PgRecord add(const QHash<QString, QString>& values = {});

  // Stores `changes` into the row read as `asRead`, unless another station
  // changed or deleted it since.
  StoreOutcome store(const PgRecord& asRead, const QHash<QString, QString>& changes);
  // After a Conflict: stores `changes` over the other station's row it
  // reported. Their changes to other fields stay. Answers Conflict again
  // when a third change came in between.
  StoreOutcome storeAnyway(const StoreOutcome& conflict, const QHash<QString, QString>& changes) {
    return store(conflict.row, changes);
  }
  // Deletes the row read as `asRead`: Done, Conflict when it was changed
  // elsewhere (nothing deleted), DeletedElsewhere when it was already gone.
  StoreOutcome remove(const PgRecord& asRead);
  // Deletes the row whatever its version; false when it was already gone.
  bool removeAnyway(qint64 id);
  // Deletes the row whatever its version; what it held, none when it was
  // already gone.
  std::optional<PgRecord> take(qint64 id);
  // Puts a deleted row back under its own ID (one the server gave before),
  // holding `values` (field name -> text, case ignored; the rest NULL).
  PgRecord restore(qint64 id, const QHash<QString, QString>& values);

  Connection& connection() { return conn_; }

 private:
  static PgRecord record(const Result& r, int row);
  StoreOutcome conflictOrGone(const PgRecord& asRead, const QHash<QString, QString>& changes);
  // The conflict of `changes` to the row read as `asRead` with the row as it is now.
  static StoreOutcome conflict(const PgRecord& asRead, PgRecord theirs, const QHash<QString, QString>& changes);
  static PgRecord record(RowAsRead r);

  Connection& conn_;
  std::unique_ptr<Gateway> rows_;
};

}  // namespace quillon::pg
