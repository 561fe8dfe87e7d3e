#pragma once
// MainForm: the scorer's one working window. It binds the current test
// record to the grid, the entry boxes and the result labels, carries Convert
// and the record commands, and owns start-up (load and activation steps).

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "clashrule.h"
#include "dbfile.h"
#include "recordhistory.h"
#include "scoreui.h"
#include "tables.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;


namespace quillon {

class Alternate;
class RecordGrid;
class RecordModel;
class RecordStore;
class MenuObjects;
class MessageBoxes;

class MainForm : public QMainWindow {
  Q_OBJECT

 public:
  // A menu that another window of the program puts in this window's menu
  // bar, given the bar and where the records are. The program that puts
  // the windows together names them; this window knows none of them.
  using MenuBarPart = std::function<void(QMenuBar* bar, const QString& dbPath)>;

  explicit MainForm(QWidget* parent = nullptr, const std::vector<MenuBarPart>& menuParts = {});
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

  // The records the window shows (its record control, Data1).
  RecordStore& records() const { return *Data1; }
  // The alternate-event window (null until the first wait).
  Alternate* alternateWindow() const { return alternate_.get(); }
  // What was done to the records in this run (Edit, Undo and Redo).
  RecordHistory& history() { return *history_; }
  // Where the window looks for the records (the current folder's info.mdb).
  static QString databasePath();

  // Every box and question of this window goes through this seam; null
  // puts the real message boxes back. Tests script the clerk's answers here.
  void setMessageSeam(MessageSeam* seam);
  MessageSeam& messages();
  void setClock(const Clock* clock);
  const Clock& clock() const;
  // Who answers when a store meets another station's change; null puts the
  // conflict window back. Tests answer here in place of the clerk.
  void setConflictChooser(ConflictChooser* chooser) { chooser_ = chooser; }

 Q_SIGNALS:
  // The window was closed by its close box; the program ends.
  void closed();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  // ---- Controls, each with its object name; each bound one bears the name of its field ----
  RecordStore* Data1 = nullptr;
  RecordGrid* TDBGrid1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* DOB = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* DOT = nullptr;
  QLabel* Label11 = nullptr;
  QLineEdit* MaskEdBox1 = nullptr;
  QGroupBox* Scores = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QLineEdit* RAW_PU = nullptr;
  QLineEdit* RAW_SU = nullptr;
  QLineEdit* RUN_M = nullptr;
  QLineEdit* RUN_S = nullptr;
  QLabel* C_PU = nullptr;
  QLabel* C_SU = nullptr;
  QLabel* C_RUN = nullptr;
  QLabel* STAT = nullptr;
  QLabel* Prof = nullptr;
  QLabel* TOTAL = nullptr;
  QPushButton* Command6 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QPushButton* Command4 = nullptr;
  QPushButton* Command7 = nullptr;
  // Carries the current row's sex for Convert; never shown.
  QLineEdit* Sex = nullptr;

  // ---- Menus, reports, help and About (mainform_menus.cpp, menupart.h) ----
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

 private Q_SLOTS:
  void MNU_NAME_Click();
  void MNU_TOTAL_Click();
  void MNU_DATE_Click();
  void MNU_PROFILES_Click();
  void MNU_STATUS_Click();
  void MNU_EXIT_Click();
  void MNU_CONTENTS_Click();
  void MNU_ABOUT_Click();

 private:
  MenuObjects& menus() { return *menus_; }
  // Builds the menu bar and the report objects; called once by the constructor.
  void createMenus();
  std::unique_ptr<MenuObjects> menus_;
  // ---- end of the menus section ----

  // ---- Edit menu: Undo and Redo (mainform_edit.cpp) ----
  QAction* MNU_EDIT = nullptr;
  QAction* MNU_UNDO = nullptr;
  QAction* MNU_REDO = nullptr;

 private Q_SLOTS:
  void MNU_UNDO_Click();
  void MNU_REDO_Click();

