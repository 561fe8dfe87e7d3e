#pragma once
// Power cuts in every place an operation could suffer one: the operation
// runs once in a child process under the recorder (pcshim.c), then every
// disk the model (disksim.h) says a cut could leave is opened the way the
// programs open a folder at start (leftovers settled first) and checked:
// the records database opens under its own name, passes the engine's
// integrity check and holds every record committed before the cut; the
// backup is the previous one or the database as it was before; a file the
// operation writes is absent, as it was, or whole.

#include <QSet>
#include <QString>
#include <QStringList>

#include "disksim.h"

namespace quillon::powercut {

// One run of a program under the recorder.
struct Recording {
  QString root;          // the folder watched
  Disk before;           // as it was
  Disk after;            // as the finished run left it (no cut)
  QList<LogOp> ops;
  int exitCode = -1;
  QString errorText;     // what the program wrote on standard error
};

// Where the recorder library was built.
QString shimPath();

// Runs `program` with `args` in `workdir`, recording what it changes below
// `root`. `fail` is handed to the recorder ("enospc:N", "erofs") to make
// the disk refuse writes.
// `env` adds NAME=VALUE settings to the child's environment.
Recording record(const QString& root, const QString& program, const QStringList& args, const QString& workdir,
                 const QString& fail = QString(), const QStringList& env = {});

struct Expectation {
  QString db = QStringLiteral("info.mdb");  // relative to the root
  QString backup = QStringLiteral("info.old");
  bool dbBefore = true;   // else required only once the run ended
  QStringList written;    // files the operation writes whole, relative
  // A damaged database going in (Repair): a cut may leave it untouched;
  // otherwise the records required are those the finished run kept.
  bool damagedBefore = false;
};

struct Verdict {
  int states = 0;
  QStringList failures;  // the first few, each naming its cut and files
};

// Checks the disks cuts could leave, trying every `cutStride`-th cut point.
Verdict checkCuts(const Recording& run, const Expectation& expect, Coverage coverage, int cutStride = 1,
                  int maxFailures = 3);

// The IDs in table info of the database at `path`; none if unreadable.
QSet<qint64> recordIds(const QString& path);

}  // namespace quillon::powercut
