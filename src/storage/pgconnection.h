#pragma once
// One connection to the records server, and the file that sends a working
// folder there.
//
// Built on libpq itself rather than QtSql's PostgreSQL driver (which wraps
// the same library): a conflict, a refused privilege and a lost server must
// be told apart by their SQLSTATE and by the connection's status, a lost
// connection must be reset in place, and the move of a folder's records
// needs statements the driver does not expose (OVERRIDING SYSTEM VALUE with
// RETURNING, setval). The SQLite store, too, talks to its engine directly.
//
// The connection file is "info.pgconn" beside where info.mdb would be: the
// same stem says whose records it holds, the extension that it is a
// PostgreSQL connection string. It holds one libpq connection string, either
// "host=... port=... dbname=... user=... sslmode=..." or a
// "postgresql://user@host:port/dbname?sslmode=..." URI; lines starting with
// '#' are comments. It never holds a password: the password goes in the
// user's ~/.pgpass (libpq ignores that file unless only its owner can read
// it), or a "service=name" line picks an entry of ~/.pg_service.conf.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

#include "dbfile.h"

struct pg_conn;
struct pg_result;

namespace quillon::pg {

// A failure at the server boundary. Derives from the records' own error so
// one catch serves both stores.
class PgError : public DbError {
 public:
  enum class Kind {
    Refused,      // the connection file itself was refused
    Unreachable,  // no connection could be made
    Lost,         // the connection broke during a call; the next call reconnects
    Server,       // the server refused a statement (sqlState() says why)
  };
  PgError(Kind kind, const QString& message, const QString& sqlState = QString())
      : DbError(message), kind_(kind), sqlState_(sqlState) {}
  Kind kind() const { return kind_; }
  const QString& sqlState() const { return sqlState_; }

 private:
  Kind kind_;
  QString sqlState_;
};

inline QString connFileName() { return QStringLiteral("info.pgconn"); }
// The connection file of a working folder.
QString connFilePath(const QString& folder);

// The connection string in `path`, checked. Throws PgError(Refused) when the
// file cannot be read, is empty, does not parse, or holds a password (a
// password is refused whatever the file's permissions: the working folder is
// copied to backups and sticks that keep no permissions at all).
QString readConnFile(const QString& path);

// Parses a connection string and refuses one holding a password. `origin`
// names where it came from in the message. Throws PgError(Refused).
void checkConnInfo(const QString& conninfo, const QString& origin);

// Where a connection string leads, as far as it and the environment tell.
// A server on the machine itself (a socket folder, localhost, loopback) is
// local; any other host is remote, and is reached with sslmode=verify-full
// only: a connection asking for less (unencrypted, or without checking that
// the certificate is the named server's) is refused before anything is sent.
struct ServerPlace {
  bool remote = false;
  QString host;
  QString sslMode;  // as given by the string or PGSSLMODE; empty if neither
};
ServerPlace serverPlace(const QString& conninfo);

// The program and machine, as the server's trail of changes records where a
// change came from ("ravelin@lane3"); the connection string may name another
// with application_name.
QString stationName();

// "database quillon on db.example:5432 as clerk1": which database a
// connection string names, with libpq's defaults (environment, service file)
// filled in. Never the password.
QString describeConnInfo(const QString& conninfo);

// A parameter of a statement: text, or SQL NULL.
using Param = std::optional<QByteArray>;
inline Param text(const QString& s) { return s.toUtf8(); }

// A query's result, owned.
class Result {
 public:
  explicit Result(pg_result* r = nullptr) : r_(r) {}
  ~Result();
  Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  Result& operator=(Result&& o) noexcept;
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;

  int rows() const;
  int columns() const;
  bool isNull(int row, int col) const;
  const char* raw(int row, int col) const;
  int length(int row, int col) const;
  QString value(int row, int col) const;
  qint64 integer(int row, int col) const;
  // The command tag the server answered with ("UPDATE 1", "COMMIT").
  QByteArray command() const;
  pg_result* get() const { return r_; }

 private:
  pg_result* r_;
};

class Connection {
 public:
  explicit Connection(const QString& conninfo);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects, or reconnects a connection that broke. Throws
  // PgError(Unreachable) naming the server, never the password, and
  // PgError(Refused) for a server on another machine that is not reached
  // with its certificate checked (serverPlace), saying why and what to do.
  void open();
  void close();
  bool isOpen() const;
  // Which database this is ("database quillon on db.example:5432 as clerk1"),
  // from the live connection when there is one.
  QString description() const;

  // Runs one statement with parameters $1, $2, ...; opens or reconnects
  // first when needed. Throws PgError: Lost when the connection broke
  // during the call (whether a change took effect is then unknown),
  // Server with the SQLSTATE when the statement was refused.
  Result exec(const char* sql, const std::vector<Param>& params = {});

  // As exec, for a statement a station sends over and over (a store): the
  // server parses and plans it on its first use in each session only. Each
  // call is one round trip: the first sends the statement to be prepared
  // and run together. A reconnect is a new session, where it is prepared
  // again.
  Result execPrepared(const QByteArray& sql, const std::vector<Param>& params = {});

  // Counts the sessions: it moves at every connect and reconnect, so a
  // transaction can tell that the session it began in is gone.
  quint64 session() const { return session_; }

  // Statements run, and the times the station waited for the server's
  // answer, since the connection was made: what a store costs, for tests to
  // hold it to.
  quint64 statements() const { return statements_; }
  quint64 roundTrips() const { return roundTrips_; }

  // Runs a script of several statements without parameters (the shipped
  // setup). Throws as exec does.
  void runScript(const QByteArray& sql);

  pg_conn* handle() const { return conn_; }

 private:
  // `r` owned when the server took the statement; else throws as exec does.
  Result answer(pg_result* r);
  [[noreturn]] void fail(pg_result* r);

  QString conninfo_;
  pg_conn* conn_ = nullptr;
  quint64 session_ = 0;
  quint64 statements_ = 0, roundTrips_ = 0;
  // Statements prepared in this session, by their text: the server's name for each.
  QHash<QByteArray, QByteArray> prepared_;
};

// One transaction on a connection: BEGIN when made, COMMIT by commit(), and
// ROLLBACK when it goes out of scope uncommitted, on every path out. Errors
// come as PgError with the server's own message. A connection that broke
// meanwhile is not made again just to roll back: the server drops the
// transaction of a session that ended by itself.
class Transaction {
 public:
  explicit Transaction(Connection& c);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Throws PgError: Lost when the connection broke, even earlier in the
  // transaction (a statement after that ran outside it, in the new session);
  // Server when the server refused the commit or had already rolled the
  // transaction back after a failed statement.
  void commit();

 private:
  Connection* c_;
  quint64 session_;
};

}  // namespace quillon::pg
