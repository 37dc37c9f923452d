#pragma once

#include "platform/DragMonitor.h"

#include <QAbstractNativeEventFilter>

struct xcb_connection_t;

// Follows the owner of XdndSelection through XFixes selection notifications
// on the root window, so that neither call asks the server anything. Every
// notification counts as a change: Qt drag sources keep owning the selection
// between drags and only the notification's timestamp changes.
class X11DragMonitor final : public DragMonitor, private QAbstractNativeEventFilter
{
public:
    // Selects the notifications and reads the current owner once. Without the
    // XFixes extension the monitor never sees a change (isWatching() false).
    X11DragMonitor(xcb_connection_t* connection, quint32 root);
    ~X11DragMonitor() override;

    quint64 changeCount() const override { return m_changeCount; }
    bool hasOwner() const override { return m_owner != 0; }

    bool isWatching() const { return m_watching; }

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    xcb_connection_t* m_connection;
    quint32 m_root;
    quint32 m_selection = 0;
    quint8 m_notifyType = 0;
    bool m_watching = false;
    quint32 m_owner = 0;
    quint64 m_changeCount = 0;
};
