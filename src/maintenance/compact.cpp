#include "compact.h"

#include <QDir>
#include <QFileInfo>

#include "fsops.h"
#include "leftovers.h"

namespace quillon::dbtool {

namespace {

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

void compactKeepingBackup(DBEngine& engine, const QString& dbPath, const QString& backupPath, FaultPlan* plan) {
  const QFileInfo backupInfo(backupPath);
  const QString folder = backupInfo.absolutePath();
  const QString kept = QDir(folder).filePath(keptBackupName(backupInfo.fileName()));
  bool previousKept = false;  // the previous backup is under its hidden name
  bool backupMade = false;    // the backup's name holds the database as it is
  bool installed = false;     // the database's name holds the compacted copy
  try {
    // 1. The previous backup steps aside to its hidden name; the database
    //    is untouched.
    if (fs::kindOf(backupPath) == fs::Kind::PlainFile) {
      faultPoint(plan, "keep previous backup");
      fs::renameFile(backupPath, kept);
      previousKept = true;
      faultPoint(plan, "flush directory after keeping backup");
      fs::syncPath(folder);
    }
    // 2. The backup's name becomes a second name of the database; where the
    //    file system has none, a flushed copy takes that name in one rename.
    try {
      faultPoint(plan, "make backup");
      fs::linkFile(dbPath, backupPath);
    } catch (const ToolError& e) {
      if (!fs::noLinksHere(e.number())) throw;
      const QString copy = QDir(folder).filePath(backupInfo.fileName() + QStringLiteral(".000000.tmp"));
      faultPoint(plan, "copy database to backup");
      fs::copyFile(dbPath, copy);
      try {
        fs::copyPermissions(dbPath, copy);
        fs::renameFile(copy, backupPath);
      } catch (const ToolError&) {
        fs::removeFile(copy);
        throw;
      }
    }
    backupMade = true;
    // A second name of the database is the one file: made its owner's
    // alone, as the compacted copy will be.
    fs::restrictToOwner(backupPath);
    faultPoint(plan, "flush directory after backup");
    fs::syncPath(folder);

    // 3. The engine compacts from the backup into a file beside the
    //    database and renames it over the database's name.
    DBEngine::CompactOptions options;
    options.replace = true;
    options.installed = &installed;
    engine.CompactDatabase(backupPath, dbPath, options);

    // 4. The previous backup has been replaced.
    if (previousKept) {
      faultPoint(plan, "drop previous backup");
      fs::removeFile(kept);
      previousKept = false;
      fs::syncPath(folder);
    }
  } catch (const ToolError& e) {
    QString where;
    try {
      faultPoint(plan, "put files back");
      if (installed) {
        // The file as it was returns to the database's name; the backup's
        // name is then free for the previous backup.
        fs::renameFile(backupPath, dbPath);
        backupMade = false;
      } else if (backupMade && !previousKept) {
        // Only a second name, or a copy, of the database: it holds nothing
        // the database does not.
        fs::removeFile(backupPath);
        backupMade = false;
      }
      if (previousKept) {
        fs::renameFile(kept, backupPath);  // replaces a second name in one step
        previousKept = false;
        backupMade = false;
      }
      fs::syncPath(folder);
    } catch (const ToolError& again) {
      // The database's own name holds complete records whatever failed.
      where = QString("\nThe files could not all be put back (%1). The records are in %2")
                  .arg(again.description(), nativePath(dbPath));
      if (previousKept) where += QString("; the previous backup is kept as %1").arg(nativePath(kept));
      where += QStringLiteral(". The rest is put right when the program next starts in that folder.");
    }
    throw ToolError(e.number(), e.description() + where);
  }
}

}  // namespace quillon::dbtool
