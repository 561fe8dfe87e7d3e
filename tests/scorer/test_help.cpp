// The help window and the help file: topics for the controls, every topic
// present in the shipped file, and a missing file reported by its path.

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "help.h"
#include "numeric.h"
#include "testsupport.h"

using namespace quillon;
using quillon::test::ScratchDir;

namespace {

QString shippedHelp() {
  QFile f(quillon::test::dataFile("ravelin.hlp"));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
  return QString::fromUtf8(f.readAll());
}

const char* kControls[] = {"TDBGrid1", "DOB",      "DOT",      "MaskEdBox1", "RAW_PU",   "RAW_SU",
                           "RUN_M",    "RUN_S",    "Command6", "C_PU",       "C_SU",     "C_RUN",
                           "TOTAL",    "STAT",     "Prof",     "Command2",   "Command3", "Command4",
                           "Command7", "Alternate"};

}  // namespace

TEST(Help, EveryControlTopicIsInTheShippedFile) {
  const QString html = shippedHelp();
  QSet<QString> anchors;
  static const QRegularExpression re(QStringLiteral("<a name=\"([^\"]+)\""));
  for (auto it = re.globalMatch(html); it.hasNext();) anchors.insert(it.next().captured(1));
  for (const char* c : kControls) {
    const QString topic = helpTopicFor(c);
    EXPECT_FALSE(topic.isEmpty()) << c;
    EXPECT_TRUE(anchors.contains(topic)) << c << " -> " << topic.toStdString();
  }
  // Every link of the contents leads somewhere.
  static const QRegularExpression link(QStringLiteral("<a href=\"#([^\"]+)\""));
  for (auto it = link.globalMatch(html); it.hasNext();) {
    const QString target = it.next().captured(1);
    EXPECT_TRUE(anchors.contains(target)) << target.toStdString();
  }
  for (const char* topic : {"entering", "convert", "profile", "alternate", "reports", "tidewell"})
    EXPECT_TRUE(anchors.contains(topic)) << topic;
}

TEST(Help, AControlWithoutATopicTakesThatOfItsFrame) {
  QWidget window;
  auto* frame = new QGroupBox(&window);
  frame->setObjectName("Scores");
  auto* inner = new QLineEdit(frame);
  inner->setObjectName("Unnamed");
  auto* own = new QLineEdit(frame);
  own->setObjectName("RUN_M");
  EXPECT_EQ(helpTopicForWidget(inner), "scores");
  EXPECT_EQ(helpTopicForWidget(own), "scores");
  EXPECT_EQ(helpTopicForWidget(&window), "");
  EXPECT_EQ(helpTopicForWidget(nullptr), "");
  // The search stops at the window: a parent window's topic is not taken.
  QWidget outer;
  outer.setObjectName("Command6");
  QWidget child(&outer, Qt::Window);
  EXPECT_EQ(helpTopicForWidget(&child), "");
}

TEST(Help, ShowsTheFileOfTheCurrentFolder) {
  ScratchDir dir;
  dir.copyData({"ravelin.hlp"});
  HelpViewer v;
  QStringList errors;
  v.onError = [&](const QString& m) { errors << m; };
  ASSERT_TRUE(v.showTopic("profile"));
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_EQ(v.loadedFile(), dir.file("ravelin.hlp"));
  EXPECT_EQ(v.currentTopic(), "profile");
  EXPECT_TRUE(v.browser()->toPlainText().contains("Alternate aerobic events"));

  // Another folder, another file: looked up afresh each time.
  ScratchDir other;
  QFile f(other.file("ravelin.hlp"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<html><body><a name=\"x\"></a>Local notes</body></html>");
  f.close();
  ASSERT_TRUE(v.showTopic(""));
  EXPECT_EQ(v.browser()->toPlainText().trimmed(), "Local notes");
}

TEST(Help, AMissingFileIsReportedByPath) {
  ScratchDir dir;
  HelpViewer v;
  QStringList errors;
  v.onError = [&](const QString& m) { errors << m; };
  EXPECT_FALSE(v.showTopic("convert"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(dir.file("ravelin.hlp"))) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains("does not exist"));
  // A folder by that name is no help file either.
  ASSERT_TRUE(QDir(dir.path()).mkdir("ravelin.hlp"));
  EXPECT_FALSE(v.showTopic(""));
  ASSERT_EQ(errors.size(), 2);
  EXPECT_TRUE(errors[1].contains("not a file")) << errors[1].toStdString();
}

TEST(Help, TheDateOfBirthTopicShowsFormsConvertAccepts) {
  const QString html = shippedHelp();
  const qsizetype from = html.indexOf("<a name=\"entering\"");
  ASSERT_GE(from, 0);
  const QString topic = html.mid(from, html.indexOf("<h2>", from + 1) - from);
  ASSERT_TRUE(topic.contains("Entry for DOB is not valid")) << "the topic explains the DOB error";
  // Every example date the topic gives is one Convert takes, and there is
  // one of each accepted form.
  static const QRegularExpression example(QStringLiteral("\\((\\d{1,4}[/-]\\d{1,2}[/-]\\d{1,4})\\)"));
  QStringList shown;
  for (auto it = example.globalMatch(topic); it.hasNext();) shown << it.next().captured(1);
  ASSERT_EQ(shown.size(), 3) << shown.join(", ").toStdString();
  for (const QString& d : shown) EXPECT_TRUE(parseDateOfBirth(d).has_value()) << d.toStdString();
  EXPECT_TRUE(shown[0].size() < shown[1].size() && shown[1].contains('/') && shown[2].contains('-'));
}

TEST(Help, TheClerkIsNotSentToDeveloperDocuments) {
  const QString html = shippedHelp();
  static const QRegularExpression dev(QStringLiteral("docs/|\\.md\\b|readme|source code"),
                                      QRegularExpression::CaseInsensitiveOption);
  EXPECT_FALSE(html.contains(dev)) << html.toStdString();
}
