#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QtGlobal>

#include <memory>
#include <type_traits>

struct xcb_connection_t;

// Access to Qt's own X connection for the X11 implementations of the
// platform interfaces. Everything here runs on the main thread.
namespace X11Util {

// Qt's connection on the xcb platform, otherwise nullptr.
xcb_connection_t* connection();

// The root window of the screen that $DISPLAY names (0 without a connection).
quint32 rootWindow();
// The number of that screen: 0 unless $DISPLAY says otherwise (":0.1").
int screenNumber();

// The atom of `name`, interned once per process (0 when the server fails).
quint32 atom(const char* name);

// One Qt screen as the conversion below needs it: its geometry in Qt
// coordinates and its device pixel ratio.
struct ScreenScale
{
    QRect geometry;
    qreal devicePixelRatio = 1;
};

// Converts a point in X root-window pixels into Qt's device-independent
// global coordinates. A screen keeps its top-left corner in both systems and
// its size is multiplied by its ratio in pixels; a point outside every
// screen is converted with the first screen's ratio (the primary one).
QPointF fromNative(QPoint native, const QList<ScreenScale>& screens);
// The same with the application's screens.
QPointF fromNative(QPoint native);

// A platform capability: its X11 implementation on the xcb platform (made
// with Qt's connection, and the root window where it asks for one), else
// the null one.
template <class Interface, class X11, class Null> std::unique_ptr<Interface> x11OrNull()
{
    xcb_connection_t* c = connection();
    const quint32 root = rootWindow();
    if (!c || root == 0)
        return std::make_unique<Null>();
    if constexpr (std::is_constructible_v<X11, xcb_connection_t*, quint32>)
        return std::make_unique<X11>(c, root);
    else
        return std::make_unique<X11>(c);
}

} // namespace X11Util
