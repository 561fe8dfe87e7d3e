// ravelin-sampledb <path>: makes a records database holding a dozen made-up
// soldiers, so the scorer can be tried out. Never touches an existing file.
//
// The converted rows use results outside the points tables ("100" for a run
// of 7 to 12 minutes, 83 sit-ups or more, 78 push-ups or more; "0" for 4
// push-ups or fewer, a run of 27 minutes or more), so their points, totals
// and status are what Convert itself gives them for any age and sex.
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QTextStream>
#include <sqlite3.h>

#include "dbfile.h"

namespace {

struct Soldier {
  const char* name;
  const char* rank;
  const char* ssn;
  const char* sex;
  const char* dob;
  const char* pu;
  const char* su;
  const char* runM;
  const char* runS;
  // Converted rows only (empty otherwise).
  const char* cPu;
  const char* cSu;
  const char* cRun;
  const char* total;
  const char* stat;
  const char* profile;
  const char* remark;
};

// Names, numbers and dates are invented; the 000 area is never issued.
const Soldier kSoldiers[] = {
    {"Abernathy, Cole", "SGT", "000-00-0001", "M", "03/14/1994", "80", "85", "12", "30", "100", "100", "100", "300",
     "PASS", "", "Squad leader"},
    {"Brightwater, Dana", "SPC", "000000002", "F", "07/02/1999", "3", "85", "12", "45", "0", "100", "100", "200",
     "FAIL", "", "Retest in 30 days"},
    {"Castellanos, Ivo", "PFC", "000-00-0003", "M", "11/23/2001", "78", "83", "27", "10", "100", "100", "0", "200",
     "FAIL", "", ""},
    {"Dunmore, Reese", "SSG", "000-00-0004", "F", "01/30/1988", "0", "90", "12", "10", "0", "100", "100", "0", "PASS",
     "PROFILE", "Permanent profile: push-ups"},
    {"Eklund, Mara", "1LT", "000-00-0005", "F", "05/17/1996", "42", "61", "15", "20", "", "", "", "", "", "", ""},
    {"Fairweather, Otto", "CPL", "000-00-0006", "M", "09/09/1997", "55", "70", "14", "05", "", "", "", "", "", "",
     "New to the unit"},
    {"Galloway, Penn", "N/A", "000000007", "M", "12/01/2003", "", "", "", "", "", "", "", "", "", "", ""},
    {"Holloway, Jun", "SFC", "000-00-0008", "M", "02/28/1983", "81", "88", "11", "58", "100", "100", "100", "300",
     "PASS", "", ""},
    {"Ingram, Tess", "PV2", "000-00-0009", "F", "08/15/2004", "25", "55", "0", "00", "", "", "", "", "", "",
     "Run not taken: ask about a profile"},
    {"Jessop, Lark", "CPT", "000-00-0010", "F", "04/04/1991", "38", "66", "17", "40", "", "", "", "", "", "", ""},
    {"Kowalczyk, Bram", "MSG", "000-00-0011", "M", "06/21/1980", "", "", "", "", "", "", "", "", "", "", ""},
    {"Lindqvist, Rue", "SPC", "000-00-0012", "M", "10/10/2000", "61", "72", "13", "30", "", "", "", "", "", "", ""},
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream err(stderr);
  QTextStream out(stdout);
  if (argc != 2) {
    err << "usage: ravelin-sampledb <path of the info.mdb to make>\n";
    return 2;
  }
  const QString path = QString::fromLocal8Bit(argv[1]);
  if (QFileInfo::exists(path)) {
    out << path << " exists, left unchanged\n";
    return 0;
  }
  try {
    quillon::createRecordsDatabase(path);
  } catch (const quillon::DbError& e) {
    err << e.message() << "\n";
    return 1;
  }

  sqlite3* db = nullptr;
  const QByteArray native = QFile::encodeName(path);
  if (sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    err << path << ": " << sqlite3_errmsg(db) << "\n";
    sqlite3_close(db);
    return 1;
  }
  const char* sql =
      "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, C_RUN, "
      "TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  // Converted a few days ago, in the program's own date form.
  const QByteArray dot = QDate::currentDate().addDays(-3).toString(QStringLiteral("MM/dd/yyyy")).toLatin1();
  for (const Soldier& s : kSoldiers) {
    if (rc != SQLITE_OK) break;
    const bool converted = *s.stat != '\0';
    const char* values[] = {s.name,  s.rank, s.ssn,  s.sex,   s.dob,  converted ? dot.constData() : "",
                            s.pu,    s.su,   s.runM, s.runS,  s.cPu,  s.cSu,
                            s.cRun,  s.total, s.stat, s.profile, s.remark};
    sqlite3_reset(st);
    for (int i = 0; i < 17; ++i) sqlite3_bind_text(st, i + 1, values[i], -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
  }
  sqlite3_finalize(st);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    err << path << ": " << sqlite3_errmsg(db) << "\n";
    sqlite3_close(db);
    QFile::remove(path);
    return 1;
  }
  sqlite3_close(db);
  out << path << ": " << std::size(kSoldiers) << " sample soldiers written\n";
  return 0;
}
