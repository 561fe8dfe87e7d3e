/* Loaded with LD_PRELOAD into a program under test, this records what the
 * program asks of the file system below one folder, so a test can rebuild
 * the disk a power cut would leave at any point; and on request it fails
 * writes the way a full disk or a read-only medium would.
 *
 * QUILLON_PC_ROOT   the folder watched (absolute, no trailing slash)
 * QUILLON_PC_LOG    the log: one line per operation, appended
 *                   (the written bytes go to the same name plus ".data")
 * QUILLON_PC_FAIL   "enospc:N" fails writes once N bytes went below the
 *                   folder; "erofs" refuses every change below it
 *
 * Log lines, tab-separated, paths absolute:
 *   create INO PATH | write INO OFFSET LENGTH DATAOFFSET | trunc INO LENGTH
 *   sync INO | dirsync PATH | rename INO FROM TO | unlink PATH | link INO TO
 *   symlink TARGET PATH | mkdir PATH | mark TEXT
 * Each line is written whole under an exclusive lock, so several processes
 * (a shell script and what it starts) share one log. */
#define _GNU_SOURCE
/* The entry points below are the plain ones; with 64-bit offsets asked for,
 * the headers would rename them onto their "64" twins defined beside them. */
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#ifndef FICLONE
#define FICLONE 0x40049409
#endif
#ifndef FICLONERANGE
#define FICLONERANGE 0x4020940d
#endif

#define MAX_FDS 4096

static char root[PATH_MAX];
static size_t rootLen;
static int logFd = -1, dataFd = -1;
static char* fdPath[MAX_FDS];
static int failMode; /* 0 none, 1 enospc, 2 erofs */
static long long spaceLeft;
static int ready;

