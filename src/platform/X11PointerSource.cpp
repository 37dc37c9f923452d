#include "platform/X11PointerSource.h"

#include "platform/X11Util.h"

#include <xcb/xcb.h>

#include <cstdlib>

X11PointerSource::X11PointerSource(xcb_connection_t* connection, quint32 root)
    : m_connection(connection), m_root(root)
{}

X11PointerSource::~X11PointerSource()
{
    if (m_outstanding)
        xcb_discard_reply(m_connection, m_sequence);
}

PointerState X11PointerSource::sample()
{
    if (xcb_connection_has_error(m_connection))
        return m_last;

    PointerState state = m_last;
    bool answered = false;
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
