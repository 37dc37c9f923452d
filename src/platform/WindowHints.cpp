#include "platform/WindowHints.h"

#include "platform/x11/X11Util.h"
#include "platform/x11/X11WindowHints.h"

#include <QWidget>

namespace WindowHints {

void showOnAllDesktops(QWidget* window)
{
    if (!window)
        return;
    xcb_connection_t* c = X11Util::connection();
    const quint32 root = X11Util::rootWindow();
    if (!c || root == 0)
        return;
    QWidget* topLevel = window->window();
    X11WindowHints::showOnAllDesktops(c, root, quint32(topLevel->winId()));
}

bool supportsTranslucency()
{
    xcb_connection_t* c = X11Util::connection();
    if (!c)
        return true; // other platforms composite, or draw offscreen
    return X11WindowHints::compositorRuns(c, X11Util::rootWindow());
}

} // namespace WindowHints
