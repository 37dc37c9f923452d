#include "RawConnection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <cstring>

RawConnection::RawConnection()
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; it.rem > 0 && i < screenNumber; ++i)
        xcb_screen_next(&it);
    if (it.rem > 0)
        m_root = it.data->root;
}

RawConnection::~RawConnection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t RawConnection::atom(const char* name) const
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return a;
}

void RawConnection::sync() const
{
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

std::optional<RawConnection::Value32> RawConnection::property32(xcb_window_t window,
                                                                xcb_atom_t property) const
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
        nullptr);
    std::optional<Value32> result;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        result = Value32{reply->type, *static_cast<const quint32*>(xcb_get_property_value(reply))};
    std::free(reply);
    return result;
}

QByteArray RawConnection::property8(xcb_window_t window, xcb_atom_t property) const
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr);
    QByteArray result;
    if (reply && reply->format == 8)
        result = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                            xcb_get_property_value_length(reply));
    std::free(reply);
    return result;
}

QList<xcb_keycode_t> RawConnection::keycodes(xcb_keysym_t keysym) const
{
    QList<xcb_keycode_t> result;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
    if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym)) {
        for (const xcb_keycode_t* c = codes; *c != XCB_NO_SYMBOL; ++c)
            result.append(*c);
        std::free(codes);
    }
    xcb_key_symbols_free(symbols);
    return result;
}

quint16 RawConnection::modifierBit(xcb_keysym_t keysym) const
{
    const QList<xcb_keycode_t> codes = keycodes(keysym);
    xcb_get_modifier_mapping_reply_t* map = xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    quint16 bit = 0;
    if (map) {
        const xcb_keycode_t* mapped = xcb_get_modifier_mapping_keycodes(map);
        for (int mod = 0; mod < 8; ++mod) {
            for (int k = 0; k < map->keycodes_per_modifier; ++k) {
                const xcb_keycode_t code = mapped[mod * map->keycodes_per_modifier + k];
                if (code != 0 && codes.contains(code))
                    bit |= quint16(1u << mod);
            }
        }
    }
    std::free(map);
    return bit;
}

quint16 RawConnection::pointerMask() const
{
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
    const quint16 mask = reply ? reply->mask : 0;
    std::free(reply);
    return mask;
}

bool RawConnection::waitForEvent(const std::function<bool(const xcb_generic_event_t*)>& match,
                                 int timeoutMs)
{
    xcb_flush(m_connection);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const bool matched = match(event);
            std::free(event);
            if (matched)
                return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return false;
}
