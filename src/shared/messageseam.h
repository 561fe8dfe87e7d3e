#pragma once
// Message boxes and yes-or-no questions behind an interface: the windows put
// real boxes behind it, tests scripted answers, so the logic that asks the
// clerk something runs the same in both.

#include <QString>

namespace quillon {

enum class MsgIcon { None, Exclamation, Question, Information };

class MessageSeam {
 public:
  virtual ~MessageSeam() = default;
  // A box with a single OK button; returns when the clerk has pressed it.
  virtual void message(const QString& text, const QString& title, MsgIcon icon) = 0;
  // A box with Yes and No and the question icon. Only Yes returns true;
  // closing the box counts as No.
  virtual bool askYesNo(const QString& text, const QString& title) = 0;
};

}  // namespace quillon
