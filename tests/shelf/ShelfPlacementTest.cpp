#include "shelf/ShelfPlacement.h"

#include <gtest/gtest.h>

namespace {

using ShelfPlacement::Screen;

// A 1440×900 screen with a 25-point panel at the top and a 70-point dock at
// the bottom.
const Screen mainScreen{{0, 0, 1440, 900}, {0, 25, 1440, 805}};
const QSizeF shelf(216, 244);

TEST(ShelfPlacementTest, CentresOnThePointInsideTheScreen)
{
    EXPECT_EQ(ShelfPlacement::origin({600, 500}, shelf, false, {mainScreen}, 0),
              QPointF(600 - 108, 500 - 122));
    EXPECT_EQ(ShelfPlacement::origin({600, 500}, shelf, true, {mainScreen}, 0), QPointF(492, 500));
}

TEST(ShelfPlacementTest, ClampsEightPointsInsideTheVisibleArea)
{
    // 50 points from the right edge: the right edge ends 8 points inside.
    EXPECT_EQ(ShelfPlacement::origin({1390, 400}, shelf, false, {mainScreen}, 0).x(),
              1440 - 8 - 216);
    EXPECT_EQ(ShelfPlacement::origin({10, 400}, shelf, false, {mainScreen}, 0).x(), 8);
    // Near the dock the bottom edge stops 8 points above it.
    EXPECT_EQ(ShelfPlacement::origin({600, 820}, shelf, false, {mainScreen}, 0).y(),
              830 - 8 - 244);
}

TEST(ShelfPlacementTest, AnchoredAtTheTopBelowThePanel)
{
    // 20 points below the visible top: the top edge is at the point.
    EXPECT_EQ(ShelfPlacement::origin({600, 45}, shelf, true, {mainScreen}, 0).y(), 45);
    // 5 points below: clamped to 8 points below the visible top.
    EXPECT_EQ(ShelfPlacement::origin({600, 30}, shelf, true, {mainScreen}, 0).y(), 33);
}

TEST(ShelfPlacementTest, APanelTallerThanTheScreenKeepsItsTopVisible)
{
    const QPointF o = ShelfPlacement::origin({600, 500}, {216, 1000}, false, {mainScreen}, 0);
    EXPECT_EQ(o.y(), 25 + 8);
    EXPECT_GT(o.y() + 1000, 830.0);
}

TEST(ShelfPlacementTest, UsesTheScreenUnderThePoint)
{
    const Screen right{{1440, 0, 1280, 1024}, {1440, 0, 1280, 1024}};
    // Near the right edge of the second screen: clamped to its visible area.
    EXPECT_EQ(ShelfPlacement::origin({2700, 500}, shelf, false, {mainScreen, right}, 0).x(),
              1440 + 1280 - 8 - 216);
    // The main screen's right edge belongs to the second screen (half-open).
    EXPECT_EQ(ShelfPlacement::screenFor({1440, 10}, {mainScreen, right}, 0), 1);
    EXPECT_EQ(ShelfPlacement::screenFor({1439.9, 10}, {mainScreen, right}, 0), 0);
    // Off every screen: the primary screen's area.
    EXPECT_EQ(ShelfPlacement::screenFor({5000, 5000}, {mainScreen, right}, 1), 1);
    EXPECT_EQ(ShelfPlacement::origin({5000, 500}, shelf, false, {mainScreen, right}, 0).x(),
              1440 - 8 - 216);
    // No screens at all: no clamping.
    EXPECT_EQ(ShelfPlacement::origin({5000, 500}, shelf, false, {}, -1), QPointF(4892, 378));
}

TEST(ShelfPlacementTest, ResizingKeepsTheTopEdgeAndIgnoresTinyChanges)
{
    const QRectF frame(100, 200, 216, 244);
    const QRectF visible(0, 25, 1440, 805);
    EXPECT_FALSE(ShelfPlacement::resized(frame, 244.4, visible));
    EXPECT_FALSE(ShelfPlacement::resized(frame, 243.6, visible));
    EXPECT_EQ(ShelfPlacement::resized(frame, 244.6, visible), QRectF(100, 200, 216, 244.6));
    EXPECT_EQ(ShelfPlacement::resized(frame, 178, visible), QRectF(100, 200, 216, 178));
}

TEST(ShelfPlacementTest, GrowingNearTheBottomLiftsTheShelf)
{
    const QRectF visible(0, 25, 1440, 805); // bottom at 830
    const QRectF low(100, 600, 216, 178);
    EXPECT_EQ(ShelfPlacement::resized(low, 398, visible), QRectF(100, 830 - 398, 216, 398));
    // Off any screen, nothing clamps.
    EXPECT_EQ(ShelfPlacement::resized(low, 398, std::nullopt), QRectF(100, 600, 216, 398));
}

} // namespace
