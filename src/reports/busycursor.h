#pragma once
// The wait cursor for as long as a report is counted, written or printed:
// those run on the window's thread and take seconds for large reports.

#include <QCursor>
#include <QGuiApplication>

namespace quillon {

class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace quillon
