#pragma once
// The one way the programs hold SQLite: a connection, a prepared statement and
// a write transaction, each released by its destructor on every path, each
// failure thrown as DbError with the engine's own message and its primary
// result code. Callers that must tell one failure from another (the database
// tool's repair) use the try- forms, which never throw, and read the code
// from the connection.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "dbfile.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quillon::sqlite {

class Database {
 public:
  enum class Mode { ReadOnly, ReadWrite };
  Database() = default;
  // Opens an existing file; a database is never created here (see
  // createRecordsDatabase). Throws DbError with the engine's message.
  // `busyMs` 0: a file another program is writing fails at once as busy.
  Database(const QString& path, Mode mode, int busyMs = 2000);
  ~Database();
  Database(Database&& o) noexcept : db_(o.db_), kept_(std::move(o.kept_)), watch_(std::move(o.watch_)) {
    o.db_ = nullptr;
  }
  Database& operator=(Database&& o) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool isOpen() const { return db_ != nullptr; }
  sqlite3* get() const { return db_; }
  QString errorMessage() const;
  // The primary result code (extended bits masked off) of the latest failure.
  int errorCode() const;
  // Runs statements without parameters or results.
  void exec(const QString& sql);
  // As exec, reporting a failure only by returning false.
  bool tryExec(const QString& sql);
  qint64 lastInsertRowid() const;
  // Rows changed by the latest INSERT, UPDATE or DELETE.
  int changes() const;
  // The engine's message, after `what: ` when given.
  [[noreturn]] void fail(const QString& what = QString()) const;

  // Keeps up to `count` statements of this connection once they are done,
  // by their text, so that a statement run again is not compiled again: a
  // write compiles every trigger of its table with it, which costs more
  // than the write. A statement kept is reset and holds no values.
  void keepStatements(int count);

  // Runs `ready` on this connection just before it first changes one of
  // `tables` (by any statement, a trigger's too), not before: what it costs
  // is spared a connection that only reads. A statement that would change
  // them is held back while it is compiled, `ready` runs, and the statement
  // is compiled again. What `ready` makes inside a transaction that is then
  // rolled back is gone with it, so it runs again before the next change.
  // `ready` must not change those tables itself. Replaces an earlier call's.
  void beforeFirstChangeTo(const QStringList& tables, std::function<void(Database&)> ready);
  // Whether `ready` has run and what it made still holds; false without one.
  bool readyForChanges() const;
  // True while `ready` runs (its statements are not the caller's).
  bool makingReady() const;

 private:
  friend class Statement;
  struct Kept;
  struct Watch;
  // Finalizes what is kept; the statements still out finalize themselves.
  void dropKept();
  // When the latest failure was a change held back for `ready`: runs it and
  // answers true (the caller tries once more). Throws what `ready` throws.
  bool readyAfterRefusal() const;
  // sqlite3_prepare_v2, compiling once more after `ready` ran for it. A
  // failure leaves *s null and the engine's code returned.
  int prepare(const char* sql, int bytes, sqlite3_stmt** s, const char** tail) const;
  sqlite3* db_ = nullptr;
  std::shared_ptr<Kept> kept_;
  std::shared_ptr<Watch> watch_;
};

class Statement {
 public:
  // Throws DbError when the statement does not prepare.
  Statement(const Database& db, const QString& sql);
  // Null when the statement does not prepare (the caller tries another form).
  static Statement tryPrepare(const Database& db, const QString& sql);
  ~Statement();
  Statement(Statement&& o) noexcept : db_(o.db_), s_(o.s_), home_(std::move(o.home_)), sql_(std::move(o.sql_)) {
    o.s_ = nullptr;
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& operator=(Statement&&) = delete;

  bool isNull() const { return s_ == nullptr; }
  sqlite3_stmt* get() const { return s_; }
  // `exact`: a null string is bound as no value; otherwise as empty text,
  // which is what a box that was cleared holds.
  void bindText(int i, const QString& v, bool exact = false);
  void bindInt(int i, qint64 v);
  void bindDouble(int i, double v);
  void bindNull(int i);
  void bindBlob(int i, const QByteArray& v);
  // Text stored byte for byte as given, in the given encoding, never checked
  // or converted: what a salvaged page held goes back unchanged.
  enum class Encoding { Utf8, Utf16le, Utf16be };
  void bindTextBytes(int i, const QByteArray& v, Encoding encoding = Encoding::Utf8);
  // Column `col` of the current row of `from`, of whatever type it holds.
  void bindColumn(int i, const Statement& from, int col);
  // True with a row, false at the end; throws DbError on a failure.
  bool step();
  // One step that never throws; after Failed the connection holds the
  // failure's code and message.
  enum class Step { Row, Done, Failed };
  Step tryStep();
  // Steps a statement that returns no rows.
  void run() { step(); }
  void reset();

  int columnCount() const;
  QString columnName(int col) const;
  QString text(int col) const;  // a null string for no value
  // The same, sharing `before` (when there is one) when it holds that very text (plain ASCII
  // compared, anything else made anew): the rows of one soldier repeat most
  // of their fields, and sharing spares making each again.
  QString textSharing(int col, const QString* before) const;
  // The row's first `columns` fields into `out` (that many), each sharing
  // the same field of `before` as textSharing does; a whole number compared
  // as one with the number that field of `before` held (`numbers`, kept by
  // the caller from row to row), its text made only when it differs.
  void readSharing(QString* out, int columns, const QStringList& before,
                   std::vector<std::optional<qint64>>& numbers) const;
  // The same for the columns listed only; the others are left as they are.
  void readSharing(QString* out, const QList<int>& only, const QStringList& before,
                   std::vector<std::optional<qint64>>& numbers) const;
  const char* raw(int col) const;
  int bytes(int col) const;
  qint64 integer(int col) const;

 private:
  friend class Database;
  Statement(const Database* db, sqlite3_stmt* s) : db_(db), s_(s) {}
  sqlite3_stmt* release();
  void readOneSharing(int c, QString& out, const QStringList& before, std::optional<qint64>& number) const;
  const Database* db_;
  sqlite3_stmt* s_ = nullptr;
  // Where a statement of a connection that keeps them goes back when done.
  std::shared_ptr<Database::Kept> home_;
  QString sql_;
};

// BEGIN IMMEDIATE: reads and the write that follows them see one state of
// the file, no other program changing the row in between. Rolled back unless
// committed.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void commit();

 private:
  Database* db_;
};

QString quoted(const QString& name);

// Whether the file holds a table of this name (names compared as the engine
// does, without case).
bool hasTable(const Database& db, const QString& name);
// Whether that table holds a column of this name (names compared without
// case). Read from the schema the connection already holds, compiling no
// statement: every opening of a records file asks it.
bool hasColumn(const Database& db, const QString& table, const QString& column);

}  // namespace quillon::sqlite
