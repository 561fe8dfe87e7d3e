#include "profile.h"

#include "statusword.h"

namespace quillon {

void askProfileForEvent(ScoreControls& c, MessageSeam& m, const QString& profileEvent, ConversionState& s) {
  const bool yes =
      m.askYesNo(QStringLiteral("Is this soldier on a permanent profile for") + profileEvent, QStringLiteral("Question"));
  if (yes) {
    c.setText(Ctl::TOTAL, QStringLiteral("0"));
    c.setText(Ctl::Prof, StatusWord::PROFILE);
    if (c.text(Ctl::STAT) != StatusWord::FAIL) c.setText(Ctl::STAT, StatusWord::PASS);
  } else {
    c.setText(Ctl::STAT, StatusWord::FAIL);
    s.ProfileResult = StatusWord::FAIL;
  }
  s.ProfileState = StatusWord::DONE;
}

void askProfileMark(ScoreControls& c, MessageSeam& m) {
  const bool yes = m.askYesNo(QStringLiteral("Is this soldier a permanent profile?"), QStringLiteral("Question"));
  c.setText(Ctl::Prof, yes ? StatusWord::PROFILE : QString());
}

}  // namespace quillon
