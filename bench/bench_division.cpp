// A division's five-event records: 10,000 soldiers with 100 tests each
// (1,000,000 records), in a records file and on a records server, each
// figure against the engine answering the same question in the same run, in
// turns (who goes first alternating), as the median of the per-turn ratios:
//   due      the due list as the Reports menu makes it, against the engine's
//            own grouped query for the same answer (each soldier's latest
//            name and unit, the last result on or before the day);
//   cards    a group of 600 soldiers' cards, against the engine reading the
//            same rows (every field as text) through the index by SSN;
//   history  a soldier's history as the History window loads it, against the
//            engine's indexed query for that SSN on both tables;
//   find     one soldier's record of one day, as a lane grid asks for each
//            soldier when it opens, against the engine's query by SSN and
//            date through the index by soldier and date.
// Each side opens the records (or connects) and closes them again; history
// and find are measured a second time with both holding them open, as the
// program's windows hold the folder's records session. The file
// is made once (one transaction, prepared statements) and kept beside the
// bench; the server's records come from generate_series in one statement.
// `before` adds the due list read the way it was before it read only each
// soldier's latest records (every record, then the same rules), for the
// table of figures.
//
//   bench_division [due] [cards] [history] [find] [before] [file] [server] [held]
//   (every figure on both when none is named; `file` or `server` alone
//   limits where; `held` measures history and find with the records held
//   open only)
//
// Sizes: QUILLON_BENCH_DIVISION_SOLDIERS (10,000) and
// QUILLON_BENCH_DIVISION_SERVER_SOLDIERS (10,000), 100 tests each.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "cardsfromrecords.h"
#include "dbfile.h"
#include "divisionrecords.h"
#include "fitnessrecords.h"
#include "groupreports.h"
#include "history.h"
#include "pgscratch.h"
#include "recordbackend.h"
#include "ssnkey.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

int envSoldiers(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v >= 600 ? v : fallback;
}
const int kFileSoldiers = envSoldiers("QUILLON_BENCH_DIVISION_SOLDIERS", 10000);
const int kServerSoldiers = envSoldiers("QUILLON_BENCH_DIVISION_SERVER_SOLDIERS", 10000);
constexpr int kTestsEach = 100;
constexpr int kGroup = 600;
constexpr int kTurns = 9;
constexpr int kSlowTurns = 5;
const QDate kAsOf(2026, 6, 12);

bool named(const char* part) { return QCoreApplication::arguments().mid(1).contains(QLatin1String(part)); }
bool wanted(const char* part) {
  for (const char* p : {"due", "cards", "history", "find", "before"})
    if (named(p)) return named(part);
  return qstrcmp(part, "before") != 0;
}
bool where(const char* side) { return named(side) || (!named("file") && !named("server")); }

// One engine's side of the comparison: its statements, how it opens the
// records, runs one of them with one text parameter (or none) and reads
// every field; the rows read.
struct Engine {
  // `held`: on a connection kept open across calls, as a window that holds
  // the records session has it; else one made and closed for the call.
  std::function<int(const QStringList& queries, const QByteArray& arg, bool held)> run;
  QString ssnKey;   // the indexed expression over fitness_tests' ssn
  QString infoKey;  // and over info's
  QString param;   // the one parameter as a statement writes it
  QString listOf;  // `ssnKey` among a list parameter, after WHERE
  QStringList dueQueries;
};

struct Side {
  const char* name;
  int soldiers;
  QString path;  // info.mdb of the folder the windows open
  Engine engine;
};

TestGroup groupOf(int soldiers) {
  TestGroup g{1, QStringLiteral("2026-06-12"), QStringLiteral("Range 4"), {}};
  for (int i = 0; i < kGroup; ++i) {
    const int s = (i * 13) % soldiers;
    g.members << GroupMember{digitsOf(s), QStringLiteral("Soldier%1, Pat").arg(s), "M", "1990-04-12", "A CO",
                             "general"};
  }
  return g;
}

