#pragma once
// The Convert command: checks the entries, finds the age group, looks up the
// three points through the three-event kind, forms the total and decides
// the status by its pass rule, asking the profile questions and waiting for
// the alternate event where needed. Works only on the host's controls,
// message seam and clock; never on widgets.

#include "scoreui.h"
#include "threeeventkind.h"

namespace quillon {

enum class ConvertEnd {
  Refused,    // an entry or a table was refused; its message has been shown
  Finished,   // the conversion ran to its end (the status is decided)
  Abandoned,  // the wait for the alternate event ended because the program is closing
};

ConvertEnd Convert(ConvertHost& host, const ThreeEventKind& kind);
// The same through the kind over `tables`, opened by the caller.
ConvertEnd Convert(ConvertHost& host, ScoringTables& tables);

// The last stage alone: total, date of test, profile questions, alternate
// event and status, from the points captions already in place. Convert calls
// it once all three look-ups succeeded.
ConvertEnd TotalAndStatus(ConvertHost& host);

}  // namespace quillon
