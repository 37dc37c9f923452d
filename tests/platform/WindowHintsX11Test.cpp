#include "platform/WindowHints.h"

#include "TestEnvironment.h"
#include "X11TestSupport.h"

#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr quint32 allDesktops = 0xFFFFFFFF;

std::unique_ptr<QWidget> makePanel()
{
    auto panel = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                        Qt::WindowStaysOnTopHint);
    panel->resize(120, 80);
    panel->winId();
    return panel;
}

TEST(WindowHintsX11, SetsTheDesktopPropertyBeforeAndAfterMapping)
{
    RawConnection raw;
    ASSERT_TRUE(raw.isValid());
    const xcb_atom_t desktop = raw.atom("_NET_WM_DESKTOP");

    std::unique_ptr<QWidget> panel = makePanel();
    const auto window = xcb_window_t(panel->winId());
    WindowHints::showOnAllDesktops(panel.get());
    // Qt flushes its requests before it waits for anything; reading from
    // another client needs them sent.
    EXPECT_TRUE(TestEnv::waitUntil([&] { return raw.property32(window, desktop).has_value(); }));
    std::optional<RawConnection::Value32> value = raw.property32(window, desktop);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, xcb_atom_t(XCB_ATOM_CARDINAL));
    EXPECT_EQ(value->value, allDesktops);

    panel->show();
    xcb_delete_property(raw.get(), window, desktop);
    raw.sync();
    WindowHints::showOnAllDesktops(panel.get());
    EXPECT_TRUE(TestEnv::waitUntil([&] {
        const std::optional<RawConnection::Value32> v = raw.property32(window, desktop);
        return v && v->value == allDesktops;
    }));
}

TEST(WindowHintsX11, AChildWidgetMarksItsWindow)
{
    RawConnection raw;
    std::unique_ptr<QWidget> panel = makePanel();
    auto* child = new QWidget(panel.get());
    WindowHints::showOnAllDesktops(child);
    const xcb_atom_t desktop = raw.atom("_NET_WM_DESKTOP");
    EXPECT_TRUE(TestEnv::waitUntil(
        [&] { return raw.property32(xcb_window_t(panel->winId()), desktop).has_value(); }));
    WindowHints::showOnAllDesktops(nullptr); // nothing to do, no crash
}

// Plays the part of a window manager: owns the redirect on the root window
// and names itself in _NET_SUPPORTING_WM_CHECK on request.
class FakeWindowManager
{
public:
    FakeWindowManager()
    {
        const uint32_t mask =
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_generic_error_t* error = xcb_request_check(
            m_raw.get(), xcb_change_window_attributes_checked(m_raw.get(), m_raw.root(),
                                                              XCB_CW_EVENT_MASK, &mask));
        m_redirecting = error == nullptr;
        std::free(error);
        m_check = m_raw.atom("_NET_SUPPORTING_WM_CHECK");
        m_desktop = m_raw.atom("_NET_WM_DESKTOP");
    }
    ~FakeWindowManager()
    {
        // The root's property outlives this client: take it away.
        xcb_delete_property(m_raw.get(), m_raw.root(), m_check);
        m_raw.sync();
    }

    bool isRedirecting() const { return m_redirecting; }

    void announce()
    {
        m_window = xcb_generate_id(m_raw.get());
        xcb_create_window(m_raw.get(), XCB_COPY_FROM_PARENT, m_window, m_raw.root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        for (xcb_window_t w : {m_raw.root(), m_window}) {
            xcb_change_property(m_raw.get(), XCB_PROP_MODE_REPLACE, w, m_check, XCB_ATOM_WINDOW, 32,
                                1, &m_window);
        }
        m_raw.sync();
    }

    // Waits for the EWMH request that moves `window` to every desktop.
    bool receivesDesktopRequest(xcb_window_t window, int timeoutMs)
    {
        return m_raw.waitForEvent(
            [&](const xcb_generic_event_t* event) {
                if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
                    return false;
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                return message->type == m_desktop && message->window == window &&
                       message->format == 32 && message->data.data32[0] == allDesktops;
            },
            timeoutMs);
    }

private:
    RawConnection m_raw;
    bool m_redirecting = false;
    xcb_atom_t m_check = XCB_NONE;
    xcb_atom_t m_desktop = XCB_NONE;
    xcb_window_t m_window = XCB_NONE;
};

TEST(WindowHintsX11, AsksARunningWindowManager)
{
    FakeWindowManager wm;
    if (!wm.isRedirecting())
        GTEST_SKIP() << "a real window manager runs on this display";
    std::unique_ptr<QWidget> panel = makePanel();
    const auto window = xcb_window_t(panel->winId());

    // Without a window manager the property is all there is.
    WindowHints::showOnAllDesktops(panel.get());
    EXPECT_FALSE(wm.receivesDesktopRequest(window, 300));

    wm.announce();
    WindowHints::showOnAllDesktops(panel.get());
    EXPECT_TRUE(wm.receivesDesktopRequest(window, 5000));
}

} // namespace
