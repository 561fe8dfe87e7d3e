// A division's records: 10,000 soldiers with 100 three-event and 100
// five-event records each (1,000,000 of each kind) in a records file, and
// 1,000 soldiers with 100 of each on a records server, each measured against
// its baseline in the same run, in turns (who goes first alternating):
//   history   a soldier's history as the History window loads it, against
//             the engine alone opening the file (or connecting), running the
//             indexed query for that SSN on both tables and reading every
//             field as text; on file a second time with both sides holding
//             the file open across calls, as the History window finds it;
//   cards     a group of 600 soldiers' cards, against the engine reading the
//             same rows (every field as text) through the same index;
//   due list  the due list from every record, against the engine's own
//             grouped queries giving the same answer (each soldier's latest
//             name and unit, last five-event result, last three-event date);
//   picker    the soldiers the test-day window offers to pick from the
//             records, against the engine's own grouped queries giving each
//             soldier's latest particulars of either kind.
// Reports the median of the per-turn ratios against each goal. The file is
// made once (one transaction, prepared statements) and kept beside the
// bench for the next run. The server part needs a server through the PG*
// environment (pg_virtualenv) and is skipped without one.
//
//   bench_history [history] [held] [cards] [due] [picker] [server]   (all when none is
//                                       named; all but the last on file; `held`
//                                       the history held open only, to profile)
#include <libpq-fe.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "cardsfromrecords.h"
#include "dbfile.h"
#include "divisionrecords.h"
#include "fitnessrecords.h"
#include "groupreports.h"
#include "history.h"
#include "pgscratch.h"
#include "recordbackend.h"
#include "ssnkey.h"
#include "storedsoldiers.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

// Sizes from the environment, for a quick run: QUILLON_BENCH_SOLDIERS
// (10,000; the file is made again when it was made for another number) and
// QUILLON_BENCH_SERVER_SOLDIERS (1,000), each with 100 records of each kind.
int envSoldiers(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v >= 600 ? v : fallback;
}
const int kSoldiers = envSoldiers("QUILLON_BENCH_SOLDIERS", 10000);
constexpr int kTestsEach = 100;
const int kServerSoldiers = envSoldiers("QUILLON_BENCH_SERVER_SOLDIERS", 1000);
constexpr int kGroup = 600;
constexpr int kTurns = 9;
constexpr int kSlowTurns = 5;
constexpr int kDueTurns = 3;

QList<QByteArray> threeEventRow(int s, int t) {
  const QDate d = dateOf(t).addDays(11);
  return {QStringLiteral("Soldier%1, Pat").arg(s, 5, 10, QLatin1Char('0')).toUtf8(),
          "SGT",
          writtenAs(s, t + 1).toUtf8(),
          "M",
          "04/12/1990",
          d.toString(QStringLiteral("MM/dd/yyyy")).toUtf8(),
          "41",
          "52",
          "15",
          QByteArray::number(t % 60),
          "80",
          "75",
          "70",
          "225",
          "PASS",
          "",
          ""};
}

