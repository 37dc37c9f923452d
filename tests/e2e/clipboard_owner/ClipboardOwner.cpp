// A hostile owner of the X clipboard, where no real program plays the part:
//   clipboard_owner silent    owns CLIPBOARD and never answers anyone
//   clipboard_owner endless   offers text, then sends it in INCR pieces
//                             without end, each as soon as the last is taken
//   clipboard_owner latin1    offers text as a "text/plain" atom, TEXT and
//                             STRING, each different: "caf\xe9" (Latin-1)
//                             as STRING
// Prints "owner" once it owns the clipboard; runs until killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = r ? r->atom : XCB_NONE;
    std::free(r);
    return atom;
}

void notify(xcb_connection_t* c, const xcb_selection_request_event_t* req, xcb_atom_t property)
{
    xcb_selection_notify_event_t n{};
    n.response_type = XCB_SELECTION_NOTIFY;
    n.time = req->time;
    n.requestor = req->requestor;
    n.selection = req->selection;
    n.target = req->target;
    n.property = property;
    xcb_send_event(c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "silent";
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t clipboard = intern(c, "CLIPBOARD"), targets = intern(c, "TARGETS"),
                     utf8 = intern(c, "UTF8_STRING"), incr = intern(c, "INCR"), text = intern(c, "TEXT"),
                     plain = intern(c, "text/plain");
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
    if (!owner || owner->owner != window)
        return 1;
    std::free(owner);
    std::printf("owner\n");
    std::fflush(stdout);

    // The one transfer in progress: the requestor's window and property.
    xcb_window_t to = XCB_NONE;
    xcb_atom_t into = XCB_NONE;
    const std::vector<char> piece(64 * 1024, 'x');
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        const int type = e->response_type & 0x7f;
        if (type == XCB_SELECTION_REQUEST && mode == "latin1") {
            const auto* req = reinterpret_cast<const xcb_selection_request_event_t*>(e);
            const auto answer = [&](xcb_atom_t as, const char* bytes) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, as, 8,
                                    uint32_t(std::strlen(bytes)), bytes);
                notify(c, req, req->property);
            };
            if (req->target == targets) {
                const xcb_atom_t offered[] = {targets, plain, text, XCB_ATOM_STRING};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property,
                                    XCB_ATOM_ATOM, 32, 4, offered);
                notify(c, req, req->property);
            } else if (req->target == XCB_ATOM_STRING) {
                answer(XCB_ATOM_STRING, "caf\xe9");
            } else if (req->target == text) {
                answer(XCB_ATOM_STRING, "as TEXT");
            } else if (req->target == plain) {
                answer(plain, "as text/plain");
            } else {
                notify(c, req, XCB_NONE);
            }
        } else if (type == XCB_SELECTION_REQUEST && mode == "endless") {
            const auto* req = reinterpret_cast<const xcb_selection_request_event_t*>(e);
            if (req->target == targets) {
                const xcb_atom_t offered[] = {targets, utf8};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property,
                                    XCB_ATOM_ATOM, 32, 2, offered);
                notify(c, req, req->property);
            } else if (req->target == utf8) {
                // Follow the requestor's property: each deletion asks for more.
                const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(c, req->requestor, XCB_CW_EVENT_MASK, &events);
                const uint32_t size = 1u << 30;
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, incr, 32,
                                    1, &size);
                notify(c, req, req->property);
                to = req->requestor;
                into = req->property;
            } else {
                notify(c, req, XCB_NONE);
            }
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
            if (p->window == to && p->atom == into && p->state == XCB_PROPERTY_DELETE)
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, to, into, utf8, 8,
                                    uint32_t(piece.size()), piece.data());
        }
        std::free(e);
        xcb_flush(c);
    }
    return 0;
}