#define REAL(ret, name, args) \
  static ret(*real_##name) args; \
  __attribute__((unused)) static void load_##name(void) { \
    if (!real_##name) real_##name = (ret(*) args)dlsym(RTLD_NEXT, #name); \
  }

REAL(int, open, (const char*, int, ...))
REAL(int, open64, (const char*, int, ...))
REAL(int, openat, (int, const char*, int, ...))
REAL(int, openat64, (int, const char*, int, ...))
REAL(int, creat, (const char*, mode_t))
REAL(ssize_t, write, (int, const void*, size_t))
REAL(ssize_t, pwrite, (int, const void*, size_t, off_t))
REAL(ssize_t, pwrite64, (int, const void*, size_t, off_t))
REAL(ssize_t, writev, (int, const struct iovec*, int))
REAL(int, ftruncate, (int, off_t))
REAL(int, ftruncate64, (int, off_t))
REAL(int, truncate, (const char*, off_t))
REAL(int, fsync, (int))
REAL(int, fdatasync, (int))
REAL(int, close, (int))
REAL(int, rename, (const char*, const char*))
REAL(int, renameat, (int, const char*, int, const char*))
REAL(int, renameat2, (int, const char*, int, const char*, unsigned))
REAL(int, unlink, (const char*))
REAL(int, unlinkat, (int, const char*, int))
REAL(int, link, (const char*, const char*))
REAL(int, linkat, (int, const char*, int, const char*, int))
REAL(int, symlink, (const char*, const char*))
REAL(int, symlinkat, (const char*, int, const char*))
REAL(int, mkdir, (const char*, mode_t))
REAL(int, mkdirat, (int, const char*, mode_t))
REAL(int, fchmod, (int, mode_t))
REAL(int, chmod, (const char*, mode_t))

static void setup(void) {
  if (ready) return;
  ready = 1;
  const char* r = getenv("QUILLON_PC_ROOT");
  const char* l = getenv("QUILLON_PC_LOG");
  const char* f = getenv("QUILLON_PC_FAIL");
  load_open();
  if (r && *r && strlen(r) < sizeof root) {
    strcpy(root, r);
    rootLen = strlen(root);
  }
  if (l && *l && rootLen) {
    char data[PATH_MAX + 8];
    snprintf(data, sizeof data, "%s.data", l);
    logFd = (int)syscall(SYS_openat, AT_FDCWD, l, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    dataFd = (int)syscall(SYS_openat, AT_FDCWD, data, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
  if (f && strncmp(f, "enospc:", 7) == 0) {
    failMode = 1;
    spaceLeft = atoll(f + 7);
  } else if (f && strcmp(f, "erofs") == 0) {
    failMode = 2;
  }
}

static int active(void) {
  setup();
  return rootLen > 0;
}

/* The absolute form of `path` as seen from directory fd `dirfd`, without
 * resolving the last part (it may not exist, or be a link). */
static int absolute(int dirfd, const char* path, char* out) {
  if (!path) return 0;
  if (path[0] == '/') {
    snprintf(out, PATH_MAX, "%s", path);
  } else {
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
      if (!getcwd(base, sizeof base)) return 0;
    } else {
      char proc[64];
      snprintf(proc, sizeof proc, "/proc/self/fd/%d", dirfd);
      ssize_t n = readlink(proc, base, sizeof base - 1);
      if (n < 0) return 0;
      base[n] = 0;
    }
    const int n = snprintf(out, PATH_MAX, "%s/%s", base, path);
    if (n < 0 || n >= PATH_MAX) return 0;
  }
  /* Fold "/./" and a leading "./" so paths compare as text. */
  char* p;
  while ((p = strstr(out, "/./")) != NULL) memmove(p, p + 2, strlen(p + 2) + 1);
  size_t n = strlen(out);
  if (n >= 2 && strcmp(out + n - 2, "/.") == 0) out[n - 2] = 0;
  return 1;
}

static int below(const char* abs) {
  return rootLen && strncmp(abs, root, rootLen) == 0 && (abs[rootLen] == '/' || abs[rootLen] == 0);
}

static void emit(const char* fmt, ...) {
  if (logFd < 0) return;
  char line[3 * PATH_MAX];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  if (n <= 0) return;
  if (n >= (int)sizeof line) n = sizeof line - 1;
  flock(logFd, LOCK_EX);
  ssize_t w = syscall(SYS_write, logFd, line, (size_t)n);
  (void)w;
  flock(logFd, LOCK_UN);
}

static unsigned long long inodeOf(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? (unsigned long long)st.st_ino : 0;
}

static unsigned long long inodeAt(const char* abs) {
  struct stat st;
  return lstat(abs, &st) == 0 ? (unsigned long long)st.st_ino : 0;
}

static const char* watched(int fd) { return (fd >= 0 && fd < MAX_FDS) ? fdPath[fd] : NULL; }

static void remember(int fd, const char* abs) {
  if (fd < 0 || fd >= MAX_FDS) return;
  free(fdPath[fd]);
  fdPath[fd] = abs ? strdup(abs) : NULL;
}

static int refused(void) {
  errno = EROFS;
  return -1;
}

static int afterOpen(int fd, const char* abs, int flags, int existed) {
  if (fd < 0) return fd;
  int isDir = 0;
  struct stat st;
  if (fstat(fd, &st) == 0) isDir = S_ISDIR(st.st_mode);
  remember(fd, abs);
  if (!isDir && !existed && (flags & O_CREAT)) emit("create\t%llu\t%s\n", inodeOf(fd), abs);
  else if (!isDir && (flags & O_TRUNC) && (flags & O_ACCMODE) != O_RDONLY) emit("trunc\t%llu\t0\n", inodeOf(fd));
  return fd;
}

static int openCommon(int dirfd, const char* path, int flags, mode_t mode, int (*call)(int, const char*, int, ...)) {
  char abs[PATH_MAX];
  if (!active() || !absolute(dirfd, path, abs) || !below(abs)) return call(dirfd, path, flags, mode);
  const int writes = (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC));
  if (failMode == 2 && writes) {
    struct stat st;
    if (!(lstat(abs, &st) == 0 && S_ISDIR(st.st_mode))) return refused();
  }
  const int existed = access(abs, F_OK) == 0;
  return afterOpen(call(dirfd, path, flags, mode), abs, flags, existed);
}

static mode_t modeArg(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  load_openat();
  return openCommon(dirfd, path, flags, mode, real_openat);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  load_openat64();
  return openCommon(dirfd, path, flags, mode, real_openat64 ? real_openat64 : real_openat);
}

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  load_openat();
  return openCommon(AT_FDCWD, path, flags, mode, real_openat);
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  load_openat();
  return openCommon(AT_FDCWD, path, flags, mode, real_openat);
}

/* A program built with _FORTIFY_SOURCE, as distributions build theirs,
 * opens through these checked entry points wherever its flags are not known
 * when it is compiled. A descriptor opened there, with every write and
 * flush made through it, would otherwise pass the log by, and the model
 * would show a flushed file as never flushed. */
REAL(int, __openat_2, (int, const char*, int))

static int checkedOpenat(int dirfd, const char* path, int flags, ...) {
  load___openat_2();
  return real___openat_2(dirfd, path, flags);
}

int __openat_2(int dirfd, const char* path, int flags) { return openCommon(dirfd, path, flags, 0, checkedOpenat); }
int __openat64_2(int dirfd, const char* path, int flags) { return __openat_2(dirfd, path, flags); }
int __open_2(const char* path, int flags) { return __openat_2(AT_FDCWD, path, flags); }
int __open64_2(const char* path, int flags) { return __openat_2(AT_FDCWD, path, flags); }

int creat(const char* path, mode_t mode) { return open(path, O_CREAT | O_WRONLY | O_TRUNC, mode); }

/* Space for `n` more bytes, or ENOSPC once the pretend disk is full. */
static ssize_t allowance(size_t n) {
  if (failMode == 2) return refused();
  if (failMode != 1) return (ssize_t)n;
  if (spaceLeft <= 0) {
    errno = ENOSPC;
    return -1;
  }
  return (long long)n > spaceLeft ? (ssize_t)spaceLeft : (ssize_t)n;
}

static void logWrite(int fd, off_t at, const void* buf, ssize_t n) {
  if (n <= 0 || logFd < 0) return;
  flock(logFd, LOCK_EX);
  off_t dataAt = lseek(dataFd, 0, SEEK_END);
  ssize_t w = syscall(SYS_write, dataFd, buf, (size_t)n);
  (void)w;
  char line[256];
  int len = snprintf(line, sizeof line, "write\t%llu\t%lld\t%lld\t%lld\n", inodeOf(fd), (long long)at, (long long)n,
                     (long long)dataAt);
  w = syscall(SYS_write, logFd, line, (size_t)len);
  flock(logFd, LOCK_UN);
  if (failMode == 1) spaceLeft -= n;
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset) {
  load_pwrite64();
  if (!active() || !watched(fd)) return real_pwrite64(fd, buf, count, offset);
  ssize_t allowed = allowance(count);
  if (allowed < 0) return allowed;
  ssize_t n = real_pwrite64(fd, buf, (size_t)allowed, offset);
  logWrite(fd, offset, buf, n);
  return n;
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) { return pwrite64(fd, buf, count, offset); }

ssize_t write(int fd, const void* buf, size_t count) {
  load_write();
  if (!active() || !watched(fd)) return real_write(fd, buf, count);
  ssize_t allowed = allowance(count);
  if (allowed < 0) return allowed;
  const int appending = (fcntl(fd, F_GETFL) & O_APPEND) != 0;
  off_t at = appending ? lseek(fd, 0, SEEK_END) : lseek(fd, 0, SEEK_CUR);
  ssize_t n = real_write(fd, buf, (size_t)allowed);
  logWrite(fd, at, buf, n);
  return n;
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
  load_writev();
  if (!active() || !watched(fd)) return real_writev(fd, iov, count);
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (iov[i].iov_len == 0) continue;
    ssize_t n = write(fd, iov[i].iov_base, iov[i].iov_len);
    if (n < 0) return total ? total : n;
    total += n;
    if ((size_t)n < iov[i].iov_len) break;
  }
  return total;
}

