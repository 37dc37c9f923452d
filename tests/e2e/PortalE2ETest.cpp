// The hot key on a Wayland session: bound through the desktop's
// GlobalShortcuts portal (KDE's real one, or one played here by the test on
// its session bus for answers the real one never gives), else grabbed from X
// as before.
#include "Input.h"
#include "KdeShortcuts.h"
#include "Kavo.h"
#include "Peers.h"
#include "ShortcutsPortal.h"
#include "TestEnvironment.h"

namespace {

// Kavo on a Wayland session (by its environment; it still draws through
// XWayland, here Xvfb).
class PortalE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        m_kavo.setEnvironment("XDG_SESSION_TYPE", "wayland");
    }
    // Kavo goes before the portal does: it never calls a portal that is gone
    // (the bus would start the installed one on its own).
    void TearDown() override
    {
        KavoTest::TearDown();
        m_kavo.stop();
    }
    QString log() { return QString::fromStdString(m_kavo.errors()); }
    ShortcutsPortal portal;
};

TEST_F(PortalE2E, TheKeyIsBoundThroughThePortalAndItsActivationOpensAShelfMidScreen)
{
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !portal.bound.isEmpty(); }, 10000));
    ASSERT_EQ(portal.bound.size(), 1);
    EXPECT_EQ(portal.bound[0].id, "new-shelf");
    EXPECT_EQ(portal.bound[0].options.value("description"), "Open a new shelf");
    EXPECT_EQ(portal.bound[0].options.value("preferred_trigger"), "CTRL+ALT+space");
    EXPECT_TRUE(m_display.grabKey(' ', XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1)) << "not grabbed from X too";
    // The pointer over a native Wayland window is not seen: the shelf opens
    // in the middle of the screen it was last seen on.
    ASSERT_TRUE(Input::run(Input::moveTo({100, 100})));
    portal.activate("new-shelf");
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPointF(640, 400)));
}

// Plasma 5.27 binds only the shortcuts named when the session is made; the
// key then reaches Kavo through kglobalaccel's X grab and the portal, so the
// shelf opens mid-screen as for a native Wayland window.
TEST_F(PortalE2E, KdesPortalBindsTheKeyAndItsPressOpensAShelfAlsoAfterARestart)
{
    Openbox wm;
    KdeShortcuts kde;
    ASSERT_TRUE(wm.start()) << wm.errors().toStdString();
    ASSERT_TRUE(kde.start()) << kde.errors().toStdString();
    m_kavo.setEnvironment("DBUS_SESSION_BUS_ADDRESS", kde.address());
    for (const int run : {1, 2}) {
        SCOPED_TRACE(run);
        m_kavo.stop();
        ASSERT_TRUE(startKavo());
        ASSERT_TRUE(TestEnv::waitUntil([&] { return log().count("the desktop bound the hot key") == run; }, 10000))
            << m_kavo.errors();
        ASSERT_TRUE(Input::run(Input::moveTo({100, 100}) + Input::key("ctrl+alt+space")));
        // Openbox frames the window after it is mapped: until then the
        // window's place may read as the corner of its new frame.
        Shelves shelves;
        const QRect expected = placed(QPointF(640, 400));
        m_kavo.waitForShelves([&](const Shelves& s) { return s.size() == 1 && s[0].frame == expected; },
                              &shelves);
        ASSERT_EQ(shelves.size(), 1) << m_kavo.errors() << kde.errors().toStdString();
        EXPECT_EQ(shelves[0].frame, expected);
    }
}

// A desktop that refuses the key, or answers yes and binds nothing, is not
// taken for another program holding it; its notice holds nothing up.
TEST_F(PortalE2E, AShortcutTheDesktopRefusesOrDoesNotBindIsToldForWhatItIs)
{
    const struct
    {
        uint answer;
        bool bindsNothing;
        const char* logged;
    } cases[] = {{1, false, "the desktop refused it"}, {0, true, "the desktop bound nothing to it"}};
    const auto notice = [](const ProbedWindow& w) { return w.viewable && w.title == u"Kavo"; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        m_kavo.stop();
        ASSERT_TRUE(TestEnv::waitUntil([&] { return !m_display.waitForWindow(notice, 0); }, 10000));
        ShortcutsPortal desktop;
        desktop.answer = c.answer;
        desktop.bindsNothing = c.bindsNothing;
        ASSERT_TRUE(desktop.start());
        ASSERT_TRUE(startKavo());
        EXPECT_TRUE(m_display.waitForWindow(notice, 10000));
        EXPECT_TRUE(log().contains(c.logged)) << m_kavo.errors();
        EXPECT_FALSE(log().contains("another program"));
        EXPECT_EQ(m_kavo.list().value_or(Shelves(1)).size(), 0) << "the notice holds nothing up";
        m_kavo.stop(); // before its portal goes
    }
}

// A portal without GlobalShortcuts (and the test's portal keeps the bus from
// starting the installed one).
TEST_F(PortalE2E, WithoutGlobalShortcutsInThePortalTheKeyIsGrabbedFromXAndTheLogSaysSo)
{
    portal.version = 0;
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(startKavo());
    const auto told = [&] { return log().count("no GlobalShortcuts portal"); };
    ASSERT_TRUE(TestEnv::waitUntil([&] { return told() > 0; }));
    ASSERT_TRUE(Input::run(Input::moveTo({500, 300}) + Input::key("ctrl+alt+space")));
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPointF(500, 300)));
    EXPECT_EQ(told(), 1);
}

} // namespace
