#pragma once
// The test-day window's "Cards" menu: the official scorecards of the soldier
// selected in the group, or of the whole group, printed or saved as PDF,
// each card holding the soldier's last four five-event tests as stored; or
// the official form itself filled in with the same tests, for the soldier
// and the OIC/NCOIC to sign digitally.

#include <QObject>
#include <QString>

namespace quillon {

class TestDayWindow;

class CardsMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu to `window`'s menu bar; the records are those at `dbPath`.
  CardsMenu(TestDayWindow* window, const QString& dbPath);

  // Where the next PDF (painted cards or official forms) is written, instead of asking with a file
  // dialog; empty (the clerk's way) to ask.
  void setPdfDestination(const QString& path) { pdfDestination_ = path; }

  void printCards(bool wholeGroup);
  void saveCardsAsPdf(bool wholeGroup);
  // The filled official forms, one copy a soldier in one file; a test whose
  // body composition was recorded too near its date is named on the status
  // line, and the forms are written all the same.
  void saveOfficialForms(bool wholeGroup);

 private:
  QString pathToSave(const QString& title, const QString& caption);

  TestDayWindow* window_;
  QString dbPath_;
  QString pdfDestination_;
};

}  // namespace quillon
