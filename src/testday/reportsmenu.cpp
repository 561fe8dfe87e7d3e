#include "reportsmenu.h"

#include <QAction>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QMessageBox>
#include <QSpinBox>
#include <QStatusBar>

#include "dbfile.h"
#include "reportpreview.h"
#include "testdaywindow.h"
#include "ssnmask.h"

namespace quillon {

namespace {

struct ReportEntry {
  ReportsMenu::Report which;
  const char* caption;  // in the menu
  const char* object;   // the action's object name
  const char* file;     // the suggested file name, without its ending
};

const ReportEntry kReports[] = {
    {ReportsMenu::Report::ResultsByName, "Results by &Name", "reportResultsByName", "results by name"},
    {ReportsMenu::Report::ResultsByTotal, "Results by &Total", "reportResultsByTotal", "results by total"},
    {ReportsMenu::Report::Summary, "&GO/NO-GO Summary", "reportSummary", "go-no-go summary"},
    {ReportsMenu::Report::DueList, "&Due List...", "reportDueList", "due list"},
    {ReportsMenu::Report::GroupRecords, "Group &Records (every field)", "reportGroupRecords", "group records"},
};

const ReportEntry& entry(ReportsMenu::Report which) {
  for (const ReportEntry& e : kReports)
    if (e.which == which) return e;
  Q_UNREACHABLE();
}

QString plain(const char* caption) { return QString::fromLatin1(caption).remove(QLatin1Char('&')).remove(QStringLiteral("...")); }

}  // namespace

std::optional<DueChoice> askDueChoice(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("dueListDialog"));
  dialog.setWindowTitle(QStringLiteral("Due List"));
  auto* form = new QFormLayout(&dialog);
  auto* months = new QSpinBox(&dialog);
  months->setObjectName(QStringLiteral("dueMonths"));
  months->setRange(1, 60);
  months->setValue(6);
  months->setSuffix(QStringLiteral(" months"));
  form->addRow(QStringLiteral("Due after &no test in:"), months);
  auto* asOf = new QDateEdit(QDate::currentDate(), &dialog);
  asOf->setObjectName(QStringLiteral("dueAsOf"));
  asOf->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  asOf->setCalendarPopup(true);
  form->addRow(QStringLiteral("&As of:"), asOf);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return DueChoice{months->value(), asOf->date()};
}

ReportsMenu::ReportsMenu(TestDayWindow* window, const QString& dbPath)
    : QMenu(QStringLiteral("&Reports"), window), window_(window), dbPath_(dbPath) {
  setObjectName(QStringLiteral("reportsMenu"));
  savePath = [this](const QString& caption, const QString& suggested, const QString& filter) {
    QString chosen;
    QString path = QFileDialog::getSaveFileName(window_, caption, suggested, filter, &chosen);
    // A name typed without its ending takes the kind of file picked.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && chosen.contains(QLatin1String("*.xlsx")))
      path += QStringLiteral(".xlsx");
    return path;
  };
  for (const ReportEntry& e : kReports) {
    if (e.which == Report::GroupRecords) continue;  // rows for a spreadsheet, not for paper
    QAction* a = addAction(QString::fromLatin1(e.caption));
    a->setObjectName(QString::fromLatin1(e.object));
    connect(a, &QAction::triggered, this, [this, w = e.which] { show(w); });
  }
  addSeparator();
  QMenu* exports = addMenu(QStringLiteral("&Export"));
  exports->setObjectName(QStringLiteral("reportsExportMenu"));
  for (const ReportEntry& e : kReports) {
    QAction* a = exports->addAction(QString::fromLatin1(e.caption).remove(QStringLiteral("...")) + QStringLiteral("..."));
    a->setObjectName(QStringLiteral("export") + QString::fromLatin1(e.object).mid(6));
    connect(a, &QAction::triggered, this, [this, w = e.which] { exportAsked(w); });
  }
}

void ReportsMenu::say(const QString& text) { window_->statusBar()->showMessage(text); }

