#pragma once
// The help window: shows the help file ravelin.hlp (HTML) from the current
// directory, at the topic of the control the clerk asked about.

#include <QString>
#include <QWidget>
#include <functional>

#include "helptopics.h"

class QTextBrowser;

namespace quillon {

// The topic for a widget: its own, else that of the nearest parent that has one.
QString helpTopicForWidget(const QWidget* w);

class HelpViewer : public QWidget {
  Q_OBJECT

 public:
  explicit HelpViewer(QWidget* parent = nullptr);

  // Loads ravelin.hlp from the current directory and shows `topic` (the
  // contents when empty). False when the file is missing or unreadable; the
  // failure went to onError, naming the path.
  bool showTopic(const QString& topic);

  QTextBrowser* browser() const { return browser_; }
  const QString& loadedFile() const { return loaded_; }
  const QString& currentTopic() const { return topic_; }

  std::function<void(const QString&)> onError;

 private:
  QTextBrowser* browser_ = nullptr;
  QString loaded_;
  QString topic_;
};

}  // namespace quillon
