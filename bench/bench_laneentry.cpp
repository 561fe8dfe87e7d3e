// Lane entry with many stored five-event records: a value typed into the
// real lane grid and Enter, with 10,000 stored test records (and a test
// group of ten) against the same window over the same group with none
// stored. The grader types the value, the window showing each key, and
// presses Enter; three times per entry, each from that Enter: "points
// seen", until the grid has painted the soldier's points (before the
// store), "durable", until the store has returned (the window says so at
// once, before it settles its status and moves down the lane), "returned",
// until Enter has returned, and "shown", until the window
// has also painted what the entry changed. The two windows take turns, who
// goes first alternating; reports the median ratio of the pairs for each,
// the median points seen with the records against the goal of one frame
// (16 ms), the CPU time of an entry, and Enter to durable against one bare
// prepared UPDATE of the same kind of row, as durable, taken between the
// two entries of each pair. Beside that floor, the same UPDATE on a
// connection that traces its changes as the program's do (the same trail
// triggers, so the trail's rows are written in the same transaction): how
// much of what remains is the trail's, which the floor leaves out.
//
//   bench_laneentry [records] [pairs]     default 10000 41
//   Run it from a folder on the disk the records will live on: the files
//   are made in the working folder, not in /tmp, which may be memory.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <optional>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

#include "changetrail.h"
#include "dbfile.h"
#include "fitnessrecords.h"
#include "lanegrid.h"
#include "lanegridtable.h"
#include "laneentry.h"
#include "rawentry.h"
#include "sqlitedb.h"
#include "testgroups.h"

