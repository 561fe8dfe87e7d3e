#include "keyaudit.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QShortcut>
#include <QTabBar>

namespace quillon::test {

namespace {

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString nameOf(const QObject* o) {
  return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className()) : o->objectName();
}

QString windowName(const QWidget* w) {
  return QStringLiteral("%1 %2").arg(nameOf(w), quoted(w->windowTitle()));
}

// The menus a menu bar opens, and theirs, each once.
void collectMenus(QMenu* menu, QList<QMenu*>& out) {
  if (!menu || out.contains(menu)) return;
  out << menu;
  for (QAction* a : menu->actions()) collectMenus(a->menu(), out);
}

// A key an action holds is live wherever the action sits in the window (a
// menu of its menu bar, a tool bar, the window itself), whatever has the focus.
bool windowWide(const QAction* a) {
  return a->shortcutContext() == Qt::WindowShortcut || a->shortcutContext() == Qt::ApplicationShortcut;
}

QStringList lines(const QMultiMap<QKeySequence, QString>& keys, const QString& where) {
  QStringList out;
  for (const QKeySequence& k : keys.uniqueKeys()) {
    const QStringList owners = keys.values(k);
    if (owners.size() > 1)
      out << QStringLiteral("%1: %2 is taken by %3").arg(where, k.toString(QKeySequence::PortableText),
                                                          owners.join(QStringLiteral(" and ")));
  }
  return out;
}

}  // namespace

QMultiMap<QKeySequence, QString> windowKeys(QWidget* window) {
  QMultiMap<QKeySequence, QString> keys;
  QList<QWidget*> widgets{window};
  for (QWidget* w : window->findChildren<QWidget*>())
    if (w->window() == window && w->isVisibleTo(window)) widgets << w;

  QList<QMenu*> menus;
  QSet<QAction*> actions;
  for (QWidget* w : widgets) {
    for (QAction* a : w->actions()) actions.insert(a);
    if (auto* bar = qobject_cast<QMenuBar*>(w)) {
      for (QAction* a : bar->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;
        if (const QKeySequence m = QKeySequence::mnemonic(a->text()); !m.isEmpty())
          keys.insert(m, QStringLiteral("menu bar %1").arg(quoted(a->text())));
        collectMenus(a->menu(), menus);
      }
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      // A caption's mnemonic is the button's shortcut.
      if (!b->shortcut().isEmpty())
        keys.insert(b->shortcut(), QStringLiteral("button %1 %2").arg(nameOf(b), quoted(b->text())));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->buddy())
        if (const QKeySequence m = QKeySequence::mnemonic(l->text()); !m.isEmpty())
          keys.insert(m, QStringLiteral("label %1 of %2").arg(quoted(l->text()), nameOf(l->buddy())));
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      if (const QKeySequence m = QKeySequence::mnemonic(g->title()); !m.isEmpty())
        keys.insert(m, QStringLiteral("group %1 %2").arg(nameOf(g), quoted(g->title())));
    } else if (auto* t = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < t->count(); ++i)
        if (const QKeySequence m = QKeySequence::mnemonic(t->tabText(i)); !m.isEmpty())
          keys.insert(m, QStringLiteral("tab %1").arg(quoted(t->tabText(i))));
    }
  }
  for (QMenu* m : menus)
    for (QAction* a : m->actions()) actions.insert(a);
  for (QAction* a : actions) {
    if (!a->isVisible() || !windowWide(a)) continue;
    for (const QKeySequence& k : a->shortcuts())
      keys.insert(k, QStringLiteral("action %1 %2").arg(nameOf(a), quoted(a->text())));
  }
  for (QShortcut* s : window->findChildren<QShortcut*>()) {
    auto* owner = qobject_cast<QWidget*>(s->parent());
    if (!owner || owner->window() != window || s->context() == Qt::WidgetShortcut) continue;
    for (const QKeySequence& k : s->keys()) keys.insert(k, QStringLiteral("shortcut %1").arg(nameOf(s)));
  }
  return keys;
}

QStringList menuCollisions(QMenu* menu, const QString& path) {
  QStringList out;
  QMultiMap<QKeySequence, QString> letters;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator() || !a->isVisible()) continue;
    if (const QKeySequence m = QKeySequence::mnemonic(a->text()); !m.isEmpty()) letters.insert(m, quoted(a->text()));
    if (a->menu()) out << menuCollisions(a->menu(), path + QStringLiteral(" > ") + a->text());
  }
  return lines(letters, QStringLiteral("menu ") + path) + out;
}

QStringList keyCollisions(QWidget* window) {
  QStringList out = lines(windowKeys(window), windowName(window));
  for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
    if (bar->window() != window) continue;
    for (QAction* a : bar->actions())
      if (a->menu() && a->isVisible()) out << menuCollisions(a->menu(), windowName(window) + QStringLiteral(" > ") + a->text());
  }
  return out;
}

QStringList unnamedControls(QWidget* window) {
  QStringList out;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->window() != window || !w->isVisibleTo(window) || !(w->focusPolicy() & Qt::TabFocus)) continue;
    // The box inside a spin box is the spin box itself to a reader.
    if (w->focusProxy() || qobject_cast<QAbstractSpinBox*>(w->parentWidget())) continue;
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (a && a->text(QAccessible::Name).trimmed().isEmpty())
      out << QStringLiteral("%1: %2 %3 has no accessible name").arg(windowName(window), QString::fromLatin1(w->metaObject()->className()), nameOf(w));
  }
  return out;
}

KeyAudit::KeyAudit() { qApp->installEventFilter(this); }

KeyAudit::~KeyAudit() { qApp->removeEventFilter(this); }

void KeyAudit::audit(QWidget* window) {
  windows << nameOf(window);
  const QStringList found = qobject_cast<QMenu*>(window) ? menuCollisions(static_cast<QMenu*>(window), nameOf(window))
                                                         : keyCollisions(window);
  for (const QString& c : found)
    if (!collisions.contains(c)) collisions << c;
  if (!qobject_cast<QMenu*>(window))
    for (const QString& u : unnamedControls(window))
      if (!unnamed.contains(u)) unnamed << u;
}

bool KeyAudit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* w = static_cast<QWidget*>(watched);
    // Tool tips and the like hold no keys.
    if (w->isWindow() && !(w->windowType() == Qt::ToolTip)) audit(w);
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace quillon::test
