// Every file the programs write that names soldiers (the records and their
// journal, backups, exports, reports, cards) is its owner's alone: the list
// below names each writer once, runs it into a folder of its own under a
// umask that would let anyone read, and checks every file the writer left.
// A new writer of personal data belongs in this list.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cards.h"
#include "changetrail.h"
#include "commands.h"
#include "dbfile.h"
#include "exportwriter.h"
#include "fitnessrecords.h"
#include "groupreports.h"
#include "officialform.h"
#include "recordingmessages.h"
#include "recordrow.h"
#include "recordsfixture.h"
#include "repair.h"
#include "report.h"
#include "scorecard.h"
#include "takeout.h"
#include "testgroupfixture.h"
#include "testgroups.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// A report with one soldier's row, as the group's reports and the due list
// make them.
ReportTable oneSoldierTable() {
  ReportTable t;
  t.title = QStringLiteral("Due List");
  t.columns = {{QStringLiteral("name"), QStringLiteral("Name"), 20},
               {QStringLiteral("ssn"), QStringLiteral("SSN"), 11, ExportTable::Kind::Text, QStringLiteral("ssn")}};
  t.rows = {{QStringLiteral("Yates, Ann B"), QStringLiteral("123456789")}};
  return t;
}

RecordRow oneRecordRow() {
  RecordRow r = blankRecordRow();
  r[fieldIndex("LNAME")] = QStringLiteral("Yates, Ann B");
  r[fieldIndex("SSN")] = QStringLiteral("123-45-6789");
  return r;
}

// A records file with a saved group and a five-event record, as a test day
// leaves it.
QString recordsWithAGroup(const QString& dir) {
  const QString db = QDir(dir).filePath(QStringLiteral("info.mdb"));
  createRecordsDatabase(db);
  const TestGroup g = TestGroups::forDatabase(db)->save(rangeDayGroup());
  FitnessRecords::forDatabase(db)->add({{QStringLiteral("name"), g.members.at(0).name},
                                        {QStringLiteral("ssn"), g.members.at(0).ssn},
                                        {QStringLiteral("test_date"), g.testDate}});
  return db;
}

// Runs a maintenance command on the records in `dir` as the picker names
// them; empty when it said it was done (and perhaps more), else what it said.
QString maintain(const QString& dir, void (dbtool::MaintenanceCommands::*command)(const dbtool::PickerState&),
                 const QString& done) {
  dbtool::test::RecordingMessages seam;
  dbtool::MaintenanceCommands cmd(seam);
  (cmd.*command)({QStringLiteral("info.mdb"), QStringLiteral("info.mdb"), QString(), dir});
  QStringList said;
  for (const auto& box : seam.boxes) said << box.text;
  return said.size() == 1 && said.first().startsWith(done) ? QString() : said.join(QStringLiteral(" / "));
}

struct Writer {
  const char* name;
  std::function<QString(const QString& dir)> write;  // empty, or why it wrote nothing
};

QString ok(bool written, const char* why = "not written") { return written ? QString() : QString::fromLatin1(why); }

