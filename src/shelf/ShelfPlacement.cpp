#include "shelf/ShelfPlacement.h"

#include <cmath>

namespace ShelfPlacement {

namespace {

QPointF clamped(qreal x, qreal y, const QSizeF& size, int i, const QList<Screen>& screens)
{
    const qreal w = size.width(), h = size.height();
    if (i >= 0) {
        const QRectF v = screens[i].visible.adjusted(screenMargin, screenMargin, -screenMargin,
                                                     -screenMargin);
        x = std::max(x, v.left());
        x = std::min(x, v.left() + v.width() - w);
        y = std::min(y, v.top() + v.height() - h);
        y = std::max(y, v.top());
    }
    return {x, y};
}

} // namespace

QPointF origin(const QPointF& p, const QSizeF& size, bool anchorTop, const QList<Screen>& screens,
               int primary)
{
    const qreal x = p.x() - size.width() / 2;
    const qreal y = anchorTop ? p.y() : p.y() - size.height() / 2;
    return clamped(x, y, size, screenFor(p, screens, primary), screens);
}

QPointF beside(const QRectF& anchor, const QSizeF& size, const QList<Screen>& screens, int primary)
{
    const qreal w = size.width(), h = size.height();
    const QPointF c = anchor.center();
    const int i = screenFor(c, screens, primary);
    if (i < 0) // no screen to go by: below it
        return {c.x() - w / 2, anchor.bottom() + anchorGap};
    const QRectF f = screens[i].frame;
    const qreal toTop = anchor.top() - f.top(), toBottom = f.bottom() - anchor.bottom();
    const qreal toLeft = anchor.left() - f.left(), toRight = f.right() - anchor.right();
    qreal x, y;
    if (std::min(toTop, toBottom) <= std::min(toLeft, toRight)) {
        // A panel along the top or the bottom edge.
        x = c.x() - w / 2;
        y = toTop <= toBottom ? anchor.bottom() + anchorGap : anchor.top() - anchorGap - h;
    } else {
        // A panel along the left or the right edge.
        y = c.y() - h / 2;
        x = toLeft <= toRight ? anchor.right() + anchorGap : anchor.left() - anchorGap - w;
    }
    return clamped(x, y, size, i, screens);
}

std::optional<QRectF> resized(const QRectF& frame, qreal height,
                              const std::optional<QRectF>& visible)
{
    if (std::abs(frame.height() - height) <= resizeThreshold)
        return std::nullopt;
    qreal y = frame.y();
    if (visible) {
        const qreal bottom = visible->top() + visible->height();
        if (y + height > bottom)
            y = bottom - height;
    }
    return QRectF(frame.x(), y, frame.width(), height);
}

} // namespace ShelfPlacement
