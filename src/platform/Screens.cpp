#include "platform/Screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Screens {

QList<Geometry> current(int* primary)
{
    QList<Geometry> out;
    const QScreen* main = QGuiApplication::primaryScreen();
    if (primary)
        *primary = -1;
    for (QScreen* s : QGuiApplication::screens()) {
        if (s == main && primary)
            *primary = int(out.size());
        out.append({QRectF(s->geometry()), QRectF(s->availableGeometry())});
    }
    return out;
}

bool contains(const QRectF& rect, const QPointF& point)
{
    return rect.left() <= point.x() && point.x() < rect.left() + rect.width() &&
           rect.top() <= point.y() && point.y() < rect.top() + rect.height();
}

int screenFor(const QPointF& point, const QList<Geometry>& screens, int primary)
{
    for (int i = 0; i < screens.size(); ++i) {
        if (contains(screens[i].frame, point))
            return i;
    }
    return primary >= 0 && primary < screens.size() ? primary : -1;
}

QPointF middleOfScreenAt(const QPointF& point)
{
    int primary = -1;
    const QList<Geometry> screens = current(&primary);
    const int i = screenFor(point, screens, primary);
    return i >= 0 ? screens[i].visible.center() : point;
}

QRect toScreenPixels(const QRect& rect, const QRect& screenFrame, qreal scale)
{
    // Rounded as Qt rounds (QPoint and QSize times a factor).
    const QPoint origin = screenFrame.topLeft();
    return {(rect.topLeft() - origin) * scale + origin, rect.size() * scale};
}

QRect screenPixelFrame(const QWidget* window)
{
    const QScreen* screen = window->screen();
    return screen ? toScreenPixels(window->geometry(), screen->geometry(), screen->devicePixelRatio())
                  : window->geometry();
}

} // namespace Screens
