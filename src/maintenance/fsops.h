#pragma once
// The few file-system operations the database tool needs, with the system's
// error number kept so a failure can be shown as number and description.

#include <QString>

#include "toolerror.h"

namespace quillon::dbtool::fs {

enum class Kind { Missing, PlainFile, Directory, SymLink, Other };

// What stands at `path`, without following a symbolic link.
Kind kindOf(const QString& path);

// The system's text for an error number.
QString errnoText(int err);

// Each throws ToolError(errno, "<path>: <system text>") on failure.
void renameFile(const QString& from, const QString& to);
void removeFile(const QString& path);
// A second name for the file at `existing` (a hard link); `to` must not exist.
void linkFile(const QString& existing, const QString& to);
// True where the file system cannot give a file a second name (`err` from
// a failed linkFile), so a copy has to stand in for the link.
bool noLinksHere(int err);
// Copies the file `from` to the new file `to`, contents flushed to disk.
void copyFile(const QString& from, const QString& to);
// True when both names stand for the same file.
bool sameFile(const QString& a, const QString& b);
// The longest file name, in bytes, that directory `dir` takes.
qint64 nameMax(const QString& dir);
// Flushes a file's contents, or a directory's entries, to the disk.
void syncPath(const QString& path);
// Makes `path` the process's current directory.
void makeCurrent(const QString& path);
// Gives `path` the owner's permission bits of `like` and none for anyone
// else: a records file names soldiers, so a copy of one made by the tools
// is its owner's alone even where the original was not.
void copyPermissions(const QString& like, const QString& path);
// Takes every permission of `path` from anyone but its owner.
void restrictToOwner(const QString& path);

// 0 when the calling process may create, rename and delete entries in
// directory `dir`; else the system's error number (EACCES, EROFS, ...).
int directoryAccessError(const QString& dir);

}  // namespace quillon::dbtool::fs
