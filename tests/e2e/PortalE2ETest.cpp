// The hot key on a Wayland session: bound through the desktop's
// GlobalShortcuts portal, played here by the test on its session bus, else
// grabbed from X as before.
#include "Input.h"
#include "Kavo.h"
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

TEST_F(PortalE2E, AShortcutTheDesktopRefusesIsTold)
{
    portal.answer = 1;
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(startKavo());
    EXPECT_TRUE(m_display.waitForWindow([](const ProbedWindow& w) { return w.viewable && w.title == u"Kavo"; }, 10000));
    EXPECT_EQ(m_kavo.list().value_or(Shelves(1)).size(), 0) << "the notice holds nothing up";
}

TEST_F(PortalE2E, WithoutAPortalTheKeyIsGrabbedFromXAndTheLogSaysSo)
{
    ASSERT_TRUE(startKavo());
    const auto told = [&] { return QString::fromStdString(m_kavo.errors()).count("no GlobalShortcuts portal"); };
    ASSERT_TRUE(TestEnv::waitUntil([&] { return told() > 0; }));
    ASSERT_TRUE(Input::run(Input::moveTo({500, 300}) + Input::key("ctrl+alt+space")));
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPointF(500, 300)));
    EXPECT_EQ(told(), 1);
}

} // namespace
