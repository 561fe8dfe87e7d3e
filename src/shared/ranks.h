#pragma once
// The ranks a record may carry, shared by the grid's drop-down and by
// anything that reads records from outside and must check them.

#include <QStringList>

namespace quillon {

// The ranks offered in the grid, in the order offered; "N/A" is the default.
const QStringList& rankList();

// The pay grade of a rank of rankList() as the scorecard writes it ("E-5"
// for SGT), or empty for one that has none (cadets, N/A, an unknown rank).
QString payGradeOf(const QString& rank);

}  // namespace quillon
