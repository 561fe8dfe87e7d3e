// The Records menu and its imports; the export is in exportcommand.cpp.

#include "recordsmenu.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSet>

#include "importdialog.h"
#include "importplan.h"
#include "messageseam.h"
#include "recordhistory.h"
#include "report.h"
#include "reportrows.h"
#include "scorecard.h"
#include "scorecarddates.h"
#include "scorecardpreview.h"

namespace quillon {

RecordsMenu::RecordsMenu(std::unique_ptr<RecordsHost> host) : QObject(host->window()), host_(std::move(host)) {
  QMainWindow* form = host_->window();
  setObjectName(QStringLiteral("RecordsMenu"));
  mdbHelper = defaultMdbHelperPath();
  menu = new QMenu(QStringLiteral("&Records"), form);
  menu->menuAction()->setObjectName(QStringLiteral("MNU_RECORDS"));
  // The Edit menu stands before Help, so this goes right after Edit.
  form->menuBar()->insertMenu(form->findChild<QAction*>(QStringLiteral("MNU_HELP")), menu);
  auto add = [&](const QString& text, const char* name, QKeySequence keys, void (RecordsMenu::*slot)()) {
    QAction* a = menu->addAction(text, this, slot);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(keys);
    return a;
  };
  importRosterAction = add(QStringLiteral("Import &Roster..."), "MNU_IMPORT_ROSTER", QKeySequence::Open,
                           &RecordsMenu::chooseRoster);
  importDatabaseAction = add(QStringLiteral("Import &Old Database..."), "MNU_IMPORT_DATABASE",
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), &RecordsMenu::chooseOldDatabase);
  menu->addSeparator();
  exportAction = add(QStringLiteral("&Export Results..."), "MNU_EXPORT", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
                     &RecordsMenu::chooseExport);
  menu->addSeparator();
  scorecardAction = add(QStringLiteral("&Scorecard..."), "MNU_SCORECARD", QKeySequence::Print,
                        &RecordsMenu::scorecardOfCurrent);
  scorecardsByDateAction = add(QStringLiteral("Scorecards by &Date..."), "MNU_SCORECARDS_DATE",
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), &RecordsMenu::scorecardsOfDate);
}

void RecordsMenu::tell(const QString& text, const QString& title) {
  host_->messages().message(text, title, MsgIcon::Information);
}

void RecordsMenu::fail(const QString& text) { host_->messages().message(text, QStringLiteral("Error"), MsgIcon::Exclamation); }

