#pragma once
// The keys a window answers to, read from its widgets as the keyboard meets
// them: in the window itself, the mnemonics of its menu bar's titles, of its
// buttons, group boxes, tabs and of labels that carry a buddy, and the
// shortcuts of its actions and QShortcuts; inside each menu, its items'
// mnemonics. Two owners of one key in the same scope are a collision: the
// first press then only moves the focus or the highlight between them.
//
// KeyAudit reads every window shown while it lives, so a test that opens the
// windows of a program through their commands (modal dialogs included) has
// each of them audited at the moment the clerk would see it.

#include <QKeySequence>
#include <QMultiMap>
#include <QObject>
#include <QStringList>

class QMenu;
class QWidget;

namespace quillon::test {

// Each key of the window's own scope with the controls that take it
// ("button addSoldier \"&Add Soldier\"", "menu bar \"&Reports\"", ...).
QMultiMap<QKeySequence, QString> windowKeys(QWidget* window);

// Every collision in the window and in each menu reachable from it, one
// line each naming the window, the key and its owners; empty when none.
QStringList keyCollisions(QWidget* window);

// A menu's items' mnemonics that two items share (submenus included).
QStringList menuCollisions(QMenu* menu, const QString& path);

// The controls of the window that Tab reaches but a screen reader could not
// name (no accessible name of their own, from a caption or from a label).
QStringList unnamedControls(QWidget* window);

class KeyAudit : public QObject {
 public:
  KeyAudit();
  ~KeyAudit() override;

  // Audits a window that was opened before the audit began.
  void audit(QWidget* window);

  QStringList collisions;
  QStringList unnamed;
  // The windows audited so far, by object name (class name when unnamed).
  QStringList windows;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace quillon::test
