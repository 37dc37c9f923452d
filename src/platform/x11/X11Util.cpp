#include "platform/x11/X11Util.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace X11Util {

xcb_connection_t* connection()
{
    auto* app = qGuiApp;
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

quint32 rootWindow()
{
    xcb_connection_t* c = connection();
    if (!c)
        return 0;
    static xcb_connection_t* cachedFor = nullptr;
    static quint32 root = 0;
    if (cachedFor == c)
        return root;

    // Qt talks to the screen that $DISPLAY names.
    const int number = screenNumber();
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    xcb_screen_t* chosen = it.rem > 0 ? it.data : nullptr;
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) {
            chosen = it.data;
            break;
        }
    }
    root = chosen ? chosen->root : 0;
    cachedFor = c;
    return root;
}

int screenNumber()
{
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
        screen = 0;
    std::free(host);
    return screen;
}

quint32 atom(const char* name)
{
    xcb_connection_t* c = connection();
    if (!c)
        return 0;
    static xcb_connection_t* cachedFor = nullptr;
    static QHash<QByteArray, quint32> atoms;
    if (cachedFor != c) {
        atoms.clear();
        cachedFor = c;
    }
    const QByteArray key(name);
    if (auto it = atoms.constFind(key); it != atoms.constEnd())
        return it.value();

    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const quint32 value = reply ? reply->atom : 0;
    std::free(reply);
    if (value != 0)
        atoms.insert(key, value);
    return value;
}

QPointF fromNative(QPoint native, const QList<ScreenScale>& screens)
{
    if (screens.isEmpty())
        return QPointF(native);
    const ScreenScale* match = &screens.first();
    for (const ScreenScale& s : screens) {
        const QPoint origin = s.geometry.topLeft();
        const qreal w = s.geometry.width() * s.devicePixelRatio;
        const qreal h = s.geometry.height() * s.devicePixelRatio;
        if (native.x() >= origin.x() && native.x() < origin.x() + w && native.y() >= origin.y() &&
            native.y() < origin.y() + h) {
            match = &s;
            break;
        }
    }
    const qreal ratio = match->devicePixelRatio > 0 ? match->devicePixelRatio : 1;
    const QPointF origin(match->geometry.topLeft());
    return origin + (QPointF(native) - origin) / ratio;
}

QPointF fromNative(QPoint native)
{
    QList<ScreenScale> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens.append({primary->geometry(), primary->devicePixelRatio()});
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            screens.append({screen->geometry(), screen->devicePixelRatio()});
    }
    return fromNative(native, screens);
}

} // namespace X11Util
