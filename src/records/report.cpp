// Report objects: what a report command gives them, and a run that shows the
// report in a preview window or writes it to a PDF file.

#include "report.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>
#include <QRegularExpression>
#include <algorithm>

#include "busycursor.h"
#include "reportdetail.h"
#include "reportpreview.h"

namespace quillon {

using namespace detail;

namespace {

// The report's title as a file name: characters no file system takes become
// spaces.
QString suggestedPdfName(const QString& title) {
  static const QRegularExpression bad(QStringLiteral("[\\\\/:*?\"<>|]"));
  QString name = title;
  name.replace(bad, QStringLiteral(" "));
  name = name.simplified();
  return (name.isEmpty() ? QStringLiteral("Report") : name) + QStringLiteral(".pdf");
}

}  // namespace

void setReportPageLayout(QPagedPaintDevice& device, const ReportLayout& L) {
  device.setPageLayout(QPageLayout(QPageSize(L.paper), L.orientation,
                                   QMarginsF(L.marginMm, L.marginMm, L.marginMm, L.marginMm), QPageLayout::Millimeter));
}

void writeReportPdf(const PreparedReport& r, const QString& pdfPath, const QString& printed) {
  // Written beside the target and put in place whole: a full disk or a
  // read-only stick leaves the previous report as it was.
  QSaveFile file(pdfPath);
  auto cannot = [&](const QString& why) {
    return ReportError(QStringLiteral("The report cannot be saved as %1: %2.").arg(native(pdfPath), why));
  };
  if (!file.open(QIODevice::WriteOnly)) throw cannot(file.errorString());
  {
    QPdfWriter pdf(&file);
    pdf.setTitle(r.layout.title);
    pdf.setCreator(QStringLiteral("Quillon"));
    pdf.setResolution(600);
    setReportPageLayout(pdf, r.layout);
    const BusyCursor busy;
    paintReport(r, &pdf, printed);
  }
  if (!file.commit()) throw cannot(file.errorString());
}

// ---- Report objects ----

void ReportObject::setReportFileName(const QString& path) {
  reportFile_ = path;
  sortFields_.clear();
}

void ReportObject::setSortFields(int index, const QString& key) {
  if (index < 0) return;
  while (sortFields_.size() <= index) sortFields_ << QString();
  sortFields_[index] = key;
}

PreparedReport ReportObject::prepare() const {
  if (reportFile_.isEmpty()) throw ReportError(QStringLiteral("No report file was given to %1.").arg(name_));
  ReportLayout layout = readReportFile(reportFile_);
  // The keys set here come first; the report file's own keys then break ties
  // (a field already sorted on is not used twice), so the total report of
  // the shared layout still lists equal totals by name.
  QList<SortKey> keys;
  for (const QString& text : sortFields_)
    if (!text.isEmpty()) keys << parseSortKey(text);
  for (const SortKey& k : layout.sort) {
    const bool taken = std::any_of(keys.begin(), keys.end(), [&](const SortKey& s) { return s.field == k.field; });
    if (!taken) keys << k;
  }
  if (!keys.isEmpty() && !sortFields_.value(0).isEmpty())
    for (const auto& [key, title] : layout.titleForKey)
      if (key == keys.first()) layout.title = title;
  PreparedReport r = prepareReport(layout, QDir::current().filePath(QStringLiteral("info.mdb")), keys);
  // A database that cannot be read is reported before any output is begun.
  r.rows->open();
  return r;
}

void ReportObject::showNotice(QWidget* over, const QString& message) {
  if (onNotice)
    onNotice(message);
  else
    QMessageBox::information(over, QStringLiteral("Report Saved"), message);
}

void ReportObject::showError(const QString& message) {
  if (onError)
    onError(message);
  else
    QMessageBox::warning(previewParent_, QStringLiteral("Error"), message);
}

bool ReportObject::Action(int) {
  try {
    PreparedReport r = prepare();
    const QString printed = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
    if (!pdfPath_.isEmpty()) {
      writeReportPdf(r, pdfPath_, printed);
      if (!QFileInfo(pdfPath_).isFile() || QFileInfo(pdfPath_).size() == 0)
        throw ReportError(QStringLiteral("The report could not be written to %1.").arg(native(pdfPath_)));
    } else {
      ReportPreview preview(r, printed, previewParent_);
      preview.onError = [this](const QString& m) { showError(m); };
      // Saving a PDF directly, beside printing (whose dialog can also print to a file).
      QObject::connect(preview.savePdfAction(), &QAction::triggered, &preview, [&] {
        QString path = QFileDialog::getSaveFileName(&preview, QStringLiteral("Save Report as PDF"),
                                                    QDir::current().filePath(suggestedPdfName(r.layout.title)),
                                                    QStringLiteral("PDF files (*.pdf)"));
        if (path.isEmpty()) return;
        if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
        try {
          writeReportPdf(r, path, printed);
          showNotice(&preview, QStringLiteral("The report was saved as %1.").arg(native(QFileInfo(path).absoluteFilePath())));
        } catch (const ReportError& e) {
          showError(e.message());
        }
      });
      preview.exec();
      if (!preview.failure().isEmpty()) throw ReportError(preview.failure());
    }
    return true;
  } catch (const ReportError& e) {
    showError(e.message());
    return false;
  }
}

}  // namespace quillon