// The division's records file, made once and kept for later runs.
QString divisionFile() {
  const int rows = kSoldiers * kTestsEach;
  return keptRecordsFile(
      QStringLiteral("bench_history_data"), QStringLiteral("info-%1.mdb").arg(kSoldiers),
      [rows](sqlite3* db) {
        insertAll(db,
                  "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, "
                  "C_RUN, TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                  rows, [](int r) { return threeEventRow(r % kSoldiers, r / kSoldiers); });
        insertAll(db, fiveEventInsert(), rows, [](int r) { return fiveEventRow(r % kSoldiers, r / kSoldiers); });
      },
      [](const QString& making) {
        // The scorer's own first open adds what an older file lacks (the
        // index of info by SSN among it).
        auto info = RecordBackend::forDatabase(making);
        info->open();
        info->close();
      });
}

TestGroup groupOf(int count, int every) {
  TestGroup g{1, QStringLiteral("2026-06-12"), QStringLiteral("Range 4"), {}};
  for (int i = 0; i < count; ++i) {
    const int s = (i * every) % kSoldiers;
    g.members << GroupMember{digitsOf(s), QStringLiteral("Soldier%1, Pat").arg(s), "M", "1990-04-12", "A CO",
                             "general"};
  }
  return g;
}

QString soldierQuery(const char* table, const char* column, const QString& where) {
  return QStringLiteral("SELECT * FROM %1 WHERE %2 %3")
      .arg(QLatin1String(table), ssnKeySqlite(QLatin1String(column)), where);
}

bool wanted(const char* part) {
  const QStringList args = QCoreApplication::arguments().mid(1);
  return args.isEmpty() || args.contains(QLatin1String(part));
}

void onFile() {
  const QString path = divisionFile();
  std::printf("file %s: %d three-event and %d five-event records\n", qPrintable(path), kSoldiers * kTestsEach,
              kSoldiers * kTestsEach);

  const auto soldier = [](int turn) { return (turn * 3779 + 17) % kSoldiers; };
  // Twice: each side opening the file for the call, and each holding it
  // open across calls, as the History window finds the folder's records
  // session held by the test-day window it belongs to (the engine keeps its
  // connection and prepares its two statements anew each call).
  for (const bool held : {false, true}) {
    if (!wanted("history") && !(held && wanted("held"))) continue;
    std::unique_ptr<FitnessRecords> heldFive;
    std::unique_ptr<RecordBackend> heldInfo;
    sqlite3* kept = nullptr;
    if (held) {
      heldFive = FitnessRecords::forDatabase(path);
      heldFive->open();
      heldInfo = RecordBackend::forDatabase(path);
      heldInfo->open();
      check(kept, sqlite3_open_v2(QFile::encodeName(path).constData(), &kept, SQLITE_OPEN_READWRITE, nullptr));
    }
    const QStringList queries = {soldierQuery("info", "SSN", "= ?"), soldierQuery("fitness_tests", "ssn", "= ?")};
    const Pair history = inTurns(
        held ? "history held" : "history", kTurns,
        [&](int turn) {
          QElapsedTimer t;
          t.start();
          const QList<TestResult> h = loadSoldierHistory(path, writtenAs(soldier(turn), turn));
          const double ms = msSince(t);
          if (h.size() != 2 * kTestsEach) die("history entries:", QString::number(h.size()));
          return ms;
        },
        [&](int turn) {
          const QByteArray ssn = digitsOf(soldier(turn)).toUtf8();
          if (!held) return engineOnFile(path, queries, ssn, 2 * kTestsEach);
          QElapsedTimer t;
          t.start();
          size_t bytes = 0;
          int rows = 0;
          for (const QString& q : queries) {
            sqlite3_stmt* st = nullptr;
            check(kept, sqlite3_prepare_v2(kept, q.toUtf8().constData(), -1, &st, nullptr));
            sqlite3_bind_text(st, 1, ssn.constData(), int(ssn.size()), SQLITE_STATIC);
            rows += readEveryField(st, bytes);
            sqlite3_finalize(st);
          }
          const double ms = msSince(t);
          if (rows != 2 * kTestsEach || bytes == 0) die("engine rows:", QString::number(rows));
          return ms;
        });
    report(held ? "history on file (1,000,000 + 1,000,000), records held open" : "history on file (1,000,000 + 1,000,000)",
           history, 2.0);
    if (kept) sqlite3_close(kept);
  }

  if (wanted("cards")) {
    const TestGroup group = groupOf(kGroup, 13);
    QStringList keys;
    for (const GroupMember& m : group.members) keys << '"' + m.ssn + '"';
    const QByteArray json = '[' + keys.join(',').toUtf8() + ']';
    const Pair cards = inTurns(
        "cards", kSlowTurns,
        [&](int) {
          QElapsedTimer t;
          t.start();
          auto records = FitnessRecords::forDatabase(path);
          records->open();
          const QList<FitnessCard> c = cardsForGroup(group, *records);
          const double ms = msSince(t);
          if (c.size() != kGroup || c.first().tests.size() != 4) die("cards");
          return ms;
        },
        [&](int) {
          return engineOnFile(path, {soldierQuery("fitness_tests", "ssn", "IN (SELECT value FROM json_each(?))")}, json,
                              kGroup * kTestsEach);
        });
    report("cards of 600 soldiers on file", cards, 2.0);
  }
  if (!wanted("due")) return;

  const QDate asOf(2026, 6, 12);
  const QString iso = asOf.toString(Qt::ISODate);
  const QString key = ssnKeySqlite(QStringLiteral("ssn"));
  const QString infoKey = ssnKeySqlite(QStringLiteral("SSN"));
  // Per soldier: the latest record's name and unit, the last result on or
  // before the day, the last three-event date on or before it.
  const QStringList grouped = {
      "SELECT " + key + " AS k, name, unit, max(test_date) FROM fitness_tests GROUP BY k",
      "SELECT " + key + " AS k, result_go, max(test_date) FROM fitness_tests WHERE result_go <> '' AND test_date <= '" +
          iso + "' GROUP BY k",
      "SELECT k, max(d) FROM (SELECT " + infoKey +
          " AS k, substr(DOT, 7, 4) || '-' || substr(DOT, 1, 2) || '-' || substr(DOT, 4, 2) AS d FROM info) WHERE d <= "
          "'" +
          iso + "' GROUP BY k"};
  const Pair due = inTurns(
      "due list", kDueTurns,
      [&](int) {
        QElapsedTimer t;
        t.start();
        const ReportTable list = dueList(readDueListRecords(path, asOf), asOf, 6);
        const double ms = msSince(t);
        if (list.rows.isEmpty()) die("due list empty");
        return ms;
      },
      [&](int) { return engineOnFile(path, grouped, QByteArray(), 3 * kSoldiers); });

  report("due list on file (1,000,000 five-event)", due, 2.0);
}

void pickerOnFile(const QString& path) {
  const QString key = ssnKeySqlite(QStringLiteral("ssn"));
  const QString infoKey = ssnKeySqlite(QStringLiteral("SSN"));
  // Per soldier and kind of test: the particulars of the latest record.
  const QStringList newest = {
      "SELECT " + key + " AS k, dod_id, name, sex, dob, max(test_date) FROM fitness_tests GROUP BY k",
      "SELECT k, LNAME, SEX, DOB, max(d) FROM (SELECT " + infoKey +
          " AS k, LNAME, SEX, DOB, substr(DOT, 7, 4) || '-' || substr(DOT, 1, 2) || '-' || substr(DOT, 4, 2) AS d "
          "FROM info) GROUP BY k"};
  const Pair picker = inTurns(
      "picker", kDueTurns,
      [&](int) {
        QElapsedTimer t;
        t.start();
        auto info = RecordBackend::forDatabase(path);
        auto five = FitnessRecords::forDatabase(path);
        const QList<StoredSoldier> all = storedSoldiers(*info, five.get());
        const double ms = msSince(t);
        if (all.size() != kSoldiers) die("soldiers to pick:", QString::number(all.size()));
        return ms;
      },
      [&](int) { return engineOnFile(path, newest, QByteArray(), 2 * kSoldiers); });
  report("soldiers to pick on file (1,000,000 of each kind)", picker, 2.0);
}

void onServer() {
  test::PgScratch scratch(test::setupSqlPath());
  if (!scratch.error().isEmpty()) {
    std::printf("server part skipped: no records server (run under pg_virtualenv): %s\n", qPrintable(scratch.error()));
    return;
  }
  const QByteArray rows = QByteArray::number(kServerSoldiers * kTestsEach);
  const QByteArray soldiers = QByteArray::number(kServerSoldiers);
  // Soldier s = i % soldiers, test t = i / soldiers, as on the file.
  const char* ssn =
      "CASE WHEN (i / $2) % 2 = 1 THEN (100000000 + (i % $2) * 7919)::text ELSE "
      "regexp_replace((100000000 + (i % $2) * 7919)::text, '^(...)(..)(....)$', '\\1-\\2-\\3') END";
  scratch.admin().exec(QByteArray("INSERT INTO info (lname, rank, ssn, sex, dob, dot, raw_pu, raw_su, run_m, run_s, "
                                  "c_pu, c_su, c_run, total, stat) SELECT 'Soldier' || (i % $2) || ', Pat', 'SGT', ") +
                           "CASE WHEN (i / $2) % 2 = 0 THEN (100000000 + (i % $2) * 7919)::text ELSE "
                           "regexp_replace((100000000 + (i % $2) * 7919)::text, '^(...)(..)(....)$', '\\1-\\2-\\3') END"
                           ", 'M', '04/12/1990', to_char(date '2001-01-12' + (i / $2) * 73, 'MM/DD/YYYY'), '41', '52', "
                           "'15', '30', '80', '75', '70', '225', 'PASS' FROM generate_series(0, $1 - 1) AS i",
                       {rows, soldiers});
  scratch.admin().exec(
      QByteArray("INSERT INTO fitness_tests (name, rank, ssn, sex, dob, unit, mos, pay_grade, standard, "
                 "test_date, deadlift_1, pushup, sdc_s, plank_s, run_s, deadlift_pts, pushup_pts, "
                 "sdc_pts, plank_pts, run_pts, total_pts, result_go, oic_ncoic_name) "
                 "SELECT 'Soldier' || (i % $2) || ', Pat', 'SGT', ") +
          ssn +
          ", 'M', '1990-04-12', 'A CO 1-5 IN', '11B', 'E-5', 'general', "
          "to_char(date '2001-01-01' + (i / $2) * 73, 'YYYY-MM-DD'), 180, 34, 131, 205, 1102, 70, 60, "
          "80, 70, 60, 340, 'GO', 'SFC Tanaka' FROM generate_series(0, $1 - 1) AS i",
      {rows, soldiers});
  scratch.admin().exec("ANALYZE info");
  scratch.admin().exec("ANALYZE fitness_tests");
  std::printf("server: %d three-event and %d five-event records\n", kServerSoldiers * kTestsEach,
              kServerSoldiers * kTestsEach);

  // A folder whose connection file sends the History window to the server.
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("info.mdb"));
  {
    QFile conn(folder.filePath(QStringLiteral("info.pgconn")));
    if (!conn.open(QIODevice::WriteOnly)) die("cannot write", conn.fileName());
    conn.write(scratch.conninfo().toUtf8() + "\n");
    conn.close();
    conn.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  }
  const QByteArray info = ("SELECT * FROM info WHERE " + ssnKeyPostgres(QStringLiteral("ssn")) + " = $1").toUtf8();
  const QByteArray five =
      ("SELECT * FROM fitness_tests WHERE " + ssnKeyPostgres(QStringLiteral("ssn")) + " = $1").toUtf8();
  const auto soldier = [](int turn) { return (turn * 379 + 17) % kServerSoldiers; };
  const Pair history = inTurns(
      "server history", kTurns,
      [&](int turn) {
        QElapsedTimer t;
        t.start();
        const QList<TestResult> h = loadSoldierHistory(path, writtenAs(soldier(turn), turn));
        const double ms = msSince(t);
        if (h.size() != 2 * kTestsEach) die("server history entries:", QString::number(h.size()));
        return ms;
      },
      [&](int turn) {
        // libpq alone: connect, the two indexed queries, every field read.
        QElapsedTimer t;
        t.start();
        PGconn* c = PQconnectdb(scratch.conninfo().toUtf8().constData());
        if (PQstatus(c) != CONNECTION_OK) die("connect:", QString::fromUtf8(PQerrorMessage(c)));
        const QByteArray ssnText = digitsOf(soldier(turn)).toUtf8();
        const char* params[] = {ssnText.constData()};
        int rowsRead = 0;
        size_t bytes = 0;
        for (const QByteArray& q : {info, five}) {
          PGresult* r = PQexecParams(c, q.constData(), 1, nullptr, params, nullptr, nullptr, 0);
          if (PQresultStatus(r) != PGRES_TUPLES_OK) die("query:", QString::fromUtf8(PQresultErrorMessage(r)));
          for (int i = 0; i < PQntuples(r); ++i)
            for (int f = 0; f < PQnfields(r); ++f)
              bytes += size_t(PQgetlength(r, i, f)) + (PQgetvalue(r, i, f) ? 0 : 1);
          rowsRead += PQntuples(r);
          PQclear(r);
        }
        PQfinish(c);
        const double ms = msSince(t);
        if (rowsRead != 2 * kTestsEach || bytes == 0) die("libpq rows:", QString::number(rowsRead));
        return ms;
      });
  report("history on the server (100,000 + 100,000)", history, 2.0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (wanted("history") || wanted("held") || wanted("cards") || wanted("due")) onFile();
  if (wanted("picker")) pickerOnFile(divisionFile());
  if (wanted("server")) onServer();
  return 0;
}
