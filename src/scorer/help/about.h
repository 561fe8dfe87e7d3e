#pragma once
// The About box: product name, version line and two pictures of our own.
// Modeless; OK hides it, and the one box is shown again next time.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

namespace quillon {

class About : public QDialog {
  Q_OBJECT

 public:
  explicit About(QWidget* parent = nullptr);

  QPushButton* Command1 = nullptr;
  QLabel* Picture1 = nullptr;
  QLabel* Picture2 = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;

  // The two pictures, drawn on demand at the given edge length.
  static QPixmap drawRunner(int size);
  static QPixmap drawMedal(int size);

 public Q_SLOTS:
  void Command1_Click();
};

}  // namespace quillon
