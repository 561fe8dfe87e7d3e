#include "cardsmenu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <optional>

#include "busycursor.h"
#include "cards.h"
#include "cardsfromrecords.h"
#include "dbfile.h"
#include "fitnessrecords.h"
#include "officialform.h"
#include "testdaywindow.h"

namespace quillon {

namespace {

struct Chosen {
  QList<FitnessCard> cards;
  QString title;  // names the file a clerk is offered
};

// The cards asked for, or why there are none (said on the status line).
std::optional<Chosen> chosenCards(TestDayWindow* window, const QString& dbPath, bool wholeGroup) {
  const auto say = [&](const QString& text) {
    window->statusBar()->showMessage(text);
    return std::nullopt;
  };
  TestGroup group = window->groupOnScreen();
  if (!wholeGroup) {
    const auto* soldiers = window->findChild<QTableWidget*>(QStringLiteral("soldiers"));
    const int row = soldiers ? soldiers->currentRow() : -1;
    if (row < 0 || row >= group.members.size()) return say(QStringLiteral("Select a soldier of the group first."));
    group.members = {group.members.at(row)};
  }
  if (group.members.isEmpty()) return say(QStringLiteral("The group has no soldiers: there is no scorecard to make."));
  try {
    std::unique_ptr<FitnessRecords> records = FitnessRecords::forDatabase(dbPath);
    records->open();
    Chosen c{cardsForGroup(group, *records), QString()};
    c.title = wholeGroup ? QStringLiteral("Scorecards %1 %2").arg(group.testDate, group.location).simplified()
                         : QStringLiteral("Scorecard %1").arg(group.members.at(0).name);
    return c;
  } catch (const DbError& e) {
    return say(e.message());
  }
}

QAction* item(QMenu* menu, const QString& text, const char* name) {
  QAction* a = menu->addAction(text);
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

}  // namespace

CardsMenu::CardsMenu(TestDayWindow* window, const QString& dbPath)
    : QObject(window), window_(window), dbPath_(dbPath) {
  setObjectName(QStringLiteral("CardsMenu"));
  QMenu* menu = window->menuBar()->addMenu(QStringLiteral("&Cards"));
  menu->menuAction()->setObjectName(QStringLiteral("MNU_CARDS"));
  connect(item(menu, QStringLiteral("&Print Soldier's Card..."), "MNU_CARDS_PRINT_ONE"), &QAction::triggered, this,
          [this] { printCards(false); });
  connect(item(menu, QStringLiteral("Print &Group's Cards..."), "MNU_CARDS_PRINT_GROUP"), &QAction::triggered, this,
          [this] { printCards(true); });
  menu->addSeparator();
  connect(item(menu, QStringLiteral("&Save Soldier's Card as PDF..."), "MNU_CARDS_PDF_ONE"), &QAction::triggered, this,
          [this] { saveCardsAsPdf(false); });
  connect(item(menu, QStringLiteral("Save Group's Cards as P&DF..."), "MNU_CARDS_PDF_GROUP"), &QAction::triggered,
          this, [this] { saveCardsAsPdf(true); });
  menu->addSeparator();
  connect(item(menu, QStringLiteral("Save Soldier's &Official Form..."), "MNU_CARDS_FORM_ONE"), &QAction::triggered,
          this, [this] { saveOfficialForms(false); });
  connect(item(menu, QStringLiteral("Save Group's Official &Forms..."), "MNU_CARDS_FORM_GROUP"), &QAction::triggered,
          this, [this] { saveOfficialForms(true); });
}

QString CardsMenu::pathToSave(const QString& title, const QString& caption) {
  if (!pdfDestination_.isEmpty()) return pdfDestination_;
  QString suggested = title;
  suggested.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|,]+")), QStringLiteral(" "));
  QString path = QFileDialog::getSaveFileName(window_, caption,
                                              QDir::current().filePath(suggested.simplified() + QStringLiteral(".pdf")),
                                              QStringLiteral("PDF files (*.pdf)"));
  if (!path.isEmpty() && !path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  return path;
}

void CardsMenu::printCards(bool wholeGroup) {
  const std::optional<Chosen> chosen = chosenCards(window_, dbPath_, wholeGroup);
  if (!chosen) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(chosen->title);
  QPrintDialog dialog(&printer, window_);
  dialog.setWindowTitle(QStringLiteral("Print Scorecards"));
  if (dialog.exec() != QDialog::Accepted) return;
  paintFitnessCards(chosen->cards, &printer);
  window_->statusBar()->showMessage(QStringLiteral("%1 scorecards sent to the printer.").arg(chosen->cards.size()));
}

void CardsMenu::saveCardsAsPdf(bool wholeGroup) {
  const std::optional<Chosen> chosen = chosenCards(window_, dbPath_, wholeGroup);
  if (!chosen) return;
  const QString path = pathToSave(chosen->title, QStringLiteral("Save Scorecards as PDF"));
  if (path.isEmpty()) return;
  const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
  if (const QString why = writeFitnessCardsPdf(chosen->cards, path); !why.isEmpty())
    return window_->statusBar()->showMessage(QStringLiteral("%1 was not written: %2").arg(shown, why));
  window_->statusBar()->showMessage(QStringLiteral("%1 scorecards saved as %2.").arg(chosen->cards.size()).arg(shown));
}

void CardsMenu::saveOfficialForms(bool wholeGroup) {
  const std::optional<Chosen> chosen = chosenCards(window_, dbPath_, wholeGroup);
  if (!chosen) return;
  const QString path =
      pathToSave(chosen->title + QStringLiteral(" DA 705-TEST"), QStringLiteral("Save Official Forms"));
  if (path.isEmpty()) return;
  const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
  QString why;
  {
    // A copy of the form a soldier: a group's file takes seconds.
    const BusyCursor busy;
    why = officialform::writeOfficialCards(chosen->cards, path);
  }
  if (!why.isEmpty())
    return window_->statusBar()->showMessage(QStringLiteral("%1 was not written: %2").arg(shown, why));
  QString said = QStringLiteral("%1 official forms saved as %2.").arg(chosen->cards.size()).arg(shown);
  if (const QStringList near = officialform::bodyCompositionTooClose(chosen->cards); !near.isEmpty())
    said += QStringLiteral(" Body composition was recorded fewer than 7 days from the test: %1.")
                .arg(near.join(QStringLiteral("; ")));
  window_->statusBar()->showMessage(said);
}

}  // namespace quillon
