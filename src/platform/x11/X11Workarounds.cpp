#include "platform/x11/X11Workarounds.h"

#include "platform/x11/X11Util.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <xcb/xcb.h>

namespace X11Workarounds {
namespace {

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
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE:
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE:
        case XCB_MOTION_NOTIFY:
        case XCB_ENTER_NOTIFY:
        case XCB_LEAVE_NOTIFY:
            seen(reinterpret_cast<xcb_key_press_event_t*>(event)->time);
            break;
        case XCB_PROPERTY_NOTIFY:
            seen(reinterpret_cast<xcb_property_notify_event_t*>(event)->time);
            break;
        case XCB_SELECTION_REQUEST: {
            auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
            if (m_latest != 0 && request->time != XCB_CURRENT_TIME &&
                int32_t(request->time - m_latest) > toleranceMs)
                request->time = request->selection == X11Util::atom("XdndSelection")
                                    ? m_latest
                                    : xcb_timestamp_t(XCB_CURRENT_TIME);
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    // Times the server put on events: the server's clock, give or take.
    void seen(xcb_timestamp_t time)
    {
        if (time != XCB_CURRENT_TIME && (m_latest == 0 || int32_t(time - m_latest) > 0))
            m_latest = time;
    }

    static constexpr int32_t toleranceMs = 60 * 60 * 1000;
    xcb_timestamp_t m_latest = 0;
};

} // namespace

void install()
{
    if (!X11Util::connection())
        return;
    static SelectionTimeGuard guard;
    QCoreApplication::instance()->installNativeEventFilter(&guard);
}

} // namespace X11Workarounds
