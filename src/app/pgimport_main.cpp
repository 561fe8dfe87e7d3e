// quillon-pgimport: moves a working folder's records (info.mdb) onto the
// records server named by the info.pgconn beside it.
//
//   quillon-pgimport [--conninfo "host=... dbname=... user=..."] [path/to/info.mdb]
//
// --conninfo replaces the folder's connection file, for running the move as
// the table's owner while the stations connect as clerks. Exit status: 0 all
// records are on the server, 2 some were refused (listed; the rest are
// stored), 1 nothing was stored.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "pgimport.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  QStringList args = app.arguments().mid(1);
  QString conninfo;
  if (args.size() >= 2 && args.front() == QLatin1String("--conninfo")) {
    conninfo = args.at(1);
    args = args.mid(2);
  }
  if (args.size() > 1 || (!args.isEmpty() && args.front().startsWith('-'))) {
    err << "usage: quillon-pgimport [--conninfo CONNECTION-STRING] [info.mdb]\n";
    return 1;
  }
  const QString mdb = QFileInfo(args.isEmpty() ? QStringLiteral("info.mdb") : args.front()).absoluteFilePath();
  using namespace quillon::pg;
  try {
    if (conninfo.isEmpty())
      conninfo = readConnFile(connFilePath(QFileInfo(mdb).path()));
    else
      checkConnInfo(conninfo, QStringLiteral("--conninfo"));
    Connection server(conninfo);
    server.open();
    out << "Moving " << QDir::toNativeSeparators(mdb) << " to " << server.description() << "\n";
    const ImportReport r = importRecords(server, mdb);
    out << r.read << " records read, " << r.added << " added, " << r.alreadyThere << " already there, "
        << r.refused.size() << " refused.\n";
    for (const ImportRefusal& x : r.refused)
      out << "  ID " << x.id << " (" << x.ourName << ") is taken on the server by " << x.theirName << "\n";
    return r.refused.isEmpty() ? 0 : 2;
  } catch (const quillon::DbError& e) {
    out.flush();
    err << e.message() << "\nNothing was stored.\n";
    return 1;
  }
}