int ftruncate64(int fd, off_t length) {
  load_ftruncate64();
  if (!active() || !watched(fd)) return real_ftruncate64(fd, length);
  if (failMode == 2) return refused();
  int r = real_ftruncate64(fd, length);
  if (r == 0) emit("trunc\t%llu\t%lld\n", inodeOf(fd), (long long)length);
  return r;
}

int ftruncate(int fd, off_t length) { return ftruncate64(fd, length); }

int truncate(const char* path, off_t length) {
  load_truncate();
  char abs[PATH_MAX];
  if (!active() || !absolute(AT_FDCWD, path, abs) || !below(abs)) return real_truncate(path, length);
  if (failMode == 2) return refused();
  int r = real_truncate(path, length);
  if (r == 0) emit("trunc\t%llu\t%lld\n", inodeAt(abs), (long long)length);
  return r;
}

/* Writes made where the recorder cannot see them (a library writing through
 * the C library's streams) are there once flushed: a flush logs the file's
 * whole content first, so the model never misses bytes that were made
 * durable. */
static void logWholeFile(int fd, const struct stat* st) {
  if (logFd < 0 || st->st_size > (64 << 20)) return;
  char proc[64];
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  load_openat();
  int in = real_openat(AT_FDCWD, proc, O_RDONLY | O_CLOEXEC);
  if (in < 0) return;
  char* buf = malloc((size_t)st->st_size + 1);
  ssize_t got = buf ? pread(in, buf, (size_t)st->st_size, 0) : -1;
  load_close();
  real_close(in);
  if (got == st->st_size) {
    emit("trunc\t%llu\t%lld\n", (unsigned long long)st->st_ino, (long long)st->st_size);
    const int mode = failMode;
    failMode = 0;
    logWrite(fd, 0, buf, got);
    failMode = mode;
  }
  free(buf);
}

