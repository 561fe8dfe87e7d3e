#pragma once
// What an interrupted Compact (or Repair) can leave beside a database, and
// how both programs put it right at start without asking the clerk.
//
// Compact works with these names beside the database info.mdb:
//   info.old             the backup: the database as it was before
//   .info.old.keep       the previous backup, hidden until the new one is made
//   info.mdb.XXXXXX.tmp  the compacted copy being written (and its journal)
//   info.old.XXXXXX.tmp  a copy of the database becoming the backup, where
//                        the file system has no second names for a file

#include <QString>
#include <QStringList>

namespace quillon {

// The backup's bare name: the database's name less its last four
// characters, plus ".old". Empty for a name shorter than four characters.
QString compactBackupName(const QString& dbFileName);
// The previous backup's hidden name while a compaction runs.
QString keptBackupName(const QString& backupName);
// The pattern of a temporary file made beside `fileName`, for QTemporaryFile.
QString temporaryTemplate(const QString& fileName);
// True when `candidate` is such a temporary file of `fileName`, or the
// journal the engine keeps beside one.
bool isTemporaryOf(const QString& candidate, const QString& fileName);

// Settles what an interrupted compaction or repair left beside `dbPath`:
// the newest complete database returns to its own name, the previous backup
// to the backup's name, and copies that duplicate a sound database are
// removed. Nothing that may be the only copy of a record is deleted: a
// candidate is removed only after the database it duplicates has passed its
// check and holds at least as many rows. Does nothing while another program
// holds the database's in-use lock, unless `lockHeld` says the caller is
// that holder. Returns one text per thing that could not be settled.
QStringList settleLeftovers(const QString& dbPath, bool lockHeld = false);

// Full paths of the databases in `dir` that have leftovers beside them.
// A database known only by its backup's name is taken to end in ".mdb".
QStringList databasesWithLeftovers(const QString& dir);

}  // namespace quillon
