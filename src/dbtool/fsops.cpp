#include "fsops.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::dbtool::fs {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)); }

[[noreturn]] void fail(int err, const QString& path) {
  throw ToolError(err, QDir::toNativeSeparators(path) + ": " + errnoText(err));
}

}  // namespace

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

Kind kindOf(const QString& path) {
  struct stat st {};
  if (::lstat(native(path).constData(), &st) != 0) return Kind::Missing;
  if (S_ISREG(st.st_mode)) return Kind::PlainFile;
  if (S_ISDIR(st.st_mode)) return Kind::Directory;
  if (S_ISLNK(st.st_mode)) return Kind::SymLink;
  return Kind::Other;
}

void renameFile(const QString& from, const QString& to) {
  if (::rename(native(from).constData(), native(to).constData()) != 0) fail(errno, from);
}

void removeFile(const QString& path) {
  if (::unlink(native(path).constData()) != 0) fail(errno, path);
}

void linkFile(const QString& existing, const QString& to) {
  if (::link(native(existing).constData(), native(to).constData()) != 0) fail(errno, existing);
}

void syncPath(const QString& path) {
  const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(errno, path);
  if (::fsync(fd) != 0) {
    const int e = errno;
    ::close(fd);
    fail(e, path);
  }
  ::close(fd);
}

void makeCurrent(const QString& path) {
  // chdir rather than QDir::setCurrent: the clerk is shown the system's own
  // error number and text when a directory cannot be entered.
  if (::chdir(native(path).constData()) != 0) fail(errno, path);
}

void copyPermissions(const QString& like, const QString& path) {
  struct stat st {};
  if (::stat(native(like).constData(), &st) != 0) fail(errno, like);
  if (::chmod(native(path).constData(), st.st_mode & 07777) != 0) fail(errno, path);
}

bool directoryWritable(const QString& dir) { return ::access(native(dir).constData(), W_OK | X_OK) == 0; }

}  // namespace quillon::dbtool::fs
