#pragma once
// Reading a date the clerk typed or a file holds: M/D/YYYY (one or two digits
// for month and day) or YYYY-MM-DD, with spaces around, ASCII digits only,
// a real day of a year from 1 on. Convert, roster import and the scorecard
// all read dates through this one function.

#include <QDate>
#include <QStringView>
#include <optional>

namespace quillon {

std::optional<QDate> readDate(QStringView text);

}  // namespace quillon
