#pragma once
// MainForm: the scorer's one working window. It binds the current test
// record to the grid, the entry boxes and the result labels, carries Convert
// and the record commands, and owns start-up (load and activation steps).

#include <QMainWindow>
#include <memory>

class QAction;

namespace quillon {

class MainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainForm(QWidget* parent = nullptr);
  ~MainForm() override;

  // Stores a changed current row. Returns false when the store failed; the
  // failure has then been shown to the clerk with the engine's message.
  bool storeCurrentRow();
  // Closes the record set of Data1 (no rows are shown afterwards).
  void closeRecordSet();
  // Coming back to MainForm from `w`, a window of this program, runs the
  // activation step (message boxes are not registered and never trigger it).
  void registerProgramWindow(QWidget* w);
  // Runs the activation step now.
  void Form_Activate();

  // ---- Menus, reports, help and About (mainform_menus.cpp, menupart.h) ----
  struct MenuPart;
  MenuPart& menus() { return *menuPart_; }
  QAction* MNU_FILE = nullptr;
  QAction* MNU_REPORT = nullptr;
  QAction* MNU_NAME = nullptr;
  QAction* MNU_TOTAL = nullptr;
  QAction* MNU_DATE = nullptr;
  QAction* MNU_PROFILES = nullptr;
  QAction* MNU_STATUS = nullptr;
  QAction* MNU_SEPERATOR2 = nullptr;
  QAction* MNU_EXIT = nullptr;
  QAction* MNU_HELP = nullptr;
  QAction* MNU_CONTENTS = nullptr;
  QAction* MNU_SEPERATOR3 = nullptr;
  QAction* MNU_ABOUT = nullptr;

 public Q_SLOTS:
  void MNU_NAME_Click();
  void MNU_TOTAL_Click();
  void MNU_DATE_Click();
  void MNU_PROFILES_Click();
  void MNU_STATUS_Click();
  void MNU_EXIT_Click();
  void MNU_CONTENTS_Click();
  void MNU_ABOUT_Click();

 private:
  // Builds the menu bar and the report objects; called once by the constructor.
  void createMenus();
  std::unique_ptr<MenuPart> menuPart_;
  // ---- end of the menus section ----
};

}  // namespace quillon
