#pragma once
// The scorer's "Test Day" menu: one call from the main window puts it in the
// menu bar just before Help (or last when there is no Help menu), so the
// three-event menus keep their places and their items.

class QMenuBar;
class QString;

namespace quillon {

// Adds the menu to `bar`. Its command opens the test-day window for the
// records at `dbPath` (a folder's info.mdb); the window is the bar's
// window's child and closes with it.
void addTestDayMenu(QMenuBar* bar, const QString& dbPath);

}  // namespace quillon
