#pragma once
// The scorecard: one page per soldier with what was recorded of the test,
// for the soldier's file and the grader's signature, painted on any paged
// device or written to a PDF.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "recordbackend.h"

class QPagedPaintDevice;

namespace quillon {

// The card's lines in print order: caption and value. The alternate event
// and its time are there only when one was taken. No SSN: a card goes into
// the soldier's file and past many hands, and the name, rank and date of
// birth tell whose it is.
QList<QPair<QString, QString>> scorecardFields(const Record& record);

// Every text a card shows, one line each (for checking a card without a PDF reader).
QStringList scorecardText(const Record& record);

// One card a page, in the order given.
void paintScorecards(const QList<Record>& records, QPagedPaintDevice* device);

// Writes the cards to a PDF; empty on success, else why nothing was written.
QString writeScorecardsPdf(const QList<Record>& records, const QString& path);

// Gives a printer or PDF writer the cards' paper and margins.
void setScorecardPageLayout(QPagedPaintDevice& device);

}  // namespace quillon
