// The by Name report at 10,000, 100,000 and 1,000,000 records, each case in
// a child process of its own so its peak memory is its own:
//  - speed: pages per second of the engine writing a PDF, against a minimal
//    QPainter/QPdfWriter program drawing the same rows, in the same order, as
//    plain lines (the baseline);
//  - memory: the rise of the peak resident size over the size of the
//    database file, for the PDF and for the report window, and what is still
//    resident once the report command has ended;
//  - the report window: seconds until it opens (the pages counted) and
//    pages per second painted after that, paging through every page in
//    order (at 1,000,000 records: the first page, the last and a middle one,
//    each a jump timed apart, then 50 pages on from there).
// Runs of the engine and the baseline are interleaved; medians are shown.
//
//   bench_reports [--records 10000,100000] [--runs 3]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QAbstractScrollArea>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <sqlite3.h>

#include "dbfile.h"
#include "reportbenchdata.h"
#include "windowreport.h"
#include "reportpreview.h"

using namespace quillon;
using quillon::bench::layoutFile;
using quillon::bench::median;
using quillon::bench::statusKb;

namespace {

// The page count a PDF declares in its page tree, written at its end.
int pdfPages(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return -1;
  f.seek(std::max<qint64>(0, f.size() - 8 * 1024 * 1024));
  static const QRegularExpression count(QStringLiteral("/Count (\\d+)"));
  QRegularExpressionMatch last;
  for (auto it = count.globalMatch(QString::fromLatin1(f.readAll())); it.hasNext();) last = it.next();
  return last.hasMatch() ? last.captured(1).toInt() : -1;
}

// The baseline: the same rows in the same order drawn as plain lines, 40 to
// a landscape Letter page, at the engine's resolution.
void baselinePdf(const QString& dir, const QString& pdfPath) {
  QPdfWriter pdf(pdfPath);
  pdf.setResolution(600);
  pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
  QPainter p(&pdf);
  QFont font(QStringLiteral("Sans Serif"));
  font.setPointSizeF(9);
  p.setFont(font);
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(QDir(dir).filePath(QStringLiteral("info.mdb"))).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  const QByteArray sql = ("SELECT " + infoFieldNames().join(", ") + " FROM info ORDER BY LNAME, SSN, ID").toUtf8();
  sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
  const double line = pdf.height() / 44.0, cellW = pdf.width() / 14.0;
  int row = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    if (row > 0 && row % 40 == 0) pdf.newPage();
    const double y = line * (2 + row % 40);
    for (int c = 1; c < 15; ++c)
      p.drawText(QRectF(cellW * (c - 1), y, cellW, line), Qt::AlignLeft | Qt::AlignVCenter,
                 QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c))));
    ++row;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// One case in this process: prints "pages seconds peak-rise-kB kept-kB",
// and for the window also "open-seconds pages-painted jump-seconds
// paging-from-seconds".
int child(const QString& kind, const QString& dir) {
  QDir::setCurrent(dir);
  {
    // Fonts and the PDF machinery loaded before the baseline is taken.
    QPdfWriter warm(QDir(dir).filePath(QStringLiteral("warm.pdf")));
    QPainter p(&warm);
    p.drawText(QPointF(100, 100), QStringLiteral("Soldier 123"));
  }
  const long before = statusKb("VmRSS:");
  const QString pdf = QDir(dir).filePath(kind + QStringLiteral(".pdf"));
  QElapsedTimer clock;
  clock.start();
  int pages = -1, painted = 0;
  double opened = 0, jumps = 0, paging = 0;
  // Lives on after the command, as the main window's report objects do.
  WindowReport r(QStringLiteral("NameReport"));
  if (kind == QLatin1String("baseline")) {
    baselinePdf(dir, pdf);
    pages = pdfPages(pdf);
  } else {
    r.onError = [](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); };
    r.setReportFileName(QDir(dir).filePath(QStringLiteral("basic.rpt")));
    r.setSortFields(0, QStringLiteral("+{info.LNAME}"));
    if (kind == QLatin1String("pdf")) {
      r.setPdfDestination(pdf);
      if (!r.Action(0)) return 1;
      pages = pdfPages(pdf);
    } else {
      // The window as the clerk sees it, paged through and closed.
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ReportPreview*>(QApplication::activeModalWidget());
        if (!dialog) return;
        opened = paging = clock.nsecsElapsed() / 1e9;
        pages = dialog->pageCount();
        QWidget* view = dialog->findChild<QAbstractScrollArea*>(QStringLiteral("PreviewPages"))->viewport();
        auto show = [&](int k) {
          dialog->showPage(k);
          // Painted as the screen would be, into an image of the view.
          view->grab();
          painted += dialog->keptPages() > 0;
        };
        if (kind == QLatin1String("preview")) {
          for (int k = 0; k < pages; ++k) show(k);
        } else {
          // Jumps, each laying out its page from the page's own beginning.
          QElapsedTimer jump;
          jump.start();
          for (const int k : {0, pages - 1, pages / 2}) show(k);
          jumps = jump.nsecsElapsed() / 1e9 / 3;
          // Then paging on, timed on its own.
          painted = 0;
          paging = clock.nsecsElapsed() / 1e9;
          for (int k = pages / 2 + 1; k <= pages / 2 + 50 && k < pages; ++k) show(k);
        }
        if (!dialog->failure().isEmpty()) pages = -1;
        dialog->reject();
      });
      if (!r.Action(0)) return 1;
    }
  }
  const double seconds = clock.nsecsElapsed() / 1e9;
  const long peak = statusKb("VmHWM:");
  // What is still held, not what the allocator keeps for later.
  malloc_trim(0);
  std::printf("%d %.3f %ld %ld %.3f %d %.3f %.3f\n", pages, seconds, peak - before, statusKb("VmRSS:") - before, opened,
              painted, jumps, paging);
  return 0;
}

