#pragma once

#include <QtGlobal>

class QWidget;

// Window-manager hints that Qt has no portable call for.
namespace WindowHints {

// Shows a top-level window on every virtual desktop (X11: _NET_WM_DESKTOP =
// 0xFFFFFFFF, set before and after mapping as EWMH asks). Does nothing on
// other platforms. The window must have been created (winId()).
void showOnAllDesktops(QWidget* window);

// Makes a shown top-level window the active one, with the keyboard focus, on
// behalf of the user's action at `userTime` (the window system's time of the
// key press or click that asked for it; 0 where there is none: then the
// window system's time now). On X11 the window manager decides, as EWMH
// asks, and the answer comes later; elsewhere Qt asks the platform.
void activate(QWidget* window, quint32 userTime);

// Whether translucent window areas show what lies behind them. On X11 that
// needs a compositing manager; without one they come out black, and a window
// with round corners should clip itself instead.
bool supportsTranslucency();

} // namespace WindowHints
