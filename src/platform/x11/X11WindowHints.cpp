#include "platform/x11/X11WindowHints.h"

#include "platform/x11/X11Util.h"

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// The window named by a WINDOW property, or 0.
quint32 windowProperty(xcb_connection_t* c, quint32 window, quint32 property)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
    quint32 value = 0;
    if (reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32 &&
        xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<const quint32*>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

} // namespace

namespace X11WindowHints {

bool windowManagerRuns(xcb_connection_t* connection, quint32 root)
{
    const quint32 check = X11Util::atom("_NET_SUPPORTING_WM_CHECK");
    if (check == 0)
        return false;
    const quint32 wm = windowProperty(connection, root, check);
    // A window manager that died leaves the root's property behind; its
    // window, gone with it, no longer answers.
    return wm != 0 && windowProperty(connection, wm, check) == wm;
}

bool compositorRuns(xcb_connection_t* connection, quint32 root)
{
    int screen = 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (it.data->root == root) {
            screen = i;
            break;
        }
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    const quint32 selection = X11Util::atom(name.constData());
    if (selection == 0)
        return false;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

void activate(xcb_connection_t* connection, quint32 root, quint32 window, quint32 time)
{
    if (window == 0)
        return;
    const quint32 active = X11Util::atom("_NET_ACTIVE_WINDOW");
    if (active != 0 && windowManagerRuns(connection, root)) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = active;
        message.data.data32[0] = 1; // source indication: a normal application
        message.data.data32[1] = time;
        message.data.data32[2] = XCB_NONE; // none of Kavo's windows is active
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    } else {
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, window, time);
    }
    xcb_flush(connection);
}

void showOnAllDesktops(xcb_connection_t* connection, quint32 root, quint32 window)
{
    const quint32 desktop = X11Util::atom("_NET_WM_DESKTOP");
    if (desktop == 0 || window == 0)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL, 32,
                        1, &allDesktops);

    if (windowManagerRuns(connection, root)) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = desktop;
        message.data.data32[0] = allDesktops;
        message.data.data32[1] = 1; // source indication: a normal application
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_flush(connection);
}

} // namespace X11WindowHints
