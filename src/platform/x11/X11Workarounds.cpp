#include "platform/x11/X11Workarounds.h"

#include "platform/OutgoingDrag.h"
#include "platform/x11/X11Util.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QList>
#include <QMimeData>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>

namespace X11Workarounds {
namespace {

// The major opcode of XInput, through which Qt takes the pointer; 0 without it.
uint8_t xinputOpcode()
{
    static const xcb_query_extension_reply_t* ext = xcb_get_extension_data(X11Util::connection(), &xcb_input_id);
    return ext && ext->present ? ext->major_opcode : 0;
}

// The time the server put on an event (pointer and keys, core or XInput 2;
// property changes): the server's clock, which Qt stamps its own requests
// and drag messages with. "Current time" for other events.
xcb_timestamp_t serverTime(const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
        return reinterpret_cast<const xcb_key_press_event_t*>(event)->time;
    case XCB_PROPERTY_NOTIFY:
        return reinterpret_cast<const xcb_property_notify_event_t*>(event)->time;
    case XCB_GE_GENERIC:
        if (reinterpret_cast<const xcb_ge_generic_event_t*>(event)->extension == xinputOpcode())
            return reinterpret_cast<const xcb_input_button_press_event_t*>(event)->time;
        return XCB_CURRENT_TIME;
    default:
        return XCB_CURRENT_TIME;
    }
}

// Follows the latest of the times the server put on events.
void advance(xcb_timestamp_t* latest, xcb_timestamp_t time)
{
    if (time != XCB_CURRENT_TIME && (*latest == 0 || int32_t(time - *latest) > 0))
        *latest = time;
}

// Some drop targets (pcmanfm, through libfm) ask for the dragged data with
// the wall-clock time in seconds where an X server time belongs. Qt adopts
// the time of every selection request as its own, and from then on asks the
// server for selections with a time far in the future, which the server
// ignores: "Copy" then silently puts nothing on the clipboard, until Kavo
// restarts. A request whose time lies far beyond any time the server has
// given gets the latest server time instead (for the drag's data: Qt then
// finds the drop the request belongs to by its window, as it would have),
// or "current time" (for the clipboards, whose owner accepts it).
class SelectionTimeGuard final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST) {
            advance(&m_latest, serverTime(event));
            return false;
        }
        auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
        if (m_latest != 0 && request->time != XCB_CURRENT_TIME && int32_t(request->time - m_latest) > toleranceMs)
            request->time = request->selection == X11Util::atom("XdndSelection") ? m_latest
                                                                                   : xcb_timestamp_t(XCB_CURRENT_TIME);
        return false;
    }

private:
    static constexpr int32_t toleranceMs = 60 * 60 * 1000;
    xcb_timestamp_t m_latest = 0;
};

// GTK 4 drop targets (Nautilus among them) ask for the dragged data with
// "current time", on a hidden window of their own. Qt's drag source answers
// such a request only when it comes from a window inside the drop target
// it is talking to, so it refuses them all: during the drag and after the
// drop alike. The target then never gets the files, drops nothing, and is
// left with a drop it never finishes, which spoils its later drops from
// other programs too.
// During the drag Qt also refuses a request stamped with the time of any
// but its latest XdndPosition: a target that asks for the data at each
// position (pcmanfm) and is answered late, because this program is busy,
// asks with a time Qt has already moved past, is refused at every position,
// and turns the drop away.
// Both kinds get this program's drag data here: requests with "current
// time", and those stamped at or after the start of the newest drag (the
// data of a drag does not change while it runs). Requests for an earlier
// drop stay Qt's, which knows each drop's data by its time.
class DragDataAnswer final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & 0x7f;
        // A drag begins while Qt handles an event this filter has seen.
        if (OutgoingDrag::generation() != m_generation)
            m_generation = OutgoingDrag::generation(), m_dragStart = m_latest;
        if (type != XCB_SELECTION_REQUEST) {
            advance(&m_latest, serverTime(event));
            return false;
        }
        const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
        if (request->selection != X11Util::atom("XdndSelection") || !ofNewestDrag(request->time))
            return false;
        const QMimeData* data = OutgoingDrag::data();
        const QString format = data ? atomName(request->target) : QString();
        // Other targets ("TARGETS", "DELETE", text conversions) stay Qt's.
        if (format.isEmpty() || !data->formats().contains(format))
            return false;
        answer(*request, data->data(format));
        return true;
    }

private:
    bool ofNewestDrag(xcb_timestamp_t time) const
    {
        return time == XCB_CURRENT_TIME || (m_dragStart != 0 && int32_t(time - m_dragStart) >= 0);
    }

    static QString atomName(xcb_atom_t atom)
    {
        xcb_connection_t* c = X11Util::connection();
        xcb_get_atom_name_reply_t* reply = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr);
        if (!reply)
            return {};
        const QString name = QString::fromLatin1(xcb_get_atom_name_name(reply), xcb_get_atom_name_name_length(reply));
        std::free(reply);
        return name;
    }

    static void answer(const xcb_selection_request_event_t& request, const QByteArray& bytes)
    {
        xcb_connection_t* c = X11Util::connection();
        // Obsolete requestors name no property: the target is the property.
        const xcb_atom_t property = request.property != XCB_NONE ? request.property : request.target;
        // Data too large for one request is refused, as Qt would refuse it.
        const qint64 room = qint64(xcb_get_maximum_request_length(c)) * 4 - 64;
        const bool fits = bytes.size() <= room;
        if (fits)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, request.target, 8,
                                uint32_t(bytes.size()), bytes.constData());
        xcb_selection_notify_event_t notify;
        std::memset(&notify, 0, sizeof notify);
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = fits ? property : xcb_atom_t(XCB_NONE);
        xcb_send_event(c, false, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
        xcb_flush(c);
    }

    unsigned m_generation = 0;
    xcb_timestamp_t m_dragStart = 0;
    xcb_timestamp_t m_latest = 0;
};

