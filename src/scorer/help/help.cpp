#include "help.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "helptopics.h"

namespace quillon {

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
  browser_->setAccessibleName(QStringLiteral("Help topic"));
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
