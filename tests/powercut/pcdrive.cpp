// pcdrive OPERATION FOLDER [FILE]: runs one of the programs' file-changing
// operations on the records in FOLDER, the way the window would, with no
// window. Run under the recorder (pcshim.c), it says through marks which
// records are committed the moment the operation says so; its last line on
// standard error is the message the clerk would have been shown.
//
//   compact | repair                       the database tool's commands
//   store                                  the scorer adding three records
//   roster FILE | oldimport FILE [HELPER]  an import into the records
//   export                                 the records to CSV and Excel
//   pdf REPORTFILE                         a report saved as report.pdf
#include <QGuiApplication>
#include <QDir>
#include <QStringList>
#include <cstdio>
#include <dlfcn.h>

#include "commands.h"
#include "dbfile.h"
#include "exportwriter.h"
#include "importplan.h"
#include "jetimport.h"
#include "recordstore.h"
#include "report.h"
#include "reportobject.h"
#include "reportrows.h"
#include "roster.h"

using namespace quillon;

namespace {

// Tells the recorder which records a power cut from now on must not lose.
void require(const QList<qint64>& ids) {
  using Mark = void (*)(const char*);
  static const auto mark = reinterpret_cast<Mark>(dlsym(RTLD_DEFAULT, "quillon_pc_mark"));
  if (!mark || ids.isEmpty()) return;
  QStringList s;
  for (qint64 id : ids) s << QString::number(id);
  mark(("require " + s.join(',')).toUtf8().constData());
}

class Messages : public dbtool::ToolMessages {
 public:
  void message(const QString& text, const QString&, dbtool::BoxIcon) override { last = text; }
  void endProgram(int code) override { ended = code; }
  QString last;
  int ended = 0;
};

int fail(const QString& message) {
  std::fprintf(stderr, "%s\n", qPrintable(message));
  return 1;
}

int maintenance(bool compact) {
  Messages seam;
  dbtool::MaintenanceCommands cmd(seam, nullptr);
  const dbtool::PickerState picked{"info.mdb", "info.mdb", QString(), QDir::currentPath()};
  compact ? cmd.compact(picked) : cmd.repair(picked);
  std::fprintf(stderr, "%s\n", qPrintable(seam.last));
  return seam.ended;
}

int storeBatch(RecordStore& store, const QList<RecordStore::BatchOp>& ops) {
  const auto done = store.applyBatch(ops);
  if (!done) return fail(QStringLiteral("cancelled"));
  QList<qint64> ids;
  for (const auto& c : *done) ids << c.key;
  require(ids);
  return 0;
}

int run(const QString& op, const QStringList& args) {
  RecordStore store;
  if (op == QLatin1String("compact") || op == QLatin1String("repair")) return maintenance(op == QLatin1String("compact"));
  if (op == QLatin1String("export")) {
    QList<RecordRow> rows;
    InfoRowReader(QStringLiteral("info.mdb")).forEach({}, {}, [&](const ReportRow& r) { rows << r; });
    QString why = writeRecordsCsv(QDir::current().filePath(QStringLiteral("export.csv")), rows);
    if (why.isEmpty()) why = writeRecordsXlsx(QDir::current().filePath(QStringLiteral("export.xlsx")), rows);
    return why.isEmpty() ? 0 : fail(why);
  }
  if (op == QLatin1String("pdf")) {
    ReportObject report(QStringLiteral("Report1"));
    report.setReportFileName(args.value(0));
    writeReportPdf(report.prepare(), QDir::current().filePath(QStringLiteral("report.pdf")), QStringLiteral("today"));
    return 0;
  }
  store.setDatabaseName(QDir::current().filePath(QStringLiteral("info.mdb")));
  store.refresh();
  if (op == QLatin1String("store")) {
    for (int i = 0; i < 3; ++i) {
      store.addNew();
      store.setField(QStringLiteral("LNAME"), QStringLiteral("Stored%1, Row").arg(i));
      store.setField(QStringLiteral("RAW_PU"), QString::number(40 + i));
      store.update();
      require({store.rowKey(store.currentRow())});
    }
    return 0;
  }
  if (op == QLatin1String("roster")) {
    const RosterPreview preview = previewRosterFile(args.value(0), SsnIndex());
    return storeBatch(store, rosterPlan(preview, false, [&](qint64 id) { return store.storedRecord(id); }));
  }
  if (op == QLatin1String("oldimport")) {
    QSet<qint64> ids;
    for (int r = 0; r < store.rowCount(); ++r) ids.insert(store.rowKey(r));
    const JetPreview preview = previewJetFile(args.value(0), ids, args.value(1, defaultMdbHelperPath()));
    if (!preview.ok()) return fail(preview.error);
    return storeBatch(store, jetPlan(preview, true));
  }
  return fail(QStringLiteral("unknown operation ") + op);
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 3 || !QDir::setCurrent(args[2])) return 2;
  try {
    return run(args[1], args.mid(3));
  } catch (const Error& e) {
    return fail(e.message());
  }
}
