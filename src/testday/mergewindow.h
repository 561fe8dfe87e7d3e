#pragma once
// Where a clerk brings a laptop's folder back after a test day without a
// network: the folder picked, how a clash is settled (asked in the conflict
// window, or one side kept), and what the merge did, record by record. The
// merge itself is the field day's rules (fieldday/merge.h); this window only
// asks and shows.

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillon {

class MergeWindow : public QDialog {
  Q_OBJECT

 public:
  // Merges into the records at `dbPath` (a folder's info.mdb, or its server).
  explicit MergeWindow(const QString& dbPath, QWidget* parent = nullptr);

 private:
  void browse();
  void merge();

  QString intoFolder_;
  QLineEdit* from_;
  QComboBox* clashes_;
  QPushButton* merge_;
  QPlainTextEdit* outcome_;
  QLabel* summary_;
};

}  // namespace quillon
