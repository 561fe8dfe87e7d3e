#include "leftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <optional>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dbfile.h"
#include "sqlitedb.h"

namespace quillon {

namespace {

QByteArray osName(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)); }

bool isPlainFile(const QString& path) {
  struct stat st {};
  return ::lstat(osName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool sameFile(const QString& a, const QString& b) {
  struct stat sa {}, sb {};
  if (::lstat(osName(a).constData(), &sa) != 0 || ::lstat(osName(b).constData(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool sameContent(const QString& a, const QString& b) {
  QFile fa(a), fb(b);
  if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size()) return false;
  while (!fa.atEnd()) {
    if (fa.read(1 << 20) != fb.read(1 << 20)) return false;
  }
  return true;
}

QString systemText() { return QString::fromLocal8Bit(std::strerror(errno)); }

void flushDir(const QString& dir) {
  const int fd = ::open(osName(dir).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// What a database file holds, as far as a quick look can tell.
struct DbLook {
  bool sound = false;             // opens, passes the quick check
  QHash<QString, qint64> counts;  // rows per table, when sound
};

DbLook look(const QString& path) {
  DbLook out;
  QFileInfo fi(path);
  // An empty file reads as an empty database; it holds nothing.
  if (!fi.isFile() || fi.size() == 0) return out;
  // Read-only: a file with an unfinished change beside it cannot be read
  // this way and counts as unsure, so nothing is dropped on its word. No
  // wait for a busy file either: one being written is unsure as well.
  std::optional<sqlite::Database> db;
  try {
    db.emplace(path, sqlite::Database::Mode::ReadOnly, 0);
  } catch (const DbError&) {
    return out;
  }
  auto column = [&](const QString& sql) {
    sqlite::Statement st = sqlite::Statement::tryPrepare(*db, sql);
    if (st.isNull()) return std::optional<QStringList>();
    QStringList values;
    sqlite::Statement::Step r;
    while ((r = st.tryStep()) == sqlite::Statement::Step::Row) values << st.text(0);
    return r == sqlite::Statement::Step::Done ? std::optional<QStringList>(values) : std::optional<QStringList>();
  };
  const auto check = column(QStringLiteral("PRAGMA quick_check"));
  const auto tables = column(
      QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
  if (check && *check == QStringList{QStringLiteral("ok")} && tables) {
    out.sound = true;
    for (const QString& t : *tables) {
      const auto n = column("SELECT count(*) FROM " + sqlite::quoted(t));
      if (!n) {
        out.sound = false;
        break;
      }
      out.counts.insert(t, n->value(0).toLongLong());
    }
  }
  return out;
}

// True when `copy` holds nothing that `db` lacks: `db` is sound and has at
// least as many rows in every table that `copy` can be read for.
bool coveredBy(const DbLook& db, const QString& copy) {
  if (!db.sound) return false;
  const DbLook c = look(copy);
  for (auto it = c.counts.cbegin(); it != c.counts.cend(); ++it)
    if (db.counts.value(it.key(), -1) < it.value()) return false;
  return true;
}

// Writes a copy of `from` as `to`, through a flushed temporary file beside it.
bool copyInto(const QString& from, const QString& to) {
  QTemporaryFile t(temporaryTemplate(to));
  QFile src(from);
  if (!t.open() || !src.open(QIODevice::ReadOnly)) return false;
  while (!src.atEnd()) {
    const QByteArray chunk = src.read(1 << 20);
    if (chunk.isEmpty() || t.write(chunk) != chunk.size()) return false;
  }
  if (!t.flush() || ::fsync(t.handle()) != 0) return false;
  t.setPermissions(src.permissions());
  if (::rename(osName(t.fileName()).constData(), osName(to).constData()) != 0) return false;
  t.setAutoRemove(false);
  return true;
}

const QStringList kCompanions = {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"),
                                 QStringLiteral("-shm")};

}  // namespace

QString compactBackupName(const QString& dbFileName) {
  if (dbFileName.size() < 4) return {};
  return dbFileName.left(dbFileName.size() - 4) + QStringLiteral(".old");
}

QString keptBackupName(const QString& backupName) { return QStringLiteral(".%1.keep").arg(backupName); }

QString temporaryTemplate(const QString& fileName) { return fileName + QStringLiteral(".XXXXXX.tmp"); }

bool isTemporaryOf(const QString& candidate, const QString& fileName) {
  static const QRegularExpression tail(QStringLiteral("^\\.[A-Za-z0-9]{6}\\.tmp(-journal|-wal|-shm)?$"));
  return candidate.size() > fileName.size() && candidate.startsWith(fileName) &&
         tail.match(QStringView(candidate).mid(fileName.size())).hasMatch();
}

QStringList settleLeftovers(const QString& dbPath, bool lockHeld) {
  const QFileInfo dbInfo(dbPath);
  const QDir dir = dbInfo.absoluteDir();
  const QString name = dbInfo.fileName();
  const QString db = dir.filePath(name);
  const QString backupName = compactBackupName(name);
  const QString backup = backupName.isEmpty() ? QString() : dir.filePath(backupName);
  const QString kept = backupName.isEmpty() ? QString() : dir.filePath(keptBackupName(backupName));

  QStringList temps;
  for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
    if (isTemporaryOf(entry, name) || (!backupName.isEmpty() && isTemporaryOf(entry, backupName)))
      temps << dir.filePath(entry);
  }
  const bool hasKept = !kept.isEmpty() && isPlainFile(kept);
  const bool onlyUnderBackup = !QFileInfo::exists(db) && !backup.isEmpty() && isPlainFile(backup);
  // A database found only under its backup's name is taken for a
  // compaction's leftover only with a trace of one beside it; otherwise the
  // clerk may simply have put the records away. A lock file is such a trace
  // (a program that ends normally takes it away) unless the caller has just
  // made it.
  const bool trace = hasKept || !temps.isEmpty() || (!lockHeld && QFileInfo::exists(lockFilePath(db)));
  if (!hasKept && temps.isEmpty() && !(onlyUnderBackup && trace)) return {};

  DbInUseLock lock;
  if (!lockHeld) {
    QString why;
    if (!lock.acquireExclusive(db, &why)) {
      // Another program works on it now: what lies there is its own.
      if (lock.inUseElsewhere()) return {};
      return {QStringLiteral("The files left beside %1 by an interrupted compaction cannot be put right: %2")
                  .arg(QDir::toNativeSeparators(db), why)};
    }
  }

  QStringList problems;
  auto move = [&](const QString& from, const QString& to) {
    if (::rename(osName(from).constData(), osName(to).constData()) == 0) return true;
    problems << QStringLiteral("%1 could not be renamed to %2: %3")
                    .arg(QDir::toNativeSeparators(from), QFileInfo(to).fileName(), systemText());
    return false;
  };
  auto drop = [&](const QString& path) {
    if (::unlink(osName(path).constData()) == 0 || errno == ENOENT) return true;
    problems << QStringLiteral("%1 could not be removed: %2").arg(QDir::toNativeSeparators(path), systemText());
    return false;
  };

  // The records under their own name first.
  if (onlyUnderBackup) {
    if (look(backup).sound) {
      if (hasKept && !sameFile(kept, backup)) {
        // The database had been moved to the backup's name, the previous
        // backup to its hidden one: both go back.
        if (move(backup, db)) move(kept, backup);
      } else if (!copyInto(backup, db)) {
        problems << QStringLiteral("%1 could not be restored from its backup %2: %3")
                        .arg(QDir::toNativeSeparators(db), backupName, systemText());
      }
    } else {
      problems << QStringLiteral("%1 is missing and its backup %2 is not a sound database; both are left as they are.")
                      .arg(QDir::toNativeSeparators(db), backupName);
    }
  }

  // Then the previous backup.
  if (!kept.isEmpty() && isPlainFile(kept)) {
    const bool dbThere = isPlainFile(db);
    if (!isPlainFile(backup)) {
      move(kept, backup);
    } else if (sameFile(kept, backup)) {
      drop(kept);  // a second name of the backup: deletes nothing
    } else if (dbThere && (sameFile(backup, db) || sameContent(backup, db))) {
      // The new backup was only a second name or a copy of the database,
      // which is still there, unchanged: the previous backup returns.
      move(kept, backup);
    } else if (dbThere && look(db).sound && look(backup).sound) {
      // The compacted copy stands under the database's name and the file as
      // it was before under the backup's: the compaction had finished, and
      // its last step drops the previous backup.
      drop(kept);
    } else {
      problems << QStringLiteral("The previous backup is kept as %1, because %2 or %3 did not pass its check.")
                      .arg(QDir::toNativeSeparators(kept), name, backupName);
    }
  }

  // Then the copies being written, which hold names and SSNs.
  if (!temps.isEmpty()) {
    const DbLook dbLook = look(db);
    for (const QString& t : temps) {
      const QString entry = QFileInfo(t).fileName();
      const bool isMain = !entry.endsWith(QLatin1String("-journal")) && !entry.endsWith(QLatin1String("-wal")) &&
                          !entry.endsWith(QLatin1String("-shm"));
      if (!isMain) continue;
      if (coveredBy(dbLook, t)) {
        for (const QString& suffix : kCompanions) drop(t + suffix);
      } else {
        problems << QStringLiteral("%1 was left by an interrupted compaction or repair and is kept: %2 %3.")
                        .arg(QDir::toNativeSeparators(t), name,
                             dbLook.sound ? QStringLiteral("holds fewer records") : QStringLiteral("did not pass its check"));
      }
    }
    // A journal whose file is gone belongs to nothing.
    for (const QString& t : temps) {
      for (const QString& suffix : kCompanions.mid(1)) {
        if (t.endsWith(suffix) && !QFileInfo::exists(t.left(t.size() - suffix.size()))) drop(t);
      }
    }
  }
  flushDir(dir.absolutePath());
  return problems;
}

QStringList databasesWithLeftovers(const QString& dirPath) {
  const QDir dir(dirPath);
  static const QRegularExpression temp(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}\\.tmp(-journal|-wal|-shm)?$"));
  static const QRegularExpression keep(QStringLiteral("^\\.(.+\\.old)\\.keep$"));
  const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  QStringList out;
  auto add = [&](const QString& name) {
    const QString p = dir.filePath(name);
    if (!out.contains(p)) out << p;
  };
  // The database whose backup is called `backupName`: a file beside it
  // whose backup name that is, or else the tool's own kind of file.
  auto byBackup = [&](const QString& backupName) {
    for (const QString& e : entries)
      if (compactBackupName(e) == backupName && !e.endsWith(QLatin1String(".old"), Qt::CaseInsensitive) &&
          !e.endsWith(QLatin1String(".ldb"), Qt::CaseInsensitive) && !temp.match(e).hasMatch())
        return add(e);
    add(backupName.left(backupName.size() - 4) + QStringLiteral(".mdb"));
  };
  for (const QString& e : entries) {
    if (const auto m = temp.match(e); m.hasMatch()) {
      const QString base = m.captured(1);
      if (base.endsWith(QLatin1String(".old"), Qt::CaseInsensitive))
        byBackup(base);  // the copy that was to become the backup
      else
        add(base);
    } else if (const auto k = keep.match(e); k.hasMatch()) {
      byBackup(k.captured(1));
    }
  }
  return out;
}

}  // namespace quillon
