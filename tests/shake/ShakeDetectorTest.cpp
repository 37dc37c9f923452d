#include "shake/ShakeDetector.h"

#include "TestEnvironment.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

// Samples and drag state set by the test; counts what the detector reads.
class FakeInput : public ShakeInput
{
public:
    ShakeSample current;
    quint64 changeCount = 41;
    bool owner = false;
    QRectF dock{0, 820, 1440, 80};
    bool debug = true;
    QStringList log;
    int samples = 0;
    int dragReads = 0;
    int dockReads = 0;

    ShakeSample sample() override
    {
        ++samples;
        return current;
    }
    quint64 dragChangeCount() override
    {
        ++dragReads;
        return changeCount;
    }
    bool dragHasOwner() override
    {
        ++dragReads;
        return owner;
    }
    QRectF dockRect(QPointF) override
    {
        ++dockReads;
        return dock;
    }
    bool debugShakeEnabled() override { return debug; }
    void writeLog(const QString& message) override { log.append(message); }

    void beginDrag()
    {
        ++changeCount;
        owner = true;
    }

    // An input that reports presses, as the X11 pointer source does.
    bool reportsPresses = false;
    std::function<void()> pressed;
    bool notifiesPresses() const override { return reportsPresses; }
    void setPressHandler(std::function<void()> handler) override { pressed = std::move(handler); }
};

class ShakeDetectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto input = std::make_unique<FakeInput>();
        in = input.get();
        detector = std::make_unique<ShakeDetector>(std::move(input));
        detector->onShake = [this](QPointF p) { shakes.append(p); };
    }

    // One tick, 1/60 s after the previous one unless `pause` adds more.
    void at(bool down, double x, double y = 300, double pause = 0)
    {
        now += pause;
        in->current = {down, QPointF(x, y), now};
        detector->tick();
        now += ShakeDetector::tickInterval;
    }
    void press(double x, double y = 300) { at(true, x, y); }
    void moves(std::initializer_list<double> xs)
    {
        for (double x : xs)
            at(true, x);
    }
    void release() { at(false, in->current.position.x(), in->current.position.y()); }
    int reversalCount() const { return int(detector->reversals().size()); }

    FakeInput* in = nullptr;
    std::unique_ptr<ShakeDetector> detector;
    QList<QPointF> shakes;
    double now = 1000.0;
};

TEST_F(ShakeDetectorTest, ThreeReversalsDuringADragFireAtTheLastSample)
{
    in->beginDrag();
    press(100, 250);
    const std::vector<double> xs{130, 160, 130, 100, 130, 160, 130};
    const std::vector<int> expected{0, 0, 1, 1, 2, 2};
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
        at(true, xs[i], 250 + double(i));
        EXPECT_EQ(reversalCount(), expected[i]) << "sample " << i + 2;
    }
    EXPECT_TRUE(shakes.isEmpty());
    at(true, 130, 277.5);
    ASSERT_EQ(shakes.size(), 1);
    EXPECT_EQ(shakes[0], QPointF(130, 277.5));
    EXPECT_EQ(detector->maxReversalsThisPress(), 3);
    EXPECT_TRUE(detector->firedThisDrag());
    EXPECT_EQ(reversalCount(), 0);
}

TEST_F(ShakeDetectorTest, SwingsShorterThanTheMinimumNeverCount)
{
    in->beginDrag();
    press(100);
    moves({110, 120, 110, 100, 110, 120, 110, 100, 110, 120, 123.9, 110, 100, 123.9});
    EXPECT_EQ(detector->maxReversalsThisPress(), 0);
    EXPECT_TRUE(shakes.isEmpty());

    // Exactly the minimum counts; each swing is measured from the last turn.
    release();
    in->beginDrag();
    press(100);
    moves({124, 100, 124, 100});
    EXPECT_EQ(shakes.size(), 1);
}

TEST_F(ShakeDetectorTest, ReversalsOlderThanTheWindowAreDroppedWhenOneIsAdded)
{
    in->beginDrag();
    press(100);
    moves({160, 100}); // first reversal
    at(true, 160, 300, 0.5);
    at(true, 100, 300, 0.3); // third, more than 0.8 s after the first
    EXPECT_EQ(reversalCount(), 2);
    EXPECT_TRUE(shakes.isEmpty());
    EXPECT_EQ(detector->maxReversalsThisPress(), 2);

    at(true, 160, 300, 0.3); // the other two lie within 0.8 s of it
    EXPECT_EQ(shakes.size(), 1);
}