void measure(const Side& side) {
  const Engine& e = side.engine;
  const int soldiers = side.soldiers;
  const QString where = QStringLiteral(" on ") + QLatin1String(side.name) +
                        QStringLiteral(" (%1 records)").arg(soldiers * kTestsEach);
  const auto soldier = [soldiers](int turn) { return (turn * 3779 + 17) % soldiers; };
  const QString five = "SELECT * FROM fitness_tests WHERE ";

  if (wanted("due") || wanted("before")) {
    const auto ours = [&](bool latestOnly) {
      return [&, latestOnly](int) {
        QElapsedTimer t;
        t.start();
        const ReportTable list = dueList(latestOnly ? readDueListRecords(side.path, kAsOf)
                                                    : readTestDayRecords(side.path, true),
                                         kAsOf, 6);
        const double ms = msSince(t);
        if (list.rows.isEmpty()) die("due list empty");
        return ms;
      };
    };
    const auto engine = [&](int) {
      QElapsedTimer t;
      t.start();
      const int rows = e.run(e.dueQueries, QByteArray(), false);
      const double ms = msSince(t);
      if (rows != 2 * soldiers) die("engine's due rows:", QString::number(rows));
      return ms;
    };
    if (wanted("due")) report(qPrintable("due list" + where), inTurns("due", kSlowTurns, ours(true), engine), 2.0);
    if (wanted("before"))
      report(qPrintable("due list from every record" + where), inTurns("due before", 1, ours(false), engine), 2.0);
  }

  if (wanted("cards")) {
    const TestGroup group = groupOf(soldiers);
    QStringList keys;
    for (const GroupMember& m : group.members) keys << m.ssn;
    const QByteArray list = e.param == QLatin1String("?")
                                ? '[' + ('"' + keys.join(QStringLiteral("\",\"")) + '"').toUtf8() + ']'
                                : '{' + keys.join(',').toUtf8() + '}';
    const Pair cards = inTurns(
        "cards", kSlowTurns,
        [&](int) {
          QElapsedTimer t;
          t.start();
          auto records = FitnessRecords::forDatabase(side.path);
          records->open();
          const QList<FitnessCard> c = cardsForGroup(group, *records);
          records->close();
          const double ms = msSince(t);
          if (c.size() != kGroup || c.first().tests.size() != 4) die("cards");
          return ms;
        },
        [&](int) {
          QElapsedTimer t;
          t.start();
          const int rows = e.run({five + e.listOf}, list, false);
          const double ms = msSince(t);
          if (rows != kGroup * kTestsEach) die("engine's card rows:", QString::number(rows));
          return ms;
        });
    report(qPrintable("cards of 600 soldiers" + where), cards, 2.0);
  }

  // Each of history and find twice: opening the records for the call, and
  // with them held open (in the program the windows hold the folder's
  // records session, so a look-up finds the file open and checked).
  for (const bool held : {false, true}) {
    if (named("held") && !held) continue;
    std::unique_ptr<FitnessRecords> heldFive;
    std::unique_ptr<RecordBackend> heldInfo;
    if (held) {
      heldFive = FitnessRecords::forDatabase(side.path);
      heldFive->open();
      heldInfo = RecordBackend::forDatabase(side.path);
      heldInfo->open();
    }
    const QString how = held ? QStringLiteral(", records held open") : QString();
    if (wanted("history")) {
      const Pair history = inTurns(
          "history", kTurns,
          [&](int turn) {
            QElapsedTimer t;
            t.start();
            const QList<TestResult> h = loadSoldierHistory(side.path, writtenAs(soldier(turn), turn));
            const double ms = msSince(t);
            if (h.size() != kTestsEach) die("history entries:", QString::number(h.size()));
            return ms;
          },
          [&](int turn) {
            QElapsedTimer t;
            t.start();
            const QString info = "SELECT * FROM info WHERE " + e.infoKey + " = " + e.param;
            const int rows = e.run({info, five + e.ssnKey + " = " + e.param}, digitsOf(soldier(turn)).toUtf8(), held);
            const double ms = msSince(t);
            if (rows != kTestsEach) die("engine's history rows:", QString::number(rows));
            return ms;
          });
      report(qPrintable("a soldier's history" + where + how), history, 2.0);
    }
    if (wanted("find")) {
      // Each turn asks for one day of one soldier, written as that day's
      // record has it.
      const auto day = [](int turn) { return (turn * 37) % kTestsEach; };
      const Pair find = inTurns(
          "find", kTurns,
          [&](int turn) {
            QElapsedTimer t;
            t.start();
            auto records = FitnessRecords::forDatabase(side.path);
            records->open();
            const std::optional<RowAsRead> r =
                records->find(writtenAs(soldier(turn), day(turn)), dateOf(day(turn)).toString(Qt::ISODate));
            records->close();
            const double ms = msSince(t);
            if (!r) die("no record found");
            return ms;
          },
          [&](int turn) {
            // The engine gets the row's SSN and date in the statement's text.
            QElapsedTimer t;
            t.start();
            const int rows = e.run({five + "ssn = '" + writtenAs(soldier(turn), day(turn)) + "' AND ssn <> '' AND " +
                                    "test_date = '" + dateOf(day(turn)).toString(Qt::ISODate) + "'"},
                                   QByteArray(), held);
            const double ms = msSince(t);
            if (rows != 1) die("engine's find rows:", QString::number(rows));
            return ms;
          });
      report(qPrintable("one soldier's record of one day" + where + how), find, 2.0);
    }
  }
}

