#include "platform/X11KeyGrabber.h"

#include "TestEnvironment.h"
#include "X11TestSupport.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr xcb_keysym_t spaceKeysym = 0x20;
constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr quint16 controlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

class KeyGrabberX11 : public ::testing::Test
{
protected:
    void TearDown() override { resetInputState(); }

    // A grabber of Ctrl+Alt+Space that counts its presses.
    std::unique_ptr<KeyGrabber> makeGrabber(int* presses)
    {
        std::unique_ptr<KeyGrabber> grabber = KeyGrabber::create();
        grabber->onPressed = [presses] { ++*presses; };
        return grabber;
    }
    static bool grabHotKey(KeyGrabber& grabber)
    {
        return grabber.grab(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
    }
    static bool pressHotKey()
    {
        return xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+space")});
    }
    // Long enough for a wrongly delivered event to arrive.
    static void settle() { TestEnv::processEventsFor(300); }
};

TEST_F(KeyGrabberX11, FiresOncePerPressInALaterTurnOfTheEventLoop)
{
    int presses = 0;
    std::unique_ptr<KeyGrabber> grabber = makeGrabber(&presses);
    ASSERT_NE(dynamic_cast<X11KeyGrabber*>(grabber.get()), nullptr);
    ASSERT_TRUE(grabHotKey(*grabber));

    ASSERT_TRUE(pressHotKey());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 1; }));
    settle();
    EXPECT_EQ(presses, 1); // the releases of Space, Alt and Ctrl do nothing

    ASSERT_TRUE(pressHotKey());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 2; }));

    // Without the modifiers Space is not the combination.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+space")}));
    settle();
    EXPECT_EQ(presses, 2);
}

TEST_F(KeyGrabberX11, FiresWithNumLockOn)
{
    RawConnection raw;
    ASSERT_TRUE(raw.isValid());
    const quint16 numLock = raw.modifierBit(numLockKeysym);
    ASSERT_NE(numLock, 0) << "Num Lock is not in the modifier map";

    int presses = 0;
    std::unique_ptr<KeyGrabber> grabber = makeGrabber(&presses);
    ASSERT_TRUE(grabHotKey(*grabber));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")}));
    ASSERT_TRUE(raw.pointerMask() & numLock);

    ASSERT_TRUE(pressHotKey());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 1; }));
    settle();
    EXPECT_EQ(presses, 1);
}

TEST_F(KeyGrabberX11, AHeldKeyFiresOnceAndItsReleaseNever)
{
    int presses = 0;
    std::unique_ptr<KeyGrabber> grabber = makeGrabber(&presses);
    ASSERT_TRUE(grabHotKey(*grabber));

    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+alt+space")}));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 1; }));
    // Longer than the server's auto-repeat delay: repeated presses of the
    // held key are not new presses.
    TestEnv::processEventsFor(900);
    EXPECT_EQ(presses, 1);
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+alt+space")}));
    settle();
    EXPECT_EQ(presses, 1);

    ASSERT_TRUE(pressHotKey());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 2; }));
}

TEST_F(KeyGrabberX11, ASecondGrabberOfTheCombinationWaitsForTheFirst)
{
    int firstPresses = 0;
    int secondPresses = 0;
    std::unique_ptr<KeyGrabber> first = makeGrabber(&firstPresses);
    std::unique_ptr<KeyGrabber> second = makeGrabber(&secondPresses);
    ASSERT_TRUE(grabHotKey(*first));
    EXPECT_FALSE(grabHotKey(*second));

    // The failed grab took nothing from the first.
    ASSERT_TRUE(pressHotKey());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return firstPresses == 1; }));
    settle();
    EXPECT_EQ(secondPresses, 0);

    first.reset();
    ASSERT_TRUE(grabHotKey(*second));
    ASSERT_TRUE(pressHotKey());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return secondPresses == 1; }));
}

