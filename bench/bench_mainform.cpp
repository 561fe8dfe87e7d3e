// The main window over 10,000, 100,000 and 1,000,000 records, each against
// its baseline measured in the same run, in turns:
//   start   from constructing the window to the grid painting its first rows,
//           against the database engine alone opening the file, running the
//           same row source (its ORDER BY included) and reading every field
//           of every row as text; the window's turn and the engine's are
//           taken in alternating order, and the median of their ratios is
//           printed;
//   requery the activation step (re-query, first row shown), against the same;
//   memory  the window's peak resident size (VmHWM) above the same window on
//           an empty database, against the file's size; each in a child
//           process of its own, once loaded and after three re-queries.
// Reports the median ratio of each.
//
//   bench_mainform [sizes...]      e.g.  bench_mainform 10000 100000
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <vector>

#include "mainform.h"
#include "recordgrid.h"
#include "recordstore.h"
#include "threeeventrecords.h"

namespace {

constexpr int kTurns = 7;
constexpr int kMemoryRuns = 3;
constexpr int kRequeries = 3;

// Nothing may go wrong quietly during a measurement.
class LoudSeam : public quillon::MessageSeam {
 public:
  void message(const QString& text, const QString&, quillon::MsgIcon) override {
    std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
    std::abort();
  }
  bool askYesNo(const QString& text, const QString&) override {
    std::fprintf(stderr, "unexpected question: %s\n", qPrintable(text));
    std::abort();
  }
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The engine alone: open the file, run the row source, read every field of
// every row as text. Milliseconds.
double engine(const QString& dbPath) {
  QElapsedTimer t;
  t.start();
  const QByteArray sql = quillon::RecordStore::rowSourceQuery().toUtf8();
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
  size_t bytes = 0;
  const int n = sqlite3_column_count(st);
  while (sqlite3_step(st) == SQLITE_ROW)
    for (int c = 0; c < n; ++c) {
      if (sqlite3_column_text(st, c)) bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
    }
  sqlite3_finalize(st);
  sqlite3_close(db);
  if (bytes == 0) std::abort();
  return double(t.nsecsElapsed()) / 1e6;
}

// The window's grid, found by its object name as the clerk's help knows it.
QTableView* grid(quillon::MainForm& form) { return form.findChild<QTableView*>(QStringLiteral("TDBGrid1")); }

void waitForRows(quillon::MainForm& form) {
  while (grid(form)->model()->rowCount() <= 1) QApplication::processEvents();
  grid(form)->viewport()->repaint();
}

double windowStart(int records) {
  LoudSeam seam;
  QElapsedTimer t;
  t.start();
  auto form = std::make_unique<quillon::MainForm>();
  form->setMessageSeam(&seam);
  form->show();
  waitForRows(*form);
  const double ms = double(t.nsecsElapsed()) / 1e6;
  if (form->records().rowCount() != records) std::abort();
  form.reset();
  QApplication::processEvents();
  return ms;
}

// The peak resident size of this process so far, in bytes.
double peakResident() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
  return 0;
}

// In a child process: the window on the records of the current folder, then
// `requeries` activation steps; prints the peak resident size.
int child(int requeries) {
  LoudSeam seam;
  quillon::MainForm form;
  form.setMessageSeam(&seam);
  form.show();
  while (grid(form)->model()->rowCount() == 0) QApplication::processEvents();
  QApplication::processEvents();
  grid(form)->viewport()->repaint();
  for (int i = 0; i < requeries; ++i) {
    form.Form_Activate();
    grid(form)->viewport()->repaint();
  }
  std::printf("%.0f\n", peakResident());
  return 0;
}

double childPeak(const QString& folder, int requeries) {
  QProcess p;
  p.setWorkingDirectory(folder);
  p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), QString::number(requeries)});
  if (!p.waitForFinished(-1) || p.exitCode() != 0) {
    std::fprintf(stderr, "child failed: %s\n", p.readAllStandardError().constData());
    std::exit(1);
  }
  return p.readAllStandardOutput().trimmed().toDouble();
}

void measure(int records, const QString& emptyFolder) {
  QTemporaryDir tmp;
  const QString db = QDir(tmp.path()).filePath(QStringLiteral("info.mdb"));
  quillon::bench::makeThreeEventDatabase(db, records);
  QDir::setCurrent(tmp.path());  // the window looks for info.mdb here
  const double fileBytes = double(QFileInfo(db).size());

  engine(db);  // the file in the page cache for both
  windowStart(records);
  std::vector<double> startRatios, requeryRatios, engineMs, startMs, requeryMs;
  LoudSeam seam;
  quillon::MainForm standing;
  standing.setMessageSeam(&seam);
  standing.show();
  waitForRows(standing);
  for (int i = 0; i < kTurns; ++i) {
    // Who goes first alternates, so neither always meets a warmer machine.
    double e1 = 0, s = 0, r = 0;
    auto requery = [&] {
      QElapsedTimer t;
      t.start();
      standing.Form_Activate();
      grid(standing)->viewport()->repaint();
      return double(t.nsecsElapsed()) / 1e6;
    };
    if (i % 2) {
      e1 = engine(db);
      s = windowStart(records);
      r = requery();
    } else {
      r = requery();
      s = windowStart(records);
      e1 = engine(db);
    }
    engineMs.push_back(e1);
    startMs.push_back(s);
    requeryMs.push_back(r);
    startRatios.push_back(s / e1);
    requeryRatios.push_back(r / e1);
  }
  std::vector<double> loaded, requeried;
  for (int i = 0; i < kMemoryRuns; ++i) {
    const double empty = childPeak(emptyFolder, 0);
    loaded.push_back((childPeak(tmp.path(), 0) - empty) / fileBytes);
    const double emptyAgain = childPeak(emptyFolder, kRequeries);
    requeried.push_back((childPeak(tmp.path(), kRequeries) - emptyAgain) / fileBytes);
  }
  std::printf(
      "%8d records, file %6.1f MiB | engine %8.1f ms | start %8.1f ms  x%.2f (goal <= 1.0) | requery %8.1f ms  "
      "x%.2f (goal <= 1.3) | memory above empty x%.2f file, after %d re-queries x%.2f (goal <= 1.5)\n",
      records, fileBytes / 1048576.0, median(engineMs), median(startMs), median(startRatios), median(requeryMs),
      median(requeryRatios), median(loaded), kRequeries, median(requeried));
  std::fflush(stdout);
  QDir::setCurrent(emptyFolder);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc == 3 && qstrcmp(argv[1], "--child") == 0) return child(QByteArray(argv[2]).toInt());
  QTemporaryDir empty;
  quillon::createRecordsDatabase(QDir(empty.path()).filePath(QStringLiteral("info.mdb")));
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(QByteArray(argv[i]).toInt());
  if (sizes.empty()) sizes = {10000, 100000, 1000000};
  for (int n : sizes) measure(n, empty.path());
  return 0;
}
