#pragma once

#include <QtGlobal>

struct xcb_connection_t;

// The X11 side of WindowHints.
namespace X11WindowHints {

// The _NET_WM_DESKTOP value that means "every desktop".
inline constexpr quint32 allDesktops = 0xFFFFFFFF;

// Sets _NET_WM_DESKTOP on `window` (what a window manager reads when the
// window is mapped) and, when an EWMH window manager runs, also asks it with
// the client message that moves a window that is already mapped.
void showOnAllDesktops(xcb_connection_t* connection, quint32 root, quint32 window);

// Asks for `window` (a mapped top level) to become the active window, as
// the user's action at server time `time` asks: an EWMH window manager gets
// _NET_ACTIVE_WINDOW from an application with that time (it judges by the
// time whether the request may take the focus from the window the user works
// in); without a window manager the window takes the input focus itself.
void activate(xcb_connection_t* connection, quint32 root, quint32 window, quint32 time);

// Whether an EWMH window manager runs: the root's _NET_SUPPORTING_WM_CHECK
// names a window that names itself the same way.
bool windowManagerRuns(xcb_connection_t* connection, quint32 root);

// Whether a compositing manager owns _NET_WM_CM_Sn for the screen of `root`.
bool compositorRuns(xcb_connection_t* connection, quint32 root);

} // namespace X11WindowHints
