#include "platform/X11DragMonitor.h"

#include "HelperProcess.h"
#include "TestEnvironment.h"
#include "X11TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DragMonitorX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("dragged.txt"));
        ASSERT_TRUE(TestEnv::writeFile(m_file, "dragged"));
    }
    void TearDown() override { resetInputState(); }

    // Starts the drag source at (100, 100) and answers the centre of its window.
    QPoint startSource()
    {
        EXPECT_TRUE(
            m_source.start(HelperProcess::dragSourcePath(),
                           {QStringLiteral("--geometry"), QStringLiteral("100,100"), m_file}));
        const std::optional<QString> ready = m_source.waitForLine(QStringLiteral("ready "));
        EXPECT_TRUE(ready) << m_source.errorOutput().toStdString();
        return QPoint(200, 175);
    }

    QTemporaryDir m_dir;
    QString m_file;
    HelperProcess m_source;
};

TEST_F(DragMonitorX11, CountsEveryDragOfAnotherApplication)
{
    std::unique_ptr<DragMonitor> monitor = DragMonitor::create();
    auto* x11 = dynamic_cast<X11DragMonitor*>(monitor.get());
    ASSERT_NE(x11, nullptr);
    ASSERT_TRUE(x11->isWatching());
    const quint64 before = monitor->changeCount();

    const QPoint centre = startSource();
    // The drag ends over the bare root window: nothing takes it.
    ASSERT_TRUE(xdotool(dragArguments(centre, QPoint(700, 500))));
    ASSERT_TRUE(m_source.waitForLine(QStringLiteral("started")));
    ASSERT_EQ(m_source.waitForLine(QStringLiteral("result ")), QStringLiteral("result ignore"));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return monitor->changeCount() > before; }));
    // A Qt source keeps the selection after its drag.
    EXPECT_TRUE(monitor->hasOwner());

    // The same source again: the owner stays the same window, yet it is a new
    // drag and it counts.
    const quint64 afterFirst = monitor->changeCount();
    ASSERT_TRUE(xdotool(dragArguments(centre, QPoint(700, 500))));
    ASSERT_TRUE(m_source.waitForLine(QStringLiteral("result ")));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return monitor->changeCount() > afterFirst; }));
    EXPECT_TRUE(monitor->hasOwner());
}

TEST_F(DragMonitorX11, SeesTheOwnerGoWithItsClient)
{
    const QPoint centre = startSource();
    ASSERT_TRUE(xdotool(dragArguments(centre, QPoint(700, 500))));
    ASSERT_TRUE(m_source.waitForLine(QStringLiteral("result ")));

    // Created while the source owns the selection: it reads the owner once.
    std::unique_ptr<DragMonitor> monitor = DragMonitor::create();
    EXPECT_TRUE(monitor->hasOwner());
    const quint64 before = monitor->changeCount();

    m_source.kill();
    EXPECT_TRUE(TestEnv::waitUntil([&] { return !monitor->hasOwner(); }));
    EXPECT_GT(monitor->changeCount(), before);
}

TEST_F(DragMonitorX11, MonitorsWatchIndependently)
{
    std::unique_ptr<DragMonitor> first = DragMonitor::create();
    std::unique_ptr<DragMonitor> second = DragMonitor::create();
    // The last monitor keeps the notifications coming after the first goes.
    first.reset();
    const quint64 before = second->changeCount();

    const QPoint centre = startSource();
    ASSERT_TRUE(xdotool(dragArguments(centre, QPoint(700, 500))));
    ASSERT_TRUE(m_source.waitForLine(QStringLiteral("result ")));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return second->changeCount() > before; }));
}

} // namespace
