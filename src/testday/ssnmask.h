#pragma once
// SSNs in the five-event windows: masked to their last four digits unless
// the clerk asks to see them whole, with one toggle per window ("Show Whole
// SSNs", Ctrl+Shift+N: no key a test-day window uses), and a delegate that
// masks a table's SSN column while its cells keep, and edit, the SSN whole.

#include <QStyledItemDelegate>
#include <QTableWidgetItem>

#include "groupreports.h"
#include "soldierid.h"

class QAction;
class QWidget;

namespace quillon {

// The toggle of `window`, made on first asking: a checkable action with its
// shortcut, added to the window itself (not to the window it may yet sit
// in while being built). A window opened from another starts as the toggle
// of the window it was opened from stands.
QAction* ssnToggle(QWidget* window);
// How the nearest of `widget` and the widgets it sits in or was opened from
// that has a toggle shows SSNs; masked where none was asked for.
SsnShown ssnShownFor(const QWidget* widget);

// A report's or an export's SSN column (its key "ssn") as `how` says: a
// report shown, printed or exported holds the whole SSN only when the
// clerk asked to see it.
void showSsnColumns(ReportTable& table, SsnShown how);

// A cell of an SSN column that keeps the SSN whole (what the clerk typed,
// what is saved) and gives a screen reader the form the screen shows: an
// assistive technology reads an item's accessible text, and without one
// its data, which is the whole SSN.
class SsnItem : public QTableWidgetItem {
 public:
  using QTableWidgetItem::QTableWidgetItem;
  QVariant data(int role) const override;
  QTableWidgetItem* clone() const override { return new SsnItem(*this); }
};

class SsnColumnDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale& locale) const override;
  void setShown(SsnShown how) { how_ = how; }

 private:
  SsnShown how_ = SsnShown::Masked;
};

}  // namespace quillon
