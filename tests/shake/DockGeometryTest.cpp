#include "shake/DockGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

using DockGeometry::dockRect;
using Screens = QList<DockGeometry::Screen>;

const QRectF laptop(0, 0, 1440, 900);

struct SingleScreenCase
{
    const char* name;
    QRectF visible;
    QRectF expected;
};

void PrintTo(const SingleScreenCase& c, std::ostream* os)
{
    *os << c.name;
}

class DockGeometrySingleScreen : public ::testing::TestWithParam<SingleScreenCase>
{
};

TEST_P(DockGeometrySingleScreen, PanelComesFromTheFirstQualifyingGap)
{
    const Screens screens{{laptop, GetParam().visible}};
    EXPECT_EQ(dockRect(QPointF(700, 400), screens, 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, DockGeometrySingleScreen,
    ::testing::Values(
        // bottom panel, auto-hidden panel, left panel, right panel
        SingleScreenCase{"BottomPanel", {0, 25, 1440, 805}, {0, 830, 1440, 70}},
        SingleScreenCase{"HiddenPanel", {0, 25, 1440, 875}, {0, 820, 1440, 80}},
        SingleScreenCase{"LeftPanel", {64, 25, 1376, 875}, {0, 0, 64, 900}},
        SingleScreenCase{"RightPanel", {0, 25, 1376, 875}, {1376, 0, 64, 900}},
        // a gap of exactly the threshold is no panel; just over it is
        SingleScreenCase{"LeftGapAtThreshold", {4, 25, 1436, 875}, {0, 820, 1440, 80}},
        SingleScreenCase{"RightAndBottomGapsAtThreshold", {0, 25, 1436, 871}, {0, 820, 1440, 80}},
        SingleScreenCase{"LeftGapOverThreshold", {4.5, 25, 1435.5, 875}, {0, 0, 4.5, 900}},
        // inset on several sides: left wins over right, right over bottom
        SingleScreenCase{"LeftBeforeRight", {50, 25, 1340, 805}, {0, 0, 50, 900}},
        SingleScreenCase{"RightBeforeBottom", {0, 25, 1390, 805}, {1390, 0, 50, 900}},
        // a top bar alone is never the panel
        SingleScreenCase{"TopBarIgnored", {0, 100, 1440, 800}, {0, 820, 1440, 80}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DockGeometry, ContainmentIsHalfOpen)
{
    const QRectF r(10, 20, 100, 50);
    EXPECT_TRUE(DockGeometry::contains(r, {10, 20}));
    EXPECT_TRUE(DockGeometry::contains(r, {109.9, 69.9}));
    EXPECT_FALSE(DockGeometry::contains(r, {110, 40}));
    EXPECT_FALSE(DockGeometry::contains(r, {50, 70}));
    EXPECT_FALSE(DockGeometry::contains(r, {9.9, 40}));
    EXPECT_FALSE(DockGeometry::contains(QRectF(0, 0, 0, 0), {0, 0}));
}

TEST(DockGeometry, TheScreenUnderThePointIsChosenWithHalfOpenEdges)
{
    // A laptop with a bottom panel, and to its right a taller monitor with a
    // right panel; the monitor is primary.
    const Screens screens{{laptop, {0, 25, 1440, 805}},
                          {{1440, 0, 1920, 1080}, {1440, 0, 1870, 1080}}};
    const QRectF onLaptop(0, 830, 1440, 70);
    const QRectF onMonitor(3310, 0, 50, 1080);

    EXPECT_EQ(dockRect({700, 850}, screens, 1), onLaptop);
    EXPECT_EQ(dockRect({2000, 500}, screens, 0), onMonitor);
    // The laptop's right edge belongs to the monitor.
    EXPECT_EQ(dockRect({1440, 500}, screens, 0), onMonitor);
    EXPECT_EQ(dockRect({1439.5, 500}, screens, 1), onLaptop);
    // Below the laptop's bottom edge and beyond the monitor: the primary screen.
    EXPECT_EQ(dockRect({700, 900}, screens, 1), onMonitor);
    EXPECT_EQ(dockRect({700, 900}, screens, 0), onLaptop);
    EXPECT_EQ(dockRect({-5000, -5000}, screens, 1), onMonitor);
}

TEST(DockGeometry, NoScreenGivesTheZeroRectangle)
{
    EXPECT_EQ(dockRect({10, 10}, {}, -1), QRectF(0, 0, 0, 0));
    EXPECT_EQ(dockRect({10, 10}, {}, 0), QRectF(0, 0, 0, 0));
    const Screens one{{laptop, laptop}};
    EXPECT_EQ(dockRect({-10, 10}, one, -1), QRectF(0, 0, 0, 0));
}

TEST(DockGeometry, LiveScreensAreReadLikeTheGivenOnes)
{
    const QList<QScreen*> qscreens = QGuiApplication::screens();
    ASSERT_FALSE(qscreens.isEmpty());
    Screens screens;
    for (QScreen* s : qscreens)
        screens.append({QRectF(s->geometry()), QRectF(s->availableGeometry())});
    const qsizetype primary = qscreens.indexOf(QGuiApplication::primaryScreen());
    for (const QPointF p : {QPointF(5, 5), QPointF(-100, -100), QPointF(100000, 3)})
        EXPECT_EQ(dockRect(p), dockRect(p, screens, primary));
}

} // namespace
