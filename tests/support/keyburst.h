#pragma once
// A keyboard that runs ahead of the program, as a practised typist or a
// keyboard-wedge scanner does: every key of a burst is queued before the
// first is taken, and each goes, when its turn comes, to the widget that
// has the focus then, the way the window system hands over keys typed
// ahead. Whatever the program defers to its event loop while a key is
// taken runs after the keys already queued, as it does under a real
// keyboard.

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace quillon::test {

class KeyBurst : public QObject {
 public:
  // `stepMs` is the time between two keys as their time stamps tell it; 0
  // sends keys without one.
  explicit KeyBurst(int stepMs = 5) : step_(stepMs) {}

  // Queues `text` key by key: '\n' is Enter, '\t' Tab, '\x1b' Escape.
  KeyBurst& type(const QString& text) {
    for (const QChar c : text) {
      if (c == QLatin1Char('\n')) key(Qt::Key_Return, QStringLiteral("\r"));
      else if (c == QLatin1Char('\t')) key(Qt::Key_Tab, QStringLiteral("\t"));
      else if (c == QChar(0x1b)) key(Qt::Key_Escape, QString(c));
      else key(QTest::asciiToKey(c.toLatin1()), QString(c));
    }
    return *this;
  }
  KeyBurst& key(Qt::Key code, const QString& text = {}) {
    for (const QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
      auto* e = new QKeyEvent(t, code, Qt::NoModifier, text);
      if (step_) e->setTimestamp(time_ += step_);
      QCoreApplication::postEvent(this, e);
      ++queued_;
    }
    return *this;
  }
  // Runs the event loop until every queued key was taken, and once more
  // for what the last one left queued.
  void deliver() {
    while (taken_ < queued_) QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
  // The time stamp the next key would carry.
  ulong now() const { return time_; }
  void pause(int ms) { time_ += ms; }

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return QObject::event(e);
    ++taken_;
    const auto* typed = static_cast<QKeyEvent*>(e);
    QWidget* to = QApplication::focusWidget();
    if (!to) to = QApplication::activeWindow();
    if (!to) return true;
    QKeyEvent k(typed->type(), typed->key(), typed->modifiers(), typed->text());
    k.setTimestamp(typed->timestamp());
    QSpontaneKeyEvent::setSpontaneous(&k);
    if (k.type() == QEvent::KeyPress &&
        qt_sendShortcutOverrideEvent(to, k.timestamp(), k.key(), k.modifiers(), k.text(), false))
      return true;
    qApp->notify(to, &k);
    return true;
  }

 private:
  int step_;
  ulong time_ = 100000;
  int queued_ = 0, taken_ = 0;
};

}  // namespace quillon::test
