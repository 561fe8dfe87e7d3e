// ravelin-emptydb <path>: makes a records database with the table and no
// soldiers, for a clerk's records folder on its first use. Never touches an
// existing file.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include "dbfile.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream err(stderr);
  if (argc != 2) {
    err << "usage: ravelin-emptydb <path of the info.mdb to make>\n";
    return 2;
  }
  const QString path = QString::fromLocal8Bit(argv[1]);
  if (QFileInfo::exists(path)) {
    err << path << " exists, left unchanged\n";
    return 0;
  }
  try {
    quillon::createRecordsDatabase(path);
  } catch (const quillon::DbError& e) {
    err << e.message() << "\n";
    return 1;
  }
  return 0;
}
