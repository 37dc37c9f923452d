#pragma once

#include <QImage>
#include <QRect>

#include <xcb/xcb.h>

#include <functional>
#include <optional>

// A window on the test display as another client sees it.
struct ProbedWindow
{
    xcb_window_t id = XCB_NONE;
    QString title;                 // _NET_WM_NAME, else WM_NAME
    QString instance, windowClass; // the two parts of WM_CLASS
    QRect geometry;                // in root coordinates
    bool viewable = false, overrideRedirect = false;
};

// What the program under test put on the test display (windows, the tray's
// icons, properties, selection owners, pixels, the pointer), read through
// the test's own connection to the display.
class XConnection
{
public:
    XConnection();
    ~XConnection();
    xcb_atom_t atom(const char* name) const;
    xcb_window_t inputFocus() const;
    xcb_window_t selectionOwner(const char* selection) const;
    // One 32-bit value of a property; nothing when unset.
    std::optional<quint32> property32(xcb_window_t window, xcb_atom_t property) const;
    // The children of the root window, bottom to top; every window below one.
    xcb_window_t root() const { return m_root; }
    QList<ProbedWindow> topLevels() const { return descendants(m_root); }
    QList<ProbedWindow> descendants(xcb_window_t window) const;
    std::optional<ProbedWindow> describe(xcb_window_t window) const;
    // The first top level that `match` accepts, looked for until the deadline.
    std::optional<ProbedWindow> waitForWindow(const std::function<bool(const ProbedWindow&)>& match,
                                              int timeoutMs = 5000) const;
    // What a window shows now, as RGB; null when it cannot be read.
    QImage image(const ProbedWindow& window) const;
    QPoint pointer() const;
    // The pointer's modifier and button mask now.
    quint16 pointerMask() const;
    bool primaryButtonDown() const { return pointerMask() & XCB_KEY_BUT_MASK_BUTTON_1; }
    // Takes a key combination for this connection, as another program
    // holding a global shortcut does; answers whether the server granted it.
    bool grabKey(quint32 keysym, quint16 modifiers) const;

private:
    QByteArray property(xcb_window_t window, xcb_atom_t property) const;
    xcb_connection_t* m_c;
    xcb_window_t m_root;
    mutable bool m_grabbedKeys = false;
};