 private:
  // Puts the Edit menu after File; called once by the constructor.
  void createEditMenu();
  // The items name the step they take and are enabled when there is one.
  void refreshEditMenu();
  void takeHistoryStep(RecordHistory::Direction d);
  // Typing in the shown row or a grid cell that is not stored yet.
  bool hasPendingChanges() const;
  // Makes the row with this key current after a step; when the step took
  // the row away, the row that took its place (`wasAt` is where it stood).
  void showAfterStep(qint64 key, int wasAt);
  // How the shown row is called in the Edit menu.
  QString shownSubject() const;
  std::unique_ptr<RecordHistory> history_;
  // ---- end of the Edit menu section ----

 private Q_SLOTS:
  void Command2_Click();  // Add
  void Command3_Click();  // Delete
  void Command4_Click();  // Update
  void Command6_Click();  // Convert
  void Command7_Click();  // Sort

 private:
  class ConvertSession;
  class SeamSwitch;
  // One control of the table that binds the controls to the fields of the
  // shown record (mainform_binding.cpp).
  struct Binding {
    QWidget* widget;
    QString field;
    std::optional<Ctl> ctl;  // Convert's name for it, when Convert reads or writes it
    int maxLength;           // how many characters its box takes (0: no limit)
  };

  void Form_Load();
  void buildWindow();
  bool WaitForAlternate();

  // Fills the table; the window aborts when a control Convert names is missing.
  void bindControls();
  const Binding& bindingOf(Ctl c) const;
  // The boxes the clerk types into, in the order of the table.
  std::vector<QLineEdit*> entryBoxes() const;
  void applyLimits();
  QString controlText(const Binding& b) const;
  void setControlText(const Binding& b, const QString& v);
  // The changes typed (or written by Convert) into the controls of the shown row.
  QHash<int, QString> controlChanges() const;
  // Fills the controls from the store's current row (blank without one).
  void loadControls();
  // Stores what the controls hold for the shown row (the grid left aside).
  bool storeShownRow();
  // Asks what becomes of `changes` to the shown row, which met `conflict`,
  // and carries it out: true when the row is settled (stored or theirs
  // kept), false when nothing was stored and what was typed stays.
  bool settleStoreConflict(const StoreConflict& conflict, const QHash<int, QString>& changes);
  ConflictChooser* chooser_ = nullptr;
  std::unique_ptr<ConflictChooser> conflictWindow_;
  // The grid's selection follows the store's current row.
  void syncGridToStore();
  void requery();
  // Takes the shared in-use lock on `path`; false (reported) when the
  // database tool holds the file.
  bool lockDatabase(const QString& path);
  void reportDbError(const QString& message);
  void onGridRowChanged(int row, int previous);
  void onStoreRowChanged(int row);
  void onGridDelete(int row);
  // Escape in a cell whose pick was already stored: the old text goes back.
  void onGridRevert(const QModelIndex& index, const QString& text);
  // Makes a row typed into the grid's new-row line the current row.
  void applyGridAdd();
  void onFocusWindowChanged(QWindow* now);
  void setEntriesEnabled(bool on);

  RecordModel* model_ = nullptr;
  std::vector<Binding> bindings_;
  // The row the controls show (its store key; -1: none) and the values they
  // were loaded with.
  qint64 shownKey_ = -1;
  // The shown row was found deleted by another program and the clerk has
  // been told: what was typed for it stays on screen but is not stored.
  qint64 orphanKey_ = -1;
  QHash<QWidget*, QString> loaded_;
  bool syncing_ = false;
  int pendingGridRow_ = -1;
  bool activatedOnce_ = false;

  ScoringTables tables_;
  DbInUseLock lock_;
  QString lockedPath_;

  std::unique_ptr<MessageBoxes> boxes_;
  std::unique_ptr<SeamSwitch> seam_;
  SystemClock systemClock_;
  const Clock* clock_ = nullptr;
  // What the conversions of this window decided, read by the alternate-event
  // window after a conversion has ended.
  ConversionState conversion_;
  std::unique_ptr<Alternate> alternate_;
  std::unique_ptr<ConvertSession> session_;

  std::vector<QPointer<QWidget>> programWindows_;
  QPointer<QWindow> lastFocus_;

};

}  // namespace quillon