/* The name below the folder of a descriptor opened where the recorder did
 * not see it (a library calling into the C library from inside, a raw
 * system call): a flush is what makes data durable, so none may be missed. */
static const char* foundBelow(int fd) {
  if (fd < 0 || fd >= MAX_FDS || !active()) return NULL;
  char proc[64], abs[PATH_MAX];
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(proc, abs, sizeof abs - 1);
  if (n <= 0) return NULL;
  abs[n] = 0;
  static const char gone[] = " (deleted)";
  if (!below(abs) || ((size_t)n >= sizeof gone - 1 && strcmp(abs + n - (sizeof gone - 1), gone) == 0)) return NULL;
  remember(fd, abs);
  return watched(fd);
}

static int syncCommon(int fd, int (*call)(int)) {
  const char* p = watched(fd);
  if (!p) p = foundBelow(fd);
  int r = call(fd);
  if (r == 0 && p && active()) {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      emit("dirsync\t%s\n", p);
    } else {
      logWholeFile(fd, &st);
      emit("sync\t%llu\n", (unsigned long long)st.st_ino);
    }
  }
  return r;
}

int fsync(int fd) {
  load_fsync();
  return syncCommon(fd, real_fsync);
}

int fdatasync(int fd) {
  load_fdatasync();
  return syncCommon(fd, real_fdatasync);
}

int close(int fd) {
  load_close();
  if (fd >= 0 && fd < MAX_FDS && fdPath[fd]) remember(fd, NULL);
  return real_close(fd);
}

static void moveOpenNames(const char* from, const char* to) {
  for (int i = 0; i < MAX_FDS; ++i)
    if (fdPath[i] && strcmp(fdPath[i], from) == 0) remember(i, to);
}

static int renameCommon(int olddir, const char* oldpath, int newdir, const char* newpath, unsigned flags) {
  load_renameat2();
  load_renameat();
  char from[PATH_MAX], to[PATH_MAX];
  const int mine = active() && absolute(olddir, oldpath, from) && absolute(newdir, newpath, to) &&
                   (below(from) || below(to));
  if (!mine) return flags ? real_renameat2(olddir, oldpath, newdir, newpath, flags)
                          : real_renameat(olddir, oldpath, newdir, newpath);
  if (failMode == 2) return refused();
  unsigned long long ino = inodeAt(from);
  int r = flags ? real_renameat2(olddir, oldpath, newdir, newpath, flags) : real_renameat(olddir, oldpath, newdir, newpath);
  if (r == 0) {
    emit("rename\t%llu\t%s\t%s\n", ino, from, to);
    moveOpenNames(from, to);
  }
  return r;
}

int rename(const char* o, const char* n) { return renameCommon(AT_FDCWD, o, AT_FDCWD, n, 0); }
int renameat(int od, const char* o, int nd, const char* n) { return renameCommon(od, o, nd, n, 0); }
int renameat2(int od, const char* o, int nd, const char* n, unsigned f) { return renameCommon(od, o, nd, n, f); }

static int unlinkCommon(int dirfd, const char* path, int flags) {
  load_unlinkat();
  char abs[PATH_MAX];
  if (!active() || !absolute(dirfd, path, abs) || !below(abs)) return real_unlinkat(dirfd, path, flags);
  if (failMode == 2) return refused();
  int r = real_unlinkat(dirfd, path, flags);
  if (r == 0) emit("unlink\t%s\n", abs);
  return r;
}

int unlink(const char* path) { return unlinkCommon(AT_FDCWD, path, 0); }
int unlinkat(int dirfd, const char* path, int flags) { return unlinkCommon(dirfd, path, flags); }
int rmdir(const char* path) { return unlinkCommon(AT_FDCWD, path, AT_REMOVEDIR); }

