#pragma once
// The narrow view the scoring and profile logic has of the main window: the
// named controls it reads and writes, and what Convert asks of the window
// beyond them. The window implements these with widgets; tests implement
// them with plain objects and scripted answers.

#include <QString>

#include "clock.h"
#include "conversionstate.h"
#include "messageseam.h"

namespace quillon {

// The controls Convert, the profile questions and EndAlternate touch.
enum class Ctl { DOB, Sex, RUN_M, RUN_S, RAW_SU, RAW_PU, C_RUN, C_SU, C_PU, TOTAL, DOT, STAT, Prof };

// Text of a text box, caption of a label.
class ScoreControls {
 public:
  virtual ~ScoreControls() = default;
  virtual QString text(Ctl c) const = 0;
  virtual void setText(Ctl c, const QString& value) = 0;
};

// What Convert needs of the main window beyond its controls: the profile
// questions, the wait for the alternate event and its closing report.
class ConvertHost {
 public:
  virtual ~ConvertHost() = default;
  virtual ScoreControls& controls() = 0;
  virtual MessageSeam& messages() = 0;
  virtual const Clock& clock() const = 0;
  // What this conversion has decided so far; the host keeps it for as long
  // as the windows that read it after the conversion need it.
  virtual ConversionState& state() = 0;
  // ProfileEvent, the phrase Profile appends to its question.
  virtual void setProfileEvent(const QString& phrase) = 0;
  virtual void Profile() = 0;
  virtual void ProfileCheck() = 0;
  // Shows the alternate-event window and lets window events run until
  // state().AltState reads "DONE". Returns false when the wait was abandoned
  // because the program is closing; Convert then writes nothing more.
  virtual bool WaitForAlternate() = 0;
  virtual void EndAlternate() = 0;
};

}  // namespace quillon
