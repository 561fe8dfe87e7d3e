// The database tool: repairs or compacts a records database the clerk picks.
#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include "artwork.h"
#include "leftovers.h"
#include "openform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tidewell"));
  QApplication::setWindowIcon(quillon::dbtool::toolIcon());
  // What a compaction cut short left in the folder the tool starts in is put
  // right before the clerk picks anything; only a failure to do so is shown.
  QStringList unsettled;
  for (const QString& db : quillon::databasesWithLeftovers(QDir::currentPath()))
    unsettled += quillon::settleLeftovers(db);
  if (!unsettled.isEmpty())
    QMessageBox::warning(nullptr, QStringLiteral("Marlpit Program"), unsettled.join(QLatin1Char('\n')));
  quillon::dbtool::OpenForm form;
  form.show();
  return app.exec();
}
