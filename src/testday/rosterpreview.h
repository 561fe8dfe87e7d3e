#pragma once
// What a roster file would add to the test group on screen, shown before
// anything joins: the lines that will join (line, name, SSN and DoD ID as
// given, standard, and rank and unit when given), those that cannot, each
// with its reason, as the roster's own checks give them, and the file's
// columns the group does not take. The clerk accepts (every joining line is
// added) or cancels (nothing is).

#include <QDialog>

#include "grouproster.h"

class QListWidget;

namespace quillon {

class RosterPreviewDialog : public QDialog {
  Q_OBJECT
 public:
  RosterPreviewDialog(const QString& fileName, const GroupRosterResult& result, QWidget* parent = nullptr);
  const GroupRosterResult& result() const { return result_; }

 private:
  GroupRosterResult result_;
};

}  // namespace quillon
