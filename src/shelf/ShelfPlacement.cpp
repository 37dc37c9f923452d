#include "shelf/ShelfPlacement.h"

#include <cmath>

namespace ShelfPlacement {

QPointF origin(const QPointF& p, const QSizeF& size, bool anchorTop, const QList<Screen>& screens,
               int primary)
{
    const qreal w = size.width(), h = size.height();
    qreal x = p.x() - w / 2;
    qreal y = anchorTop ? p.y() : p.y() - h / 2;
    const int i = screenFor(p, screens, primary);
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
