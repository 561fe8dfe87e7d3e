#include "testdaymenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "mergewindow.h"
#include "takeoutwindow.h"
#include "testdaywindow.h"

namespace quillon {

void addTestDayMenu(QMenuBar* bar, const QString& dbPath) {
  // The three-event window's own keys (Alt+F, H, C, A, D, U, S) stay with
  // its menus and buttons: this menu takes a letter none of them uses.
  auto* menu = new QMenu(QStringLiteral("&Test Day"), bar);
  menu->menuAction()->setObjectName(QStringLiteral("MNU_TESTDAY"));
  QAction* help = nullptr;
  for (QAction* a : bar->actions())
    if (a->objectName() == QLatin1String("MNU_HELP")) help = a;
  bar->insertMenu(help, menu);  // a null `before` appends

  // One window at a time: a second Open brings the open one forward rather
  // than letting two windows enter the same group.
  auto window = std::make_shared<QPointer<TestDayWindow>>();
  QAction* open = menu->addAction(QStringLiteral("&Open Test Day..."));
  open->setObjectName(QStringLiteral("MNU_TESTDAY_OPEN"));
  QObject::connect(open, &QAction::triggered, bar, [bar, dbPath, window] {
    if (!*window) {
      *window = new TestDayWindow(dbPath, bar->window());
      (*window)->setAttribute(Qt::WA_DeleteOnClose);
      (*window)->setWindowFlag(Qt::Window);
    }
    (*window)->show();
    (*window)->raise();
    (*window)->activateWindow();
  });

  // A group out to a laptop's folder for a test day without a network.
  QAction* takeOut = menu->addAction(QStringLiteral("Ta&ke Out a Group..."));
  takeOut->setObjectName(QStringLiteral("MNU_TESTDAY_TAKEOUT"));
  QObject::connect(takeOut, &QAction::triggered, bar, [bar, dbPath] {
    auto* w = new TakeOutWindow(dbPath, bar->window());
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
  });

  // A laptop's folder back from a test day without a network.
  QAction* merge = menu->addAction(QStringLiteral("&Merge a Laptop's Folder..."));
  merge->setObjectName(QStringLiteral("MNU_TESTDAY_MERGE"));
  QObject::connect(merge, &QAction::triggered, bar, [bar, dbPath] {
    auto* w = new MergeWindow(dbPath, bar->window());
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
  });
}

}  // namespace quillon