const std::vector<Writer>& writers() {
  static const std::vector<Writer> all = {
      {"new records file", [](const QString& dir) {
         createRecordsDatabase(QDir(dir).filePath(QStringLiteral("info.mdb")));
         return QString();
       }},
      {"records with a group and a five-event record", [](const QString& dir) {
         recordsWithAGroup(dir);
         return QString();
       }},
      {"a group taken out to a laptop's folder", [](const QString& dir) {
         // The office's folder is the test's own, made owner-only here.
         const QString office = QDir(dir).filePath(QStringLiteral("office"));
         if (!QDir().mkdir(office) || !QFile::setPermissions(office, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner))
           return QStringLiteral("cannot make the office's folder");
         const QString db = recordsWithAGroup(office);
         const qint64 group = TestGroups::forDatabase(db)->all().front().id;
         fieldday::takeOut(office, group, QDir(dir).filePath(QStringLiteral("laptop")));
         return QString();
       }},
      {"the trail of changes as CSV", [](const QString& dir) {
         exportTrailCsv({}, QDir(dir).filePath(QStringLiteral("trail.csv")));
         return QString();
       }},
      {"three-event records as CSV", [](const QString& dir) {
         return writeRecordsCsv(QDir(dir).filePath(QStringLiteral("records.csv")), {oneRecordRow()});
       }},
      {"three-event records as a workbook", [](const QString& dir) {
         return writeRecordsXlsx(QDir(dir).filePath(QStringLiteral("records.xlsx")), {oneRecordRow()});
       }},
      {"report rows as CSV", [](const QString& dir) {
         return writeTableCsv(QDir(dir).filePath(QStringLiteral("due.csv")), exportTable(oneSoldierTable()));
       }},
      {"report rows as a workbook", [](const QString& dir) {
         return writeTableXlsx(QDir(dir).filePath(QStringLiteral("due.xlsx")), exportTable(oneSoldierTable()));
       }},
      {"report as PDF", [](const QString& dir) {
         // Both programs' report windows save through this one writer.
         writeReportPdf(preparedReport(oneSoldierTable()), QDir(dir).filePath(QStringLiteral("due.pdf")),
                        QStringLiteral("06/12/2026"));
         return QString();
       }},
      {"report as PDF over an older one readable by all", [](const QString& dir) {
         const QString path = QDir(dir).filePath(QStringLiteral("due.pdf"));
         QFile old(path);
         if (!old.open(QIODevice::WriteOnly) || old.write("old") != 3) return QStringLiteral("no older file");
         old.close();
         QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
         writeReportPdf(preparedReport(oneSoldierTable()), path, QStringLiteral("06/12/2026"));
         return QString();
       }},
      {"three-event scorecards as PDF", [](const QString& dir) {
         return writeScorecardsPdf({Record{{QStringLiteral("LNAME"), QStringLiteral("Yates, Ann B")},
                                           {QStringLiteral("SSN"), QStringLiteral("123-45-6789")}}},
                                   QDir(dir).filePath(QStringLiteral("cards.pdf")));
       }},
      {"five-event cards as PDF", [](const QString& dir) {
         FitnessCard card;
         card.lastName = QStringLiteral("Yates");
         card.firstName = QStringLiteral("Ann");
         return writeFitnessCardsPdf({card}, QDir(dir).filePath(QStringLiteral("cards.pdf")));
       }},
      {"five-event official forms as PDF", [](const QString& dir) {
         FitnessCard card;
         card.lastName = QStringLiteral("Yates");
         card.firstName = QStringLiteral("Ann");
         return officialform::writeOfficialCards({card, card}, QDir(dir).filePath(QStringLiteral("forms.pdf")));
       }},
      {"compacted records and their backup", [](const QString& dir) {
         recordsWithAGroup(dir);
         if (QString why = maintain(dir, &dbtool::MaintenanceCommands::compact, dbtool::MaintenanceCommands::kCompactDone);
             !why.isEmpty())
           return why;
         return ok(QFileInfo::exists(QDir(dir).filePath(QStringLiteral("info.old"))), "no backup was made");
       }},
      {"compacted records and their backup, from records readable by all", [](const QString& dir) {
         // As a file made by an older program, or copied in from a stick.
         const QString db = recordsWithAGroup(dir);
         QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
         if (QString why = maintain(dir, &dbtool::MaintenanceCommands::compact, dbtool::MaintenanceCommands::kCompactDone);
             !why.isEmpty())
           return why;
         return ok(QFileInfo::exists(QDir(dir).filePath(QStringLiteral("info.old"))), "no backup was made");
       }},
      {"repaired damaged records and the damaged file kept, from records readable by all", [](const QString& dir) {
         const QString db = QDir(dir).filePath(QStringLiteral("info.mdb"));
         dbtool::test::makeRecords(db, 3000);
         QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
         dbtool::test::damagePage(db, QFileInfo(db).size() / 4096 / 2, 4096);
         if (QString why = maintain(dir, &dbtool::MaintenanceCommands::repair, dbtool::MaintenanceCommands::kRepairDone);
             !why.isEmpty())
           return why;
         return ok(QFileInfo::exists(dbtool::damagedKeepPath(db)), "the damaged file was not kept");
       }},
      {"repaired records", [](const QString& dir) {
         recordsWithAGroup(dir);
         return maintain(dir, &dbtool::MaintenanceCommands::repair, dbtool::MaintenanceCommands::kRepairDone);
       }},
  };
  return all;
}

class OwnerOnlyFiles : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override { old_ = ::umask(022); }
  void TearDown() override { ::umask(old_); }
  mode_t old_ = 0;
};

}  // namespace

TEST_P(OwnerOnlyFiles, EveryFileTheWriterLeavesIsItsOwnersAlone) {
  const Writer& w = writers().at(GetParam());
  // The writer's folder is the current one, as the tools make it.
  ScratchDir scratch;
  const QString dir = scratch.path();
  const QString why = w.write(dir);
  ASSERT_TRUE(why.isEmpty()) << w.name << ": " << why.toStdString();
  int files = 0;
  QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    const char* expected = S_ISDIR(st.st_mode) ? "700" : "600";
    EXPECT_EQ(QString::number(st.st_mode & 07777, 8).toStdString(), expected)
        << w.name << ": " << QDir(dir).relativeFilePath(path).toStdString();
    files += S_ISREG(st.st_mode) ? 1 : 0;
  }
  EXPECT_GT(files, 0) << w.name << " wrote nothing";
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, OwnerOnlyFiles, ::testing::Range<size_t>(0, writers().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           QString n = QString::fromLatin1(writers().at(info.param).name);
                           QString out;
                           bool up = true;
                           for (QChar c : n) {
                             if (!c.isLetterOrNumber()) {
                               up = true;
                               continue;
                             }
                             out += up ? c.toUpper() : c;
                             up = false;
                           }
                           return out.toStdString();
                         });
