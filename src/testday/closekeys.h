#pragma once

#include <QKeySequence>
#include <QList>

namespace quillon {

// The keys that close a test-day window: the desktop's own close key and
// Ctrl+W, which every desktop binds to Close whether or not the platform
// theme lists it.
inline QList<QKeySequence> windowCloseKeys() {
  QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
  if (!keys.contains(QKeySequence(Qt::CTRL | Qt::Key_W))) keys.prepend(QKeySequence(Qt::CTRL | Qt::Key_W));
  return keys;
}

}  // namespace quillon
