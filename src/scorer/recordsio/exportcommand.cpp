// Export Results: every field of all records, or of one report command's
// rows in that report's order, to a CSV file or an Excel workbook.

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMainWindow>
#include <QProgressDialog>

#include "exportwriter.h"
#include "recordsmenu.h"
#include "reportrows.h"
#include "reportobject.h"

namespace quillon {

namespace {

struct OrderChoice {
  RecordsMenu::ExportOrder order;
  const char* caption;
  const char* reportFile;  // as the report command runs it
  const char* key;
};

// The report commands' own files and first keys (see the Report menu).
const OrderChoice kOrders[] = {
    {RecordsMenu::ExportOrder::All, "All records", nullptr, nullptr},
    {RecordsMenu::ExportOrder::ByName, "Report by Name", "basic.rpt", "+{info.LNAME}"},
    {RecordsMenu::ExportOrder::ByTotal, "Report by Total", "basic.rpt", "-{info.TOTAL}"},
    {RecordsMenu::ExportOrder::ByDate, "Report by Date", "date.rpt", nullptr},
    {RecordsMenu::ExportOrder::Profiles, "Report of Profiles", "profile.rpt", "+{info.LNAME}"},
};

}  // namespace

bool RecordsMenu::exportRecords(const QString& path, ExportOrder order) {
  if (!host_->storeCurrentRow()) return false;
  QList<RecordRow> rows;
  try {
    const OrderChoice* choice = nullptr;
    for (const OrderChoice& c : kOrders)
      if (c.order == order) choice = &c;
    Q_ASSERT(choice);
    if (!choice->reportFile) {
      InfoRowReader(host_->databasePath()).forEach({}, {}, [&](const ReportRow& r) { rows << r; });
      std::stable_sort(rows.begin(), rows.end(),
                       [](const RecordRow& a, const RecordRow& b) { return a.at(0).toLongLong() < b.at(0).toLongLong(); });
    } else {
      ReportObject report(QStringLiteral("ExportReport"));
      report.setReportFileName(QDir::current().filePath(QString::fromLatin1(choice->reportFile)));
      if (choice->key) report.setSortFields(0, QString::fromLatin1(choice->key));
      report.prepare().rows->open()->forEach([&](const ReportRow& r) { rows << r; });
    }
  } catch (const ReportError& e) {
    fail(e.message());
    return false;
  }
  const bool xlsx = path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
  // A workbook of many thousand records takes a while: the clerk sees it
  // go, and Cancel leaves the old file (or none) as it was.
  QProgressDialog writing(QStringLiteral("Exporting %1 records…").arg(rows.size()), QStringLiteral("Cancel"), 0,
                          int(rows.size()), host_->window());
  writing.setWindowTitle(QStringLiteral("Export Results"));
  writing.setWindowModality(Qt::WindowModal);
  writing.setMinimumDuration(500);
  const ExportProgress progress = [&writing](qsizetype done, qsizetype) {
    writing.setValue(int(done));
    return !writing.wasCanceled();
  };
  const QString why = xlsx ? writeRecordsXlsx(path, rows, progress) : writeRecordsCsv(path, rows, progress);
  writing.reset();
  if (why == exportCancelledText()) {
    tell(QStringLiteral("The export was cancelled. Nothing was written."), QStringLiteral("Export Results"));
    return false;
  }
  if (!why.isEmpty()) {
    fail(QStringLiteral("Nothing was exported: %1").arg(why));
    return false;
  }
  tell(QStringLiteral("%1 records were exported to %2.").arg(rows.size()).arg(QDir::toNativeSeparators(path)),
       QStringLiteral("Export Results"));
  return true;
}

void RecordsMenu::chooseExport() {
  QStringList captions;
  for (const OrderChoice& c : kOrders) captions << QString::fromLatin1(c.caption);
  bool ok = false;
  const QString picked = QInputDialog::getItem(host_->window(), QStringLiteral("Export Results"), QStringLiteral("Records:"),
                                               captions, 0, false, &ok);
  if (!ok) return;
  QString filter;
  QString path = QFileDialog::getSaveFileName(host_->window(), QStringLiteral("Export Results"),
                                              QDir::current().filePath(QStringLiteral("results.csv")),
                                              QStringLiteral("CSV files (*.csv);;Excel workbooks (*.xlsx)"), &filter);
  if (path.isEmpty()) return;
  const bool wantXlsx = filter.contains(QLatin1String("xlsx"));
  if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) && !path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
    path += wantXlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
  exportRecords(path, kOrders[captions.indexOf(picked)].order);
}

}  // namespace quillon
