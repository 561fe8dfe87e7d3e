#pragma once
// The preview shown before an import stores anything: one tab for each kind
// of row the file holds (to add, matching a stored record, refused), a
// choice for the rows that meet a stored record, and Import / Cancel.

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace quillon {

// One tab: its caption and a table of rows.
struct PreviewList {
  QString caption;
  QStringList headings;
  QList<QStringList> rows;
};

// The question asked about the rows that meet a stored record and its two
// answers; the first is the default.
struct PreviewChoice {
  QString question;
  QString leave;
  QString take;
};

class ImportDialog : public QDialog {
  Q_OBJECT
 public:
  // `summary` is shown above the tabs (what the file is, columns not used).
  ImportDialog(const QString& title, const QString& summary, const QList<PreviewList>& lists,
               const PreviewChoice& choice, QWidget* parent = nullptr);

  // The clerk chose the second answer (update the matches, bring the
  // conflicts in under new IDs).
  bool takeChosen() const;

  QTabWidget* tabs = nullptr;
  QRadioButton* leaveButton = nullptr;
  QRadioButton* takeButton = nullptr;
  QPushButton* importButton = nullptr;
  QPushButton* cancelButton = nullptr;
};

}  // namespace quillon
