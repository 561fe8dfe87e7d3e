#pragma once
// The blank form, in points from the top left of a letter page in
// landscape: its printed words (measured from the official PDF), rules,
// shaded bands and tick boxes, and the boxes where values go. One test
// column is described once; the second lies kColumnShift to the right.

#include <QList>
#include <QRectF>
#include <QString>

class QColor;
class QFont;
class QPainter;
class QPointF;

namespace quillon::cardform {

constexpr double kPageWidth = 792, kPageHeight = 612;
constexpr double kColumnShift = 379.5;

// The card's sans face at a size in points, for a painter that maps points
// to the device (see paintFitnessCards).
QFont fontAt(const QPainter& p, double points);

// Draws text on a baseline, stretched or narrowed to the given width.
void drawFitted(QPainter& p, const QFont& font, QPointF baseline, double width, const QString& text,
                const QColor& colour);

// Paints the blank form's page 1 or 2 (everything printed, nothing filled).
void paintBlankPage(QPainter& p, int page);

// Where values go, for the left test column.
namespace at {
// Header, right of the title.
inline const QRectF name{546, 53.5, 228, 13};
inline const QRectF male{606, 73, 10.5, 10};
inline const QRectF female{648.5, 73, 10.5, 10};
inline const QRectF unit{546, 98, 228, 13};
// Test column cells: the part of each box below its label.
inline const QRectF date{19.5, 238, 92, 14};
inline const QRectF mos{114, 238, 92, 14};
inline const QRectF payGrade{208, 238, 92, 14};
inline const QRectF age{302, 238, 92, 14};
inline const QRectF combat{77, 254.5, 10, 10.5};
inline const QRectF general{128, 254.5, 10, 10.5};
inline const QRectF bodyCompositionDate{341.5, 254.5, 50.5, 10};
inline const QRectF height{23.5, 277.5, 68, 13};
inline const QRectF weight{105.5, 279, 30.5, 10};
inline const QRectF weightGo{162.5, 279, 10.5, 10.5};
inline const QRectF weightNoGo{193, 279, 10, 10.5};
inline const QRectF bodyFat{258, 279, 30.5, 10};
inline const QRectF bodyFatGo{311.5, 279, 10, 10.5};
inline const QRectF bodyFatNoGo{342, 279, 10, 10.5};
inline const QRectF firstTick{21.5, 315.5, 10, 10.5};
inline const QRectF firstAttempt{35, 315, 50.5, 10.5};
inline const QRectF secondTick{97, 315.5, 10, 10.5};
inline const QRectF secondAttempt{111, 315, 50.5, 10.5};
// Per event: the raw result, points and grader boxes; rows 36 points apart
// from the deadlift's (whose raw result is the two attempts above).
constexpr double kEventTop = 314, kEventStep = 36, kEventHeight = 13.5;
constexpr double kRawLeft = 19.5, kRawRight = 168.5, kPointsLeft = 170.5, kPointsRight = 243.5;
constexpr double kGraderLeft = 245.5, kGraderRight = 395;
inline const QRectF alternateEvent{19.5, 484, 63, 13};
inline const QRectF alternateTime{85, 495, 43, 12.5};
inline const QRectF alternateGo{131.5, 486, 9, 9.5};
inline const QRectF alternateNoGo{131.5, 496.5, 9, 9.5};
inline const QRectF alternatePoints{170.5, 495, 73, 12.5};
inline const QRectF alternateGrader{245.5, 495, 149, 12.5};
inline const QRectF total{323, 517.5, 71, 11.5};
inline const QRectF oicName{19.5, 538.5, 202, 11.5};
inline const QRectF oicPayGrade{224, 538.5, 96, 11.5};
inline const QRectF overallGo{324.5, 535.5, 10, 10.5};
inline const QRectF overallNoGo{353.5, 535.5, 10, 10.5};
}  // namespace at

}  // namespace quillon::cardform
