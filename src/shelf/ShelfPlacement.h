#pragma once

#include "platform/Screens.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where a shelf goes on screen: plain geometry in Qt's global coordinates
// (y down), so that it can be tested without a display.
namespace ShelfPlacement {

using Screen = Screens::Geometry;
using Screens::contains;
using Screens::screenFor;

// The top-left corner of a shelf of `size` shown at p: centred horizontally
// on p; its top edge at p (anchorTop) or centred vertically on p; then
// clamped into the screen's visible area inset by 8, the top edge last so a
// shelf taller than the screen keeps its top visible.
QPointF origin(const QPointF& p, const QSizeF& size, bool anchorTop, const QList<Screen>& screens,
               int primary);

// The top-left corner of a shelf of `size` opened beside `anchor` (a tray
// icon, or the point where it was clicked): `anchorGap` away from it on the
// side towards the middle of its screen, away from the screen edge that it
// is nearest to (where its panel is), centred on it along that edge; then
// clamped into the visible area inset by 8 as `origin` clamps.
QPointF beside(const QRectF& anchor, const QSizeF& size, const QList<Screen>& screens, int primary);

// The frame after a change of height that keeps the top edge, or nothing
// when the change is 0.5 points or less. Where the new bottom would leave
// `visible` (the visible area of the shelf's screen), the shelf is lifted so
// its bottom lies on the visible bottom.
std::optional<QRectF> resized(const QRectF& frame, qreal height,
                              const std::optional<QRectF>& visible);

inline constexpr qreal screenMargin = 8;
inline constexpr qreal resizeThreshold = 0.5;
inline constexpr qreal anchorGap = 20;

} // namespace ShelfPlacement
