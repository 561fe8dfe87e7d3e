#pragma once
// The two permanent-profile questions Convert asks the clerk, each with what
// the answer does to the score. Every ConvertHost's Profile() and
// ProfileCheck() call these with its controls, its message seam and, for the
// first, its ProfileEvent.

#include <QString>

#include "scoreui.h"

namespace quillon {

// Asks "Is this soldier on a permanent profile for" + profileEvent. Yes: TOTAL
// "0", Prof "PROFILE", STAT "PASS" unless it reads "FAIL". No: STAT and
// ProfileResult "FAIL" in `s`. Either way its ProfileState ends "DONE".
void askProfileForEvent(ScoreControls& c, MessageSeam& m, const QString& profileEvent, ConversionState& s);

// Asks "Is this soldier a permanent profile?"; sets Prof to "PROFILE" on Yes
// and empties it otherwise. Nothing else changes.
void askProfileMark(ScoreControls& c, MessageSeam& m);

}  // namespace quillon
