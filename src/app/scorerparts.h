#pragma once
// The scorer as the program puts it together: what other windows of the
// program add to the main window. ravelin starts the main window with these,
// and the tests of its menus start it the same way.

#include <vector>

#include "mainform.h"

namespace quillon {

// The menus the main window's bar carries beyond its own: the test day's.
std::vector<MainForm::MenuBarPart> scorerMenuParts();

}  // namespace quillon
