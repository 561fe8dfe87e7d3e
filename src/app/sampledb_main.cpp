// ravelin-sampledb <path>: makes a records database holding a dozen made-up
// soldiers, so the scorer can be tried out. Never touches an existing file.
//
// The soldiers marked as tested are scored by Convert itself, from the points
// tables beside the database (2m.dat, su.dat, pu.dat), so their points, totals
// and status are exactly what the scorer would give them.
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <optional>

#include "convert.h"
#include "dbfile.h"
#include "profile.h"
#include "sqlitedb.h"

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
  const char* remark;
  bool tested;       // scored by Convert
  bool profileYes;   // the answer to a profile question (events entered as 0)
  int daysAgo;       // when the test was scored
};

// Names, numbers and dates are invented; the 000 area is never issued.
const Soldier kSoldiers[] = {
    {"Abernathy, Cole", "SGT", "000-00-0001", "M", "03/14/1994", "62", "70", "14", "48", "Squad leader", true, false, 3},
    {"Brightwater, Dana", "SPC", "000000002", "F", "07/02/1999", "12", "58", "18", "30", "Retest in 30 days", true,
     false, 3},
    {"Castellanos, Ivo", "PFC", "000-00-0003", "M", "11/23/2001", "71", "78", "16", "59", "", true, false, 12},
    {"Dunmore, Reese", "SSG", "000-00-0004", "F", "01/30/1988", "0", "66", "17", "12", "Permanent profile: push-ups",
     true, true, 12},
    {"Eklund, Mara", "1LT", "000-00-0005", "F", "05/17/1996", "42", "61", "15", "20", "", false, false, 0},
    {"Fairweather, Otto", "CPL", "000-00-0006", "M", "09/09/1997", "55", "70", "14", "05", "New to the unit", true,
     false, 40},
    {"Galloway, Penn", "N/A", "000000007", "M", "12/01/2003", "", "", "", "", "", false, false, 0},
    {"Holloway, Jun", "SFC", "000-00-0008", "M", "02/28/1983", "48", "64", "15", "36", "", true, false, 40},
    {"Ingram, Tess", "PV2", "000-00-0009", "F", "08/15/2004", "25", "55", "0", "00", "Run not taken: ask about a profile",
     false, false, 0},
    {"Jessop, Lark", "CPT", "000-00-0010", "F", "04/04/1991", "38", "66", "17", "40", "Tested last year", true, false,
     400},
    {"Kowalczyk, Bram", "MSG", "000-00-0011", "M", "06/21/1980", "", "", "", "", "", false, false, 0},
    {"Lindqvist, Rue", "SPC", "000-00-0012", "M", "10/10/2000", "61", "72", "13", "30", "", false, false, 0},
};

using quillon::Ctl;

// Convert's view of one soldier: the entries in, the results out; questions
// answered as the soldier's entry says; no alternate event among the samples.
class SampleHost : public quillon::ConvertHost, quillon::ScoreControls, quillon::MessageSeam, quillon::Clock {
 public:
  SampleHost(const Soldier& s, QDate day) : s_(s), day_(day) {
    values_[Ctl::DOB] = QString::fromUtf8(s.dob);
    values_[Ctl::Sex] = QString::fromUtf8(s.sex);
    values_[Ctl::RAW_PU] = QString::fromUtf8(s.pu);
    values_[Ctl::RAW_SU] = QString::fromUtf8(s.su);
    values_[Ctl::RUN_M] = QString::fromUtf8(s.runM);
    values_[Ctl::RUN_S] = QString::fromUtf8(s.runS);
  }
  QString value(Ctl c) const { return values_.value(c); }
  QString failure() const { return failure_; }

  quillon::ScoreControls& controls() override { return *this; }
  quillon::MessageSeam& messages() override { return *this; }
  const quillon::Clock& clock() const override { return *this; }
  void setProfileEvent(const QString& phrase) override { event_ = phrase; }
  quillon::ConversionState& state() override { return state_; }
  void Profile() override { quillon::askProfileForEvent(*this, *this, event_, state_); }
  void ProfileCheck() override { quillon::askProfileMark(*this, *this); }
  bool WaitForAlternate() override { return false; }
  void EndAlternate() override {}

  QString text(Ctl c) const override { return values_.value(c); }
  void setText(Ctl c, const QString& v) override { values_[c] = v; }
  void message(const QString& text, const QString&, quillon::MsgIcon) override { failure_ = text; }
  bool askYesNo(const QString&, const QString&) override { return s_.profileYes; }
  QDate today() const override { return day_; }

 private:
  const Soldier& s_;
  QDate day_;
  QString event_;
  quillon::ConversionState state_;
  QString failure_;
  QHash<Ctl, QString> values_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream err(stderr);
  QTextStream out(stdout);
  if (argc != 2) {
    err << "usage: ravelin-sampledb <path of the info.mdb to make>\n"
           "The points tables 2m.dat, su.dat and pu.dat must lie in the same folder.\n";
    return 2;
  }
  const QString path = QString::fromLocal8Bit(argv[1]);
  if (QFileInfo::exists(path)) {
    out << path << " exists, left unchanged\n";
    return 0;
  }

  // Score the tested soldiers first, so a missing table leaves no database behind.
  quillon::ScoringTables tables;
  tables.open(QFileInfo(path).absolutePath());
  std::vector<QStringList> rows;
  for (const Soldier& s : kSoldiers) {
    SampleHost host(s, QDate::currentDate().addDays(-s.daysAgo));
    if (s.tested && quillon::Convert(host, tables) != quillon::ConvertEnd::Finished) {
      err << "Cannot score " << s.name << ": " << host.failure() << "\n";
      return 1;
    }
    rows.push_back({QString::fromUtf8(s.name), QString::fromUtf8(s.rank), QString::fromUtf8(s.ssn),
                    host.value(Ctl::Sex), host.value(Ctl::DOB), host.value(Ctl::DOT), host.value(Ctl::RAW_PU),
                    host.value(Ctl::RAW_SU), host.value(Ctl::RUN_M), host.value(Ctl::RUN_S), host.value(Ctl::C_PU),
                    host.value(Ctl::C_SU), host.value(Ctl::C_RUN), host.value(Ctl::TOTAL), host.value(Ctl::STAT),
                    host.value(Ctl::Prof), QString::fromUtf8(s.remark)});
  }

  try {
    quillon::createRecordsDatabase(path);
  } catch (const quillon::DbError& e) {
    err << e.message() << "\n";
    return 1;
  }
  std::optional<quillon::sqlite::Database> db;
  try {
    db.emplace(path, quillon::sqlite::Database::Mode::ReadWrite);
  } catch (const quillon::DbError& e) {
    err << path << ": " << e.message() << "\n";
    return 1;
  }
  try {
    quillon::sqlite::Transaction t(*db);
    {
      quillon::sqlite::Statement st(
          *db,
          "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, DOT, RAW_PU, RAW_SU, RUN_M, RUN_S, C_PU, C_SU, C_RUN, "
          "TOTAL, STAT, PROFILE, REMARK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
      for (const QStringList& r : rows) {
        st.reset();
        for (int i = 0; i < r.size(); ++i) st.bindText(i + 1, r[i]);
        st.run();
      }
    }
    t.commit();
  } catch (const quillon::DbError& e) {
    err << path << ": " << e.message() << "\n";
    db.reset();
    QFile::remove(path);
    return 1;
  }
  db.reset();
  out << path << ": " << rows.size() << " sample soldiers written\n";
  return 0;
}
