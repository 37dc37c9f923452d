#include "platform/X11PointerSource.h"

#include "TestEnvironment.h"
#include "X11TestSupport.h"

#include <gtest/gtest.h>

namespace {

class PointerSourceX11 : public ::testing::Test
{
protected:
    void TearDown() override { resetInputState(); }

    static bool moveTo(int x, int y)
    {
        return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
    }
};

TEST_F(PointerSourceX11, ReportsThePositionAndThePrimaryButton)
{
    std::unique_ptr<PointerSource> source = PointerSource::create();
    ASSERT_NE(dynamic_cast<X11PointerSource*>(source.get()), nullptr);

    ASSERT_TRUE(moveTo(123, 234));
    // Answers may trail by one sample; a few samples see the move.
    EXPECT_TRUE(TestEnv::waitUntil([&] { return source->sample().position == QPointF(123, 234); }));
    EXPECT_FALSE(source->sample().primaryDown);

    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return source->sample().primaryDown; }));
    EXPECT_EQ(source->sample().position, QPointF(123, 234));

    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return !source->sample().primaryDown; }));

    ASSERT_TRUE(moveTo(0, 0));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return source->sample().position == QPointF(0, 0); }));
}

TEST_F(PointerSourceX11, OtherButtonsAreNotThePrimaryOne)
{
    std::unique_ptr<PointerSource> source = PointerSource::create();
    ASSERT_TRUE(moveTo(300, 300));
    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("3")}));
    TestEnv::waitUntil([&] { return source->sample().position == QPointF(300, 300); });
    source->sample();
    EXPECT_FALSE(source->sample().primaryDown);
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("3")}));
}

TEST_F(PointerSourceX11, AnAnswerThatWaitedTooLongIsNotReported)
{
    std::unique_ptr<PointerSource> source = PointerSource::create();
    ASSERT_TRUE(moveTo(50, 60));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return source->sample().position == QPointF(50, 60); }));

    // The query that the last sample sent is answered at once with (50, 60);
    // once it is older than the limit, the next sample asks again.
    ASSERT_TRUE(moveTo(70, 80));
    TestEnv::processEventsFor(int(X11PointerSource::maxAnswerAge.count()) + 50);
    EXPECT_EQ(source->sample().position, QPointF(70, 80));
}

TEST_F(PointerSourceX11, TwoSourcesKeepTheirOwnAnswers)
{
    // Two sources share the connection; their pipelined queries must not
    // take each other's answers.
    std::unique_ptr<PointerSource> a = PointerSource::create();
    std::unique_ptr<PointerSource> b = PointerSource::create();
    ASSERT_TRUE(moveTo(400, 410));
    EXPECT_TRUE(TestEnv::waitUntil([&] {
        const bool aSees = a->sample().position == QPointF(400, 410);
        const bool bSees = b->sample().position == QPointF(400, 410);
        return aSees && bSees;
    }));
}

TEST_F(PointerSourceX11, PressesAnywhereAreReportedAndTheNextSampleIsFresh)
{
    std::unique_ptr<PointerSource> source = PointerSource::create();
    ASSERT_TRUE(source->notifiesPresses()) << "Xvfb has XInput 2.2";
    int presses = 0;
    PointerState afterPress;
    source->onPress = [&] {
        ++presses;
        afterPress = source->sample();
    };
    ASSERT_TRUE(moveTo(500, 200));
    // A query sent just before the press must not answer for after it.
    source->sample();
    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return presses == 1; }));
    EXPECT_TRUE(afterPress.primaryDown);
    EXPECT_EQ(afterPress.position, QPointF(500, 200));
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    TestEnv::processEventsFor(50);
    EXPECT_EQ(presses, 1) << "releases are not presses";
    // Any button counts: the poll decides what it means.
    ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("3")}));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return presses == 2; }));
}

} // namespace
