// A prepared report on paper or in a PDF file.

#include <QFile>
#include <QPagedPaintDevice>
#include <QPdfWriter>

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
  {
    // The PDF writer only says that it failed; this says why.
    QFile probe(pdfPath);
    if (!probe.open(QIODevice::WriteOnly))
      throw ReportError(QStringLiteral("The report cannot be saved as %1: %2.").arg(native(pdfPath), probe.errorString()));
  }
  QPdfWriter pdf(pdfPath);
  pdf.setTitle(r.layout.title);
  pdf.setCreator(QStringLiteral("Quillon"));
  pdf.setResolution(600);
  setReportPageLayout(pdf, r.layout);
  const BusyCursor busy;
  paintReport(r, &pdf, printed);
}

}  // namespace quillon
