#pragma once
// A report object: given a report file, a list of sort keys and a run
// request, it reads info.mdb from the current directory on its own
// connection and writes the report to a PDF file. Showing a run in a print
// preview, and the boxes a failure gets without a hook, belong to the
// window's subclass (WindowReport in the scorer).

#include <QString>
#include <QStringList>
#include <functional>

#include "report.h"

namespace quillon {

// One report object of the main window. It keeps what it was last given for
// as long as it lives.
class ReportObject {
 public:
  explicit ReportObject(QString name) : name_(std::move(name)) {}
  virtual ~ReportObject() = default;
  ReportObject(const ReportObject&) = delete;
  ReportObject& operator=(const ReportObject&) = delete;

  const QString& name() const { return name_; }

  // Naming a report file starts the sort list afresh: a command that sets
  // no key then sorts as its report file says.
  void setReportFileName(const QString& path);
  const QString& reportFileName() const { return reportFile_; }

  // Sort keys set by the program, by index (the program sets index 0).
  void setSortFields(int index, const QString& key);
  QString sortFields(int index) const { return index >= 0 && index < sortFields_.size() ? sortFields_[index] : QString(); }

  // The run request: 0 produces the report. Returns false when it failed;
  // the failure was shown through the error hook.
  bool Action(int value);

  // Where a run goes: a print preview (default) or a PDF file.
  void setPdfDestination(const QString& path) { pdfPath_ = path; }
  const QString& pdfDestination() const { return pdfPath_; }

  // Shown failures (the window's subclass defaults to a warning box).
  std::function<void(const QString&)> onError;
  // Shown news that is not a failure, such as where a PDF was saved
  // (the window's subclass defaults to an information box).
  std::function<void(const QString&)> onNotice;

  // Reads the report file and the database and prepares the rows as a run
  // would. Throws ReportError.
  PreparedReport prepare() const;

 protected:
  // A run with no PDF destination. Here there is no window to show it in,
  // so it fails naming the report. Throws ReportError.
  virtual void preview(const PreparedReport& r, const QString& printed);
  // A failure or news with no hook set; here written to the log.
  virtual void showUnhookedError(const QString& message);

  void showError(const QString& message);

 private:
  QString name_;
  QString reportFile_;
  QStringList sortFields_;
  QString pdfPath_;
};

}  // namespace quillon
