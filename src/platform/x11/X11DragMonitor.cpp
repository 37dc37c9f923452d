#include "platform/x11/X11DragMonitor.h"

#include "platform/x11/X11Util.h"

#include <QCoreApplication>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

namespace {

// Monitors share the one selection of notifications that the connection can
// hold for the root window; the last one to go deselects it.
int g_watchers = 0;

constexpr uint32_t selectionEvents = XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                     XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                     XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;

} // namespace

X11DragMonitor::X11DragMonitor(xcb_connection_t* connection, quint32 root)
    : m_connection(connection), m_root(root)
{
    m_selection = X11Util::atom("XdndSelection");
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!ext || !ext->present || m_selection == 0)
        return;

    // The server only sends selection notifications to clients that have
    // announced a version that has them.
    xcb_xfixes_query_version_reply_t* version = xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, 5, 0), nullptr);
    const bool usable = version && version->major_version >= 1;
    std::free(version);
    if (!usable)
        return;

    m_notifyType = quint8(ext->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    xcb_xfixes_select_selection_input(connection, root, m_selection, selectionEvents);
    ++g_watchers;
    m_watching = true;
    QCoreApplication::instance()->installNativeEventFilter(this);

    // Asked after selecting the notifications, so no change falls between.
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, m_selection), nullptr);
    m_owner = owner ? owner->owner : 0;
    std::free(owner);
}

X11DragMonitor::~X11DragMonitor()
{
    if (!m_watching)
        return;
    if (auto* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    if (--g_watchers == 0 && !xcb_connection_has_error(m_connection)) {
        xcb_xfixes_select_selection_input(m_connection, m_root, m_selection, 0);
        xcb_flush(m_connection);
    }
}

bool X11DragMonitor::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != m_notifyType)
        return false;
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notify->selection == m_selection && notify->window == m_root) {
        m_owner = notify->owner;
        ++m_changeCount;
    }
    // Qt's clipboard looks at selection notifications too.
    return false;
}
