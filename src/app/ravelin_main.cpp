// ravelin: the scorer. Starts the main window in the current folder, where
// the records (info.mdb) and the table files are.
#include <QApplication>

#include "mainform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  quillon::MainForm form;
  // Closing the main window ends the program even when another window of
  // it (About, help) is still open.
  QObject::connect(&form, &quillon::MainForm::closed, &app, &QApplication::quit, Qt::QueuedConnection);
  form.show();
  return app.exec();
}