// The grouped queries that give the due list's answer, per soldier: the
// latest record's name and unit, the last result on or before the day.
QStringList fileDueQueries() {
  const QString key = ssnKeySqlite(QStringLiteral("ssn"));
  const QString iso = kAsOf.toString(Qt::ISODate);
  return {"SELECT " + key + " AS k, name, unit, max(test_date) FROM fitness_tests GROUP BY k",
          "SELECT " + key + " AS k, result_go, max(test_date) FROM fitness_tests WHERE result_go <> '' AND test_date <= '" +
              iso + "' GROUP BY k"};
}

QString divisionFile() {
  return keptRecordsFile(
      QStringLiteral("bench_division_data"), QStringLiteral("info-%1.mdb").arg(kFileSoldiers),
      [](sqlite3* db) {
        insertAll(db, fiveEventInsert(), kFileSoldiers * kTestsEach,
                  [](int r) { return fiveEventRow(r % kFileSoldiers, r / kFileSoldiers); });
      },
      [](const QString& making) {
        // The program's own first open adds what it adds to any file (the
        // index of info by SSN, the change counter).
        auto records = FitnessRecords::forDatabase(making);
        records->open();
        records->close();
        auto info = RecordBackend::forDatabase(making);
        info->open();
        info->close();
      });
}

