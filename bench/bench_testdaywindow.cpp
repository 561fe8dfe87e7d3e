// The test-day lane window over a division's records file: a group of
// 1,000 soldiers, half of them with a record of the day already, among
// 10,000 and among 1,000,000 stored five-event records.
//   open    a group opened from the test-day window, which holds the
//           records open: the group read (its row and its members), the lane
//           window made over the group's records of the day, shown and
//           painted once; against the engine alone, over a connection it
//           holds open as well, reading the same rows (the group's row, its
//           members, and their records of the day, every field as text).
//           Interleaved pairs, goal 1.5x. Each side's first open, and the
//           setting up of the records for the five-event test that the
//           first lane window of a session makes, are not timed.
//   memory  what the open window adds to the process (resident, after it
//           is painted), over 1,000,000 records against 10,000, each in a
//           process of its own, interleaved; goal within 10%.
// (Entering a value and painting its points: bench_laneentry, with the
// number of records given.)
// Sizes from the environment: QUILLON_BENCH_WINDOW_SMALL (10000) and
// QUILLON_BENCH_WINDOW_LARGE (1000000) records, QUILLON_BENCH_WINDOW_GROUP
// (1000) soldiers. The files are made once, beside the bench, and kept.
//
//   bench_testdaywindow [open] [memory]     (both when none is named)
//   bench_testdaywindow --pictures PREFIX   (the window over the smaller file)
#include <sqlite3.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QUndoStack>
#include <algorithm>
#include <utility>
#include <cstdio>
#include <vector>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "laneentry.h"
#include "lanegrid.h"
#include "testgroups.h"

using namespace quillon;

namespace {

constexpr int kPairs = 9;
constexpr int kMemoryPairs = 3;
const char* const kDay = "2026-06-12";

int envInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v > 0 ? v : fallback;
}

[[noreturn]] void die(const char* what, const QString& more = QString()) {
  std::fprintf(stderr, "%s %s\n", what, qPrintable(more));
  std::exit(2);
}

void check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) die("sqlite:", QString::fromUtf8(sqlite3_errmsg(db)));
}

