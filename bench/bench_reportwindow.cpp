// The report window at a million records (the by Name report, sorted by
// name): the first page shown, a jump far ahead and a jump back, each
// against the engine returning that page's rows in the report's order (one
// ordered query with a LIMIT, from the row before the page). Window and
// engine runs are interleaved; each figure is the median of the pairs'
// ratios, printed against the goal of 2x. The window counts its pages only
// after the first is shown; the time to count the rest at once is printed
// too, and, left to count on its own, the time to count and the longest the
// window went without answering while it did. Then, in a process of its
// own, the peak memory of writing the same report as a PDF, against the
// size of the file.
//
//   bench_reportwindow [--records 1000000] [--runs 3] [--no-pdf]
//
// The records file is built once and kept in /tmp for the next run.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <set>
#include <sqlite3.h>

#include "reportbenchdata.h"
#include "reportpreview.h"
#include "reportrows.h"
#include "roworder.h"
#include "sqlitedb.h"

using namespace quillon;
using quillon::bench::layoutFile;
using quillon::bench::median;
using quillon::bench::statusKb;

namespace {

PreparedReport byName(const QString& db) {
  return prepareReport(readReportFile(layoutFile()), db, {parseSortKey(QStringLiteral("+{info.LNAME}"))});
}

double seconds(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e9; }

// A page as the window shows it: its first row (from 0) and how many rows.
struct PageRows {
  qint64 first = 0;
  int rows = 0;
};
PageRows rowsOf(const ReportPage& p) {
  std::set<int> rows;
  for (const PlacedText& t : p.texts)
    if (t.kind == PlacedText::Kind::Cell) rows.insert(t.row);
  return rows.empty() ? PageRows{} : PageRows{*rows.begin(), static_cast<int>(rows.size())};
}

// The engine alone: one ordered query with a LIMIT for a page's rows, read
// out whole, from the sort key of the row before the page.
class Engine {
 public:
  Engine(const QString& path, const PreparedReport& r)
      : db_(path, sqlite::Database::Mode::ReadOnly), key_(sortKeySql(storageOrder(rowOrder(r.layout, r.keys)))) {
    addSortKeyFunction(db_.get());
  }
  // Untimed: where the row before `page` stands (a full sort).
  std::pair<QByteArray, qint64> before(const PageRows& page) {
    if (page.first == 0) return {};
    sqlite::Statement st(db_, QStringLiteral("SELECT %1, _rowid_ FROM info ORDER BY %1, _rowid_ LIMIT 1 OFFSET ?").arg(key_));
    st.bindInt(1, page.first - 1);
    st.step();
    return {QByteArray(static_cast<const char*>(sqlite3_column_blob(st.get(), 0)), sqlite3_column_bytes(st.get(), 0)),
            st.integer(1)};
  }
  double read(const std::pair<QByteArray, qint64>& from, int rows) {
    QElapsedTimer t;
    t.start();
    const QString where = from.first.isNull() ? QString() : QStringLiteral(" WHERE (%1, _rowid_) > (?, ?)").arg(key_);
    sqlite::Statement st(db_, QStringLiteral("SELECT %1 FROM info%2 ORDER BY %3, _rowid_ LIMIT ?")
                                  .arg(infoFieldNames().join(QStringLiteral(", ")), where, key_));
    int i = 1;
    if (!from.first.isNull()) {
      st.bindBlob(i++, from.first);
      st.bindInt(i++, from.second);
    }
    st.bindInt(i, rows);
    QStringList row;
    int n = 0;
    while (st.step()) {
      row.clear();
      for (int c = 0; c < infoFieldNames().size(); ++c) row << st.text(c);
      ++n;
    }
    if (n != rows) std::fprintf(stderr, "the engine gave %d rows, the page has %d\n", n, rows);
    return seconds(t);
  }

