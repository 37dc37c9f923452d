// The shake gesture: pointer samples in, shelves out; where the desktop's
// panel is.
#include "shake/DockGeometry.h"
#include "shake/ShakeDetector.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

// Samples, drag state and a panel (y 820–900) set by the test.
class FakeInput : public ShakeInput
{
public:
    ShakeSample current;
    quint64 changeCount = 41;
    bool owner = false, debug = true;
    QStringList log;
    ShakeSample sample() override { return current; }
    quint64 dragChangeCount() override { return changeCount; }
    bool dragHasOwner() override { return owner; }
    QRectF dockRect(QPointF) override { return {0, 820, 1440, 80}; }
    bool debugShakeEnabled() override { return debug; }
    void writeLog(const QString& message) override { log.append(message); }
};

// A script of ticks 1/60 s apart, in words: "drag" (another program starts a
// drag), "count" (the drag selection changes hands, no owner), "owner",
// "press X[,Y]", a bare "X[,Y]" (the pointer there, button held),
// "A..B/S" (from A to B in steps of S), "wait S" (S seconds more before the
// next tick), "release", "off"/"on" (the detector), "quiet"/"verbose" (the
// log).
struct ShakeCase
{
    const char* name;
    const char* script;
    QList<QPointF> shakes;
    QStringList log;
};

void PrintTo(const ShakeCase& c, std::ostream* os) { *os << c.name; }

class ShakeDetectorTest : public ::testing::TestWithParam<ShakeCase>
{
};

TEST_P(ShakeDetectorTest, SamplesInShakesOut)
{
    auto owned = std::make_unique<FakeInput>();
    FakeInput* in = owned.get();
    ShakeDetector detector(std::move(owned));
    QList<QPointF> shakes;
    detector.onShake = [&](QPointF p) { shakes << p; };
    double now = 1000, y = 300;
    bool down = false;
    const auto tick = [&](double x) {
        in->current = {down, QPointF(x, y), now};
        detector.tick();
        now += ShakeDetector::tickInterval;
    };
    const QStringList words = QString(GetParam().script).split(u' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w == u"drag")
            ++in->changeCount, in->owner = true;
        else if (w == u"count")
            ++in->changeCount;
        else if (w == u"owner")
            in->owner = true;
        else if (w == u"off" || w == u"on")
            detector.isEnabled = w == u"on";
        else if (w == u"quiet" || w == u"verbose")
            in->debug = w == u"verbose";
        else if (w == u"wait")
            now += words[++i].toDouble();
        else if (w == u"release")
            down = false, tick(in->current.position.x());
        else if (w.contains(u"..")) {
            const QString dots = "..";
            const double from = w.section(dots, 0, 0).toDouble(), to = w.section(dots, 1).section(u'/', 0, 0).toDouble();
            const double step = (to > from ? 1 : -1) * w.section(u'/', 1).toDouble();
            for (int k = 1; k <= qRound((to - from) / step); ++k)
                tick(from + k * step);
        } else {
            const QString at = w == u"press" ? words[++i] : w;
            down = true;
            if (at.contains(u','))
                y = at.section(u',', 1).toDouble();
            tick(at.section(u',', 0, 0).toDouble());
        }
    }
    EXPECT_EQ(shakes, GetParam().shakes);
    EXPECT_EQ(in->log, GetParam().log);
}

const QString fired = "release: swings=3 fired=true dock=false stack=false at=100,300 count 41->42";

