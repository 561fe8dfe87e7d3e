#pragma once
// Which topic of the help file explains which control of the main window,
// by the control's object name.

#include <QString>

namespace quillon {

// The help topic (anchor) for a control's objectName; empty for none.
QString helpTopicFor(const QString& objectName);

}  // namespace quillon
