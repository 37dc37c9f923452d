#include "shelf/BadgeView.h"
#include "shelf/ElidedLabel.h"
#include "shelf/FlippedView.h"
#include "shelf/HighlightView.h"
#include "shelf/ItemRowView.h"
#include "shelf/OverlayScrollBar.h"
#include "shelf/ShelfContentView.h"
#include "shelf/StackAreaView.h"
#include "shelf/SymbolButton.h"

#include "MouseEvents.h"
#include "ShelfFixtures.h"

#include <QApplication>
#include <QScrollArea>
#include <QWheelEvent>
#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

class ContentViewTest : public ::testing::Test
{
protected:
    ContentViewTest()
    {
        view.onWantsHeight = [this](qreal h) { heights << h; };
        store->onChange = [this] { view.reload(); }; // as the shelf's controller does
        view.show();
    }
    void hold(int n) { store->add(files.make(n), false); }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    ShelfContentView view{store};
    QList<qreal> heights;
};

TEST_F(ContentViewTest, ANewShelfIsEmptyInStackMode)
{
    EXPECT_EQ(view.size(), QSize(216, 244));
    EXPECT_FALSE(view.isListMode());
    EXPECT_EQ(view.titleLabel()->text(), "Kavo");
    EXPECT_EQ(view.detailLabel()->text(), "Shake a drag or press Ctrl+Alt+Space");
    EXPECT_TRUE(view.badge()->isHidden());
    EXPECT_TRUE(view.listButton()->isHidden());
    EXPECT_FALSE(view.stackArea()->isHidden());
    EXPECT_TRUE(view.scroll()->isHidden());
    EXPECT_TRUE(heights.isEmpty());
}

TEST_F(ContentViewTest, LayoutAtTheInitialSize)
{
    EXPECT_EQ(view.closeButton()->geometry(), QRect(10, 6, 24, 24));
    EXPECT_EQ(view.listButton()->geometry(), QRect(182, 6, 24, 24));
    EXPECT_EQ(view.stackArea()->geometry(), QRect(0, 36, 216, 158));
    EXPECT_EQ(view.scroll()->geometry(), QRect(6, 36, 204, 158));
    EXPECT_EQ(view.titleLabel()->geometry(), QRect(14, 202, 188, 18));
    EXPECT_EQ(view.detailLabel()->geometry(), QRect(14, 221, 188, 15));
    EXPECT_EQ(view.highlight()->geometry(), QRect(0, 0, 216, 244));
}

TEST_F(ContentViewTest, ItemsShowTheBadgeTheSummaryAndTheDetail)
{
    hold(3);
    EXPECT_FALSE(view.badge()->isHidden());
    EXPECT_EQ(view.badge()->count(), 3);
    // A one-digit badge is 24 wide, centred on the mid-line.
    EXPECT_EQ(view.badge()->geometry(), QRect(96, 9, 24, 18));
    EXPECT_FALSE(view.listButton()->isHidden());
    EXPECT_EQ(view.titleLabel()->text(), "3 items");
    EXPECT_EQ(view.detailLabel()->text(), store->detail());
    EXPECT_EQ(view.stackArea()->items, store->items);
}

TEST_F(ContentViewTest, ListModeAsksForTheListHeight)
{
    EXPECT_EQ(ShelfContentView::listHeight(0), 178);
    EXPECT_EQ(ShelfContentView::listHeight(4), 266);
    EXPECT_EQ(ShelfContentView::listHeight(6), 354);

    hold(1);
    view.toggleList();
    EXPECT_EQ(heights, QList<qreal>({178}));
    hold(1);
    EXPECT_EQ(heights.last(), 178);
    hold(1);
    EXPECT_EQ(heights.last(), 222);
    hold(4);
    EXPECT_EQ(heights.last(), 398);
    hold(13);
    EXPECT_EQ(heights.last(), 398);
    ASSERT_EQ(view.rows().size(), 20);
}