TEST_F(ShakeDetectorTest, JitterIsIgnoredAndSlowCreepingAccumulates)
{
    press(100);
    at(true, 101.4);
    EXPECT_EQ(detector->lastX(), 100);
    EXPECT_EQ(detector->direction(), 0);
    at(true, 102.8);
    EXPECT_EQ(detector->lastX(), 102.8);
    EXPECT_EQ(detector->direction(), 1);
    at(true, 101.4);
    EXPECT_EQ(detector->lastX(), 102.8);
    EXPECT_EQ(detector->direction(), 1);
    at(true, 101.0);
    EXPECT_EQ(detector->direction(), -1);
    EXPECT_EQ(detector->swingStartX(), 102.8);
}

TEST_F(ShakeDetectorTest, AShakeBeforeTheDragKeepsItsReversalsUntilTheDragBegins)
{
    press(100);
    moves({160, 100, 160, 100, 160});
    EXPECT_TRUE(shakes.isEmpty());
    EXPECT_EQ(reversalCount(), 4);

    in->changeCount++; // a drag selection without an owner is no drag
    at(true, 100);
    EXPECT_TRUE(shakes.isEmpty());
    EXPECT_EQ(reversalCount(), 5);

    in->owner = true;
    at(true, 99, 300, 5.0); // under the jitter threshold
    EXPECT_TRUE(shakes.isEmpty());
    at(true, 98.5, 310); // long after the reversals, but they still count
    ASSERT_EQ(shakes.size(), 1);
    EXPECT_EQ(shakes[0], QPointF(98.5, 310));
}

TEST_F(ShakeDetectorTest, OneShakePerPressAndAnotherAfterANewPress)
{
    in->beginDrag();
    press(100);
    moves({160, 100, 160, 100});
    ASSERT_EQ(shakes.size(), 1);
    moves({160, 100, 160, 100, 160, 100, 160});
    EXPECT_EQ(shakes.size(), 1);
    EXPECT_EQ(reversalCount(), 0);
    release();
    EXPECT_EQ(detector->dragChangeCountBeforePress(), 42u);

    // The same drag selection after the release is no new drag.
    press(100);
    moves({160, 100, 160, 100});
    EXPECT_EQ(shakes.size(), 1);
    release();

    in->beginDrag();
    press(100);
    EXPECT_FALSE(detector->firedThisDrag());
    moves({160, 100, 160, 100});
    EXPECT_EQ(shakes.size(), 2);
}

TEST_F(ShakeDetectorTest, APressOnThePanelAndTheNextPressCountAsDrags)
{
    press(500, 850);
    EXPECT_TRUE(detector->pressStartedInDock());
    moves({560, 500, 560, 500});
    EXPECT_EQ(shakes.size(), 1);
    release();

    at(true, 500, 300, 19.0);
    EXPECT_TRUE(detector->pressInFreshStack());
    moves({560, 500, 560, 500});
    EXPECT_EQ(shakes.size(), 2);
    release();

    press(500, 300); // only the first press after the panel
    EXPECT_FALSE(detector->pressInFreshStack());
    moves({560, 500, 560, 500});
    EXPECT_EQ(shakes.size(), 2);
    release();

    press(500, 899.5);
    release();
    at(true, 500, 300, 20.0); // too late
    EXPECT_FALSE(detector->pressInFreshStack());
    release();
    press(500, 900); // the panel's bottom edge is outside it
    EXPECT_FALSE(detector->pressStartedInDock());

    EXPECT_EQ(in->log,
              QStringList({"release: swings=3 fired=true dock=true stack=false at=500,850 count "
                           "41->41",
                           "release: swings=3 fired=true dock=false stack=true at=500,300 count "
                           "41->41",
                           "release: swings=3 fired=false dock=false stack=false at=500,300 count "
                           "41->41",
                           "release: swings=0 fired=false dock=true stack=false at=500,899 count "
                           "41->41",
                           "release: swings=0 fired=false dock=false stack=false at=500,300 count "
                           "41->41"}));
}

TEST_F(ShakeDetectorTest, ReleaseRecordTruncatesThePressPointTowardZero)
{
    press(-300.7, 512.9);
    moves({-250, -300});
    in->beginDrag();
    release();
    ASSERT_EQ(in->log.size(), 1);
    EXPECT_EQ(in->log[0], "release: swings=1 fired=false dock=false stack=false at=-300,512 "
                          "count 41->42");
}

TEST_F(ShakeDetectorTest, WithoutDebuggingReleasesWriteNothingButStillRefreshTheCount)
{
    in->debug = false;
    press(10);
    in->beginDrag();
    release();
    EXPECT_TRUE(in->log.isEmpty());
    EXPECT_EQ(detector->dragChangeCountBeforePress(), 42u);

    in->debug = true;
    in->changeCount = 45;
    press(10);
    release();
    ASSERT_EQ(in->log.size(), 1);
    EXPECT_TRUE(in->log[0].endsWith("count 42->45")) << in->log[0].toStdString();
}

