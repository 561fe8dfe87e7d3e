#pragma once
// A soldier's history: every test of both kinds for one SSN, newest first,
// in a table, with a chart of the five-event tests' total and points per
// event over time, and the changes made to each of those records. The SSN
// is shown masked unless the clerk asks to see it whole. Opened from the test-day window's "History" menu for the
// selected soldier, or empty for an SSN typed into it. It only shows, so it
// closes without a question (Close, the platform's close key, Escape).

#include <QWidget>

#include "soldierid.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QTableWidget;

namespace quillon {

class HistoryChart;
class TrailView;
class TestDayWindow;

class HistoryWindow : public QWidget {
  Q_OBJECT
 public:
  explicit HistoryWindow(const QString& dbPath, QWidget* parent = nullptr);

  // Reads and shows the history of `ssn`; the status line under the table
  // says how many tests were found, or why none could be read.
  void showSoldier(const QString& ssn);

 protected:
  // Escape closes the window, as Close and the platform's close key do.
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QString dbPath_;
  QLineEdit* ssn_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* table_ = nullptr;
  HistoryChart* chart_ = nullptr;
  TrailView* trail_ = nullptr;
  QCheckBox* wholeSsn_ = nullptr;
  QString shown_;  // the SSN whose history is shown, whole
  SsnShown ssnShown_ = SsnShown::Masked;
};

// Adds the "History" menu to the test-day window: the selected soldier's
// history, and the history of an SSN typed in.
void addHistoryMenu(TestDayWindow* window, const QString& dbPath);

}  // namespace quillon
