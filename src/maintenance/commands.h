#pragma once
// "Repair" and "Compact": what they do to the database file chosen in the
// picker window, apart from the window itself so that tests can run them on
// real files with scripted boxes.

#include <QString>
#include <memory>

#include "dbengine.h"
#include "toolerror.h"

namespace quillon::dbtool {

// What the commands read of the picker window.
struct PickerState {
  QString label1Caption;  // "*.mdb" or "*.*" while no file is chosen
  QString chosenFile;     // bare file name
  QString driveText;
  QString dirText;
};

class MaintenanceCommands {
 public:
  explicit MaintenanceCommands(ToolMessages& messages, FaultPlan* plan = nullptr);
  ~MaintenanceCommands();

  // "Repair" and "Compact" of the file the picker shows; every outcome
  // reaches the clerk through the messages given.
  void repair(const PickerState& s);
  void compact(const PickerState& s);

  const QString& TargetPath() const { return targetPath_; }
  bool engineCreated() const { return engine_ != nullptr; }

  // The chosen name less its last four characters, plus ".old". Throws
  // ToolError for a name shorter than four characters.
  static QString BackupName(const QString& chosenFile);
  // The chosen file in the shown directory, joined with one separator.
  static QString targetPathOf(const PickerState& s);

  static const QString kRepairDone;
  static const QString kCompactDone;
  static const QString kDoneTitle;

 private:
  static bool noFileChosen(const PickerState& s);
  DBEngine& engine();
  void fail(const ToolError& e);
  void refuse(const QString& text);

  ToolMessages& messages_;
  FaultPlan* plan_;
  QString targetPath_;
  std::unique_ptr<DBEngine> engine_;
};

}  // namespace quillon::dbtool