TEST_F(ShakeDetectorTest, WhileDisabledNothingIsReadAndAPressUnderWayIsForgotten)
{
    in->beginDrag();
    press(100);
    moves({160, 100});
    const int samples = in->samples;

    detector->isEnabled = false;
    moves({160, 100, 160, 100});
    release();
    press(500, 850);
    moves({560, 500, 560, 500});
    EXPECT_EQ(in->samples, samples) << "nothing read while off";
    EXPECT_FALSE(detector->buttonWasDown());
    EXPECT_TRUE(shakes.isEmpty());
    EXPECT_TRUE(in->log.isEmpty());

    // Back on: the forgotten press logs nothing, and the next one counts
    // from its own start.
    detector->isEnabled = true;
    release();
    EXPECT_TRUE(in->log.isEmpty());
    in->beginDrag();
    press(100);
    moves({160, 100, 160, 100});
    EXPECT_EQ(shakes.size(), 1);
}

TEST_F(ShakeDetectorTest, PerTickReadsStayCheap)
{
    EXPECT_EQ(in->dragReads, 1); // the count at construction
    in->dragReads = 0;
    press(100);
    moves({160, 100, 160, 161.5, 163});
    EXPECT_EQ(in->dockReads, 1);
    EXPECT_EQ(in->dragReads, 0); // fewer than three reversals: the drag state is not read
    release();
    EXPECT_EQ(in->dragReads, 1);
    EXPECT_EQ(in->dockReads, 1);
}

TEST_F(ShakeDetectorTest, AShakeWithoutOrWithAReplacedCallbackIsSafe)
{
    detector->onShake = nullptr;
    in->beginDrag();
    press(100);
    moves({160, 100, 160, 100});
    EXPECT_TRUE(detector->firedThisDrag());
    EXPECT_EQ(reversalCount(), 0);
    release();

    int calls = 0;
    detector->onShake = [this, &calls](QPointF) {
        ++calls;
        detector->onShake = nullptr; // destroys the running callback's stored copy
    };
    in->beginDrag();
    press(100);
    moves({160, 100, 160, 100});
    EXPECT_EQ(calls, 1);
}

TEST_F(ShakeDetectorTest, StartPollsFromTheEventLoop)
{
    in->current = {false, QPointF(1, 1), 0};
    detector->start();
    detector->start();
    EXPECT_TRUE(TestEnv::waitUntil([this] { return in->samples >= 3; }));
}

// Where the input reports presses, the poll rests while no button is held:
// a rested tick could only have found nothing to do.
class RestingPollTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto input = std::make_unique<FakeInput>();
        in = input.get();
        in->reportsPresses = true;
        detector = std::make_unique<ShakeDetector>(std::move(input));
        detector->onShake = [this](QPointF) { ++shakes; };
    }
    FakeInput* in = nullptr;
    std::unique_ptr<ShakeDetector> detector;
    int shakes = 0;
};

TEST_F(RestingPollTest, ThePollRunsOnlyWhileAButtonIsHeld)
{
    detector->start();
    EXPECT_FALSE(detector->isPolling());
    ASSERT_TRUE(in->pressed);

    in->current = {true, QPointF(100, 300), 10.0};
    in->pressed();
    EXPECT_TRUE(detector->isPolling());
    EXPECT_TRUE(detector->buttonWasDown()) << "the press is sampled at once";
    EXPECT_EQ(detector->pressPoint(), QPointF(100, 300));

    // The release is handled (and logged) before the poll rests.
    in->current = {false, QPointF(100, 300), 10.5};
    detector->tick();
    EXPECT_FALSE(detector->isPolling());
    EXPECT_EQ(in->log.size(), 1);

    // A press too short to be seen leaves nothing running.
    in->pressed();
    EXPECT_FALSE(detector->isPolling());
    EXPECT_EQ(in->log.size(), 1);
}

TEST_F(RestingPollTest, ShakingStillFiresAndAPressHeldWhileDisabledIsFinished)
{
    detector->start();
    in->beginDrag();
    in->current = {true, QPointF(100, 300), 10.0};
    in->pressed();
    double t = 10.0;
    for (double x : {130, 160, 130, 100, 130, 160, 130}) {
        t += ShakeDetector::tickInterval;
        in->current = {true, QPointF(x, 300), t};
        detector->tick();
    }
    EXPECT_EQ(shakes, 1);

    // Switched off mid-press (the menu click that does it is a press): the
    // poll rests at once instead of ticking on.
    detector->isEnabled = false;
    detector->tick();
    EXPECT_FALSE(detector->isPolling());
    EXPECT_FALSE(detector->buttonWasDown());
    detector->isEnabled = true;

    // Off, with no button held: presses wake it only to rest again.
    detector->isEnabled = false;
    in->current = {true, QPointF(10, 10), t + 2};
    in->pressed();
    EXPECT_FALSE(detector->isPolling());
    EXPECT_FALSE(detector->buttonWasDown());
}

} // namespace
