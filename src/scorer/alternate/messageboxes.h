#pragma once
// The real message boxes behind MessageSeam: a QMessageBox with the given
// title, text and icon, and either a single OK button or Yes and No. Only
// Yes counts as yes; Escape or the close box count as No.

#include <QPointer>
#include <QWidget>

#include "messageseam.h"

namespace quillon {

class MessageBoxes : public MessageSeam {
 public:
  explicit MessageBoxes(QWidget* parent = nullptr);
  // The window the boxes are centred on and modal to (may be null).
  void setParent(QWidget* parent);
  QWidget* parent() const { return parent_; }

  void message(const QString& text, const QString& title, MsgIcon icon) override;
  bool askYesNo(const QString& text, const QString& title) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace quillon
