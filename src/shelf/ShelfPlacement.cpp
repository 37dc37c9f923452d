#include "shelf/ShelfPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace ShelfPlacement {

QList<Screen> currentScreens(int* primary)
{
    QList<Screen> out;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* main = QGuiApplication::primaryScreen();
    if (primary)
        *primary = -1;
    for (QScreen* s : screens) {
        if (s == main && primary)
            *primary = int(out.size());
        out.append({QRectF(s->geometry()), QRectF(s->availableGeometry())});
    }
    return out;
}

bool contains(const QRectF& r, const QPointF& p)
{
    return p.x() >= r.left() && p.x() < r.left() + r.width() && p.y() >= r.top() &&
           p.y() < r.top() + r.height();
}

int screenFor(const QPointF& p, const QList<Screen>& screens, int primary)
{
    for (int i = 0; i < screens.size(); ++i) {
        if (contains(screens[i].frame, p))
            return i;
    }
    return primary >= 0 && primary < screens.size() ? primary : -1;
}

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
