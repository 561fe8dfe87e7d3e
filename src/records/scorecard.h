#pragma once
// The scorecard: one page per soldier with what was recorded of the test,
// for the soldier's file and the grader's signature. Shown in a print
// preview that can also save the cards as a PDF.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "recordstore.h"

class QPagedPaintDevice;
class QWidget;

namespace quillon {

// The card's lines in print order: caption and value. The alternate event
// and its time are there only when one was taken.
QList<QPair<QString, QString>> scorecardFields(const Record& record);

// Every text a card shows, one line each (for checking a card without a PDF reader).
QStringList scorecardText(const Record& record);

// One card a page, in the order given.
void paintScorecards(const QList<Record>& records, QPagedPaintDevice* device);

// Writes the cards to a PDF; empty on success, else why nothing was written.
QString writeScorecardsPdf(const QList<Record>& records, const QString& path);

// The print preview of the cards, with "Save as PDF..." beside printing.
// `onNotice` is told where a PDF went, `onError` why it did not.
void previewScorecards(const QList<Record>& records, QWidget* parent, const QString& title,
                       const std::function<void(const QString&)>& onNotice,
                       const std::function<void(const QString&)>& onError);

}  // namespace quillon
