// The report window's side of a report run: the preview, saving a PDF from
// it, and the boxes shown when the command set no hook.

#include "windowreport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

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

void WindowReport::showNotice(QWidget* over, const QString& message) {
  if (onNotice)
    onNotice(message);
  else
    QMessageBox::information(over, QStringLiteral("Report Saved"), message);
}

void WindowReport::showUnhookedError(const QString& message) {
  QMessageBox::warning(previewParent_, QStringLiteral("Error"), message);
}

void WindowReport::preview(const PreparedReport& r, const QString& printed) {
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

}  // namespace quillon