std::optional<TestGroup> ReportsMenu::savedGroup() {
  // Reports are of the group as saved, as lane entry is.
  const TestGroup onScreen = window_->groupOnScreen();
  std::optional<TestGroup> saved;
  if (onScreen.id) saved = TestGroups::forDatabase(dbPath_)->load(onScreen.id);
  if (!saved || *saved != onScreen) {
    say(QStringLiteral("Save the group first: reports are of the group as saved."));
    return std::nullopt;
  }
  return saved;
}

std::optional<ReportTable> ReportsMenu::table(Report which) {
  try {
    if (which == Report::DueList) {
      const std::optional<DueChoice> choice = askDueChoice(window_);
      if (!choice) return std::nullopt;
      return dueList(readDueListRecords(dbPath_, choice->asOf), choice->asOf, choice->months);
    }
    const std::optional<TestGroup> group = savedGroup();
    if (!group) return std::nullopt;
    const MemberRecords records = groupRecords(*group, readGroupResults(dbPath_, *group));
    switch (which) {
      case Report::ResultsByName: return groupResults(*group, records, ResultOrder::ByName);
      case Report::ResultsByTotal: return groupResults(*group, records, ResultOrder::ByTotal);
      case Report::Summary: return goNoGoSummary(*group, records);
      case Report::GroupRecords: return groupRecordsTable(*group, records);
      case Report::DueList: break;
    }
  } catch (const DbError& e) {
    say(e.message());
  }
  return std::nullopt;
}

void ReportsMenu::show(Report which) {
  std::optional<ReportTable> t = table(which);
  if (!t) return;
  showSsnColumns(*t, ssnShownFor(window_));
  const PreparedReport r = preparedReport(*t);
  const QString printed = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
  try {
    ReportPreview preview(r, printed, window_);
    preview.setObjectName(QStringLiteral("testDayReport"));
    preview.setWindowTitle(t->title);
    preview.onError = [this](const QString& m) { say(m); };
    connect(preview.savePdfAction(), &QAction::triggered, &preview, [&] {
      QString path = savePath(QStringLiteral("Save Report as PDF"),
                              QDir::current().filePath(QString::fromLatin1(entry(which).file) + QStringLiteral(".pdf")),
                              QStringLiteral("PDF files (*.pdf)"));
      if (path.isEmpty()) return;
      if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
      try {
        writeReportPdf(r, path, printed);
        say(QStringLiteral("The report was saved as %1.").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
      } catch (const ReportError& e) {
        QMessageBox::warning(&preview, QStringLiteral("Save Report as PDF"), e.message());
      }
    });
    preview.exec();
    if (!preview.failure().isEmpty()) say(preview.failure());
  } catch (const ReportError& e) {
    say(e.message());
  }
}

bool ReportsMenu::exportTo(Report which, const QString& path) {
  std::optional<ReportTable> t = table(which);
  if (!t) return false;
  showSsnColumns(*t, ssnShownFor(window_));
  ExportTable rows = exportTable(*t);
  rows.sheet = plain(entry(which).caption);
  const bool xlsx = path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
  const QString why = xlsx ? writeTableXlsx(path, rows) : writeTableCsv(path, rows);
  if (!why.isEmpty()) {
    say(QStringLiteral("Nothing was exported: %1").arg(why));
    return false;
  }
  say(QStringLiteral("%1 rows were exported to %2.").arg(rows.rows.size()).arg(QDir::toNativeSeparators(path)));
  return true;
}

void ReportsMenu::exportAsked(Report which) {
  QString path = savePath(QStringLiteral("Export %1").arg(plain(entry(which).caption)),
                          QDir::current().filePath(QString::fromLatin1(entry(which).file) + QStringLiteral(".csv")),
                          QStringLiteral("CSV files (*.csv);;Excel workbooks (*.xlsx)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) && !path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
    path += QStringLiteral(".csv");
  exportTo(which, path);
}

}  // namespace quillon
