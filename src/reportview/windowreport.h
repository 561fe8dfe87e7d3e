#pragma once
// A report object of the main window: a run with no PDF destination is shown
// in the report window (which can also save it as a PDF), and a failure or
// news with no hook set gets a message box.

#include "reportobject.h"

class QWidget;

namespace quillon {

class WindowReport : public ReportObject {
 public:
  using ReportObject::ReportObject;

  void setPreviewParent(QWidget* w) { previewParent_ = w; }

 protected:
  void preview(const PreparedReport& r, const QString& printed) override;
  void showUnhookedError(const QString& message) override;

 private:
  void showNotice(QWidget* over, const QString& message);

  QWidget* previewParent_ = nullptr;
};

}  // namespace quillon
