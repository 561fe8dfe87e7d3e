#pragma once
// Picking soldiers for a test group from the stored records: every soldier
// by name, SSN (masked unless the window shows them whole) and DoD ID,
// narrowed as the clerk types a part of a name, an SSN or a DoD ID;
// several are chosen at once (Ctrl or Shift with the arrows, Ctrl+A) and
// Enter takes them.

#include <QDialog>

#include "storedsoldiers.h"

class QLineEdit;
class QListWidget;

namespace quillon {

class SoldierPicker : public QDialog {
  Q_OBJECT
 public:
  SoldierPicker(QList<StoredSoldier> soldiers, QWidget* parent = nullptr);
  // The soldiers selected, in list order.
  QList<StoredSoldier> chosen() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fill();

  QList<StoredSoldier> all_, shown_;
  QLineEdit* filter_ = nullptr;
  QListWidget* list_ = nullptr;
};

}  // namespace quillon
