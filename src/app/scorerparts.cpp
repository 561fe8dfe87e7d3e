#include "scorerparts.h"

#include "testdaymenu.h"

namespace quillon {

std::vector<MainForm::MenuBarPart> scorerMenuParts() { return {&addTestDayMenu}; }

}  // namespace quillon