struct Sample {
  int pages = -1;
  double seconds = 0, peakKb = 0, keptKb = 0, opened = 0;
  int painted = 0;
  double jumps = 0, paging = 0;
};

Sample runChild(const QString& kind, const QString& dir) {
  QProcess p;
  p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), kind, dir});
  p.waitForFinished(-1);
  const QStringList f = QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (p.exitCode() != 0 || f.size() != 8) {
    std::fprintf(stderr, "%s failed: %s\n", qPrintable(kind), p.readAllStandardError().constData());
    return {};
  }
  return {f[0].toInt(), f[1].toDouble(), f[2].toDouble(), f[3].toDouble(), f[4].toDouble(), f[5].toInt(), f[6].toDouble(), f[7].toDouble()};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.value(1) == QLatin1String("--child")) return child(args.value(2), args.value(3));

  QList<int> sizes = {10000, 100000, 1000000};
  int runs = 3;
  for (int i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == QLatin1String("--records")) {
      sizes.clear();
      for (const QString& n : args[i + 1].split(QLatin1Char(','))) sizes << n.toInt();
    } else if (args[i] == QLatin1String("--runs")) {
      runs = std::max(1, args[i + 1].toInt());
    }
  }
  const QString layout = layoutFile();
  if (layout.isEmpty()) {
    std::fprintf(stderr, "basic.rpt not found in the current folder or the build's data folder\n");
    return 1;
  }
  std::printf("%9s %8s %6s %10s %10s %7s %11s %11s %11s %11s %11s %10s %10s %8s\n", "records", "file_MB", "pages", "engine_p/s",
              "base_p/s", "ratio", "base_peak/f", "pdf_peak/f", "pdf_kept/f", "prev_peak/f", "prev_kept/f", "prev_open",
              "prev_p/s", "jump_s");
  for (const int n : sizes) {
    // The records are bench_reportwindow's, kept between runs; what the
    // cases write goes in a folder of this run's own.
    QTemporaryDir dir;
    const QString records = QDir(bench::cachedFolder(n)).filePath(QStringLiteral("info.mdb"));
    if (!QFile::link(records, QDir(dir.path()).filePath(QStringLiteral("info.mdb")))) {
      std::fprintf(stderr, "cannot link %s into %s\n", qPrintable(records), qPrintable(dir.path()));
      return 1;
    }
    QFile::copy(layout, QDir(dir.path()).filePath(QStringLiteral("basic.rpt")));
    const double fileKb = QFileInfo(records).size() / 1024.0;
    // The largest case is slow: one run, and the window shows a sample of
    // its pages.
    const int times = n >= 1000000 ? 1 : runs;
    std::vector<double> ratio, enginePps, basePps, basePeak, pdfPeak, pdfKept, prevPeak, prevKept, prevOpen, prevPps,
        prevJump;
    int pages = -1;
    for (int k = 0; k < times; ++k) {
      const Sample base = runChild(QStringLiteral("baseline"), dir.path());
      const Sample pdf = runChild(QStringLiteral("pdf"), dir.path());
      if (base.seconds <= 0 || pdf.seconds <= 0) continue;
      pages = pdf.pages;
      enginePps.push_back(pdf.pages / pdf.seconds);
      basePps.push_back(base.pages / base.seconds);
      ratio.push_back(enginePps.back() / basePps.back());
      basePeak.push_back(base.peakKb / fileKb);
      pdfPeak.push_back(pdf.peakKb / fileKb);
      pdfKept.push_back(pdf.keptKb / fileKb);
      const Sample prev = runChild(n >= 1000000 ? QStringLiteral("preview-sample") : QStringLiteral("preview"), dir.path());
      if (prev.pages != pdf.pages) {
        std::fprintf(stderr, "the window counted %d pages, the PDF has %d\n", prev.pages, pdf.pages);
        continue;
      }
      prevPeak.push_back(prev.peakKb / fileKb);
      prevKept.push_back(prev.keptKb / fileKb);
      prevOpen.push_back(prev.opened);
      prevPps.push_back(prev.painted / std::max(1e-9, prev.seconds - prev.paging));
      if (prev.jumps > 0) prevJump.push_back(prev.jumps);
    }
    auto shown = [](const std::vector<double>& v, int digits) {
      return v.empty() ? QStringLiteral("-") : QString::number(median(v), 'f', digits);
    };
    std::printf("%9d %8.1f %6d %10.1f %10.1f %7.2f %11.2f %11.2f %11.2f %11s %11s %10s %10s %8s\n", n, fileKb / 1024, pages,
                median(enginePps), median(basePps), median(ratio), median(basePeak), median(pdfPeak), median(pdfKept),
                qPrintable(shown(prevPeak, 2)), qPrintable(shown(prevKept, 2)), qPrintable(shown(prevOpen, 2)),
                qPrintable(shown(prevPps, 1)), qPrintable(shown(prevJump, 1)));
    std::fflush(stdout);
  }
  return 0;
}
