#pragma once
// Message boxes and yes-or-no questions behind an interface: the windows put
// real boxes behind it, tests scripted answers, so the logic that asks the
// clerk something runs the same in both.

#include <QString>

namespace quillon {

enum class MsgIcon { None, Exclamation, Question, Information };

// The clerk's answer when unsaved changes would be lost.
enum class SaveChoice { Save, Discard, Cancel };

class MessageSeam {
 public:
  virtual ~MessageSeam() = default;
  // A box with a single OK button; returns when the clerk has pressed it.
  virtual void message(const QString& text, const QString& title, MsgIcon icon) = 0;
  // A box with Yes and No and the question icon. Only Yes returns true;
  // closing the box counts as No.
  virtual bool askYesNo(const QString& text, const QString& title) = 0;
  // Save, Discard and Cancel, as a desktop program asks before changes are
  // lost; closing the box counts as Cancel. A seam without a box of three
  // buttons asks it as two yes-or-no questions (save them? else, discard
  // them?), so that no answer is ever assumed.
  virtual SaveChoice askSaveChanges(const QString& text, const QString& title) {
    if (askYesNo(text + QStringLiteral("\n\nSave the changes?"), title)) return SaveChoice::Save;
    return askYesNo(QStringLiteral("Discard the changes?"), title) ? SaveChoice::Discard : SaveChoice::Cancel;
  }
};

}  // namespace quillon
