// quillon-score run as a script runs it: its exit statuses, the columns it
// keeps and adds, quoting both ways, and what it writes when it refuses.
// Every official table line is scored through it by check_tables.py; these
// tests hold the program's contract around the scoring.

#include <QProcess>
#include <gtest/gtest.h>

#include "batchscore.h"
#include "csvreader.h"
#include "fitnessfixture.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::figureFor;

namespace {

struct ScorerRun {
  int status = -1;
  QByteArray out;
  QByteArray err;
};

ScorerRun runScorer(const QStringList& args, const QByteArray& input = {}) {
  QProcess p;
  p.start(QStringLiteral(QUILLON_SCORE_PROGRAM), args);
  EXPECT_TRUE(p.waitForStarted());
  p.write(input);
  p.closeWriteChannel();
  EXPECT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QList<QStringList> rows(const QByteArray& csv) {
  const CsvTable t = parseCsv(csv);
  EXPECT_TRUE(t.ok()) << qPrintable(t.error);
  QList<QStringList> out;
  for (const CsvRecord& r : t.records) out << r.fields;
  return out;
}

// A 17-21 man with the 60-point figure in every event, as a file line.
QByteArray sixtyEverywhere() {
  QStringList f;
  for (int i = 0; i < 5; ++i) f << figureFor(i, 0, 60);
  return f.join(',').toUtf8();
}

TEST(QuillonScore, KeepsEveryColumnInAnyOrderAndCaseAndAddsTheScores) {
  const QByteArray input = "Unit;\"Name\";RUN;Plank;SDC;PushUp;Deadlift;Standard;Test_Date;DOB;SEX\n"
                           "\"A Co; 1st Plt\";\"Doe, \"\"JJ\"\"\";" +
                           figureFor(4, 0, 60).toUtf8() + ";" + figureFor(3, 0, 60).toUtf8() + ";" +
                           figureFor(2, 0, 60).toUtf8() + ";" + figureFor(1, 0, 60).toUtf8() + ";" +
                           figureFor(0, 0, 60).toUtf8() + ";General;06/01/2025;2004-06-02;m\n";
  const ScorerRun r = runScorer({}, input);
  EXPECT_EQ(r.status, 0) << r.err.constData();
  const QList<QStringList> out = rows(r.out);
  ASSERT_EQ(out.size(), 2);
  EXPECT_EQ(out[0], QStringList({"Unit", "Name", "RUN", "Plank", "SDC", "PushUp", "Deadlift", "Standard", "Test_Date",
                                 "DOB", "SEX"}) + batch::outputColumns());
  EXPECT_EQ(out[1].mid(0, 2), QStringList({"A Co; 1st Plt", "Doe, \"JJ\""}));
  EXPECT_EQ(out[1].mid(11), QStringList({"17-21", "60", "60", "60", "60", "60", "300", "GO", ""}));
}

TEST(QuillonScore, ScoresTheRestAndExitsTwoWhenSomeRowsAreRefused) {
  quillon::test::ScratchDir dir;
  QFile f(dir.file("day.csv"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("name,sex,dob,test_date,standard,deadlift,pushup,sdc,plank,run,alternate,alternate_time\n"
          "one,M,2004-06-01,2025-06-01,combat," + sixtyEverywhere() + ",,\n"
          "two,M,2004-06-01,2025-06-01,combat,150,15,2:28,1:30,19:57,walk,31:00\n"
          "three,M,2004-06-01,2025-06-01,combat,150,15,2:28,1:30,,walk,31:00\n"
          "four,X,2004-06-01,2025-06-01,combat," + sixtyEverywhere() + ",,\n");
  f.close();
  const ScorerRun r = runScorer({dir.file("day.csv")});
  EXPECT_EQ(r.status, 2);
  const QList<QStringList> out = rows(r.out);
  ASSERT_EQ(out.size(), 5);
  const int refused = int(out[0].indexOf("refused"));
  const int total = int(out[0].indexOf("total"));
  EXPECT_EQ(out[1][total], "300");
  EXPECT_EQ(out[1][refused], "");
  EXPECT_EQ(out[1][out[0].indexOf("result")], "NO-GO");  // combat needs 350
  EXPECT_TRUE(out[2][refused].startsWith("run: ")) << qPrintable(out[2][refused]);
  EXPECT_EQ(out[2][total], "");
  EXPECT_EQ(out[2][out[0].indexOf("age_group")], "");
  EXPECT_EQ(out[3][out[0].indexOf("run_points")], "60");
  EXPECT_EQ(out[4][refused], "sex: \"X\" is not M or F");
  EXPECT_TRUE(r.err.contains("line 3: run: ")) << r.err.constData();
  EXPECT_TRUE(r.err.contains("line 5: sex: ")) << r.err.constData();
}

TEST(QuillonScore, ReadsStandardInputTheSameAsAFile) {
  quillon::test::ScratchDir dir;
  const QByteArray input = "sex,dob,test_date,standard,deadlift,pushup,sdc,plank,run\n"
                           "F,1963-02-28,2025-06-01,general," + sixtyEverywhere() + "\n";
  QFile f(dir.file("in.csv"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(input);
  f.close();
  const ScorerRun fromFile = runScorer({dir.file("in.csv")});
  const ScorerRun fromDash = runScorer({"-"}, input);
  EXPECT_EQ(fromFile.status, 0) << fromFile.err.constData();
  EXPECT_EQ(fromFile.out, fromDash.out);
  EXPECT_EQ(fromDash.status, 0);
  EXPECT_EQ(rows(fromFile.out).value(1).value(9), "62+");
}

TEST(QuillonScore, ExitsOneAndWritesNothingWhenTheInputCannotBeRead) {
  quillon::test::ScratchDir dir;
  const QByteArray header = "sex,dob,test_date,standard,deadlift,pushup,sdc,plank,run\n";
  struct Case {
    QStringList args;
    QByteArray input;
    QByteArray says;
  };
  const QList<Case> cases{
      {{dir.file("missing.csv")}, {}, "missing.csv"},
      {{}, {}, "no header row"},
      {{}, "sex,dob,test_date,standard,deadlift,pushup,sdc,run\nM,2000-01-01,2025-06-01,general,1,2,3:00,20:00\n",
       "no \"plank\" column"},
      {{}, header + "M,2000-01-01,2025-06-01,general,150,15,2:28,\"1:30,19:57\n", "line 2"},
      {{}, "Run," + header, "\"run\" appears twice"},
      {{"a.csv", "b.csv"}, {}, "usage"},
  };
  for (const Case& c : cases) {
    const ScorerRun r = runScorer(c.args, c.input);
    EXPECT_EQ(r.status, 1) << c.says.constData();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.constData();
  }
}

TEST(QuillonScore, DatesInEitherFormAndNothingElse) {
  EXPECT_EQ(batch::parseBatchDate("2025-06-01"), QDate(2025, 6, 1));
  EXPECT_EQ(batch::parseBatchDate("06/01/2025"), QDate(2025, 6, 1));
  EXPECT_EQ(batch::parseBatchDate("6/1/2025"), QDate(2025, 6, 1));
  EXPECT_EQ(batch::parseBatchDate(" 02/29/2024 "), QDate(2024, 2, 29));
  for (const char* bad : {"02/29/2025", "2025-13-01", "2025-6-1", "01/06/25", "20250601", "2025/06/01", "", "June 1"})
    EXPECT_FALSE(batch::parseBatchDate(bad).isValid()) << bad;
}

}  // namespace
