#pragma once
// What both programs need of the records database file itself: its table
// definition, creating an empty one, and the in-use lock through which the
// database tool keeps its hands off a file the scorer has open.

#include <QString>
#include <QStringList>
#include <stdexcept>

#include "infofields.h"
#include "quillonerror.h"

namespace quillon {

// A failure at the storage boundary, carrying the engine's own message.
using DbError = Error;

// The statement that creates table `info`. Every field but ID is TEXT so
// that what the window writes is kept exactly as written (" 60", "0060",
// "06/01/2026" stay as typed); readers that need numbers convert.
// ID is an INTEGER PRIMARY KEY filled on insert, i.e. the row id itself,
// which VACUUM and the salvage copy keep, so no maintenance renumbers rows.
// LNAME compares without case, so the name order of the row source puts
// "de Silva" between "Davis" and "Evans", not after "Zane".
QString infoTableDdl();

// Creates an empty records database at `path`, readable and writable by its
// owner only. Refuses to touch an existing file. Throws DbError.
void createRecordsDatabase(const QString& path);

// The lock file beside a database: its name less the extension, plus ".ldb"
// (info.mdb gives info.ldb).
QString lockFilePath(const QString& dbPath);

// An advisory lock on the lock file. The scorer holds it shared for as long
// as it has the database open; several may share it. The database tool
// needs it exclusively. The operating system drops it when the process dies.
// The last holder to release it removes the lock file, so a folder is left
// with none once both programs have ended normally.
class DbInUseLock {
 public:
  DbInUseLock() = default;
  ~DbInUseLock();
  DbInUseLock(const DbInUseLock&) = delete;
  DbInUseLock& operator=(const DbInUseLock&) = delete;

  // Take the shared lock. False with *why filled when it cannot be taken
  // (another process holds it exclusively, or the lock file cannot be made).
  bool acquireShared(const QString& dbPath, QString* why = nullptr);
  // Take the exclusive lock without waiting. False when any other process
  // holds it, or the lock file cannot be made.
  bool acquireExclusive(const QString& dbPath, QString* why = nullptr);
  void release();
  bool held() const { return fd_ >= 0; }
  // After a failed acquire: true when another process holds the lock, false
  // when no lock could be had at all (no lock file can be made there).
  bool inUseElsewhere() const { return inUseElsewhere_; }

 private:
  bool acquire(const QString& dbPath, bool exclusive, QString* why);
  int fd_ = -1;
  QString lockPath_;
  bool inUseElsewhere_ = false;
};

}  // namespace quillon
