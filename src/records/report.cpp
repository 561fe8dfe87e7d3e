#include "report.h"

namespace quillon {

void ReportObject::setReportFileName(const QString& path) {
  reportFile_ = path;
  sortFields_.clear();
}

void ReportObject::setSortFields(int index, const QString& key) {
  if (index < 0) return;
  while (sortFields_.size() <= index) sortFields_ << QString();
  sortFields_[index] = key;
}

bool ReportObject::Action(int) {
  // Interim: the engine lands in the next commit.
  if (onError) onError(QStringLiteral("The report engine is not available in this build."));
  return false;
}

}  // namespace quillon
