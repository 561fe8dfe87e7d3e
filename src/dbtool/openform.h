#pragma once
// The database tool's window: a file-open style picker of drive, directory
// and file, with "Repair", "Compact" and "Exit...", and its About box.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "commands.h"
#include "pickerlists.h"
#include "toolerror.h"

namespace quillon::dbtool {

class About : public QDialog {
  Q_OBJECT
 public:
  explicit About(QWidget* parent = nullptr);

  QLabel* Picture1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Image1;
  QLabel* Label3;
  QLabel* Label4;
  QPushButton* Command1;
};

// The tool's messages as real boxes on screen, and the real end of the program.
class ToolMessageBoxes : public ToolMessages {
 public:
  explicit ToolMessageBoxes(QWidget* parent) : parent_(parent) {}
  void message(const QString& text, const QString& title, BoxIcon icon) override;
  void endProgram(int exitCode) override;

 private:
  QWidget* parent_;
};

class OpenForm : public QWidget {
  Q_OBJECT
 public:
  // Without `messages` the window shows real boxes and really ends the program.
  explicit OpenForm(ToolMessages* messages = nullptr, FaultPlan* plan = nullptr, QWidget* parent = nullptr);
  ~OpenForm() override;

  // The window's state, as the commands read it.
  QString ChosenFile;
  QString DriveText;
  QString DirText;
  const QString& TargetPath() const { return commands_->TargetPath(); }
  PickerState pickerState() const;
  About* aboutBox() const { return about_; }
  MaintenanceCommands& commands() { return *commands_; }

  QLabel* Label5;
  QLabel* Label1;
  FileListBox* File1;
  QLabel* Label6;
  QComboBox* Combo1;
  QLabel* Label3;
  QLabel* Label4;
  DirListBox* Dir1;
  QLabel* Label2;
  QComboBox* Drive1;
  QPushButton* Command1;
  QPushButton* Command3;
  QPushButton* Command2;

  static const QString kAccessEntry;
  static const QString kAllFilesEntry;

 public slots:
  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void Combo1_Click();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void ShowCurrentDir();

 private:
  void fillDrives();
  void failed(const ToolError& e);
  void endProgram(int code);

  std::unique_ptr<ToolMessageBoxes> ownBoxes_;
  ToolMessages* messages_;
  std::unique_ptr<MaintenanceCommands> commands_;
  About* about_ = nullptr;
  QString shownDrive_;
  bool ended_ = false;
};

// Rectangle for a control laid out in twips, at this screen's resolution.
QRect twipsRect(const QWidget* w, int left, int top, int width, int height);

}  // namespace quillon::dbtool