// Qt offers every action the drag allows (XdndActionList) whatever keys
// the user holds, and names the one the keys ask for only as the suggested
// action. Targets that choose for themselves among the offered actions
// (Thunar makes a copy onto the same disk a move) then ignore Ctrl. As GTK's
// drag sources do, while Ctrl or Shift is held the list offers only the
// action they ask for (Ctrl: copy, Shift: move, both: link), and the whole
// list again once they are let go.
class HeldKeysActions final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & 0x7f;
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        // Qt takes the pointer through XInput 2, or else as core events.
        const bool pointer = type == XCB_MOTION_NOTIFY || type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE ||
                             (type == XCB_GE_GENERIC && ge->extension == xinputOpcode() &&
                              (ge->event_type == XCB_INPUT_MOTION || ge->event_type == XCB_INPUT_BUTTON_PRESS ||
                               ge->event_type == XCB_INPUT_BUTTON_RELEASE));
        // Looked at once Qt has handled the event (and rewritten the list
        // when the keys changed the action it suggests), while a drag of
        // this program may run.
        if (pointer && !m_queued && OutgoingDrag::data()) {
            m_queued = true;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this] {
                    m_queued = false;
                    update();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    using Atoms = QList<xcb_atom_t>;
    static constexpr uint16_t keysMask = XCB_KEY_BUT_MASK_SHIFT | XCB_KEY_BUT_MASK_CONTROL;
    static constexpr uint32_t maxActions = 16;

    void update()
    {
        xcb_connection_t* c = X11Util::connection();
        // The keys as they are held now; a drag runs while the button is down.
        xcb_query_pointer_reply_t* pointer =
            xcb_query_pointer_reply(c, xcb_query_pointer(c, X11Util::rootWindow()), nullptr);
        const uint16_t mask = pointer ? pointer->mask : 0;
        std::free(pointer);
        if (!(mask & XCB_KEY_BUT_MASK_BUTTON_1) || !OutgoingDrag::data() || !findOwner())
            return;
        const Atoms now = readList();
        if (now != m_written)
            m_offered = now; // Qt wrote it
        const uint16_t keys = mask & keysMask;
        Atoms wanted = m_offered;
        if (keys != 0 && !m_offered.isEmpty()) {
            const char* name = keys == keysMask                  ? "XdndActionLink"
                               : keys & XCB_KEY_BUT_MASK_CONTROL ? "XdndActionCopy"
                                                                 : "XdndActionMove";
            const xcb_atom_t asked = X11Util::atom(name);
            // Qt falls back to an action the drag allows, which it names first.
            wanted = {m_offered.contains(asked) ? asked : m_offered.first()};
        }
        m_written = wanted;
        if (wanted == now)
            return;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_owner, X11Util::atom("XdndActionList"), XCB_ATOM_ATOM, 32,
                            uint32_t(wanted.size()), wanted.constData());
        xcb_flush(c);
    }

    // The window Qt's drags are offered from: the drag selection's owner,
    // when it is one of this program's windows. Qt keeps it for good.
    bool findOwner()
    {
        if (m_owner != XCB_NONE)
            return true;
        xcb_connection_t* c = X11Util::connection();
        xcb_get_selection_owner_reply_t* reply =
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, X11Util::atom("XdndSelection")), nullptr);
        const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_NONE);
        std::free(reply);
        const xcb_setup_t* setup = xcb_get_setup(c);
        if (owner != XCB_NONE && (owner & ~setup->resource_id_mask) == setup->resource_id_base)
            m_owner = owner;
        return m_owner != XCB_NONE;
    }

    Atoms readList() const
    {
        xcb_connection_t* c = X11Util::connection();
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, false, m_owner, X11Util::atom("XdndActionList"), XCB_ATOM_ATOM, 0, maxActions),
            nullptr);
        Atoms atoms;
        if (reply && reply->format == 32) {
            const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
                atoms << values[i];
        }
        std::free(reply);
        return atoms;
    }

    bool m_queued = false;
    xcb_window_t m_owner = XCB_NONE;
    Atoms m_offered; // what Qt last wrote
    Atoms m_written; // what the list was last made to hold here
};

} // namespace

void install()
{
    if (!X11Util::connection())
        return;
    static SelectionTimeGuard guard;
    static DragDataAnswer dragData;
    static HeldKeysActions heldKeys;
    QCoreApplication::instance()->installNativeEventFilter(&guard);
    QCoreApplication::instance()->installNativeEventFilter(&dragData);
    QCoreApplication::instance()->installNativeEventFilter(&heldKeys);
}

} // namespace X11Workarounds
