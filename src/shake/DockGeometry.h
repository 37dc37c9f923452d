#pragma once

#include "platform/Screens.h"

#include <QList>
#include <QPointF>
#include <QRectF>

// Estimates where the desktop's dock or panel sits on the screen under a
// point, from the difference between the screen's full geometry and its
// available geometry; the panel itself is never asked. The shake detector
// uses it to tell a press on the panel (which may start a drag out of it)
// from any other press. Qt global coordinates, y down.
namespace DockGeometry {

// A gap between frame and visible frame counts as a panel only when it is
// strictly wider than this.
inline constexpr double edgeThreshold = 4.0;
// The strip assumed along the bottom edge when no side has such a gap (an
// auto-hiding panel, or one on another screen).
inline constexpr double hiddenDockHeight = 80.0;

using Screen = Screens::Geometry;
using Screens::contains;

// The panel rectangle on the first screen that contains `near`, else on the
// screen at `primaryIndex`; the zero rectangle when that index names no
// screen either.
QRectF dockRect(QPointF near, const QList<Screen>& screens, qsizetype primaryIndex);

// The same over the application's current screens and primary screen.
QRectF dockRect(QPointF near);

} // namespace DockGeometry
