#pragma once
// Stands in for the tool's message boxes and its "end the program", so a
// command can be run to its end and what it showed checked afterwards.

#include <QString>
#include <vector>

#include "toolerror.h"

namespace quillon::dbtool::test {

struct Box {
  QString text, title;
  BoxIcon icon;
};

class RecordingMessages : public ToolMessages {
 public:
  void message(const QString& text, const QString& title, BoxIcon icon) override { boxes.push_back({text, title, icon}); }
  void endProgram(int code) override { ends.push_back(code); }
  std::vector<Box> boxes;
  std::vector<int> ends;
};

}  // namespace quillon::dbtool::test
