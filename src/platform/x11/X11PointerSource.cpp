#include "platform/x11/X11PointerSource.h"

#include "platform/x11/X11Util.h"

#include <QCoreApplication>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

X11PointerSource::X11PointerSource(xcb_connection_t* connection, quint32 root)
    : m_connection(connection), m_root(root)
{
    if (selectRawPresses())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

X11PointerSource::~X11PointerSource()
{
    if (m_xinputOpcode && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    if (m_outstanding)
        xcb_discard_reply(m_connection, m_sequence);
}

bool X11PointerSource::selectRawPresses()
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (!ext || !ext->present)
        return false;
    // Raw events reach every client that selects them on the root window,
    // even while another client grabs the pointer, from XInput 2.2 on.
    xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
        m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr);
    const bool recent =
        version && (version->major_version > 2 ||
                    (version->major_version == 2 && version->minor_version >= 2));
    std::free(version);
    if (!recent)
        return false;
    struct
    {
        xcb_input_event_mask_t head;
        quint32 mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    xcb_generic_error_t* error = xcb_request_check(
        m_connection, xcb_input_xi_select_events_checked(m_connection, m_root, 1, &selection.head));
    if (error) {
        std::free(error);
        return false;
    }
    m_xinputOpcode = ext->major_opcode;
    return true;
}

bool X11PointerSource::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
        return false;
    const auto* ge = static_cast<const xcb_ge_generic_event_t*>(message);
    if (ge->extension != m_xinputOpcode || ge->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
        return false;
    m_pressSeen = true;
    // Reported from the event loop, not from inside Qt's event handling: the
    // handler samples the pointer, which talks to the server.
    std::weak_ptr<int> alive = m_alive;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive] {
            if (!alive.expired() && onPress)
                onPress();
        },
        Qt::QueuedConnection);
    return false; // others may want it too
}

PointerState X11PointerSource::sample()
{
    if (xcb_connection_has_error(m_connection))
        return m_last;

    PointerState state = m_last;
    bool answered = false;
    // After a press, an answer to a query sent before it is out of date.
    if (m_pressSeen && m_outstanding) {
        xcb_discard_reply(m_connection, m_sequence);
        m_outstanding = false;
    }
    m_pressSeen = false;
    if (m_outstanding && std::chrono::steady_clock::now() - m_sentAt <= maxAnswerAge) {
        answered = collect(state);
    } else if (m_outstanding) {
        xcb_discard_reply(m_connection, m_sequence);
        m_outstanding = false;
    }
    if (!answered) {
        send();
        collect(state);
    }
    // The next sample takes this answer without waiting for it.
    send();
    m_last = state;
    return state;
}

void X11PointerSource::send()
{
    m_sequence = xcb_query_pointer(m_connection, m_root).sequence;
    m_sentAt = std::chrono::steady_clock::now();
    m_outstanding = true;
    xcb_flush(m_connection);
}

bool X11PointerSource::collect(PointerState& state)
{
    m_outstanding = false;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(m_connection, xcb_query_pointer_cookie_t{m_sequence}, nullptr);
    if (!reply)
        return false;
    state.position = X11Util::fromNative(QPoint(reply->root_x, reply->root_y));
    state.primaryDown = (reply->mask & XCB_KEY_BUT_MASK_BUTTON_1) != 0;
    std::free(reply);
    return true;
}
