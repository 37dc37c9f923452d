#pragma once

#include <QtGlobal>

#include <memory>

// Watches the system-wide drag-and-drop selection (X11: XdndSelection), the
// way the shake detector tells a drag in progress from a plain press.
class DragMonitor
{
public:
    virtual ~DragMonitor() = default;
    // How many times the drag selection has changed hands since start-up (a
    // new drag from the same source counts too). Main thread.
    virtual quint64 changeCount() const = 0;
    // Whether the drag selection has an owner now (a drag may be in progress).
    virtual bool hasOwner() const = 0;

    // The X11 monitor on the xcb platform (XFixes selection events),
    // otherwise one that never sees a drag.
    static std::unique_ptr<DragMonitor> create();
};
