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

bool noLinksHere(int err) {
  return err == EPERM || err == EXDEV || err == EMLINK || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

void copyFile(const QString& from, const QString& to) {
  const int in = ::open(native(from).constData(), O_RDONLY | O_CLOEXEC);
  if (in < 0) fail(errno, from);
  const int out = ::open(native(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    fail(e, to);
  }
  char buf[1 << 16];
  int err = 0;
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) err = errno;
      break;
    }
    for (ssize_t done = 0; done < n && !err;) {
      const ssize_t w = ::write(out, buf + done, size_t(n - done));
      if (w < 0 && errno != EINTR) err = errno;
      if (w > 0) done += w;
    }
    if (err) break;
  }
  if (!err && ::fsync(out) != 0) err = errno;
  ::close(in);
  if (::close(out) != 0 && !err) err = errno;
  if (err) {
    ::unlink(native(to).constData());
    fail(err, to);
  }
}

bool sameFile(const QString& a, const QString& b) {
  struct stat sa {}, sb {};
  if (::lstat(native(a).constData(), &sa) != 0 || ::lstat(native(b).constData(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

qint64 nameMax(const QString& dir) {
  const long n = ::pathconf(native(dir).constData(), _PC_NAME_MAX);
  return n > 0 ? n : 255;
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
  if (::chmod(native(path).constData(), st.st_mode & S_IRWXU) != 0) fail(errno, path);
}

void restrictToOwner(const QString& path) {
  struct stat st {};
  if (::stat(native(path).constData(), &st) != 0) fail(errno, path);
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) && ::chmod(native(path).constData(), st.st_mode & S_IRWXU) != 0)
    fail(errno, path);
}

int directoryAccessError(const QString& dir) {
  return ::access(native(dir).constData(), W_OK | X_OK) == 0 ? 0 : errno;
}

}  // namespace quillon::dbtool::fs
