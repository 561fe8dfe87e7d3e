#pragma once
// The test-day window's "Cards" menu: the official scorecards of the soldier
// selected in the group, or of the whole group, printed or saved as PDF,
// each card holding the soldier's last four five-event tests as stored.

#include <QObject>
#include <QString>

namespace quillon {

class TestDayWindow;

class CardsMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu to `window`'s menu bar; the records are those at `dbPath`.
  CardsMenu(TestDayWindow* window, const QString& dbPath);

  // Where the next "Save as PDF" writes, instead of asking with a file
  // dialog; empty (the clerk's way) to ask.
  void setPdfDestination(const QString& path) { pdfDestination_ = path; }

  void printCards(bool wholeGroup);
  void saveCardsAsPdf(bool wholeGroup);

 private:
  TestDayWindow* window_;
  QString dbPath_;
  QString pdfDestination_;
};

}  // namespace quillon
