#include "shake/SystemShakeInput.h"

#include "app/Prefs.h"
#include "platform/DragMonitor.h"
#include "platform/PointerSource.h"
#include "shake/DebugLog.h"
#include "shake/DockGeometry.h"
#include "shake/ShakeDetector.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

struct FakePointer : PointerSource
{
    PointerState state;
    PointerState sample() override { return state; }
};

struct FakeDrags : DragMonitor
{
    quint64 count = 7;
    bool owner = false;
    quint64 changeCount() const override { return count; }
    bool hasOwner() const override { return owner; }
};

class SystemShakeInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto pointer = std::make_unique<FakePointer>();
        auto drags = std::make_unique<FakeDrags>();
        m_pointer = pointer.get();
        m_drags = drags.get();
        m_input = std::make_unique<SystemShakeInput>(std::move(pointer), std::move(drags));
        Prefs::remove(Prefs::debugShake);
        QDir().mkpath(QFileInfo(DebugLog::path()).absolutePath());
        QFile::remove(DebugLog::path());
    }
    void TearDown() override
    {
        Prefs::remove(Prefs::debugShake);
        QFile::remove(DebugLog::path());
    }

    FakePointer* m_pointer = nullptr;
    FakeDrags* m_drags = nullptr;
    std::unique_ptr<SystemShakeInput> m_input;
};

TEST_F(SystemShakeInputTest, ReadsPointerDragsScreensAndClock)
{
    m_pointer->state = {QPointF(-12.5, 300.25), true};
    const double before = SystemShakeInput::uptime();
    const ShakeSample s = m_input->sample();
    EXPECT_TRUE(s.primaryDown);
    EXPECT_EQ(s.position, QPointF(-12.5, 300.25));
    EXPECT_GE(s.uptime, before);
    EXPECT_LE(s.uptime, SystemShakeInput::uptime());

    m_drags->count = 12;
    m_drags->owner = true;
    EXPECT_EQ(m_input->dragChangeCount(), 12u);
    EXPECT_TRUE(m_input->dragHasOwner());
    EXPECT_EQ(m_input->dockRect({3, 4}), DockGeometry::dockRect({3, 4}));
}

TEST_F(SystemShakeInputTest, MissingSourcesReadAsIdle)
{
    SystemShakeInput input(nullptr, nullptr);
    EXPECT_FALSE(input.sample().primaryDown);
    EXPECT_EQ(input.dragChangeCount(), 0u);
    EXPECT_FALSE(input.dragHasOwner());
}

// The preference is read at every release, so switching it on takes effect at once.
TEST_F(SystemShakeInputTest, ReleasesReachTheLogFileOnlyWhileDebuggingIsOn)
{
    ShakeDetector detector(std::move(m_input));
    auto click = [&](QPointF at) {
        m_pointer->state = {at, true};
        detector.tick();
        m_pointer->state = {at, false};
        detector.tick();
    };
    click({10, 20});
    EXPECT_FALSE(QFileInfo::exists(DebugLog::path()));

    Prefs::setValue(Prefs::debugShake, true);
    m_drags->count = 8;
    click({30.9, 40.2});
    QFile f(DebugLog::path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.endsWith(
        " release: swings=0 fired=false dock=false stack=false at=30,40 count 7->8\n"))
        << text.toStdString();
    EXPECT_EQ(text.count('\n'), 1);
}

} // namespace
