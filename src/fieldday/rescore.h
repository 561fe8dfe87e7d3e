#pragma once
// The total and the result of a five-event record follow from all five
// events: a lane scores its own event alone and leaves them empty until the
// last lane is in. Records joined from several laptops are complete only
// once merged, so the merge scores them again by the test's own rules.

#include <QStringList>

#include "recordbackend.h"

namespace quillon::fieldday {

// total_pts and result_go.
const QStringList& scoredTotalNames();
bool isScoredTotal(const QString& field);

// `record` (field name -> text) with its total and result as the scoring
// gives them once every event holds a result, none before; unchanged when
// the soldier's particulars do not score.
Record rescored(const Record& record);

}  // namespace quillon::fieldday
