#pragma once
// Where a clerk takes a test group out to a laptop's folder before a test
// day without a network: the group picked from those beside the records,
// the folder picked or made, and what the take-out wrote there. The
// take-out itself is the field day's rules (fieldday/takeout.h); this
// window only asks and shows.

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillon {

class TakeOutWindow : public QDialog {
  Q_OBJECT

 public:
  // Takes groups out of the records at `dbPath` (a folder's info.mdb, or its server).
  explicit TakeOutWindow(const QString& dbPath, QWidget* parent = nullptr);

 private:
  void listGroups();
  void browse();
  void takeOut();
  void enable();

  QString dbPath_;
  QComboBox* groups_;
  QLineEdit* to_;
  QPushButton* takeOut_;
  QPlainTextEdit* written_;
  QLabel* summary_;
};

}  // namespace quillon