void onFile() {
  Side side{"file", kFileSoldiers, divisionFile(), {}};
  side.engine.ssnKey = ssnKeySqlite(QStringLiteral("ssn"));
  side.engine.infoKey = ssnKeySqlite(QStringLiteral("SSN"));
  side.engine.param = QStringLiteral("?");
  side.engine.listOf = side.engine.ssnKey + " IN (SELECT value FROM json_each(?))";
  side.engine.dueQueries = fileDueQueries();
  const QString path = side.path;
  static sqlite3* kept = nullptr;
  side.engine.run = [path](const QStringList& queries, const QByteArray& arg, bool held) {
    sqlite3* db = held ? kept : nullptr;
    if (!db) check(db, sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
    if (held) kept = db;
    size_t bytes = 0;
    int rows = 0;
    for (const QString& q : queries) {
      sqlite3_stmt* st = nullptr;
      check(db, sqlite3_prepare_v2(db, q.toUtf8().constData(), -1, &st, nullptr));
      if (sqlite3_bind_parameter_count(st) > 0) sqlite3_bind_text(st, 1, arg.constData(), int(arg.size()), SQLITE_STATIC);
      rows += readEveryField(st, bytes);
      sqlite3_finalize(st);
    }
    if (!held) sqlite3_close(db);
    if (bytes == 0) die("engine read nothing");
    return rows;
  };
  std::printf("file %s: %d five-event records\n", qPrintable(path), kFileSoldiers * kTestsEach);
  measure(side);
}

void onServer() {
  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::printf("server part skipped: no records server (run under pg_virtualenv): %s\n", qPrintable(scratch.error()));
    return;
  }
  QElapsedTimer made;
  made.start();
  // Soldier s = i % soldiers, test t = i / soldiers, as on the file. The
  // records' triggers (trail, change counter) are for stations' changes, not
  // for a load.
  scratch.admin().exec("SET session_replication_role = replica");
  scratch.admin().exec(
      "INSERT INTO fitness_tests (name, rank, ssn, sex, dob, unit, mos, pay_grade, standard, test_date, deadlift_1, "
      "deadlift_2, pushup, sdc_s, plank_s, run_s, deadlift_pts, pushup_pts, sdc_pts, plank_pts, run_pts, deadlift_go, "
      "pushup_go, sdc_go, plank_go, run_go, total_pts, result_go, grader_deadlift, grader_pushup, grader_sdc, "
      "grader_plank, grader_run, oic_ncoic_name) "
      "SELECT format('Soldier%s, Pat %s', lpad((i % $2)::text, 5, '0'), chr(65 + (i / $2) % 26)), 'SGT', "
      "CASE WHEN (i / $2) % 2 = 1 THEN (100000000 + (i % $2) * 7919)::text ELSE "
      "regexp_replace((100000000 + (i % $2) * 7919)::text, '^(...)(..)(....)$', '\\1-\\2-\\3') END, "
      "CASE WHEN (i % $2) % 3 = 0 THEN 'F' ELSE 'M' END, '1990-04-12', chr(65 + (i % $2) % 6) || ' CO 1-5 IN', "
      "'11B', 'E-5', 'general', to_char(date '2001-01-01' + (i / $2) * 73, 'YYYY-MM-DD'), 180, 190, 34, 131, 205, "
      "1102, 70, 60, 80, 70, 60, 'GO', 'GO', 'GO', 'GO', 'GO', 340, "
      "CASE WHEN ((i % $2) + (i / $2)) % 9 = 0 THEN 'NO-GO' ELSE 'GO' END, 'JK', 'LM', 'NO', 'PQ', 'RS', "
      "'SFC Tanaka' FROM generate_series(0, $1 - 1) AS i",
      {pg::text(QString::number(kServerSoldiers * kTestsEach)), pg::text(QString::number(kServerSoldiers))});
  scratch.admin().exec("SET session_replication_role = origin");
  scratch.admin().exec("VACUUM ANALYZE fitness_tests");
  std::printf("server: %d five-event records, loaded in %.1f s\n", kServerSoldiers * kTestsEach,
              double(made.elapsed()) / 1000.0);

  // A folder whose connection file sends the windows to the server.
  QTemporaryDir folder;
  {
    QFile conn(folder.filePath(QStringLiteral("info.pgconn")));
    if (!conn.open(QIODevice::WriteOnly)) die("cannot write", conn.fileName());
    conn.write(scratch.conninfo().toUtf8() + "\n");
    conn.close();
    conn.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  }
  Side side{"the server", kServerSoldiers, folder.filePath(QStringLiteral("info.mdb")), {}};
  Engine& e = side.engine;
  e.ssnKey = ssnKeyPostgres(QStringLiteral("ssn"));
  e.infoKey = e.ssnKey;
  e.param = QStringLiteral("$1");
  e.listOf = e.ssnKey + " = ANY($1::text[])";
  const QString key = ssnKeyPostgres(QStringLiteral("ssn"));
  e.dueQueries = {"SELECT DISTINCT ON (k) " + key +
                      " AS k, name, unit, test_date FROM fitness_tests ORDER BY k, test_date DESC",
                  "SELECT DISTINCT ON (k) " + key +
                      " AS k, result_go, test_date FROM fitness_tests WHERE result_go <> '' AND test_date <= '" +
                      kAsOf.toString(Qt::ISODate) + "' ORDER BY k, test_date DESC"};
  const QByteArray conninfo = scratch.conninfo().toUtf8();
  static PGconn* kept = nullptr;
  e.run = [conninfo](const QStringList& queries, const QByteArray& arg, bool held) {
    // libpq alone: connect, the statements, every field read.
    PGconn* c = held ? kept : nullptr;
    if (!c) c = PQconnectdb(conninfo.constData());
    if (PQstatus(c) != CONNECTION_OK) die("connect:", QString::fromUtf8(PQerrorMessage(c)));
    if (held) kept = c;
    int rows = 0;
    size_t bytes = 0;
    for (const QString& q : queries) {
      const QByteArray sql = q.toUtf8();
      const char* params[] = {arg.constData()};
      PGresult* r = PQexecParams(c, sql.constData(), sql.contains("$1") ? 1 : 0, nullptr, params, nullptr, nullptr, 0);
      if (PQresultStatus(r) != PGRES_TUPLES_OK) die("query:", QString::fromUtf8(PQresultErrorMessage(r)));
      for (int i = 0; i < PQntuples(r); ++i)
        for (int f = 0; f < PQnfields(r); ++f) bytes += size_t(PQgetlength(r, i, f)) + 1;
      rows += PQntuples(r);
      PQclear(r);
    }
    if (!held) PQfinish(c);
    if (bytes == 0) die("libpq read nothing");
    return rows;
  };
  measure(side);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (where("file")) onFile();
  if (where("server")) onServer();
  return 0;
}