INSTANTIATE_TEST_SUITE_P(
    Scripts, ShakeDetectorTest,
    ::testing::Values(
        ShakeCase{"ThreeReversalsDuringADragFireAtTheLastSample",
                  "drag press 100 130 160 130 100 130 160 130,277.5 release", {{130, 277.5}},
                  {"release: swings=3 fired=true dock=false stack=false at=100,300 count 41->42"}},
        ShakeCase{"SwingsShorterThanTheMinimumNeverCount",
                  "drag press 100 110 120 110 100 110 120 110 100 110 120 123.9 110 100 123.9", {}, {}},
        ShakeCase{"ASwingOfExactlyTheMinimumCounts", "drag press 100 124 100 124 100", {{100, 300}}, {}},
        ShakeCase{"ReversalsOlderThanTheWindowAreDropped",
                  "drag press 100 160 100 wait 0.5 160 wait 0.3 100 wait 0.3 160", {{160, 300}}, {}},
        ShakeCase{"JitterIsIgnoredButSlowCreepingAccumulates",
                  "drag press 100 100..125/1.25 125..100/1.25 100..125/1.25 125..100/1.25", {{122.5, 300}}, {}},
        ShakeCase{"AShakeBeforeTheDragCountsOnceTheDragBegins",
                  "press 100 160 100 160 100 160 count 100 owner wait 5 99 98.5,310", {{98.5, 310}}, {}},
        ShakeCase{"OneShakePerPressAndPerDrag",
                  "drag press 100 160 100 160 100 160 100 160 100 160 100 160 release "
                  "press 100 160 100 160 100 release drag press 100 160 100 160 100",
                  {{100, 300}, {100, 300}},
                  {fired, "release: swings=3 fired=false dock=false stack=false at=100,300 count 42->42"}},
        ShakeCase{"APressOnThePanelAndTheNextPressWithin20sCountAsDrags",
                  "press 500,850 560 500 560 500 release wait 19 press 500,300 560 500 560 500 release "
                  "press 500,300 560 500 560 500 release press 500,899.5 release wait 20 "
                  "press 500,300 release press 500,900 release",
                  {{500, 850}, {500, 300}},
                  {"release: swings=3 fired=true dock=true stack=false at=500,850 count 41->41",
                   "release: swings=3 fired=true dock=false stack=true at=500,300 count 41->41",
                   "release: swings=3 fired=false dock=false stack=false at=500,300 count 41->41",
                   "release: swings=0 fired=false dock=true stack=false at=500,899 count 41->41",
                   "release: swings=0 fired=false dock=false stack=false at=500,300 count 41->41",
                   "release: swings=0 fired=false dock=false stack=false at=500,900 count 41->41"}},
        ShakeCase{"WhileOffAPressUnderWayIsForgotten",
                  "drag press 100 160 100 off 160 100 160 100 release press 500,850 560 500 560 500 on "
                  "release drag press 100,300 160 100 160 100",
                  {{100, 300}}, {}},
        ShakeCase{"ThePressPointIsRecordedTruncatedTowardZero",
                  "press -300.7,512.9 -250 -300 drag release", {},
                  {"release: swings=1 fired=false dock=false stack=false at=-300,512 count 41->42"}},
        ShakeCase{"AQuietReleaseStillTakesTheDragCount", "quiet press 10 drag release verbose count count "
                  "count press 10 release", {},
                  {"release: swings=0 fired=false dock=false stack=false at=10,300 count 42->45"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DockGeometryTest, ThePanelIsTheFirstGapWiderThanFourPointsLeftRightThenBottom)
{
    const QRectF laptop(0, 0, 1440, 900);
    const QList<std::pair<QRectF, QRectF>> visibleToPanel{
        {{0, 25, 1440, 805}, {0, 830, 1440, 70}}, {{0, 25, 1440, 875}, {0, 820, 1440, 80}}, // bottom; hidden: 80
        {{64, 25, 1376, 875}, {0, 0, 64, 900}},   {{0, 25, 1376, 875}, {1376, 0, 64, 900}}, // left; right
        {{4, 25, 1436, 875}, {0, 820, 1440, 80}}, {{4.5, 25, 1435.5, 875}, {0, 0, 4.5, 900}}, // the threshold
        {{0, 25, 1390, 805}, {1390, 0, 50, 900}}, // right before bottom
        {{0, 100, 1440, 800}, {0, 820, 1440, 80}}, // a top bar is never the panel
    };
    for (const auto& [visible, panel] : visibleToPanel)
        EXPECT_EQ(DockGeometry::dockRect({700, 400}, {{laptop, visible}}, 0), panel) << visible.x();
    // Two screens: the one under the point (edges half-open), else the
    // primary; no screen, no panel.
    const QList<DockGeometry::Screen> two{{laptop, {0, 25, 1440, 805}}, {{1440, 0, 1920, 1080}, {1440, 0, 1870, 1080}}};
    EXPECT_EQ(DockGeometry::dockRect({1439.5, 500}, two, 1), QRectF(0, 830, 1440, 70));
    EXPECT_EQ(DockGeometry::dockRect({1440, 500}, two, 0), QRectF(3310, 0, 50, 1080));
    EXPECT_EQ(DockGeometry::dockRect({-5000, 0}, two, 1), QRectF(3310, 0, 50, 1080));
    EXPECT_EQ(DockGeometry::dockRect({10, 10}, {}, -1), QRectF(0, 0, 0, 0));
}

} // namespace
