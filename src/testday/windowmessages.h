#pragma once
// The message seam of the test-day windows: real message boxes, centred on
// and modal to the window that asks.

#include <QPointer>
#include <QWidget>

#include "messageseam.h"

namespace quillon {

class WindowMessages : public MessageSeam {
 public:
  explicit WindowMessages(QWidget* parent) : parent_(parent) {}
  void message(const QString& text, const QString& title, MsgIcon icon) override;
  // Yes and No; Escape or the close box count as No.
  bool askYesNo(const QString& text, const QString& title) override;
  // Save, Discard and Cancel; Escape or the close box count as Cancel.
  SaveChoice askSaveChanges(const QString& text, const QString& title) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace quillon