TEST_F(ContentViewTest, TwentyRowsScrollInsideSevenRowsOfSpace)
{
    hold(20);
    view.toggleList();
    view.resize(216, int(heights.last()));
    EXPECT_EQ(view.scroll()->height(), 4 + 44 * 7);
    EXPECT_EQ(view.listDoc()->height(), 20 * 44);
    EXPECT_EQ(view.rows()[19]->geometry(), QRect(0, 19 * 44, 204, 44));
    EXPECT_GT(view.scroll()->verticalScrollBar()->maximum(), 0);

    // The floating scroll bar shows while the list scrolls, then gets out
    // of the way.
    OverlayScrollBar* bar = view.scrollBar();
    EXPECT_TRUE(bar->isHidden());
    QWheelEvent wheel(QPointF(50, 50), view.scroll()->viewport()->mapToGlobal(QPointF(50, 50)),
                      QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(view.scroll()->viewport(), &wheel);
    EXPECT_GT(view.scroll()->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), view.scroll()->verticalScrollBar()->value());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return bar->isHidden(); }, 3000));
    // Dragging it scrolls the list.
    bar->setValue(bar->maximum());
    EXPECT_EQ(view.scroll()->verticalScrollBar()->value(), bar->maximum());
}

TEST_F(ContentViewTest, AListThatFitsShowsNoScrollBar)
{
    hold(3);
    view.toggleList();
    view.resize(216, int(heights.last()));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(view.scroll(), &enter);
    EXPECT_TRUE(view.scrollBar()->isHidden());
}

TEST_F(ContentViewTest, RowsFollowTheStoreInOrder)
{
    hold(3);
    view.toggleList();
    ASSERT_EQ(view.rows().size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(view.rows()[i]->item(), store->items[i]);
        EXPECT_EQ(view.rows()[i]->geometry().top(), i * 44);
    }
}

TEST_F(ContentViewTest, RemovingOneOfFiveAsksForTheSmallerListHeight)
{
    hold(5);
    view.toggleList();
    EXPECT_EQ(heights.last(), 310);
    view.rows()[2]->onRemove();
    EXPECT_EQ(heights.last(), 266);
    EXPECT_EQ(store->items.size(), 4);
    EXPECT_EQ(view.rows().size(), 4);
}

TEST_F(ContentViewTest, RemovingTheLastItemReturnsToStackModeInTheSameReload)
{
    hold(1);
    view.toggleList();
    heights.clear();
    store->remove(store->items);
    EXPECT_FALSE(view.isListMode());
    EXPECT_EQ(heights, QList<qreal>({244}));
    EXPECT_TRUE(view.rows().isEmpty());
    EXPECT_FALSE(view.stackArea()->isHidden());
    EXPECT_EQ(view.titleLabel()->text(), "Kavo");
}

TEST_F(ContentViewTest, TheToggleRule)
{
    view.toggleList();
    EXPECT_FALSE(view.isListMode()) << "an empty shelf never enters list mode";
    EXPECT_TRUE(heights.isEmpty());

    hold(2);
    view.toggleList();
    EXPECT_TRUE(view.isListMode());
    EXPECT_EQ(view.listButton()->symbol(), "square.stack.3d.up");
    EXPECT_EQ(view.listButton()->toolTip(), "Show as stack");
    view.toggleList();
    EXPECT_FALSE(view.isListMode());
    EXPECT_EQ(view.listButton()->symbol(), "list.bullet");
    EXPECT_EQ(view.listButton()->toolTip(), "Show items");
    EXPECT_EQ(heights, QList<qreal>({178, 244}));
}

TEST_F(ContentViewTest, AClickOnThePileEntersListModeThroughTheHighlight)
{
    hold(2);
    // The highlight lies over everything but never takes the mouse.
    const QPoint centre = view.stackArea()->geometry().center();
    EXPECT_EQ(view.childAt(centre), view.stackArea());
    MouseEvents::press(view.stackArea(), {100, 80});
    MouseEvents::release(view.stackArea(), {100, 80});
    EXPECT_TRUE(view.isListMode());
}

TEST_F(ContentViewTest, ClosingGoesThroughTheCallback)
{
    int closes = 0;
    view.onClose = [&] { ++closes; };
    view.closeButton()->click();
    EXPECT_EQ(closes, 1);
}

TEST_F(ContentViewTest, PopAndWiggleRunAndEnd)
{
    hold(1);
    view.wiggle();
    EXPECT_TRUE(view.isPopping());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return !view.isPopping(); }, 3000));
    EXPECT_EQ(view.stackArea()->wiggleAngle(), 0.0);
}

} // namespace
