#pragma once
// The main window's Records menu: importing a roster or the old program's
// database, exporting records for a spreadsheet, and printing scorecards.
// Each command that takes a file asks for it and then calls the function of
// the same name below, which tests call directly with a path.

#include <QObject>
#include <QString>
#include <memory>

#include "recordshost.h"
#include "recordstore.h"

class QAction;
class QMenu;

namespace quillon {

class RecordsMenu : public QObject {
  Q_OBJECT
 public:
  // Builds the menu and puts it after the Edit menu of the host's window; a
  // child of that window (objectName "RecordsMenu").
  explicit RecordsMenu(std::unique_ptr<RecordsHost> host);

  // Which rows an export holds, in which order: all records by ID, or the
  // rows of one report command in that report's order.
  enum class ExportOrder { All, ByName, ByTotal, ByDate, Profiles };

  // Previews the file, and stores what the clerk accepts as one step of Undo.
  // False when nothing was stored (refused, cancelled or failed; the clerk
  // has been told why).
  bool importRoster(const QString& path);
  bool importOldDatabase(const QString& path);
  // Writes a CSV file, or an Excel workbook when the name ends in ".xlsx".
  bool exportRecords(const QString& path, ExportOrder order);
  // The records with these keys, one card each, in the print preview.
  void showScorecards(const QList<qint64>& keys, const QString& title);
  // Keys of the records tested on a date ("MM/DD/YYYY"), in name order.
  QList<qint64> testedOn(const QString& date) const;

  // The reader of old database files (see jetfile.h); beside the program.
  QString mdbHelper;

  QMenu* menu = nullptr;
  QAction* importRosterAction = nullptr;
  QAction* importDatabaseAction = nullptr;
  QAction* exportAction = nullptr;
  QAction* scorecardAction = nullptr;
  QAction* scorecardsByDateAction = nullptr;

 private:
  void chooseRoster();
  void chooseOldDatabase();
  void chooseExport();
  void scorecardOfCurrent();
  void scorecardsOfDate();
  // Runs the batch under a progress dialog; stores nothing on Cancel.
  bool storeBatch(const QList<RecordStore::BatchOp>& ops, const QString& stepText, const QString& label);
  void tell(const QString& text, const QString& title);
  void fail(const QString& text);

  std::unique_ptr<RecordsHost> host_;
};

}  // namespace quillon
