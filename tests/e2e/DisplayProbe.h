#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include "RawConnection.h"

#include <xcb/xcb.h>

#include <functional>
#include <optional>

// A window on the test display as another client sees it.
struct ProbedWindow
{
    xcb_window_t id = XCB_NONE;
    QString title;    // _NET_WM_NAME, else WM_NAME
    QString instance; // the two parts of WM_CLASS
    QString windowClass;
    QRect geometry; // in root coordinates
    bool viewable = false;
    bool overrideRedirect = false;
};

// A connection of its own to the test display, for reading back what the
// program under test put on screen: its windows, the tray's icons, the
// pointer, selection owners.
class DisplayProbe
{
public:
    bool isValid() const { return m_x.isValid(); }
    xcb_window_t root() const { return m_x.root(); }

    xcb_window_t selectionOwner(const char* selection) const;
    // The children of the root window, bottom to top.
    QList<ProbedWindow> topLevels() const;
    // Every window below `window`, depth first.
    QList<ProbedWindow> descendants(xcb_window_t window) const;
    std::optional<ProbedWindow> describe(xcb_window_t window) const;

    // The first window that `match` accepts, looked for until the deadline
    // among the top levels (and, with `deep`, everything below them).
    std::optional<ProbedWindow> waitForWindow(const std::function<bool(const ProbedWindow&)>& match,
                                              int timeoutMs, bool deep = false) const;

    // What a window shows now (depth 24 or 32), as RGB; null when it cannot
    // be read.
    QImage image(const ProbedWindow& window) const;

    QPoint pointer() const;
    bool primaryButtonDown() const;

private:
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const;

    RawConnection m_x;
};
