#include "shake/DockGeometry.h"


namespace DockGeometry {

QRectF dockRect(QPointF near, const QList<Screen>& screens, qsizetype primaryIndex)
{
    const int i = Screens::screenFor(near, screens, int(primaryIndex));
    if (i < 0)
        return QRectF(0, 0, 0, 0);
    const QRectF& f = screens[i].frame;
    const QRectF& v = screens[i].visible;
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
    int primary = -1;
    const QList<Screen> screens = Screens::current(&primary);
    return dockRect(near, screens, primary);
}

} // namespace DockGeometry
