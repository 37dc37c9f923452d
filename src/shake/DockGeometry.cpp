#include "shake/DockGeometry.h"

#include <QGuiApplication>
#include <QScreen>

namespace DockGeometry {

bool contains(const QRectF& rect, QPointF point)
{
    return rect.left() <= point.x() && point.x() < rect.left() + rect.width() &&
           rect.top() <= point.y() && point.y() < rect.top() + rect.height();
}

QRectF dockRect(QPointF near, const QList<Screen>& screens, qsizetype primaryIndex)
{
    const Screen* chosen = nullptr;
    for (const Screen& s : screens) {
        if (contains(s.frame, near)) {
            chosen = &s;
            break;
        }
    }
    if (!chosen) {
        if (primaryIndex < 0 || primaryIndex >= screens.size())
            return QRectF(0, 0, 0, 0);
        chosen = &screens[primaryIndex];
    }

    const QRectF& f = chosen->frame;
    const QRectF& v = chosen->visibleFrame;
    const double leftGap = v.left() - f.left();
    if (leftGap > edgeThreshold)
        return QRectF(f.left(), f.top(), leftGap, f.height());
    const double rightGap = (f.left() + f.width()) - (v.left() + v.width());
    if (rightGap > edgeThreshold)
        return QRectF(v.left() + v.width(), f.top(), rightGap, f.height());
    const double bottomGap = (f.top() + f.height()) - (v.top() + v.height());
    const double h = bottomGap > edgeThreshold ? bottomGap : hiddenDockHeight;
    return QRectF(f.left(), f.top() + f.height() - h, f.width(), h);
}

QRectF dockRect(QPointF near)
{
    // Read afresh at every call: screens come and go, panels move.
    const QList<QScreen*> qscreens = QGuiApplication::screens();
    QList<Screen> screens;
    screens.reserve(qscreens.size());
    for (QScreen* s : qscreens)
        screens.append({QRectF(s->geometry()), QRectF(s->availableGeometry())});
    return dockRect(near, screens, qscreens.indexOf(QGuiApplication::primaryScreen()));
}

} // namespace DockGeometry
