#include "dbfile.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "leftovers.h"
#include "sqlitedb.h"

namespace quillon {

QString infoTableDdl() {
  QStringList cols;
  for (const QString& f : infoFieldNames())
    cols << (f == "ID"      ? QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT")
             : f == "LNAME" ? QStringLiteral("LNAME TEXT COLLATE NOCASE")
                            : f + " TEXT");
  return "CREATE TABLE info (" + cols.join(", ") + ")";
}

void createRecordsDatabase(const QString& path) {
  if (QFileInfo::exists(path)) throw DbError(path + ": file already exists");
  // Built whole under a temporary name beside it and then given its name, so
  // a power cut never leaves an info.mdb without its table (which the
  // launcher would take for the clerk's records and never replace). The
  // temporary file is made owner-only from the start: names and social
  // security numbers are never readable by others.
  QByteArray temp = QFile::encodeName(QDir::toNativeSeparators(temporaryTemplate(path)));
  // A name too long to take the temporary suffix and the engine's journal
  // beside it is made in place.
  long nameMax = ::pathconf(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = 255;
  const bool inPlace =
      QFile::encodeName(QFileInfo(temporaryTemplate(path)).fileName()).size() + qsizetype(sizeof "-journal") - 1 > nameMax;
  int fd = inPlace ? -1 : ::mkstemps(temp.data(), 4);
  if (inPlace) {
    temp = QFile::encodeName(QDir::toNativeSeparators(path));
    fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  }
  if (fd < 0) throw DbError(path + ": " + QString::fromLocal8Bit(std::strerror(errno)));
  ::close(fd);
  const QString tempPath = QFile::decodeName(temp);

  QString err;
  try {
    sqlite::Database db(tempPath, sqlite::Database::Mode::ReadWrite);
    db.exec(infoTableDdl());
  } catch (const DbError& e) {
    err = e.message();
  }
  const QByteArray native = QFile::encodeName(QDir::toNativeSeparators(path));
  // A second name never replaces a file that appeared meanwhile; where the
  // file system has no second names, a rename does.
  if (err.isEmpty() && !inPlace && ::link(temp.constData(), native.constData()) != 0 &&
      (errno == EEXIST || ::rename(temp.constData(), native.constData()) != 0))
    err = QString::fromLocal8Bit(std::strerror(errno));
  if (!inPlace || !err.isEmpty()) ::unlink(temp.constData());
  if (!err.isEmpty()) throw DbError(path + ": " + err);
  const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

QString lockFilePath(const QString& dbPath) {
  const QFileInfo fi(dbPath);
  return QDir(fi.path()).filePath(fi.completeBaseName() + ".ldb");
}

namespace {

// True while the open file `fd` is the one the name `path` stands for.
bool stillTheLockFile(int fd, const QString& path) {
  struct stat byFd {}, byName {};
  if (::fstat(fd, &byFd) != 0 || ::stat(QFile::encodeName(path).constData(), &byName) != 0) return false;
  return byFd.st_dev == byName.st_dev && byFd.st_ino == byName.st_ino;
}

}  // namespace

DbInUseLock::~DbInUseLock() { release(); }

void DbInUseLock::release() {
  if (fd_ < 0) return;
  // The last holder takes the lock file away. Only a holder that gets the
  // lock exclusively, without waiting, knows it is the last; it unlinks
  // while still holding the lock, so anyone who opened the old file before
  // the unlink finds on locking that it is no longer the lock file and
  // starts again on a fresh one (see acquire).
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 && stillTheLockFile(fd_, lockPath_)) {
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) ::unlink(QFile::encodeName(lockPath_).constData());
  }
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  lockPath_.clear();
}

bool DbInUseLock::acquireShared(const QString& dbPath, QString* why) { return acquire(dbPath, false, why); }
bool DbInUseLock::acquireExclusive(const QString& dbPath, QString* why) { return acquire(dbPath, true, why); }

bool DbInUseLock::acquire(const QString& dbPath, bool exclusive, QString* why) {
  release();
  const QString lp = lockFilePath(dbPath);
  const QByteArray native = QFile::encodeName(lp);
  inUseElsewhere_ = false;
  // A holder that ends removes the lock file (see release); a lock won on a
  // file that has just been unlinked guards nothing, so the file is opened
  // afresh until the lock sits on the file that bears the name. Each retry
  // means another process finished in between, so this settles quickly.
  for (int attempt = 0;; ++attempt) {
    // The lock file holds nothing, so anyone may read it; a lock needs only
    // a read handle, which is all a clerk gets on a file another user made.
    int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    int openErr = errno;
    if (fd < 0 && (openErr == EACCES || openErr == EROFS || openErr == EPERM)) {
      fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
      // No lock file and none can be made: the folder's own refusal is the
      // reason, not the missing file.
      if (fd < 0 && errno != ENOENT) openErr = errno;
    }
    if (fd < 0) {
      if (why) *why = lp + ": " + QString::fromLocal8Bit(std::strerror(openErr));
      return false;
    }
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
      const int e = errno;
      const bool replaced = !stillTheLockFile(fd, lp);
      ::close(fd);
      if (replaced && attempt < 100) continue;  // its holder was just leaving
      inUseElsewhere_ = (e == EWOULDBLOCK);
      if (why)
        *why = inUseElsewhere_ ? QStringLiteral("the database is in use by another program")
                               : lp + ": " + QString::fromLocal8Bit(std::strerror(e));
      return false;
    }
    if (!stillTheLockFile(fd, lp) && attempt < 100) {
      ::close(fd);
      continue;
    }
    fd_ = fd;
    lockPath_ = lp;
    return true;
  }
}

}  // namespace quillon
