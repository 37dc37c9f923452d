#pragma once

#include "Program.h"
#include "XConnection.h"

// Real pointer and keyboard input on the test display, played by xdotool. The
// pauses pace the input as a hand would (a drag source needs separate motions to
// start and follow a drag); they never stand in for waiting on a result.
namespace Input {

inline bool run(const QStringList& arguments) { return Program::run("xdotool", arguments) == 0; }

// Asks the window manager to make `window` active, as Alt+Tab does, waits
// until it is, then plays `then`. A window the window manager has not taken
// on yet cannot be activated (xdotool fails at once): that is tried again.
inline bool activate(xcb_window_t window, const QStringList& then = {})
{
    return TestEnv::waitUntil([&] { return run({"windowactivate", "--sync", QString::number(window)}); }, 10000) &&
           (then.isEmpty() || run(then));
}

inline QStringList pause(double seconds) { return {"sleep", QString::number(seconds)}; }
inline QStringList moveTo(QPoint p) { return {"mousemove", QString::number(p.x()), QString::number(p.y())}; }
inline QStringList key(const QString& keys) { return {"key", keys}; }
inline QStringList click(QPoint at, int button = 1) { return moveTo(at) + QStringList{"click", QString::number(button)}; }
// Puts the pointer at `p`, presses the primary button and rests a moment.
inline QStringList pressAt(QPoint p) { return moveTo(p) + QStringList{"mousedown", "1"} + pause(0.1); }
inline QStringList release(double pauseSeconds = 0.3) { return pause(pauseSeconds) + QStringList{"mouseup", "1"}; }

// Moves from `from` to `to` in `steps` motions `pauseSeconds` apart.
inline QStringList glide(QPoint from, QPoint to, int steps, double pauseSeconds = 0.07)
{
    QStringList args;
    for (int i = 1; i <= steps; ++i)
        args << pause(pauseSeconds) << moveTo(from + (to - from) * i / steps);
    return args;
}

inline QStringList drag(QPoint from, QPoint to) { return pressAt(from) + glide(from, to, 8) + release(0.5); }

// Horizontal strokes of `length` pixels from `from`, right first, one motion
// every 16 ms (60 Hz) in steps of 10 pixels.
inline QStringList strokes(QPoint from, int count, int length)
{
    QStringList args;
    for (int s = 0, x = from.x(); s < count; ++s) {
        for (int moved = 10; moved <= length; moved += 10)
            args << pause(0.016) << moveTo({x += s % 2 ? -10 : 10, from.y()});
    }
    return args;
}

// Releases the primary button and Num Lock (on Mod2 in the test server's
// keymap) if a failed test left them so.
inline void reset()
{
    const quint16 mask = XConnection().pointerMask();
    if (mask & XCB_KEY_BUT_MASK_BUTTON_1)
        run({"mouseup", "1"});
    if (mask & XCB_KEY_BUT_MASK_MOD_2)
        run(key("Num_Lock"));
}

} // namespace Input
