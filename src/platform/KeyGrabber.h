#pragma once

#include <Qt>

#include <functional>
#include <memory>

// Grabs one key combination for the whole desktop, whichever application is
// active.
class KeyGrabber
{
public:
    virtual ~KeyGrabber() = default;
    // Grabs `key` with exactly these modifiers (Control, Shift, Alt, Meta;
    // others are ignored), with every combination of the lock modifiers
    // (Caps Lock, Num Lock, Scroll Lock) so that they do not get in the way.
    // Answers whether the window system granted the grab. A second call
    // replaces the first grab.
    virtual bool grab(Qt::Key key, Qt::KeyboardModifiers modifiers) = 0;
    // Releases the grab (also done on destruction).
    virtual void ungrab() = 0;

    // Called on the main thread, from the event loop, for each press of the
    // grabbed combination (not for releases or auto-repeat releases), with
    // the window system's time of the press (0 where it has none).
    std::function<void(quint32 time)> onPressed;

    // The X11 grabber on the xcb platform, otherwise one whose grab() fails.
    static std::unique_ptr<KeyGrabber> create();
};
