#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>

class QWidget;

// The screens in Qt's global coordinates (y down) as plain values, and the
// half-open geometry rules that placing shelves and finding panels share.
namespace Screens {

struct Geometry
{
    QRectF frame;   // the whole screen
    QRectF visible; // less panels and docks
};

// The application's screens now; `primary` receives the primary screen's
// index (-1 without screens).
QList<Geometry> current(int* primary);

// Half-open containment: the left and top edges are inside, the right and
// bottom edges are not, so an empty rectangle contains no point.
bool contains(const QRectF& rect, const QPointF& point);

// The first screen whose frame holds the point, else `primary`; -1 when that
// names no screen either.
int screenFor(const QPointF& point, const QList<Geometry>& screens, int primary);

// The middle of the visible part of the screen that holds `point`, else of
// the primary screen; `point` itself without screens.
QPointF middleOfScreenAt(const QPointF& point);

// A rectangle in Qt's global coordinates on a screen whose frame (in Qt's
// coordinates) is `screenFrame` and whose pixels are `scale` of Qt's units,
// in the screen's own pixels, as Qt maps them: the screen's top-left corner
// is the same in both, distances from it grow by the scale.
QRect toScreenPixels(const QRect& rect, const QRect& screenFrame, qreal scale);

// Where a top-level window is, in screen pixels (as other X programs see it).
QRect screenPixelFrame(const QWidget* window);

} // namespace Screens