QString ssnOf(int soldier) { return QString::number(100000000 + soldier); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A records file of `records` five-event records: `group` soldiers at least,
// each with the same number of earlier tests, half of the group with a
// record of the day; and the group saved. Made once.
QString recordsFile(int records, int group, qint64& groupId) {
  const QString dir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bench_testdaywindow_data"));
  QDir().mkpath(dir);
  const QString path = QDir(dir).filePath(QStringLiteral("info-%1-%2.mdb").arg(records).arg(group));
  if (!QFileInfo::exists(path)) {
    const QString making = path + QStringLiteral(".making");
    QFile::remove(making);
    std::printf("making %s (once)...\n", qPrintable(path));
    std::fflush(stdout);
    createRecordsDatabase(making);
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(QFile::encodeName(making).constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
    check(db, sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr));
    const QStringList ddl = fitnessTableSqliteDdl();
    check(db, sqlite3_exec(db, ddl.first().toUtf8().constData(), nullptr, nullptr, nullptr));
    const int soldiers = std::max(group, records / 100);
    const int earlier = (records - group / 2) / soldiers;
    sqlite3_stmt* st = nullptr;
    check(db, sqlite3_prepare_v2(db,
                                 "INSERT INTO fitness_tests (name, ssn, sex, dob, unit, standard, test_date, deadlift_1, "
                                 "pushup, sdc_s, plank_s, run_s, deadlift_pts, pushup_pts, sdc_pts, plank_pts, run_pts, "
                                 "total_pts, result_go) VALUES (?,?,'M','1995-03-04','A Co 1-5','general',?,"
                                 "200,40,130,200,1100,80,75,80,76,70,381,'GO')",
                                 -1, &st, nullptr));
    const auto add = [&](int soldier, const QString& date) {
      const QByteArray name = QStringLiteral("Soldier, Number %1").arg(soldier).toUtf8(), ssn = ssnOf(soldier).toUtf8(),
                       d = date.toUtf8();
      sqlite3_bind_text(st, 1, name.constData(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, ssn.constData(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 3, d.constData(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) != SQLITE_DONE) die("insert:", QString::fromUtf8(sqlite3_errmsg(db)));
      sqlite3_reset(st);
    };
    for (int t = 0; t < earlier; ++t)
      for (int s = 0; s < soldiers; ++s) add(s, QDate(2000, 1, 1).addDays(t * 30 + s % 29).toString(Qt::ISODate));
    for (int s = 0; s < group; s += 2) add(s, QString::fromLatin1(kDay));
    sqlite3_finalize(st);
    for (const QString& sql : ddl.mid(1)) check(db, sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr));
    check(db, sqlite3_exec(db, "COMMIT; ANALYZE", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    TestGroup g;
    g.testDate = QString::fromLatin1(kDay);
    g.location = QStringLiteral("Range 1");
    for (int s = 0; s < group; ++s)
      g.members << GroupMember{ssnOf(s), QStringLiteral("Soldier, Number %1").arg(s), QStringLiteral("M"),
                               QStringLiteral("1995-03-04"), QStringLiteral("A Co 1-5"), QStringLiteral("general")};
    TestGroups::forDatabase(making)->save(g);
    if (!QFile::rename(making, path)) die("cannot keep", path);
  }
  groupId = TestGroups::forDatabase(path)->all().first().id;
  return path;
}

TestGroup groupIn(const QString& path, qint64 id) {
  const std::optional<TestGroup> g = TestGroups::forDatabase(path)->load(id);
  if (!g) die("no group in", path);
  return *g;
}

// Counts the paints of a widget.
class Paints : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++count;
    return false;
  }
};

// The group read and its lane window opened, shown and painted, then
// closed; the test-day window's records (`groups`) stay open. The paint is
// waited for by the event loop itself (QTest's waits sleep between looks).
double openWindow(TestGroups& groups, const QString& path, qint64 id) {
  QElapsedTimer t;
  t.start();
  {
    const std::optional<TestGroup> group = groups.load(id);
    if (!group) die("no group in", path);
    LaneGrid grid(*group, path);
    auto* lanes = grid.findChild<QAbstractItemView*>(QStringLiteral("lanes"));
    if (!lanes) die("no lanes in the window");
    Paints paints;
    lanes->viewport()->installEventFilter(&paints);
    grid.show();
    for (int looks = 0; paints.count == 0; ++looks) {
      if (looks > 100) die("the window was not painted");
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    lanes->viewport()->removeEventFilter(&paints);
  }
  return double(t.nsecsElapsed()) / 1e6;
}

// The engine alone, over a connection it holds: the group's row, its
// members, and their records of the day, every field as text.
double engineReads(sqlite3* db, qint64 groupId, int expected) {
  QElapsedTimer t;
  t.start();
  int rows = 0;
  for (const char* sql : {"SELECT * FROM test_groups WHERE id = ?1",
                          "SELECT * FROM test_group_members WHERE group_id = ?1 ORDER BY position",
                          "SELECT f.* FROM test_group_members m JOIN fitness_tests f ON f.ssn = m.ssn AND "
                          "f.test_date = ?2 AND f.ssn <> '' WHERE m.group_id = ?1"}) {
    sqlite3_stmt* st = nullptr;
    check(db, sqlite3_prepare_v2(db, sql, -1, &st, nullptr));
    sqlite3_bind_int64(st, 1, groupId);
    if (sqlite3_bind_parameter_count(st) > 1) sqlite3_bind_text(st, 2, kDay, -1, SQLITE_STATIC);
    size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++rows;
      for (int c = 0; c < sqlite3_column_count(st); ++c)
        if (sqlite3_column_text(st, c)) bytes += size_t(sqlite3_column_bytes(st, c));
    }
    sqlite3_finalize(st);
    if (bytes == 0) die("the engine read nothing");
  }
  if (rows != expected) die("engine rows:", QString::number(rows));
  return double(t.nsecsElapsed()) / 1e6;
}

// The group's records of the day as the window's sheet reads them now (one
// read for the group), and as it read them before (one per soldier).
double sheetReads(const QString& path, const TestGroup& group, bool perSoldier) {
  QElapsedTimer t;
  t.start();
  std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path);
  store->open();
  int found = 0;
  if (perSoldier) {
    for (const GroupMember& m : group.members) found += store->find(m.ssn, group.testDate) ? 1 : 0;
  } else {
    QUndoStack undo;
    LaneSheet sheet(group, *store, undo);
    for (int m = 0; m < sheet.size(); ++m) found += sheet.line(m).shown[int(LaneField::PushUp)].isEmpty() ? 0 : 1;
  }
  if (found != (group.members.size() + 1) / 2) die("records of the day:", QString::number(found));
  return double(t.nsecsElapsed()) / 1e6;
}

qint64 residentKb() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
  return -1;
}