 private:
  sqlite::Database db_;
  QString key_;
};

// Shows `page` as the clerk sees it: scrolled to and painted.
void show(ReportPreview& w, int page) {
  w.showPage(page);
  w.findChild<QAbstractScrollArea*>(QStringLiteral("PreviewPages"))->viewport()->grab();
}

// The window left to count on its own, as while the clerk reads the first
// page: the time until every page is counted, and the longest the window
// goes without answering (one turn of its event loop, which counts a slice).
struct Counting {
  double total = 0, longestPause = 0;
};
Counting countOnItsOwn(const PreparedReport& r) {
  ReportPreview w(r, QStringLiteral("12/09/2026"));
  w.show();
  show(w, 0);
  Counting c;
  QElapsedTimer clock, turn;
  clock.start();
  while (!w.counted() && w.failure().isEmpty()) {
    turn.start();
    QCoreApplication::processEvents();
    c.longestPause = std::max(c.longestPause, seconds(turn));
  }
  c.total = seconds(clock);
  return c;
}

// The PDF in this process: prints the rise of the peak resident size in kB.
int pdfChild(const QString& db, const QString& pdf) {
  const long before = statusKb("VmHWM:");
  writeReportPdf(byName(db), pdf, QStringLiteral("12/09/2026"));
  std::printf("%ld\n", statusKb("VmHWM:") - before);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.value(1) == QLatin1String("--pdf-child")) return pdfChild(args.value(2), args.value(3));
  int records = 1000000, runs = 3;
  bool pdf = true;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--records") && i + 1 < args.size()) records = args[++i].toInt();
    else if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) runs = std::max(1, args[++i].toInt());
    else if (args[i] == QLatin1String("--no-pdf")) pdf = false;
  }
  if (layoutFile().isEmpty()) {
    std::fprintf(stderr, "basic.rpt not found in the current folder or the build's data folder\n");
    return 1;
  }
  const QString folder = bench::cachedFolder(records);
  const QString db = QDir(folder).filePath(QStringLiteral("info.mdb"));
  const PreparedReport r = byName(db);
  Engine engine(db, r);

  std::vector<double> countS, ownS, pauseS, pauseRatio;
  std::vector<double> firstRatio, aheadRatio, backRatio, firstS, aheadS, backS, baseFirstS, baseAheadS, baseBackS;
  PageRows pages[3];
  std::pair<QByteArray, qint64> from[3];
  int count = 0;
  for (int run = 0; run < runs; ++run) {
    double t[3] = {};
    {
      QElapsedTimer clock;
      clock.start();
      ReportPreview w(r, QStringLiteral("12/09/2026"));
      w.show();
      show(w, 0);
      t[0] = seconds(clock);
      // The rest counted at once, as the Last button does.
      clock.restart();
      count = w.pageCount();
      countS.push_back(seconds(clock));
      const int ahead = count - 1 - count / 10, back = count / 10;
      clock.restart();
      show(w, ahead);
      t[1] = seconds(clock);
      clock.restart();
      show(w, back);
      t[2] = seconds(clock);
      if (!w.failure().isEmpty()) {
        std::fprintf(stderr, "the window failed: %s\n", qPrintable(w.failure()));
        return 1;
      }
      if (run == 0) {
        int k = 0;
        for (const int p : {0, ahead, back}) {
          pages[k] = rowsOf(*w.page(p));
          from[k] = engine.before(pages[k]);
          ++k;
        }
      }
    }
    const double b[3] = {engine.read(from[0], pages[0].rows), engine.read(from[1], pages[1].rows),
                         engine.read(from[2], pages[2].rows)};
    const Counting own = countOnItsOwn(r);
    ownS.push_back(own.total), pauseS.push_back(own.longestPause), pauseRatio.push_back(own.longestPause / b[0]);
    firstS.push_back(t[0]), aheadS.push_back(t[1]), backS.push_back(t[2]);
    baseFirstS.push_back(b[0]), baseAheadS.push_back(b[1]), baseBackS.push_back(b[2]);
    firstRatio.push_back(t[0] / b[0]), aheadRatio.push_back(t[1] / b[1]), backRatio.push_back(t[2] / b[2]);
  }
  std::printf("%d records, %d pages, %d runs (medians of interleaved pairs)\n", records, count, runs);
  std::printf("%-22s %10s %10s %8s %6s\n", "", "window_s", "engine_s", "ratio", "goal");
  auto line = [](const char* what, const std::vector<double>& w, const std::vector<double>& e, const std::vector<double>& q) {
    const double m = median(q);
    std::printf("%-22s %10.3f %10.3f %8.2f %6s %s\n", what, median(w), median(e), m, "2.00", m <= 2.0 ? "met" : "MISSED");
  };
  line("first page shown", firstS, baseFirstS, firstRatio);
  line("jump far ahead", aheadS, baseAheadS, aheadRatio);
  line("jump back", backS, baseBackS, backRatio);
  std::printf("%-22s %10.3f   (after the first page; no goal, the clerk is not kept waiting for it)\n", "rest counted at once",
              median(countS));
  std::printf("%-22s %10.3f   (counted a slice at a time while the window answers)\n", "counted on its own",
              median(ownS));
  std::printf("%-22s %10.3f %10.3f %8.2f   (the window's longest turn while counting, against the engine's first page)\n",
              "longest pause", median(pauseS), median(baseFirstS), median(pauseRatio));
  std::fflush(stdout);

  if (pdf) {
    QProcess p;
    const QString out = QDir(folder).filePath(QStringLiteral("report.pdf"));
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--pdf-child"), db, out});
    p.waitForFinished(-1);
    const double riseKb = QString::fromLatin1(p.readAllStandardOutput()).trimmed().toDouble();
    QFile::remove(out);
    std::printf("PDF peak memory rise / file size: %.2f\n", riseKb / (QFileInfo(db).size() / 1024.0));
  }
  return 0;
}
