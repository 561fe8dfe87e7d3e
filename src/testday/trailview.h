#pragma once
// The trail of changes under a soldier's history: for each of the
// soldier's records, every change made to it (when, who, from where, which
// field, the value before and after), the record's newest test first and
// its changes oldest first. An add or a delete of a whole record is one
// line; the values it held are in the trail's export. An SSN in the trail
// is masked unless the clerk asked to see it whole.
//
// Also the History menu's export of the whole trail this clerk may read,
// to a CSV file readable by its owner only.

#include <QObject>
#include <QWidget>
#include <functional>
#include <vector>

#include "changetrail.h"
#include "history.h"
#include "soldierid.h"

class QLabel;
class QMainWindow;
class QMenu;
class QTableWidget;

namespace quillon {

class TrailView : public QWidget {
  Q_OBJECT
 public:
  explicit TrailView(QWidget* parent = nullptr);

  // Reads and shows the changes to each record of `history` from the trail
  // beside the records at `dbPath`; the line under the table says how many
  // changes were found, or why none could be read.
  void showChangesOf(const QString& dbPath, const QList<TestResult>& history);
  void setSsnShown(SsnShown how);

 private:
  struct Line {
    QString test;  // the record as the history names it: test and date
    TrailEntry entry;
    int fields = 1;  // of an add or a delete folded into one line
  };
  void fill();

  std::vector<Line> lines_;
  SsnShown ssn_ = SsnShown::Masked;
  QTableWidget* table_ = nullptr;
  QLabel* status_ = nullptr;
};

// The History menu's "Export Trail of Changes...": asks where (savePath,
// a seam tests replace) and writes every change this clerk may read, SSNs
// whole only when `wholeSsn` says the clerk asked to see them, and says on
// `window`'s status bar what was written or why nothing was.
class TrailExport : public QObject {
  Q_OBJECT
 public:
  TrailExport(QMainWindow* window, QMenu* menu, const QString& dbPath);

  std::function<QString(const QString& caption, const QString& suggested)> savePath;
  std::function<SsnShown()> wholeSsn;
  // Writes the trail to `path`; false, with the reason shown, if it could not.
  bool exportTo(const QString& path);

 private:
  QMainWindow* window_;
  QString dbPath_;
};

}  // namespace quillon
