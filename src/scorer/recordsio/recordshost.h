#pragma once
// What the Records menu needs of the window it sits in: the records it
// imports into and reads, the history an import joins as one step of Undo,
// the boxes it speaks through, and the window as its dialogs' parent and
// the bearer of its menu. The main window hands the menu one of these; the
// menu knows nothing else of it.

#include <QString>

class QMainWindow;

namespace quillon {

class MessageSeam;
class RecordHistory;
class RecordStore;

class RecordsHost {
 public:
  virtual ~RecordsHost() = default;
  virtual QMainWindow* window() = 0;
  // Stores a changed current row; false when that failed (the clerk has
  // been told why), and the command then stops.
  virtual bool storeCurrentRow() = 0;
  virtual RecordStore& records() = 0;
  virtual RecordHistory& history() = 0;
  virtual MessageSeam& messages() = 0;
  // Where the records are (the working folder's info.mdb).
  virtual QString databasePath() const = 0;
};

}  // namespace quillon
