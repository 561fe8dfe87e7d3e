#include "commands.h"

#include <QDir>
#include <QFileInfo>

#include "dbfile.h"
#include "fsops.h"

namespace quillon::dbtool {

const QString MaintenanceCommands::kRepairDone = QStringLiteral("Database repair successful!");
const QString MaintenanceCommands::kCompactDone = QStringLiteral("Compact database successful!");
const QString MaintenanceCommands::kDoneTitle = QStringLiteral("Task Complete");

namespace {

const QString kErrorTitle = QStringLiteral("Error");
const QString kNothingChanged = QStringLiteral("Nothing was changed.");

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// When the lock is held elsewhere, the clerk can do something about it.
QString closeHint(const QString& why) {
  return why.contains(QLatin1String("in use")) ? QStringLiteral("\nClose it in the scoring program and try again.")
                                                : QString();
}

// What the clerk needs to know after a damaged file was rebuilt: what was
// saved, what was found damaged, and where the original is.
QString rebuildReport(const RepairResult& r) {
  QStringList lines;
  lines << QString("%1 record(s) were recovered.").arg(r.rowsKept);
  if (r.rowsDamaged > 0)
    lines << QString("%1 record(s) were found damaged and could not be read; they were left out.").arg(r.rowsDamaged);
  if (r.pagesDamaged > 0)
    lines << QString("%1 page(s) of records could not be read at all; the records on them, if any, are lost.")
                 .arg(r.pagesDamaged);
  if (r.idsRenumbered > 0)
    lines << QString("%1 record(s) had the ID of another record; both were kept, and the later one was given a new ID.")
                 .arg(r.idsRenumbered);
  if (r.conflictingCopies > 0)
    lines << QString("%1 record(s) were found in two different versions; one of them was kept.")
                 .arg(r.conflictingCopies);
  if (!r.keptAs.isEmpty()) lines << QString("The file as it was before the repair is kept as %1.").arg(shown(r.keptAs));
  return lines.join('\n');
}

}  // namespace

MaintenanceCommands::MaintenanceCommands(ToolSeam& seam, FaultPlan* plan) : seam_(seam), plan_(plan) {}
MaintenanceCommands::~MaintenanceCommands() = default;

bool MaintenanceCommands::noFileChosen(const PickerState& s) {
  return s.label1Caption == QLatin1String("*.mdb") || s.label1Caption == QLatin1String("*.*");
}

QString MaintenanceCommands::targetPathOf(const PickerState& s) {
  return QDir::toNativeSeparators(QDir(s.driveText + s.dirText).filePath(s.chosenFile));
}

QString MaintenanceCommands::BackupName(const QString& chosenFile) {
  if (chosenFile.size() < 4)
    throw ToolError(kInvalidArgument,
                    QString("The file name \"%1\" is too short to make a backup name from").arg(chosenFile));
  return chosenFile.left(chosenFile.size() - 4) + QStringLiteral(".old");
}

DBEngine& MaintenanceCommands::engine() {
  if (!engine_) engine_ = std::make_unique<DBEngine>(plan_);
  return *engine_;
}

void MaintenanceCommands::fail(const ToolError& e) {
  reportFailure(seam_, e);
}

void MaintenanceCommands::dropKept(const QString& kept) {
  if (kept.isEmpty()) return;
  try {
    fs::removeFile(kept);
  } catch (const ToolError&) {
    // A leftover second name is removed by the next compaction.
  }
}

void MaintenanceCommands::refuse(const QString& text) { seam_.message(text, kErrorTitle, BoxIcon::Exclamation); }

void MaintenanceCommands::Command1_Click(const PickerState& s) {
  if (noFileChosen(s)) return;
  targetPath_ = targetPathOf(s);
  const QString name = s.chosenFile;
  DbInUseLock lock;
  try {
    const fs::Kind kind = fs::kindOf(targetPath_);
    if (kind == fs::Kind::SymLink || kind == fs::Kind::Other) {
      refuse(QString("%1 is not a plain file, so it is not repaired. %2").arg(name, kNothingChanged));
      return;
    }
    if (kind == fs::Kind::PlainFile) {
      QString why;
      faultPoint(plan_, "lock database");
      if (!lock.acquireExclusive(targetPath_, &why)) {
        refuse(QString("%1 cannot be repaired now: %2.%3 %4").arg(name, why, closeHint(why), kNothingChanged));
        return;
      }
    }
    const RepairResult r = engine().RepairDatabase(targetPath_);
    lock.release();
    QString text = kRepairDone;
    if (r.rebuilt) text += QStringLiteral("\n\n") + rebuildReport(r);
    seam_.message(text, kDoneTitle, BoxIcon::None);
  } catch (const ToolError& e) {
    lock.release();
    fail(e);
  }
}

void MaintenanceCommands::Command3_Click(const PickerState& s) {
  if (noFileChosen(s)) return;
  targetPath_ = targetPathOf(s);
  const QString name = s.chosenFile;
  DbInUseLock lock;
  bool moved = false;
  QString backupPath;
  QString keptBackup;  // second name of the previous backup while the compaction runs
  try {
    const QString backupName = BackupName(name);
    // The backup lies beside the database, in the directory now current.
    backupPath = QDir::current().absoluteFilePath(backupName);

    // Everything that could stop the move is checked before anything on
    // disk changes, so a refusal leaves the previous backup where it was.
    if (name.compare(backupName, Qt::CaseInsensitive) == 0) {
      refuse(QString("%1 is itself a backup: its name ends in \".old\". Compacting it would put its own backup "
                     "in its place. Choose the database file instead. %2")
                 .arg(name, kNothingChanged));
      return;
    }
    const fs::Kind kind = fs::kindOf(targetPath_);
    if (kind == fs::Kind::Missing) {
      refuse(QString("%1 is not in %2. %3").arg(name, shown(QDir::currentPath()), kNothingChanged));
      return;
    }
    if (kind != fs::Kind::PlainFile) {
      refuse(QString("%1 is not a plain file, so it is not compacted. %2").arg(name, kNothingChanged));
      return;
    }
    QString why;
    faultPoint(plan_, "lock database");
    if (!lock.acquireExclusive(targetPath_, &why)) {
      refuse(QString("%1 cannot be compacted now: %2.%3 %4").arg(name, why, closeHint(why), kNothingChanged));
      return;
    }
    faultPoint(plan_, "look for previous backup");
    const fs::Kind backupKind = fs::kindOf(backupPath);
    if (backupKind != fs::Kind::Missing && backupKind != fs::Kind::PlainFile) {
      refuse(QString("The backup %1 cannot be made: something other than a plain file already has that name. %2")
                 .arg(backupName, kNothingChanged));
      return;
    }
    if (!fs::directoryWritable(QDir::currentPath())) {
      refuse(QString("%1 cannot be compacted: files cannot be renamed in %2. %3")
                 .arg(name, shown(QDir::currentPath()), kNothingChanged));
      return;
    }
    // A database left with unfinished changes is opened normally first so
    // the engine settles them; its journal never travels apart from it.
    engine().settle(targetPath_);
    if (backupKind == fs::Kind::PlainFile && !journalFiles(backupPath).isEmpty()) {
      try {
        engine().settle(backupPath);
      } catch (const ToolError&) {
        // reported below, by the leftover files themselves
      }
    }
    const QStringList leftover = journalFiles(targetPath_) + journalFiles(backupPath);
    if (!leftover.isEmpty()) {
      QStringList names;
      for (const QString& f : leftover) names << QFileInfo(f).fileName();
      refuse(QString("%1 cannot be compacted: unfinished changes in %2 could not be settled. %3")
                 .arg(name, names.join(", "), kNothingChanged));
      return;
    }

    // The previous backup keeps a second, hidden name until the compaction
    // has succeeded, so a failure can give it back. Where the file system
    // has no such names the compaction goes on without that safety.
    if (backupKind == fs::Kind::PlainFile) {
      const QString keep = QDir::current().absoluteFilePath(QStringLiteral(".%1.keep").arg(backupName));
      try {
        if (fs::kindOf(keep) == fs::Kind::PlainFile) fs::removeFile(keep);  // left by an interrupted run
        fs::linkFile(backupPath, keep);
        keptBackup = keep;
      } catch (const ToolError&) {
      }
    }

    // One rename both retires the previous backup and makes the new one, so
    // there is never a moment without a backup.
    faultPoint(plan_, "rename database to backup");
    fs::renameFile(targetPath_, backupPath);
    moved = true;
    faultPoint(plan_, "flush directory after rename");
    fs::syncPath(QDir::currentPath());

    engine().CompactDatabase(backupPath, targetPath_);
    moved = false;
    dropKept(keptBackup);
    lock.release();
    seam_.message(kCompactDone, kDoneTitle, BoxIcon::None);
  } catch (const ToolError& e) {
    if (moved) {
      // Put the database back under its own name before telling the clerk:
      // the compacted copy never reached that name, so it is free.
      ToolError shownError = e;
      try {
        faultPoint(plan_, "put database back");
        fs::renameFile(backupPath, targetPath_);
        fs::syncPath(QDir::currentPath());
        // The backup name is free again: the previous backup returns to it.
        if (!keptBackup.isEmpty()) {
          try {
            fs::renameFile(keptBackup, backupPath);
            keptBackup.clear();
            fs::syncPath(QDir::currentPath());
          } catch (const ToolError&) {
          }
        }
      } catch (const ToolError& again) {
        shownError = ToolError(e.number(), e.description() + QString("\nThe database could not be put back (%1); "
                                                                     "it is kept as %2.")
                                                                 .arg(again.description(), shown(backupPath)));
      }
      lock.release();
      fail(shownError);
      return;
    }
    dropKept(keptBackup);
    lock.release();
    fail(e);
  }
}

}  // namespace quillon::dbtool
