// Without X (the offscreen platform) every capability has a stand-in that
// does nothing harmful.
#include "platform/DirectSave.h"
#include "platform/DragMonitor.h"
#include "platform/KeyGrabber.h"
#include "platform/PointerSource.h"
#include "platform/WindowHints.h"

#include "TestEnvironment.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(NullPlatform, RunsOnTheOffscreenPlatform)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
}

TEST(NullPlatform, ThePointerIsQtsAndNoButtonIsEverDown)
{
    std::unique_ptr<PointerSource> source = PointerSource::create();
    ASSERT_NE(source, nullptr);
    QCursor::setPos(40, 50);
    const PointerState state = source->sample();
    EXPECT_EQ(state.position, QPointF(QCursor::pos()));
    EXPECT_FALSE(state.primaryDown);
}

TEST(NullPlatform, NoDragIsEverSeen)
{
    std::unique_ptr<DragMonitor> monitor = DragMonitor::create();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->changeCount(), 0u);
    EXPECT_FALSE(monitor->hasOwner());
    TestEnv::processEventsFor(20);
    EXPECT_EQ(monitor->changeCount(), 0u);
}

TEST(NullPlatform, NoKeyCanBeGrabbed)
{
    std::unique_ptr<KeyGrabber> grabber = KeyGrabber::create();
    ASSERT_NE(grabber, nullptr);
    bool pressed = false;
    grabber->onPressed = [&] { pressed = true; };
    EXPECT_FALSE(grabber->grab(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier));
    grabber->ungrab();
    TestEnv::processEventsFor(20);
    EXPECT_FALSE(pressed);
}

TEST(NullPlatform, DirectSaveFindsNoSource)
{
    std::unique_ptr<DirectSave> directSave = DirectSave::create();
    ASSERT_NE(directSave, nullptr);
    EXPECT_TRUE(directSave->suggestedName().isEmpty());
    EXPECT_FALSE(directSave->setTarget(QUrl::fromLocalFile(TestEnv::home() + "/x.txt")));
}

TEST(NullPlatform, WindowHintsDoNothing)
{
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window.winId();
    WindowHints::showOnAllDesktops(&window);
    WindowHints::showOnAllDesktops(nullptr);
    SUCCEED();
}

} // namespace
