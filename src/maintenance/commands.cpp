#include "commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "compact.h"
#include "dbfile.h"
#include "fsops.h"
#include "leftovers.h"

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

MaintenanceCommands::MaintenanceCommands(ToolMessages& messages, FaultPlan* plan)
    : messages_(messages), plan_(plan) {}
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
  return compactBackupName(chosenFile);
}

DBEngine& MaintenanceCommands::engine() {
  if (!engine_) engine_ = std::make_unique<DBEngine>(plan_);
  return *engine_;
}

void MaintenanceCommands::fail(const ToolError& e) {
  reportFailure(messages_, e);
}

void MaintenanceCommands::refuse(const QString& text) { messages_.message(text, kErrorTitle, BoxIcon::Exclamation); }

void MaintenanceCommands::repair(const PickerState& s) {
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
    messages_.message(text, kDoneTitle, BoxIcon::None);
  } catch (const ToolError& e) {
    lock.release();
    fail(e);
  }
}

void MaintenanceCommands::compact(const PickerState& s) {
  if (noFileChosen(s)) return;
  targetPath_ = targetPathOf(s);
  const QString name = s.chosenFile;
  DbInUseLock lock;
  try {
    const QString backupName = BackupName(name);
    // The backup lies beside the database, in the directory now current.
    const QString folder = QDir::currentPath();
    const QString backupPath = QDir::current().absoluteFilePath(backupName);

    // Everything that could stop the compaction is checked before anything
    // on disk changes, so a refusal leaves every file where it was.
    if (name.compare(backupName, Qt::CaseInsensitive) == 0) {
      refuse(QString("%1 is itself a backup: its name ends in \".old\". Compacting it would put its own backup "
                     "in its place. Choose the database file instead. %2")
                 .arg(name, kNothingChanged));
      return;
    }
    // The longest names made beside the database: the compacted copy's
    // journal and the previous backup's hidden name.
    const qint64 longest = std::max(QFile::encodeName(temporaryTemplate(name) + "-journal").size(),
                                    QFile::encodeName(keptBackupName(backupName)).size());
    if (longest > fs::nameMax(folder)) {
      refuse(QString("%1 cannot be compacted: its name is too long to name the working files made beside it. "
                     "Rename it to something shorter first. %2")
                 .arg(name, kNothingChanged));
      return;
    }
    if (const int err = fs::directoryAccessError(folder)) {
      refuse(QString("%1 cannot be compacted: files cannot be made or renamed in %2: %3. %4")
                 .arg(name, shown(folder), fs::errnoText(err).toLower(), kNothingChanged));
      return;
    }
    QString why;
    faultPoint(plan_, "lock database");
    if (!lock.acquireExclusive(targetPath_, &why)) {
      refuse(QString("%1 cannot be compacted now: %2.%3 %4").arg(name, why, closeHint(why), kNothingChanged));
      return;
    }
    // What an earlier, interrupted compaction left is put right first, so
    // the steps below start from the database and at most one backup.
    const QStringList unsettled = settleLeftovers(targetPath_, true);
    if (!unsettled.isEmpty()) {
      refuse(QString("%1 cannot be compacted: files left by an earlier compaction could not be put right:\n%2\n%3")
                 .arg(name, unsettled.join('\n'), kNothingChanged));
      return;
    }
    const fs::Kind kind = fs::kindOf(targetPath_);
    if (kind == fs::Kind::Missing) {
      refuse(QString("%1 is not in %2. %3").arg(name, shown(folder), kNothingChanged));
      return;
    }
    if (kind != fs::Kind::PlainFile) {
      refuse(QString("%1 is not a plain file, so it is not compacted. %2").arg(name, kNothingChanged));
      return;
    }
    faultPoint(plan_, "look for previous backup");
    const fs::Kind backupKind = fs::kindOf(backupPath);
    if (backupKind != fs::Kind::Missing && backupKind != fs::Kind::PlainFile) {
      refuse(QString("The backup %1 cannot be made: something other than a plain file already has that name. %2")
                 .arg(backupName, kNothingChanged));
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

    compactKeepingBackup(engine(), targetPath_, backupPath, plan_);
    lock.release();
    messages_.message(kCompactDone, kDoneTitle, BoxIcon::None);
  } catch (const ToolError& e) {
    lock.release();
    fail(e);
  }
}

}  // namespace quillon::dbtool
