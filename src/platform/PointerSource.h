#pragma once

#include <QPointF>

#include <functional>
#include <memory>

// The global pointer, whichever application has it: where it is and whether
// the primary button is down. Read once per tick by the shake detector.
struct PointerState
{
    QPointF position;         // Qt global coordinates (y down), in device-independent pixels
    bool primaryDown = false; // button 1
};

class PointerSource
{
public:
    virtual ~PointerSource() = default;
    // The pointer now (or as of the last answer the window system gave; an
    // implementation may pipeline its queries). Main thread.
    virtual PointerState sample() = 0;

    // Whether the source reports button presses as they happen (through
    // onPress), so that a poller may rest while no button is down.
    virtual bool notifiesPresses() const { return false; }
    // Called on the main thread, from the event loop, when a mouse button
    // goes down anywhere on the desktop (in any application).
    std::function<void()> onPress;

    // The X11 source on the xcb platform, otherwise one that reports the
    // pointer at QCursor::pos() with no button down.
    static std::unique_ptr<PointerSource> create();
};