bool RecordsMenu::storeBatch(const QList<RecordStore::BatchOp>& ops, const QString& stepText, const QString& label) {
  QProgressDialog progress(label, QStringLiteral("Cancel"), 0, int(ops.size()), host_->window());
  progress.setObjectName(QStringLiteral("ImportProgress"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  std::optional<QList<RecordStore::BatchChange>> done;
  try {
    done = host_->records().applyBatch(ops, [&](int n, int) {
      progress.setValue(n);
      QApplication::processEvents();
      return !progress.wasCanceled();
    });
  } catch (const DbError& e) {
    fail(QStringLiteral("Nothing was imported: %1").arg(e.message()));
    return false;
  }
  progress.reset();
  if (!done) {
    tell(QStringLiteral("The import was cancelled. Nothing was stored."), QStringLiteral("Import"));
    return false;
  }
  host_->history().recordBatch(stepText, *done);
  int added = 0, updated = 0;
  for (const RecordStore::BatchChange& c : *done) (c.before ? updated : added)++;
  tell(QStringLiteral("%1 records added, %2 updated.").arg(added).arg(updated), QStringLiteral("Import"));
  return true;
}

// ---------------------------------------------------------------- roster

void RecordsMenu::chooseRoster() {
  const QString path = QFileDialog::getOpenFileName(host_->window(), QStringLiteral("Import Roster"), QDir::currentPath(),
                                                    QStringLiteral("Rosters (*.csv *.txt *.xlsx);;All files (*)"));
  if (!path.isEmpty()) importRoster(path);
}

bool RecordsMenu::importRoster(const QString& path) {
  // What the clerk typed is stored first, so the import meets the file as it is.
  if (!host_->storeCurrentRow()) return false;
  SsnIndex index;
  try {
    InfoRowReader(host_->databasePath()).forEach({}, {}, [&](const ReportRow& r) {
      addToSsnIndex(index, r.value(3), r.value(0).toLongLong());
    });
  } catch (const ReportError& e) {
    fail(e.message());
    return false;
  }
  const RosterPreview preview = previewRosterFile(path, index);
  const QString name = QFileInfo(path).fileName();
  if (!preview.ok()) {
    fail(preview.errorLine > 0
             ? QStringLiteral("%1 cannot be imported: %2 (line %3). Nothing was stored.").arg(name, preview.error).arg(preview.errorLine)
             : QStringLiteral("%1 cannot be imported: %2. Nothing was stored.").arg(name, preview.error));
    return false;
  }
  const QStringList headings{QStringLiteral("Line"), QStringLiteral("Name"), QStringLiteral("Rank"),
                             QStringLiteral("SSN"), QStringLiteral("Sex"), QStringLiteral("DOB")};
  PreviewList add{QStringLiteral("To add"), headings, {}};
  for (const RosterRow& r : preview.toAdd) add.rows << QStringList{QString::number(r.line), r.name, r.rank, r.ssn, r.sex, r.dob};
  PreviewList match{QStringLiteral("Matching a record"), headings + QStringList{QStringLiteral("Stored IDs")}, {}};
  for (const RosterMatch& m : preview.matches) {
    QStringList ids;
    for (qint64 id : m.ids) ids << QString::number(id);
    match.rows << QStringList{QString::number(m.row.line), m.row.name, m.row.rank, m.row.ssn, m.row.sex, m.row.dob, ids.join(", ")};
  }
  PreviewList refused{QStringLiteral("Refused"), {QStringLiteral("Line"), QStringLiteral("Reason")}, {}};
  for (const RosterRefusal& r : preview.refused) refused.rows << QStringList{QString::number(r.line), r.reason};
  QString summary = QStringLiteral("Roster %1: %2 to add, %3 matching a stored record by SSN, %4 refused.")
                        .arg(name).arg(preview.toAdd.size()).arg(preview.matches.size()).arg(preview.refused.size());
  if (!preview.ignoredColumns.isEmpty())
    summary += QStringLiteral("\nColumns not used: ") + preview.ignoredColumns.join(QStringLiteral(", "));
  ImportDialog dialog(QStringLiteral("Import Roster"), summary, {add, match, refused},
                      {QStringLiteral("Rows matching a stored record"), QStringLiteral("&Skip them"),
                       QStringLiteral("&Update name, rank, sex and date of birth")},
                      host_->window());
  if (dialog.exec() != QDialog::Accepted) return false;
  const QList<RecordStore::BatchOp> ops =
      rosterPlan(preview, dialog.takeChosen(), [&](qint64 id) { return host_->records().storedRecord(id); });
  return storeBatch(ops, QStringLiteral("Import of ") + name, QStringLiteral("Importing the roster..."));
}

// ---------------------------------------------------------------- old database

void RecordsMenu::chooseOldDatabase() {
  const QString path = QFileDialog::getOpenFileName(host_->window(), QStringLiteral("Import Old Database"), QDir::currentPath(),
                                                    QStringLiteral("Access databases (*.mdb);;All files (*)"));
  if (!path.isEmpty()) importOldDatabase(path);
}

bool RecordsMenu::importOldDatabase(const QString& path) {
  if (!host_->storeCurrentRow()) return false;
  QSet<qint64> ids;
  try {
    InfoRowReader(host_->databasePath()).forEach({}, {}, [&](const ReportRow& r) { ids.insert(r.value(0).toLongLong()); });
  } catch (const ReportError& e) {
    fail(e.message());
    return false;
  }
  const QString name = QFileInfo(path).fileName();
  // The helper reads while the window stays alive; Cancel stops it, and
  // nothing has been stored by then.
  QProgressDialog reading(QStringLiteral("Reading %1…").arg(name), QStringLiteral("Cancel"), 0, 0, host_->window());
  reading.setWindowTitle(QStringLiteral("Import Old Database"));
  reading.setWindowModality(Qt::WindowModal);
  reading.setMinimumDuration(500);
  const JetPreview preview = previewJetFile(path, ids, mdbHelper, [&reading] {
    QCoreApplication::processEvents();
    return !reading.wasCanceled();
  });
  reading.reset();
  if (!preview.ok()) {
    fail(QStringLiteral("%1 cannot be imported: %2. Nothing was stored.").arg(name, preview.error));
    return false;
  }
  const int id = fieldIndex(QStringLiteral("ID")), lname = fieldIndex(QStringLiteral("LNAME")),
            ssn = fieldIndex(QStringLiteral("SSN")), dot = fieldIndex(QStringLiteral("DOT"));
  const QStringList headings{QStringLiteral("Row"), QStringLiteral("ID"), QStringLiteral("Name"),
                             QStringLiteral("SSN"), QStringLiteral("Date of test")};
  auto line = [&](const JetImportRow& r) {
    return QStringList{QString::number(r.sourceRow), r.record.value(id), r.record.value(lname), r.record.value(ssn),
                       r.record.value(dot)};
  };
  PreviewList keep{QStringLiteral("Keeping their ID"), headings, {}};
  for (const JetImportRow& r : preview.keepingId) keep.rows << line(r);
  PreviewList fresh{QStringLiteral("Getting a new ID"), headings, {}};
  for (const JetImportRow& r : preview.newId) fresh.rows << line(r);
  PreviewList conflicts{QStringLiteral("ID taken"), headings + QStringList{QStringLiteral("Reason")}, {}};
  for (const JetConflict& c : preview.conflicts) conflicts.rows << line(c.row) + QStringList{c.reason};
  QString summary = QStringLiteral("Old database %1: %2 keep their ID, %3 get a new one, %4 have an ID already taken.")
                        .arg(name).arg(preview.keepingId.size()).arg(preview.newId.size()).arg(preview.conflicts.size());
  if (!preview.ignoredColumns.isEmpty())
    summary += QStringLiteral("\nColumns not used: ") + preview.ignoredColumns.join(QStringLiteral(", "));
  if (!preview.missingFields.isEmpty())
    summary += QStringLiteral("\nFields left empty: ") + preview.missingFields.join(QStringLiteral(", "));
  ImportDialog dialog(QStringLiteral("Import Old Database"), summary, {keep, fresh, conflicts},
                      {QStringLiteral("Rows whose ID is taken"), QStringLiteral("&Skip them"),
                       QStringLiteral("&Import them under a new ID")},
                      host_->window());
  if (dialog.exec() != QDialog::Accepted) return false;
  return storeBatch(jetPlan(preview, dialog.takeChosen()), QStringLiteral("Import of ") + name,
                    QStringLiteral("Importing the old database..."));
}

// ---------------------------------------------------------------- scorecards

QList<qint64> RecordsMenu::testedOn(const QString& date) const { return recordsTestedOn(host_->records(), date); }

void RecordsMenu::showScorecards(const QList<qint64>& keys, const QString& title) {
  QList<Record> records;
  try {
    for (qint64 k : keys)
      if (std::optional<Record> r = host_->records().storedRecord(k)) records << *r;
  } catch (const DbError& e) {
    fail(e.message());
    return;
  }
  if (records.isEmpty()) {
    fail(QStringLiteral("There are no records to report."));
    return;
  }
  previewScorecards(records, host_->window(), title, [this](const QString& t) { tell(t, QStringLiteral("Scorecards")); },
                    [this](const QString& t) { fail(t); });
}

void RecordsMenu::scorecardOfCurrent() {
  if (!host_->storeCurrentRow()) return;
  const int row = host_->records().currentRow();
  if (row < 0) {
    fail(QStringLiteral("No current record."));
    return;
  }
  showScorecards({host_->records().rowKey(row)}, QStringLiteral("Scorecard"));
}

void RecordsMenu::scorecardsOfDate() {
  if (!host_->storeCurrentRow()) return;
  const QStringList dates = testDates(host_->records());
  if (dates.isEmpty()) {
    fail(QStringLiteral("There are no records to report."));
    return;
  }
  bool ok = false;
  const QString date = QInputDialog::getItem(host_->window(), QStringLiteral("Scorecards by Date"),
                                             QStringLiteral("Date of test:"), dates, 0, false, &ok);
  if (ok) showScorecards(testedOn(date), QStringLiteral("Scorecards ") + QString(date).replace('/', '-'));
}

}  // namespace quillon
