// ravelin as the start bench drives it: asked through the environment, it
// reports when its first rows are painted and each re-query, then ends by
// itself, leaving the records as they were.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "dbfile.h"
#include "recordsdb.h"
#include "testsupport.h"

using quillon::test::readRows;
using quillon::test::ScratchDir;

TEST(RavelinFirstRows, ReportsItsRowsAndEachRequeryThenEndsWithTheRecordsUntouched) {
  ScratchDir dir;
  dir.copyTables();
  quillon::createRecordsDatabase(dir.file("info.mdb"));
  quillon::test::insertRows(dir.file("info.mdb"), {{{"LNAME", "Zeller, Ann"}, {"SSN", "000-00-0002"}},
                                                    {{"LNAME", "Abbot, Ben"}, {"SSN", "000-00-0001"}}});
  const auto before = readRows(dir.file("info.mdb"));

  QProcess p;
  p.setWorkingDirectory(dir.path());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QUILLON_FIRST_ROWS", "2");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(RAVELIN_PROGRAM), {});
  ASSERT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();

  const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << lines.join('|').toStdString();
  EXPECT_EQ(lines[0], "first rows");
  static const QRegularExpression requery(QStringLiteral("^requery \\d+\\.\\d{3}$"));
  EXPECT_TRUE(requery.match(lines[1]).hasMatch()) << lines[1].toStdString();
  EXPECT_TRUE(requery.match(lines[2]).hasMatch()) << lines[2].toStdString();
  // The fields a first open adds to a file are no change of a record.
  const auto after = readRows(dir.file("info.mdb"));
  ASSERT_EQ(after.size(), before.size());
  for (qsizetype r = 0; r < before.size(); ++r)
    for (auto it = before[r].cbegin(); it != before[r].cend(); ++it)
      EXPECT_EQ(after[r].value(it.key()), it.value()) << it.key().toStdString();
}
