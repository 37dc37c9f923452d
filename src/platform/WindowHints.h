#pragma once

class QWidget;

// Window-manager hints that Qt has no portable call for.
namespace WindowHints {

// Shows a top-level window on every virtual desktop (X11: _NET_WM_DESKTOP =
// 0xFFFFFFFF, set before and after mapping as EWMH asks). Does nothing on
// other platforms. The window must have been created (winId()).
void showOnAllDesktops(QWidget* window);

// Whether translucent window areas show what lies behind them. On X11 that
// needs a compositing manager; without one they come out black, and a window
// with round corners should clip itself instead.
bool supportsTranslucency();

} // namespace WindowHints
