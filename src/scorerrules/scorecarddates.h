#pragma once
// Which records the scorecards of a date of test print: the dates the shown
// rows were tested on, and the rows of one date in name order.

#include <QList>
#include <QStringList>

#include "recordstore.h"

namespace quillon {

// The dates of test of the store's rows ("MM/DD/YYYY", each once), newest first.
QStringList testDates(const RecordStore& store);
// Keys of the rows tested on `date` ("MM/DD/YYYY"), in name order.
QList<qint64> recordsTestedOn(const RecordStore& store, const QString& date);

}  // namespace quillon