TEST_F(KeyGrabberX11, AGrabRefusedByTheServerLeavesNothingGrabbed)
{
    RawConnection other;
    ASSERT_TRUE(other.isValid());
    const QList<xcb_keycode_t> codes = other.keycodes(spaceKeysym);
    ASSERT_FALSE(codes.isEmpty());
    // Another client holds only the bare combination, not its lock variants.
    ASSERT_EQ(xcb_request_check(other.get(),
                                xcb_grab_key_checked(other.get(), 0, other.root(), controlAlt,
                                                     codes.first(), XCB_GRAB_MODE_ASYNC,
                                                     XCB_GRAB_MODE_ASYNC)),
              nullptr);

    int presses = 0;
    std::unique_ptr<KeyGrabber> grabber = makeGrabber(&presses);
    EXPECT_FALSE(grabHotKey(*grabber));

    // The lock variants that the refused grab got first were given back: a
    // third client can have them.
    RawConnection third;
    xcb_generic_error_t* error = xcb_request_check(
        third.get(),
        xcb_grab_key_checked(third.get(), 0, third.root(), controlAlt | XCB_MOD_MASK_LOCK,
                             codes.first(), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(error, nullptr);
    std::free(error);

    // Once the others are gone the combination is free again.
    xcb_ungrab_key(other.get(), codes.first(), other.root(), controlAlt);
    xcb_ungrab_key(third.get(), codes.first(), third.root(), controlAlt | XCB_MOD_MASK_LOCK);
    other.sync();
    third.sync();
    EXPECT_TRUE(grabHotKey(*grabber));
}

TEST_F(KeyGrabberX11, DestroyingTheGrabberFreesTheCombination)
{
    int presses = 0;
    {
        std::unique_ptr<KeyGrabber> grabber = makeGrabber(&presses);
        ASSERT_TRUE(grabHotKey(*grabber));
    }
    RawConnection other;
    const QList<xcb_keycode_t> codes = other.keycodes(spaceKeysym);
    ASSERT_FALSE(codes.isEmpty());
    xcb_generic_error_t* error = xcb_request_check(
        other.get(), xcb_grab_key_checked(other.get(), 0, other.root(), controlAlt, codes.first(),
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(error, nullptr);
    std::free(error);
}

TEST_F(KeyGrabberX11, TheCallbackMayDestroyTheGrabber)
{
    int presses = 0;
    std::unique_ptr<KeyGrabber> grabber = KeyGrabber::create();
    grabber->onPressed = [&] {
        ++presses;
        grabber.reset();
    };
    ASSERT_TRUE(grabHotKey(*grabber));
    // Two presses close together: the second may already be queued when the
    // first destroys the grabber; it must then do nothing.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+space"),
                         QStringLiteral("ctrl+alt+space")}));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 1; }));
    settle();
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(grabber, nullptr);
}

TEST_F(KeyGrabberX11, GrabsAgainAfterTheKeyboardMappingChanges)
{
    RawConnection raw;
    ASSERT_TRUE(raw.isValid());
    const xcb_setup_t* setup = xcb_get_setup(raw.get());
    const QList<xcb_keycode_t> spaceCodes = raw.keycodes(spaceKeysym);
    ASSERT_EQ(spaceCodes.size(), 1);
    const xcb_keycode_t oldCode = spaceCodes.first();

    // Find a keycode with no symbols to move Space to.
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        raw.get(), xcb_get_keyboard_mapping(raw.get(), xcb_keycode_t(first), uint8_t(count)),
        nullptr);
    ASSERT_NE(mapping, nullptr);
    const int perCode = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
    const QList<xcb_keysym_t> oldSyms(syms + (oldCode - first) * perCode,
                                      syms + (oldCode - first + 1) * perCode);
    int spare = 0;
    for (int code = setup->max_keycode; code > oldCode && spare == 0; --code) {
        bool empty = true;
        for (int k = 0; k < perCode; ++k)
            empty = empty && syms[(code - first) * perCode + k] == XCB_NO_SYMBOL;
        if (empty)
            spare = code;
    }
    std::free(mapping);
    ASSERT_NE(spare, 0) << "no free keycode";

    int presses = 0;
    std::unique_ptr<KeyGrabber> grabber = makeGrabber(&presses);
    ASSERT_TRUE(grabHotKey(*grabber));

    auto remap = [&](xcb_keycode_t code, const QList<xcb_keysym_t>& keysyms) {
        xcb_change_keyboard_mapping(raw.get(), 1, code, uint8_t(keysyms.size()),
                                    keysyms.constData());
    };
    const QList<xcb_keysym_t> none(perCode, XCB_NO_SYMBOL);
    remap(xcb_keycode_t(spare), oldSyms);
    remap(oldCode, none);
    raw.sync();

    // xdotool now types Space with the new keycode: only a new grab sees it.
    const bool pressed = TestEnv::waitUntil(
        [&] {
            pressHotKey();
            return TestEnv::waitUntil([&] { return presses > 0; }, 300);
        },
        5000);

    remap(oldCode, oldSyms);
    remap(xcb_keycode_t(spare), none);
    raw.sync();
    EXPECT_TRUE(pressed);
}

} // namespace
