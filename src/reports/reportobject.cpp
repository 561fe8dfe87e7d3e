// Report objects: what a report command gives them, and a run that writes the
// report to a PDF file.

#include "reportobject.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "reportdetail.h"

namespace quillon {

using namespace detail;


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

void ReportObject::showError(const QString& message) {
  if (onError)
    onError(message);
  else
    showUnhookedError(message);
}

void ReportObject::showUnhookedError(const QString& message) { qWarning("%s", qPrintable(message)); }

void ReportObject::preview(const PreparedReport&, const QString&) {
  throw ReportError(QStringLiteral("%1 has no window to show the report in; it can only be saved as a PDF.").arg(name_));
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
      preview(r, printed);
    }
    return true;
  } catch (const ReportError& e) {
    showError(e.message());
    return false;
  }
}

}  // namespace quillon
