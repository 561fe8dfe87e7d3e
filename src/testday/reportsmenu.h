#pragma once
// The test-day window's Reports menu: the saved group's results by name and
// by total and its GO/NO-GO summary, the due list of every soldier the
// records know, each shown in the report window (print, save as PDF) or
// exported with its rows to CSV or .xlsx; and the group's whole records
// exported. Which rows and in what order is the rules' (groupreports.h);
// this menu asks, shows and says what happened on the window's status line.

#include <QDate>
#include <QMenu>
#include <functional>
#include <optional>

#include "groupreports.h"

class QMainWindow;

namespace quillon {

class TestDayWindow;

class ReportsMenu : public QMenu {
  Q_OBJECT
 public:
  ReportsMenu(TestDayWindow* window, const QString& dbPath);

  enum class Report { ResultsByName, ResultsByTotal, Summary, DueList, GroupRecords };

  // Where a file goes: asked with a save dialog unless a test sets it
  // (`caption`, the suggested path, the dialog's filter); empty cancels.
  std::function<QString(const QString& caption, const QString& suggested, const QString& filter)> savePath;

  // The report's rows as they are now; none when they cannot be had (the
  // status line says why) or the clerk cancelled the due list's dialog.
  std::optional<ReportTable> table(Report which);
  // Shows the report in the report window.
  void show(Report which);
  // Writes the report's rows to `path`, CSV or .xlsx by its ending. True
  // when written; the status line says where or why not.
  bool exportTo(Report which, const QString& path);

 private:
  void say(const QString& text);
  void exportAsked(Report which);
  std::optional<TestGroup> savedGroup();

  TestDayWindow* window_;
  QString dbPath_;
};

// The due list's choices: months (six unless the clerk says otherwise) and
// the day the list is for (today). None when cancelled.
struct DueChoice {
  int months = 6;
  QDate asOf;
};
std::optional<DueChoice> askDueChoice(QWidget* parent);

}  // namespace quillon