namespace {

using namespace quillon;

double cpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

TestGroup tenSoldiers() {
  TestGroup g;
  g.testDate = QStringLiteral("2026-06-12");
  g.location = QStringLiteral("Range 3");
  for (int i = 0; i < 10; ++i)
    g.members << GroupMember{QStringLiteral("9000000%1").arg(i, 2, 10, QLatin1Char('0')),
                             QStringLiteral("Lane%1, Soldier").arg(i), i % 3 ? QStringLiteral("M") : QStringLiteral("F"),
                             QStringLiteral("1998-02-28"), QStringLiteral("A Co"), QStringLiteral("general")};
  return g;
}

// A records file with the group saved and `records` complete five-event
// records of other soldiers, written in one transaction.
TestGroup makeRecords(const QString& path, int records) {
  createRecordsDatabase(path);
  const TestGroup group = TestGroups::forDatabase(path)->save(tenSoldiers());
  {
    // Opening the five-event records adds their table to the file.
    std::unique_ptr<FitnessRecords> r = FitnessRecords::forDatabase(path);
    r->open();
    r->find(QStringLiteral("000000000"), group.testDate);
  }
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO fitness_tests (test_group, name, ssn, sex, dob, unit, standard, edition, test_date, "
                     "deadlift_1, deadlift_2, pushup, sdc_s, plank_s, run_s, deadlift_pts, pushup_pts, sdc_pts, "
                     "plank_pts, run_pts, total_pts, result_go) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &st, nullptr);
  for (int i = 0; i < records; ++i) {
    // A thousand soldiers tested ten times each, spread over the years.
    const QByteArray vals[] = {QByteArray(),
                               QStringLiteral("Stored%1, Soldier").arg(i % 1000).toUtf8(),
                               QStringLiteral("1%1").arg(i % 1000, 8, 10, QLatin1Char('0')).toUtf8(),
                               (i & 1) ? "F" : "M",
                               "1990-05-05",
                               "B Co",
                               "general",
                               "June 2025",
                               QDate(2016, 1, 1).addDays(i / 1000 * 180 + i % 170).toString(Qt::ISODate).toUtf8(),
                               "200",
                               "210",
                               "40",
                               "120",
                               "180",
                               "1000",
                               "80",
                               "80",
                               "80",
                               "80",
                               "80",
                               "400",
                               "GO"};
    for (int c = 0; c < 22; ++c)
      if (c == 0) sqlite3_bind_null(st, 1);
      else sqlite3_bind_text(st, c + 1, vals[c].constData(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE) {
      std::fprintf(stderr, "insert failed: %s\n", sqlite3_errmsg(db));
      std::exit(1);
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return group;
}

// One lane window and where its grader is.
struct Station {
  Station(const TestGroup& group, const QString& path) : grid(group, path) {
    QObject::connect(&grid, &LaneGrid::pointsShown, [this] { seenNs = clock ? clock->nsecsElapsed() : -1; });
    QObject::connect(&grid, &LaneGrid::valueStored, [this] { storedNs = clock ? clock->nsecsElapsed() : -1; });
    grid.show();
    QApplication::setActiveWindow(&grid);
    if (!QTest::qWaitForWindowActive(&grid)) std::abort();
    table = grid.findChild<LaneTable*>(QStringLiteral("lanes"));
    table->setFocus();
  }
  LaneGrid grid;
  LaneTable* table = nullptr;
  int turn = 0;
  const QElapsedTimer* clock = nullptr;
  qint64 seenNs = -1;
  qint64 storedNs = -1;
};

struct Times {
  double seen = 0, durable = 0, returned = 0, shown = 0, cpu = 0;
};

// Types the next push-up count into the next soldier's cell, lets the
// window show it as a grader's keys would, and presses Enter: milliseconds
// from Enter until the points were painted, until the value was durable,
// until the window had painted what the entry changed (the events the entry
// posted are run, its repaint among them), and of the last the milliseconds
// this process spent computing (the rest is waiting, mostly for the disk to
// confirm the store). No repaint of every cell is forced: a window never
// makes one for an entry.
Times enterOne(Station& s, const QStringList& values) {
  const int member = s.turn % 10;
  const QString value = values.at((s.turn / 10) % values.size());
  ++s.turn;
  const int column = static_cast<int>(LaneField::PushUp);
  // Both windows are open; the grader's is the active one.
  QApplication::setActiveWindow(&s.grid);
  s.table->setFocus();
  s.table->setCurrentCell(1 + member, column);
  QCoreApplication::processEvents();
  QTest::keyClicks(s.table, value.left(1));
  QTest::keyClicks(QApplication::focusWidget(), value.mid(1));
  QCoreApplication::processEvents();
  QElapsedTimer t;
  s.clock = &t;
  s.seenNs = -1;
  s.storedNs = -1;
  const double cpu0 = cpuMs();
  t.start();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  Times out;
  out.returned = double(t.nsecsElapsed()) / 1e6;
  out.durable = double(s.storedNs) / 1e6;
  QCoreApplication::processEvents();
  out.shown = double(t.nsecsElapsed()) / 1e6;
  out.cpu = cpuMs() - cpu0;
  out.seen = double(s.seenNs) / 1e6;
  s.clock = nullptr;
  if (s.seenNs < 0 || s.storedNs < 0 || s.table->model()->index(1 + member, column).data().toString() != value ||
      s.table->model()->index(1 + member, kLaneFields).data().toString().isEmpty()) {
    std::fprintf(stderr, "the value %s was not shown with its points: %s [%s] [%s]\n", qPrintable(value),
                 qPrintable(s.table->model()->index(1 + member, column).data().toString()),
                 qPrintable(s.table->model()->index(1 + member, kLaneFields).data().toString()),
                 qPrintable(s.grid.statusBar()->currentMessage()));
    std::exit(1);
  }
  return out;
}

// The floor an entry is held to: a stored five-event row changed by one
// prepared UPDATE of the lane's raw value, its points, the total and the
// row version, committed as durably as the store commits it
// (synchronous=EXTRA), and nothing else: no window, no scoring, no check.
// `traced`: on a connection whose changes leave the trail, through the very
// setup a records session makes (addChangeTrail), so the same UPDATE also
// writes the trail's rows of the fields it changed, in its transaction.
struct BareUpdate {
  BareUpdate(const QString& path, bool traced) {
    if (traced) {
      // Opened as the program opens a file for writing (synchronous=EXTRA,
      // the trail's functions), then traced.
      traced_ = sqlite::Database(path, sqlite::Database::Mode::ReadWrite);
      addChangeTrail(traced_);
      db = traced_.get();
    } else {
      sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
      sqlite3_exec(db, "PRAGMA synchronous=EXTRA", nullptr, nullptr, nullptr);
    }
    // A stored soldier outside the group: the lanes never hold this row, so
    // changing it under them is no clash. Each floor has a row of its own,
    // so that each UPDATE changes every field it writes.
    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db, "SELECT id FROM fitness_tests WHERE test_group IS NULL ORDER BY id LIMIT 1 OFFSET ?", -1,
                       &find, nullptr);
    sqlite3_bind_int(find, 1, traced ? 1 : 0);
    if (sqlite3_step(find) != SQLITE_ROW || sqlite3_column_type(find, 0) == SQLITE_NULL) {
      std::fprintf(stderr, "no stored record to update\n");
      std::exit(1);
    }
    id = sqlite3_column_int64(find, 0);
    sqlite3_finalize(find);
    const char* const sql =
        "UPDATE fitness_tests SET pushup = ?, pushup_pts = ?, total_pts = ?, version = version + 1 WHERE id = ?";
    if (traced) {
      // Through the connection, which makes the trail's triggers as this
      // first change to the records is compiled.
      tracedUpdate_.emplace(sqlite::Statement::tryPrepare(traced_, QString::fromLatin1(sql)));
      update = tracedUpdate_->get();
    } else if (sqlite3_prepare_v2(db, sql, -1, &update, nullptr) != SQLITE_OK) {
      update = nullptr;
    }
    if (!update) std::abort();
  }
  ~BareUpdate() {
    if (!tracedUpdate_) sqlite3_finalize(update);
    if (!traced_.isOpen()) sqlite3_close(db);
  }
  // Milliseconds, and of them those this process spent computing.
  double once(double& cpu) {
    const double cpu0 = cpuMs();
    QElapsedTimer t;
    t.start();
    ++n;
    sqlite3_bind_int(update, 1, 20 + n % 2 * 10);
    sqlite3_bind_int(update, 2, 60 + n % 2 * 10);
    sqlite3_bind_int(update, 3, 300 + n % 2 * 10);
    sqlite3_bind_int64(update, 4, id);
    if (sqlite3_step(update) != SQLITE_DONE) std::abort();
    sqlite3_reset(update);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    cpu = cpuMs() - cpu0;
    return ms;
  }
  sqlite::Database traced_;
  std::optional<sqlite::Statement> tracedUpdate_;
  sqlite3* db = nullptr;
  sqlite3_stmt* update = nullptr;
  qint64 id = 0;
  int n = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
  const int pairs = argc > 2 ? QByteArray(argv[2]).toInt() : 41;
  // In the working folder: the disk the clerk's records are on, never
  // a memory file system that would hide the durable commit.
  QTemporaryDir full(QDir::current().filePath(QStringLiteral("bench_laneentry-XXXXXX")));
  QTemporaryDir empty(QDir::current().filePath(QStringLiteral("bench_laneentry-XXXXXX")));
  const TestGroup fullGroup = makeRecords(QDir(full.path()).filePath(QStringLiteral("info.mdb")), records);
  const TestGroup emptyGroup = makeRecords(QDir(empty.path()).filePath(QStringLiteral("info.mdb")), 0);
  Station withRecords(fullGroup, QDir(full.path()).filePath(QStringLiteral("info.mdb")));
  Station without(emptyGroup, QDir(empty.path()).filePath(QStringLiteral("info.mdb")));

  // Push-up counts the tables take, alternating so every entry is a change.
  const fitness::EventDef& pushup =
      fitness::fitnessTest2025().test->events[fitness::fitnessTest2025().test->eventIndex(QStringLiteral("pushup"))];
  const QStringList values = {QString::number(pushup.minRaw + 20), QString::number(pushup.minRaw + 30)};
  // A round of each first: the first store of a soldier makes the record.
  for (int i = 0; i < 10; ++i) {
    enterOne(withRecords, values);
    enterOne(without, values);
  }
  std::vector<double> seenRatios, shownRatios, bareRatios, fullSeen, emptySeen, fullShown, emptyShown, fullDurable,
      fullReturned, fullCpu, emptyCpu, bareMs, bareCpu, tracedMs, tracedCpu, tracedRatios, trailShares;
  BareUpdate bare(QDir(full.path()).filePath(QStringLiteral("info.mdb")), false);
  BareUpdate traced(QDir(full.path()).filePath(QStringLiteral("info.mdb")), true);
  for (int i = 0; i < pairs; ++i) {
    Times a, b;
    double floor = 0, floorCpu = 0, tracedFloor = 0, tracedFloorCpu = 0;
    // The two floors take turns too, between the two entries.
    const auto floors = [&] {
      if (i % 4 < 2) {
        floor = bare.once(floorCpu);
        tracedFloor = traced.once(tracedFloorCpu);
      } else {
        tracedFloor = traced.once(tracedFloorCpu);
        floor = bare.once(floorCpu);
      }
    };
    if (i % 2) {
      a = enterOne(withRecords, values);
      floors();
      b = enterOne(without, values);
    } else {
      b = enterOne(without, values);
      floors();
      a = enterOne(withRecords, values);
    }
    bareMs.push_back(floor);
    bareCpu.push_back(floorCpu);
    bareRatios.push_back(a.durable / floor);
    tracedMs.push_back(tracedFloor);
    tracedCpu.push_back(tracedFloorCpu);
    tracedRatios.push_back(a.durable / tracedFloor);
    trailShares.push_back(tracedFloor / floor);
    fullSeen.push_back(a.seen);
    emptySeen.push_back(b.seen);
    fullDurable.push_back(a.durable);
    fullReturned.push_back(a.returned);
    fullShown.push_back(a.shown);
    emptyShown.push_back(b.shown);
    fullCpu.push_back(a.cpu);
    emptyCpu.push_back(b.cpu);
    seenRatios.push_back(a.seen / b.seen);
    shownRatios.push_back(a.shown / b.shown);
  }
  std::printf("lane entry, %d pairs, records in %s; times from Enter\n", pairs, qPrintable(QDir::currentPath()));
  std::printf("  points seen | %d stored records %7.2f ms | none stored %7.2f ms | ratio x%.2f | with records %s "
              "one frame (16 ms)\n",
              records, median(fullSeen), median(emptySeen), median(seenRatios),
              median(fullSeen) < 16.0 ? "within" : "OVER");
  std::printf("  shown       | %d stored records %7.2f ms (cpu %5.2f) | none stored %7.2f ms (cpu %5.2f) | ratio "
              "x%.2f\n",
              records, median(fullShown), median(fullCpu), median(emptyShown), median(emptyCpu), median(shownRatios));
  std::printf("  durable     | Enter to durable %7.2f ms | one bare prepared UPDATE of the row %7.2f ms (cpu %5.2f) | "
              "ratio x%.2f | goal at most x1.20\n",
              median(fullDurable), median(bareMs), median(bareCpu), median(bareRatios));
  std::printf("  durable     | Enter to durable %7.2f ms | the same UPDATE also writing the change trail %7.2f ms (cpu "
              "%5.2f) | ratio x%.2f | that floor against the bare one x%.2f (not the goal's floor)\n",
              median(fullDurable), median(tracedMs), median(tracedCpu), median(tracedRatios), median(trailShares));
  std::printf("  returned    | Enter to Enter returned %7.2f ms (the window settled and moved down the lane)\n",
              median(fullReturned));
  return 0;
}
