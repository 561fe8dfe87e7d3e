// ravelin: the scorer. Starts the main window in the current folder, where
// the records (info.mdb) and the table files are.
#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include "leftovers.h"
#include "mainform.h"
#include "scorerparts.h"
#include "testdaywindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  // A compaction cut short leaves the records to be put back under their
  // name before anything opens them; the clerk hears of it only when that
  // cannot be done.
  const QStringList unsettled = quillon::settleLeftovers(QDir::current().filePath(QStringLiteral("info.mdb")));
  if (!unsettled.isEmpty())
    QMessageBox::warning(nullptr, QStringLiteral("Error"), unsettled.join(QLatin1Char('\n')));
  // The test day's own desktop entry starts its window alone.
  if (app.arguments().contains(QStringLiteral("--test-day"))) {
    quillon::TestDayWindow day(QDir::current().filePath(QStringLiteral("info.mdb")));
    day.show();
    return app.exec();
  }
  quillon::MainForm form(nullptr, quillon::scorerMenuParts());
  // Closing the main window ends the program even when another window of
  // it (About, help) is still open.
  QObject::connect(&form, &quillon::MainForm::closed, &app, &QApplication::quit, Qt::QueuedConnection);
  form.show();
  return app.exec();
}
