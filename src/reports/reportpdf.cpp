// A prepared report on paper or in a PDF file.

#include <QFile>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>

#include "busycursor.h"
#include "report.h"
#include "reportdetail.h"

namespace quillon {

using namespace detail;

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
  // A report lists names and SSNs: the owner's alone, whatever the umask,
  // as the records themselves are. Set on the new file before a byte is in
  // it, and kept when it takes the target's place.
  if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    throw cannot(QStringLiteral("its permissions cannot be set (%1)").arg(file.errorString()));
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

}  // namespace quillon
