#include "help.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillon {

QString helpTopicFor(const QString& objectName) {
  // Controls of the main window and the topic of the help file that explains them.
  static const QHash<QString, QString> topics = {
      {QStringLiteral("TDBGrid1"), QStringLiteral("entering")},
      {QStringLiteral("DOB"), QStringLiteral("entering")},
      {QStringLiteral("DOT"), QStringLiteral("entering")},
      {QStringLiteral("MaskEdBox1"), QStringLiteral("entering")},
      {QStringLiteral("Sex"), QStringLiteral("entering")},
      {QStringLiteral("RAW_PU"), QStringLiteral("scores")},
      {QStringLiteral("RAW_SU"), QStringLiteral("scores")},
      {QStringLiteral("RUN_M"), QStringLiteral("scores")},
      {QStringLiteral("RUN_S"), QStringLiteral("scores")},
      {QStringLiteral("Scores"), QStringLiteral("scores")},
      {QStringLiteral("Command6"), QStringLiteral("convert")},
      {QStringLiteral("C_PU"), QStringLiteral("convert")},
      {QStringLiteral("C_SU"), QStringLiteral("convert")},
      {QStringLiteral("C_RUN"), QStringLiteral("convert")},
      {QStringLiteral("TOTAL"), QStringLiteral("convert")},
      {QStringLiteral("STAT"), QStringLiteral("convert")},
      {QStringLiteral("Prof"), QStringLiteral("profile")},
      {QStringLiteral("Command2"), QStringLiteral("commands")},
      {QStringLiteral("Command3"), QStringLiteral("commands")},
      {QStringLiteral("Command4"), QStringLiteral("commands")},
      {QStringLiteral("Command7"), QStringLiteral("commands")},
      {QStringLiteral("Alternate"), QStringLiteral("alternate")},
  };
  return topics.value(objectName);
}

QString helpTopicForWidget(const QWidget* w) {
  for (; w; w = w->parentWidget()) {
    const QString t = helpTopicFor(w->objectName());
    if (!t.isEmpty()) return t;
    if (w->isWindow()) break;
  }
  return QString();
}

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("HelpViewer"));
  setWindowTitle(QStringLiteral("Quillon Help"));
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("HelpText"));
  browser_->setOpenExternalLinks(false);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(browser_);
  resize(640, 560);
  onError = [this](const QString& text) { QMessageBox::warning(this, QStringLiteral("Error"), text); };
}

bool HelpViewer::showTopic(const QString& topic) {
  // Looked up afresh each time: the clerk may have changed folders.
  const QString path = QDir::current().filePath(QStringLiteral("ravelin.hlp"));
  const QFileInfo info(path);
  QFile f(path);
  QString why;
  if (!info.exists())
    why = QStringLiteral("it does not exist");
  else if (!info.isFile())
    why = QStringLiteral("it is not a file");
  else if (!f.open(QIODevice::ReadOnly))
    why = f.errorString();
  if (!why.isEmpty()) {
    onError(QStringLiteral("The help file %1 cannot be opened: %2.").arg(QDir::toNativeSeparators(path), why));
    return false;
  }
  const QString html = QString::fromUtf8(f.readAll());
  // Pictures the file refers to are found beside it.
  browser_->setSearchPaths({info.absolutePath()});
  browser_->setHtml(html);
  loaded_ = path;
  topic_ = topic;
  if (topic.isEmpty())
    browser_->moveCursor(QTextCursor::Start);
  else
    browser_->scrollToAnchor(topic);
  return true;
}

}  // namespace quillon