static int linkCommon(int od, const char* o, int nd, const char* n, int flags) {
  load_linkat();
  char from[PATH_MAX], to[PATH_MAX];
  if (!active() || !absolute(od, o, from) || !absolute(nd, n, to) || !below(to)) return real_linkat(od, o, nd, n, flags);
  if (failMode == 2) return refused();
  int r = real_linkat(od, o, nd, n, flags);
  if (r == 0) emit("link\t%llu\t%s\n", inodeAt(to), to);
  return r;
}

int link(const char* o, const char* n) { return linkCommon(AT_FDCWD, o, AT_FDCWD, n, 0); }
int linkat(int od, const char* o, int nd, const char* n, int f) { return linkCommon(od, o, nd, n, f); }

static int symlinkCommon(const char* target, int dirfd, const char* path) {
  load_symlinkat();
  char abs[PATH_MAX];
  if (!active() || !absolute(dirfd, path, abs) || !below(abs)) return real_symlinkat(target, dirfd, path);
  if (failMode == 2) return refused();
  int r = real_symlinkat(target, dirfd, path);
  if (r == 0) emit("symlink\t%s\t%s\n", target, abs);
  return r;
}

int symlink(const char* target, const char* path) { return symlinkCommon(target, AT_FDCWD, path); }
int symlinkat(const char* target, int dirfd, const char* path) { return symlinkCommon(target, dirfd, path); }

static int mkdirCommon(int dirfd, const char* path, mode_t mode) {
  load_mkdirat();
  char abs[PATH_MAX];
  if (!active() || !absolute(dirfd, path, abs) || !below(abs)) return real_mkdirat(dirfd, path, mode);
  if (failMode == 2) return refused();
  int r = real_mkdirat(dirfd, path, mode);
  if (r == 0) emit("mkdir\t%s\n", abs);
  return r;
}

int mkdir(const char* path, mode_t mode) { return mkdirCommon(AT_FDCWD, path, mode); }
int mkdirat(int dirfd, const char* path, mode_t mode) { return mkdirCommon(dirfd, path, mode); }

/* A shell's redirection moves the file onto another descriptor: the copy
 * keeps the name. */
static int copied(int from, int to) {
  if (to >= 0 && to < MAX_FDS && from != to) remember(to, watched(from));
  return to;
}

int dup(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "dup");
  return copied(fd, real(fd));
}

int dup2(int fd, int to) {
  static int (*real)(int, int);
  if (!real) real = (int (*)(int, int))dlsym(RTLD_NEXT, "dup2");
  int r = real(fd, to);
  return r < 0 ? r : copied(fd, r);
}

int dup3(int fd, int to, int flags) {
  static int (*real)(int, int, int);
  if (!real) real = (int (*)(int, int, int))dlsym(RTLD_NEXT, "dup3");
  int r = real(fd, to, flags);
  return r < 0 ? r : copied(fd, r);
}

int fcntl(int fd, int cmd, ...) {
  static int (*real)(int, int, ...);
  if (!real) real = (int (*)(int, int, ...))dlsym(RTLD_NEXT, "fcntl");
  va_list ap;
  va_start(ap, cmd);
  long arg = va_arg(ap, long);
  va_end(ap);
  int r = real(fd, cmd, arg);
  if (r >= 0 && (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC)) copied(fd, r);
  return r;
}

int fcntl64(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  long arg = va_arg(ap, long);
  va_end(ap);
  return fcntl(fd, cmd, arg);
}

/* Copies made by the kernel would pass the log by: refuse them, and every
 * program here falls back to reading and writing. */
ssize_t copy_file_range(int a, off_t* b, int c, off_t* d, size_t e, unsigned f) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f;
  errno = ENOSYS;
  return -1;
}

ssize_t sendfile(int out, int in, off_t* off, size_t n) {
  (void)out, (void)in, (void)off, (void)n;
  errno = EINVAL;
  return -1;
}

ssize_t sendfile64(int out, int in, off_t* off, size_t n) { return sendfile(out, in, off, n); }

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  if (!real_ioctl) real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (request == FICLONE || request == FICLONERANGE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return real_ioctl(fd, request, arg);
}

/* Called by a driver (found with dlsym) to say what is committed now. */
void quillon_pc_mark(const char* text) {
  if (active()) emit("mark\t%s\n", text);
}