// In a process of its own: what the window adds, in kB, printed.
int memoryChild(const QString& path, qint64 id) {
  const TestGroup group = groupIn(path, id);
  // Qt's own first-window costs out of the way: a window of no records.
  {
    QWidget warm;
    warm.show();
    if (!QTest::qWaitForWindowExposed(&warm)) die("no window");
    warm.grab();
  }
  const qint64 before = residentKb();
  const sqlite3_int64 engineBefore = sqlite3_memory_used();
  LaneGrid grid(group, path);
  grid.show();
  if (!QTest::qWaitForWindowExposed(&grid)) die("the window did not show");
  grid.grab();
  QCoreApplication::processEvents();
  // And of it, what the engine holds now (its page cache, its statements).
  std::printf("%lld %lld\n", residentKb() - before, (long long)((sqlite3_memory_used() - engineBefore) / 1024));
  return 0;
}

// What the window adds, and of it what the engine holds, in kB.
std::pair<qint64, qint64> windowKb(const QString& path, qint64 id) {
  QProcess p;
  p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory-child"), path, QString::number(id)});
  if (!p.waitForFinished(-1) || p.exitCode() != 0) die("memory child failed:", QString::fromUtf8(p.readAllStandardError()));
  const QList<QByteArray> kb = p.readAllStandardOutput().trimmed().split(' ');
  return {kb.value(0).toLongLong(), kb.value(1).toLongLong()};
}

}  // namespace

