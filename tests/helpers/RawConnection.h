#pragma once

#include <QByteArray>
#include <QList>

#include <xcb/xcb.h>

#include <functional>
#include <optional>

// A connection of its own to the test display: another X client, for reading
// back what the code under test did and for playing a competing client or a
// window manager.
class RawConnection
{
public:
    RawConnection();
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool isValid() const { return m_connection && !xcb_connection_has_error(m_connection); }
    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    xcb_atom_t atom(const char* name) const;
    // Waits until the server has handled every request sent so far.
    void sync() const;

    // One 32-bit value of a property, with its type; nothing when unset.
    struct Value32
    {
        xcb_atom_t type;
        quint32 value;
    };
    std::optional<Value32> property32(xcb_window_t window, xcb_atom_t property) const;
    QByteArray property8(xcb_window_t window, xcb_atom_t property) const;

    // The keycodes that produce a keysym in the current keyboard mapping.
    QList<xcb_keycode_t> keycodes(xcb_keysym_t keysym) const;
    // The modifier bit (Mod1..Mod5, Lock...) that a keysym's key is mapped
    // to in the modifier map, or 0.
    quint16 modifierBit(xcb_keysym_t keysym) const;
    // The pointer's modifier and button mask now.
    quint16 pointerMask() const;

    // Waits (with a deadline) for an event of this connection that `match`
    // accepts; other events are dropped.
    bool waitForEvent(const std::function<bool(const xcb_generic_event_t*)>& match, int timeoutMs);

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
};
