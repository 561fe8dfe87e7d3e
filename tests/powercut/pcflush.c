/* pcflush WAY: replaces note.txt in the working folder with "new" the
 * careful way (a scratch file written and flushed, renamed over the note,
 * the folder flushed), opening the scratch file again and the folder in a
 * way the recorder (pcshim.c) does not see by the plain entry points:
 *
 *   checked   through the C library's checked entry points, as a program
 *             built with _FORTIFY_SOURCE does wherever its flags are not
 *             known when it is compiled (the Debian package's builds)
 *   syscall   through the system call itself, as a library may
 *
 * Built hardened on purpose, whatever the rest of the tree is built with. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#if !defined(__USE_FORTIFY_LEVEL) || __USE_FORTIFY_LEVEL < 1
#error "pcflush must be built with _FORTIFY_SOURCE and optimisation, or it takes the plain entry points"
#endif

/* Flags the compiler cannot know: a hardened build then calls __open_2. */
static volatile int unknown = 0;

static int openBy(int checked, const char* path, int flags) {
  return checked ? open(path, flags) : (int)syscall(SYS_openat, AT_FDCWD, path, flags);
}

static int failed(const char* what) {
  perror(what);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2 || (strcmp(argv[1], "checked") != 0 && strcmp(argv[1], "syscall") != 0)) {
    fprintf(stderr, "usage: pcflush checked|syscall\n");
    return 2;
  }
  const int checked = strcmp(argv[1], "checked") == 0;
  const int writing = O_WRONLY | unknown;
  const int folder = O_RDONLY | O_DIRECTORY | unknown;

  int fd = open("note.tmp", O_CREAT | O_EXCL | O_WRONLY, 0600);
  if (fd < 0 || close(fd) != 0) return failed("note.tmp");
  fd = openBy(checked, "note.tmp", writing);
  if (fd < 0 || write(fd, "new", 3) != 3 || fsync(fd) != 0 || close(fd) != 0) return failed("note.tmp");
  if (rename("note.tmp", "note.txt") != 0) return failed("rename");
  fd = openBy(checked, ".", folder);
  if (fd < 0 || fsync(fd) != 0 || close(fd) != 0) return failed(".");
  return 0;
}
