// The display-independent parts of the X11 layer: key and modifier
// conversion, coordinate conversion, decoding of Direct Save names.
#include "platform/X11DirectSave.h"
#include "platform/X11KeyGrabber.h"
#include "platform/X11Util.h"

#include <gtest/gtest.h>

namespace {

TEST(X11KeyConversion, KeysBecomeTheirKeysyms)
{
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_Space), 0x20u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_A), 0x61u); // lower-case keysym
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_Z), 0x7au);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_0), 0x30u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_9), 0x39u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_F1), 0xffbeu);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_F12), 0xffc9u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_Escape), 0xff1bu);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_PageDown), 0xff56u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_Adiaeresis), 0xe4u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_multiply), 0xd7u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_unknown), 0u);
    EXPECT_EQ(X11KeyGrabber::keysymFor(Qt::Key_Control), 0u);
}

TEST(X11KeyConversion, ModifiersBecomeTheCoreMask)
{
    EXPECT_EQ(X11KeyGrabber::modifierMask(Qt::ControlModifier | Qt::AltModifier), 0xC);
    EXPECT_EQ(X11KeyGrabber::modifierMask(Qt::ShiftModifier), 0x1);
    EXPECT_EQ(X11KeyGrabber::modifierMask(Qt::MetaModifier), 0x40);
    EXPECT_EQ(X11KeyGrabber::modifierMask(Qt::NoModifier), 0);
    EXPECT_EQ(X11KeyGrabber::modifierMask(Qt::KeypadModifier | Qt::GroupSwitchModifier), 0);
}

TEST(X11KeyConversion, EveryLockCombinationIsGrabbedOnce)
{
    // Caps Lock 0x2, Num Lock on Mod2 (0x10), Scroll Lock on Mod5 (0x80).
    const QList<quint16> all = X11KeyGrabber::lockVariants(0xC, 0x2, 0x10, 0x80);
    EXPECT_EQ(all, (QList<quint16>{0xC, 0xE, 0x1C, 0x1E, 0x8C, 0x8E, 0x9C, 0x9E}));
    // A lock that is not mapped adds nothing, and no combination repeats.
    const QList<quint16> noScroll = X11KeyGrabber::lockVariants(0xC, 0x2, 0x10, 0);
    EXPECT_EQ(noScroll, (QList<quint16>{0xC, 0xE, 0x1C, 0x1E}));
    EXPECT_EQ(X11KeyGrabber::lockVariants(0, 0x2, 0, 0), (QList<quint16>{0, 0x2}));
}

TEST(X11Coordinates, PixelsBecomeDeviceIndependentPerScreen)
{
    // Without scaling the two systems agree.
    const QList<X11Util::ScreenScale> plain{{QRect(0, 0, 1280, 800), 1.0}};
    EXPECT_EQ(X11Util::fromNative(QPoint(123, 234), plain), QPointF(123, 234));

    // A scaled screen right of a plain one keeps its top-left corner.
    const QList<X11Util::ScreenScale> mixed{{QRect(0, 0, 1280, 800), 1.0},
                                            {QRect(1280, 0, 960, 540), 2.0}};
    EXPECT_EQ(X11Util::fromNative(QPoint(1279, 799), mixed), QPointF(1279, 799));
    EXPECT_EQ(X11Util::fromNative(QPoint(1280, 0), mixed), QPointF(1280, 0));
    EXPECT_EQ(X11Util::fromNative(QPoint(1280 + 400, 300), mixed), QPointF(1280 + 200, 150));
    // The scaled screen spans 1920 x 1080 pixels.
    EXPECT_EQ(X11Util::fromNative(QPoint(1280 + 1919, 1079), mixed), QPointF(1280 + 959.5, 539.5));

    // Outside every screen the first (primary) screen's ratio applies.
    const QList<X11Util::ScreenScale> scaled{{QRect(0, 0, 640, 400), 2.0}};
    EXPECT_EQ(X11Util::fromNative(QPoint(-10, 2000), scaled), QPointF(-5, 1000));
    EXPECT_EQ(X11Util::fromNative(QPoint(7, 9), {}), QPointF(7, 9));
}

TEST(X11DirectSaveNames, DecodedByTheirType)
{
    const QByteArray utf8 = QStringLiteral("Bericht über.txt").toUtf8();
    EXPECT_EQ(X11DirectSave::decodeName("text/plain", utf8), QStringLiteral("Bericht über.txt"));
    EXPECT_EQ(X11DirectSave::decodeName("UTF8_STRING", utf8), QStringLiteral("Bericht über.txt"));
    EXPECT_EQ(X11DirectSave::decodeName("STRING", QByteArray("caf\xe9.txt")),
              QStringLiteral("café.txt"));
    EXPECT_EQ(X11DirectSave::decodeName("text/plain;charset=ISO-8859-1", "caf\xe9.txt"),
              QStringLiteral("café.txt"));
    EXPECT_EQ(X11DirectSave::decodeName("text/plain; charset=\"utf-8\"", utf8),
              QStringLiteral("Bericht über.txt"));
    // An unknown charset falls back to UTF-8 rather than losing the name.
    EXPECT_EQ(X11DirectSave::decodeName("text/plain;charset=x-unknown", utf8),
              QStringLiteral("Bericht über.txt"));
    // A terminating NUL is not part of the name.
    EXPECT_EQ(X11DirectSave::decodeName("text/plain", QByteArray("a.txt\0", 6)),
              QStringLiteral("a.txt"));
    // Other types are not names: the caller finds none.
    EXPECT_TRUE(X11DirectSave::decodeName("image/png", "a.txt").isNull());
    EXPECT_TRUE(X11DirectSave::decodeName("ATOM", "a.txt").isNull());
}

} // namespace
