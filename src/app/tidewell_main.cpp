// The database tool: repairs or compacts a records database the clerk picks.
#include <QApplication>

#include "artwork.h"
#include "openform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tidewell"));
  QApplication::setWindowIcon(quillon::dbtool::toolIcon());
  quillon::dbtool::OpenForm form;
  form.show();
  return app.exec();
}
