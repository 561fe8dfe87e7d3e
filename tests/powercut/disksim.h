#pragma once
// Rebuilds the disks a power cut could leave behind a program, from the log
// the preloaded recorder (pcshim.c) kept of its writes, flushes, renames and
// removals below one folder.
//
// The model: what a flush made durable is there. Of a file's writes since
// its last flush any prefix may be there, independently for each file. Of
// the changes to a folder's entries (creations, renames, removals, links)
// since that folder's last flush any prefix may be there, so a rename that
// was not followed by a flush of its folder may be undone.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

namespace quillon::powercut {

struct LogOp {
  enum Kind { Create, Write, Trunc, Sync, DirSync, Rename, Unlink, Link, Symlink, Mkdir, Mark } kind = Mark;
  quint64 ino = 0;
  qint64 offset = 0;
  qint64 length = 0;
  QByteArray data;
  QString path;   // relative to the folder ("" for the folder itself)
  QString path2;  // rename and link: the new name; symlink: its target
};

// What a name in the folder stands for.
struct Entry {
  enum Type { File, Dir, Symlink } type = File;
  quint64 ino = 0;
  QString target;  // a link's target
  bool operator==(const Entry&) const = default;
};

// A folder as the model sees it: names, and the bytes of every file.
struct Disk {
  QMap<QString, Entry> names;
  QHash<quint64, QByteArray> content;
};

// The folder as it stands, read before the program runs. Inode numbers are
// the real ones, so the log's writes find their files.
Disk snapshot(const QString& folder);

// The log at `logPath` (and its ".data"), paths made relative to `folder`.
// Operations on paths outside the folder are dropped.
QList<LogOp> readLog(const QString& logPath, const QString& folder);

enum class Coverage {
  Sample,  // a few states per cut: nothing, everything, each file alone
  Every,   // every combination of prefixes, up to a cap per cut
};

// One disk a cut could leave, and the cut: the number of operations done.
struct CutState {
  int cut = 0;
  Disk disk;
};

// Calls `visit` for each distinct disk a cut after 0..N operations could
// leave, each disk once however many cuts give it; stops early when
// `visit` returns false. `cuts` chooses which cut points to try (all when
// empty). Returns the number of disks visited.
int forEachState(const Disk& before, const QList<LogOp>& ops, Coverage coverage,
                 const std::function<bool(const CutState&)>& visit, int cutStride = 1);

// Writes `disk` into the empty folder `into`, hard links kept as links.
bool materialize(const Disk& disk, const QString& into);

}  // namespace quillon::powercut
