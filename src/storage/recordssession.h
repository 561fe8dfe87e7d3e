#pragma once
// The one place that decides where a folder's records live and holds the
// way there for the whole process: the file itself (info.mdb) or the
// records server that the folder's connection file (info.pgconn) names.
// Everyone who asks for the records at the same path gets the same
// session, so the scorer, every test-day window and every store behind
// them share one connection; it closes when the last of them lets go.
//
// A session also counts what it sends (statements, and on a server the
// round trips), so a test can hold a store to its cost.

#include <QString>
#include <memory>
#include <optional>

#include "pgconnection.h"
#include "sqlitedb.h"

namespace quillon {

class RecordsSession {
 public:
  // The session of the records at `dbPath` (a folder's info.mdb), shared.
  // Opens nothing yet.
  static std::shared_ptr<RecordsSession> forDatabase(const QString& dbPath);
  // A session of its own on the server `conninfo` names: a station apart
  // from every other (the import, the tools, a second station in a test).
  static std::shared_ptr<RecordsSession> onServer(const QString& conninfo);
  // The session of the records file at `path` itself, shared, whatever
  // connection file lies beside it (a move of the file's records to a server).
  static std::shared_ptr<RecordsSession> ofFile(const QString& path);
  ~RecordsSession();
  RecordsSession(const RecordsSession&) = delete;
  RecordsSession& operator=(const RecordsSession&) = delete;

  bool isServer() const { return server_ != nullptr; }
  // The file's path, or the server and database (never the password).
  QString describe() const;

  // What the file must hold for each kind of records, added on first use
  // in this session (an older file gains its tables and indexes once).
  enum class Needs { ThreeEvent, FiveEvent, TestGroups };
  // The open file, brought up to what `needs` asks. Throws DbError.
  sqlite::Database& file(Needs needs);
  // When the file at the path is no longer the one open (the database tool
  // compacted or repaired it while this program let go of it), the next use
  // opens the new one, for every holder of the session.
  void reopenIfReplaced();
  // The connection to the server; it connects on its first statement.
  pg::Connection& server();

  // One transaction on the session's engine: begun when made, committed by
  // commit(), rolled back when left uncommitted on any path. In the file it
  // takes the write lock at once, so what it reads stays as read.
  class Transaction {
   public:
    Transaction(RecordsSession& s, Needs needs);
    void commit();

   private:
    std::optional<sqlite::Transaction> file_;
    std::optional<pg::Transaction> server_;
  };

  // Statements sent since the session began (the file counts each statement
  // the engine starts, not the triggers' own); on a server, round trips.
  quint64 statements() const;
  quint64 roundTrips() const;

  // For a read that passes once over pages it will not come back to (a
  // group's records of the day found among a division's, one leaf of the
  // index each): while held, the file's cache of pages keeps a few hundred
  // kilobytes, reusing them as the read moves on, rather than growing to
  // its full size with pages nothing reads again and keeping them for as
  // long as the records are open. Let go, the cache may grow again for the
  // reads that do come back (a soldier's history). Nothing on a server.
  void holdCacheSmall(bool held);

 private:
  RecordsSession() = default;

  QString path_;
  std::unique_ptr<pg::Connection> server_;
  sqlite::Database file_;
  bool threeEventReady_ = false, fiveEventReady_ = false, groupsReady_ = false;
  quint64 fileStatements_ = 0;
  // The file's cache size while holdCacheSmall holds it (0: not held).
  qint64 heldFrom_ = 0;
  // The open file's device and inode, to tell a file put in its place.
  quint64 fileDevice_ = 0, fileInode_ = 0;
};

}  // namespace quillon