// The window as a clerk sees it, for comparing two builds pixel by pixel:
// opened, then scrolled to its last soldier. PREFIX-top.png, PREFIX-end.png.
int pictures(const QString& path, qint64 id, const QString& prefix) {
  LaneGrid grid(groupIn(path, id), path);
  grid.show();
  if (!QTest::qWaitForWindowExposed(&grid)) die("the window did not show");
  auto* lanes = grid.findChild<QAbstractItemView*>(QStringLiteral("lanes"));
  if (!grid.grab().save(prefix + QStringLiteral("-top.png"))) die("cannot write", prefix);
  lanes->scrollToBottom();
  QCoreApplication::processEvents();
  if (!grid.grab().save(prefix + QStringLiteral("-end.png"))) die("cannot write", prefix);
  return 0;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.value(0) == QLatin1String("--memory-child")) return memoryChild(args.value(1), args.value(2).toLongLong());
  if (args.value(0) == QLatin1String("--pictures")) {
    qint64 id = 0;
    const QString path = recordsFile(envInt("QUILLON_BENCH_WINDOW_SMALL", 10000), envInt("QUILLON_BENCH_WINDOW_GROUP", 1000), id);
    return pictures(path, id, args.value(1));
  }
  const bool all = !args.contains(QLatin1String("open")) && !args.contains(QLatin1String("memory"));
  const int small = envInt("QUILLON_BENCH_WINDOW_SMALL", 10000), large = envInt("QUILLON_BENCH_WINDOW_LARGE", 1000000);
  const int group = envInt("QUILLON_BENCH_WINDOW_GROUP", 1000);
  qint64 smallId = 0, largeId = 0;
  const QString smallPath = recordsFile(small, group, smallId), largePath = recordsFile(large, group, largeId);

  if (all || args.contains(QLatin1String("open"))) {
    const TestGroup g = groupIn(largePath, largeId);
    const int expected = 1 + group + (group + 1) / 2;
    std::unique_ptr<TestGroups> groups = TestGroups::forDatabase(largePath);
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(QFile::encodeName(largePath).constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
    // The file's pages in the cache for both, each side's connection set up.
    openWindow(*groups, largePath, largeId);
    engineReads(db, largeId, expected);
    std::vector<double> ratios, window, engine;
    for (int turn = 0; turn < kPairs; ++turn) {
      double w, e;
      if (turn % 2 == 0) {
        w = openWindow(*groups, largePath, largeId);
        e = engineReads(db, largeId, expected);
      } else {
        e = engineReads(db, largeId, expected);
        w = openWindow(*groups, largePath, largeId);
      }
      window.push_back(w);
      engine.push_back(e);
      ratios.push_back(w / e);
    }
    const double r = median(ratios);
    std::printf("open a group of %d among %d records: window %.1f ms, engine reading the rows %.1f ms (medians of %d "
                "pairs); ratio %.2fx (goal <= 1.5x): %s\n",
                group, large, median(window), median(engine), kPairs, r, r <= 1.5 ? "met" : "NOT met");
    std::fflush(stdout);
    sqlite3_close(db);
    groups.reset();
    // As the sheet read them before, one soldier at a time: on the file a
    // read by SSN and date finds no index it can take (the one by soldier
    // and date leaves out records without SSN), so each reads the table
    // through; timed over the first soldiers and scaled to the group.
    const int sample = std::min(int(g.members.size()), envInt("QUILLON_BENCH_WINDOW_SAMPLE", 20));
    TestGroup few = g;
    few.members = g.members.mid(0, sample);
    std::vector<double> oneRead;
    for (int turn = 0; turn < 3; ++turn) oneRead.push_back(sheetReads(largePath, g, false));
    const double eachSoldier = sheetReads(largePath, few, true) * double(g.members.size()) / double(sample);
    std::printf("the group's records of the day: one read %.1f ms (median of 3); one read per soldier (before) "
                "%.0f ms, scaled from %d soldiers; %.4fx\n",
                median(oneRead), eachSoldier, sample, median(oneRead) / eachSoldier);
  }
  if (all || args.contains(QLatin1String("memory"))) {
    std::vector<double> ratios;
    std::vector<double> smallKb, largeKb, smallEngine, largeEngine;
    for (int turn = 0; turn < kMemoryPairs; ++turn) {
      std::pair<qint64, qint64> s, l;
      if (turn % 2 == 0) {
        s = windowKb(smallPath, smallId);
        l = windowKb(largePath, largeId);
      } else {
        l = windowKb(largePath, largeId);
        s = windowKb(smallPath, smallId);
      }
      smallKb.push_back(double(s.first));
      largeKb.push_back(double(l.first));
      smallEngine.push_back(double(s.second));
      largeEngine.push_back(double(l.second));
      ratios.push_back(double(l.first) / double(s.first));
    }
    const double r = median(ratios);
    std::printf("window memory, group of %d: %.0f kB over %d records, %.0f kB over %d (medians of %d pairs); "
                "ratio %.3f (goal within 10%%): %s; of it the engine's %.0f kB and %.0f kB\n",
                group, median(smallKb), small, median(largeKb), large, kMemoryPairs, r,
                r <= 1.10 && r >= 0.90 ? "met" : "NOT met", median(smallEngine), median(largeEngine));
  }
  return 0;
}
