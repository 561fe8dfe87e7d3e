#pragma once
// The scorecards shown in a print preview that can also save them as a PDF.

#include <QList>
#include <QString>
#include <functional>

#include "recordbackend.h"

class QWidget;

namespace quillon {

// The print preview of the cards, with "Save as PDF..." beside printing.
// `onNotice` is told where a PDF went, `onError` why it did not.
void previewScorecards(const QList<Record>& records, QWidget* parent, const QString& title,
                       const std::function<void(const QString&)>& onNotice,
                       const std::function<void(const QString&)>& onError);

}  // namespace quillon
