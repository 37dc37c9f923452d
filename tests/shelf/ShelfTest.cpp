// One shelf: its content view over a real store (modes and heights, preview,
// hover and drops, drags out with what the target did), where its window goes
// on screen, and the window shown, resized and closed.
#include "shelf/HighlightView.h"
#include "shelf/ItemRowView.h"
#include "shelf/MoveWatcher.h"
#include "shelf/PopEffect.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfPlacement.h"
#include "shelf/ShelfWindowController.h"
#include "shelf/StackAreaView.h"

#include "Shelf.h"

#include <QDrag>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>

#include <random>

namespace {

// Items held → the height list mode asks for: 2 rows of space at least, 7 at
// most (more scroll).
class ListHeightTest : public ShelfTest, public ::testing::WithParamInterface<std::pair<int, int>>
{
};

TEST_P(ListHeightTest, ListModeAsksForRoomForItsRows)
{
    const auto [count, height] = GetParam();
    view.toggleList();
    EXPECT_FALSE(view.isListMode()) << "an empty shelf never enters list mode";
    hold(count);
    view.toggleList();
    ASSERT_TRUE(view.isListMode());
    EXPECT_EQ(heights.value(0), height);
    EXPECT_EQ(view.rows().size(), count);
    EXPECT_EQ(view.rows().first()->item(), store->items.first());
    // One more item asks again, for the height of one more.
    hold(1);
    EXPECT_EQ(heights.last(), ShelfContentView::listHeight(count + 1));
    // Emptied, it is a stack again, in the same reload.
    store->remove(store->items);
    EXPECT_FALSE(view.isListMode());
    EXPECT_EQ(heights.last(), 244);
}

INSTANTIATE_TEST_SUITE_P(Counts, ListHeightTest,
                         ::testing::Values(std::pair{1, 178}, std::pair{2, 178}, std::pair{3, 222},
                                           std::pair{6, 354}, std::pair{7, 398}, std::pair{20, 398}));

TEST_F(ShelfTest, ThePreviewFollowsTheShelfAndStaysOnShowAsItRedraws)
{
    ASSERT_TRUE(TestEnv::writePng(files.path("p.png"), 800, 600));
    store->add({QUrl::fromLocalFile(files.path("p.png"))}, false);
    view.togglePreview();
    PreviewPanel* panel = PreviewPanel::shared();
    EXPECT_TRUE(panel->isControlledBy(&view));
    EXPECT_EQ(panel->shownKind(), "file") << "the icon until the picture is read";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return panel->shownKind() == "image"; }));
    // A new picture for the item, or facts about it, redraw the shelf: the
    // preview keeps showing the same item as it is.
    view.reload();
    EXPECT_EQ(panel->shownKind(), "image");
    TestEnv::writeFile(files.path("t.txt"), "hello preview");
    store->add({QUrl::fromLocalFile(files.path("t.txt"))}, false);
    EXPECT_EQ(panel->shownKind(), "image");
    hold(1);
    ASSERT_EQ(panel->itemCount(), 3);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(panel, &right);
    EXPECT_EQ(panel->currentUrl(), store->items[1]->url());
    ASSERT_TRUE(TestEnv::waitUntil([&] { return panel->shownKind() == "text"; }));
    // The shelf shrinks under the preview: it shows what is left.
    panel->setCurrentIndex(2);
    store->remove({store->items[2], store->items[1]});
    EXPECT_EQ(panel->currentIndex(), 0);
    view.removeAll();
    EXPECT_EQ(panel->shownKind(), "none");
    PreviewPanel::release(&view);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(panel->isControlledBy(&view));
}

// Rows are built around what the list shows; far down a long list a row
// still drags its own item and its menu acts on it.
TEST_F(ShelfTest, AListOfThousandsBuildsRowsOnlyAroundWhatItShows)
{
    const QList<QUrl> urls = files.make(5000);
    store->add(urls, false);
    view.resize(ShelfContentView::shelfWidth, ShelfContentView::listHeight(7));
    view.toggleList();
    const auto built = [&] { return std::count_if(view.rows().begin(), view.rows().end(), [](ItemRowView* r) { return r; }); };
    EXPECT_LE(built(), 30);
    view.scroll()->verticalScrollBar()->setValue(4000 * ShelfContentView::rowH);
    ItemRowView* row = view.rows().value(4000);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->item(), store->items[4000]);
    EXPECT_LE(built(), 30);
    QList<QUrl> dragged;
    view.execDrag = [&](QDrag* drag) { return dragged = drag->mimeData()->urls(), Qt::CopyAction; };
    sendMouse(row, QEvent::MouseButtonPress, {60, 20});
    sendMouse(row, QEvent::MouseMove, {80, 20});
    EXPECT_EQ(dragged, QList<QUrl>{urls[4000]});
    row->makeMenu()->actions().last()->trigger(); // "Remove from Shelf"
    EXPECT_EQ(store->items.size(), 4999);
    EXPECT_FALSE(store->items.contains(row->item()));
}

// The pop-in scales a picture of the shelf: a shelf that does not change as
// it pops has its views drawn for one picture, not for each frame.
TEST_F(ShelfTest, ThePopInDrawsTheShelfOnceNotEveryFrame)
{
    hold(3);
    ASSERT_TRUE(factsArrived(*store));
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override { return paints += e->type() == QEvent::Paint, false; }
    } counter;
    view.stackArea()->installEventFilter(&counter);
    view.popIn();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !view.isPopping(); }));
    EXPECT_LE(counter.paints, 2);
}

// Piles of the same size are drawn from what each one holds, and drawn
// again when a picture changes.
TEST_F(ShelfTest, EachPileShowsItsOwnPicturesAsTheyChange)
{
    ShelfStorePtr otherStore = std::make_shared<ShelfStore>();
    ShelfContentView other{otherStore};
    other.show();
    hold(1);
    otherStore->add(files.make(1), false);
    const auto show = [](ShelfContentView& shelf, const ShelfStorePtr& held, Qt::GlobalColor color) {
        QImage picture(40, 40, QImage::Format_ARGB32);
        picture.fill(color);
        held->items[0]->setThumbnail(picture);
        shelf.reload();
        const QImage shown = shelf.stackArea()->grab().toImage();
        return QColor(shown.pixel(shown.rect().center())).name().toStdString();
    };
    EXPECT_EQ(show(view, store, Qt::red), "#ff0000");
    EXPECT_EQ(show(other, otherStore, Qt::blue), "#0000ff");
    EXPECT_EQ(show(view, store, Qt::green), "#00ff00");
}

// What a frame of the pop shows: the picture scaled about its centre.
QImage scaledAboutCentre(const QImage& picture, qreal scale)
{
    QImage scaled(picture.size(), QImage::Format_ARGB32_Premultiplied);
    scaled.fill(Qt::transparent);
    QPainter p(&scaled);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF c = QRectF(picture.rect()).center();
    p.translate(c);
    p.scale(scale, scale);
    p.translate(-c);
    p.drawImage(0, 0, picture);
    return scaled;
}

int differingPixels(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return int(x.width() * x.height());
    int n = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col)
            n += x.pixel(col, row) != y.pixel(col, row);
    }
    return n;
}

// A frame of the pop is the shelf's picture scaled about its centre, the
// same to the pixel however the drawing is cut up; frames where no edge
// would move by half a pixel are left out, and every frame drawn stays within
// half a pixel of the spring.
TEST(PopEffectTest, FramesAreTheScaledPictureAndOnlyThoseThatMoveAreDrawn)
{
    QImage picture(216, 333, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QLinearGradient stripes(0, 0, 9, 13);
    stripes.setStops({{0, QColor(200, 40, 90, 120)}, {1, QColor(30, 160, 220)}});
    stripes.setSpread(QGradient::ReflectSpread);
    QPainter(&picture).fillRect(picture.rect(), stripes);
    QLabel shelf;
    shelf.setAttribute(Qt::WA_TranslucentBackground);
    shelf.setPixmap(QPixmap::fromImage(picture));
    shelf.resize(picture.size());
    const QImage whole = shelf.grab().toImage();
    auto* pop = new PopEffect(&shelf);
    shelf.setGraphicsEffect(pop);
    for (const qreal scale : {0.85, 0.9137, 1.02}) {
        pop->setScale(scale);
        const QImage expected = scaledAboutCentre(whole, scale);
        EXPECT_EQ(shelf.grab().toImage().convertToFormat(expected.format()), expected) << scale;
    }
    const QSizeF size(216, 333);
    int ticks = 0, drawn = 0;
    qreal shown = PopEffect::from;
    for (qreal t = 0; t < PopEffect::settlingDuration(); t += 1.0 / 60, ++ticks) {
        const qreal scale = PopEffect::springValue(t);
        if (PopEffect::movesVisibly(shown, scale, size))
            shown = scale, ++drawn;
        EXPECT_LT(std::abs(scale - shown) * 333 / 2, 0.5) << t;
    }
    EXPECT_LT(drawn, ticks * 2 / 3);
}

// What changes under a popping shelf shows in its frames: each frame is the
// shelf as it is at that moment, scaled about its centre.
struct PopChangeCase
{
    const char* name;
    int held; // items on the shelf when it pops
    bool rocks; // popped by wiggle(): the pile rocks as the shelf pops
    void (*change)(ShelfContentView& view, TestFiles& files);
};

void PrintTo(const PopChangeCase& c, std::ostream* os) { *os << c.name; }

class PopChangeTest : public ShelfTest, public ::testing::WithParamInterface<PopChangeCase>
{
};

TEST_P(PopChangeTest, AFrameIsTheShelfAsItIsNowScaled)
{
    const PopChangeCase& c = GetParam();
    hold(c.held);
    c.rocks ? view.wiggle() : view.popIn();
    auto* pop = view.findChild<QVariantAnimation*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_TRUE(pop);
    view.grab(); // the first frame
    pop->setCurrentTime(60);
    const QImage before = view.grab().toImage();
    c.change(view, files);
    const QImage frame = view.grab().toImage();
    const qreal scale = qobject_cast<PopEffect*>(view.graphicsEffect())->scale();
    pop->setCurrentTime(pop->duration());
    ASSERT_FALSE(view.isPopping());
    const QImage expected = scaledAboutCentre(view.grab().toImage(), scale);
    EXPECT_GT(differingPixels(frame, before), 0) << "the change shows while the shelf pops";
    EXPECT_EQ(differingPixels(frame, expected), 0);
}

// The pile at the moment the shelf has reached in its pop.
const auto rock = [](ShelfContentView& view, TestFiles&) {
    view.stackArea()->findChild<QPropertyAnimation*>()->setCurrentTime(60);
};
const auto hover = [](ShelfContentView& view, TestFiles& files) {
    QMimeData mime;
    mime.setUrls(files.make(1));
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
};
const auto drop = [](ShelfContentView& view, TestFiles& files) {
    QMimeData mime;
    mime.setUrls(files.make(2));
    EXPECT_TRUE(view.takeDrop(&mime, nullptr));
};

INSTANTIATE_TEST_SUITE_P(Changes, PopChangeTest,
                         ::testing::Values(PopChangeCase{"EmptyDropZoneRocks", 0, true, rock},
                                           PopChangeCase{"PileRocks", 3, true, rock},
                                           PopChangeCase{"DragHovers", 0, false, hover},
                                           PopChangeCase{"DropLands", 1, false, drop}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShelfTest, ADropHoversLightsTheShelfAndItsOwnDragIsRefused)
{
    QMimeData mime;
    mime.setUrls(files.make(2));
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(view.highlight()->isActive() && view.stackArea()->isDropTarget);
    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.highlight()->isActive() || view.stackArea()->isDropTarget);
    EXPECT_FALSE(view.takeDrop(&mime, &view));
    EXPECT_TRUE(store->items.isEmpty());
    ShelfContentView other(std::make_shared<ShelfStore>());
    EXPECT_TRUE(view.takeDrop(&mime, &other)) << "another shelf's pile is shared";
    EXPECT_EQ(store->items.size(), 2);
    // Delete empties the shelf in one change and leaves it, and the files, be.
    changes = 0;
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(&view, &del);
    EXPECT_TRUE(store->items.isEmpty() && QFile::exists(mime.urls()[0].toLocalFile()));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(closes, 0);
}

// A drag of the whole pile out: what the target reports, which files it
// moves during the drag and which a while after (as file managers move in a
// job of their own), and what the shelf holds then.
struct DragOutCase
{
    const char* name;
    Qt::DropAction reported;
    QList<int> movedDuring, movedAfter, left; // items by number; `left`: still held
    bool closes;
    int watched; // files still watched for leaving
};

void PrintTo(const DragOutCase& c, std::ostream* os) { *os << c.name; }

class DragOutTest : public ShelfTest, public ::testing::WithParamInterface<DragOutCase>
{
};

TEST_P(DragOutTest, TheFileSystemDecidesWhatLeaves)
{
    const DragOutCase& c = GetParam();
    const QList<QUrl> urls = files.make(3);
    store->add(urls, false);
    ASSERT_TRUE(factsArrived(*store));
    const auto moveAway = [&](int i) {
        QFile::rename(urls[i].toLocalFile(), files.path("moved-" + urls[i].fileName()));
    };
    int drags = 0;
    view.execDrag = [&](QDrag* drag) {
        ++drags;
        EXPECT_EQ(drag->mimeData()->urls(), urls);
        EXPECT_EQ(drag->pixmap().size(), QSize(96 + 6, 96 + 6)) << "three pictures, three points apart";
        EXPECT_EQ(view.draggingOut().size(), 3);
        for (int i : c.movedDuring)
            moveAway(i);
        return c.reported;
    };
    changes = 0;
    sendMouse(view.stackArea(), QEvent::MouseButtonPress, {100, 80});
    sendMouse(view.stackArea(), QEvent::MouseMove, {120, 80});
    EXPECT_EQ(drags, 1);
    EXPECT_TRUE(view.draggingOut().isEmpty());
    TestEnv::processEventsFor(100);
    for (int i : c.movedAfter)
        moveAway(i);
    const auto held = [&] {
        QList<int> out;
        for (const ShelfItemPtr& item : store->items)
            out << int(urls.indexOf(item->url()));
        return out;
    };
    EXPECT_TRUE(TestEnv::waitUntil([&] { return held() == c.left; }));
    TestEnv::processEventsFor(100);
    EXPECT_EQ(held(), c.left);
    EXPECT_EQ(closes, c.closes ? 1 : 0);
    EXPECT_EQ(view.moves()->watchedCount(), c.watched);
    if (c.left.isEmpty() && c.movedAfter.isEmpty()) {
        EXPECT_EQ(changes, 1) << "one removal";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Drags, DragOutTest,
    ::testing::Values(DragOutCase{"Copied", Qt::CopyAction, {}, {}, {0, 1, 2}, false, 3},
                      DragOutCase{"Moved", Qt::MoveAction, {0, 1, 2}, {}, {}, true, 0},
                      DragOutCase{"MovedLater", Qt::MoveAction, {}, {0, 1, 2}, {}, true, 0},
                      DragOutCase{"PartlyMovedLater", Qt::MoveAction, {}, {1}, {0, 2}, false, 2},
                      DragOutCase{"ReportedAsACopyButMoved", Qt::CopyAction, {0}, {}, {1, 2}, false, 2},
                      DragOutCase{"Cancelled", Qt::IgnoreAction, {0}, {}, {0, 1, 2}, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

using ShelfPlacement::Screen;

TEST(ShelfPlacementTest, CentredOnThePointThenClampedEightPointsInsideItsScreen)
{
    // A 1440×900 screen with a 25-point panel at the top and a 70-point dock,
    // and a second screen to its right.
    const Screen main{{0, 0, 1440, 900}, {0, 25, 1440, 805}}, right{{1440, 0, 1280, 1024}, {1440, 0, 1280, 1024}};
    const struct { QPointF p; qreal height; bool anchorTop; QList<Screen> screens; QPointF origin; } cases[] = {
        {{600, 500}, 244, false, {main}, {492, 378}},         {{600, 500}, 244, true, {main}, {492, 500}},
        {{1390, 400}, 244, false, {main}, {1216, 278}},       {{10, 400}, 244, false, {main}, {8, 278}},
        {{600, 820}, 244, false, {main}, {492, 578}},         {{600, 30}, 244, true, {main}, {492, 33}},
        {{600, 500}, 1000, false, {main}, {492, 33}},         // its top stays visible
        {{2700, 500}, 244, false, {main, right}, {2496, 378}}, {{1440, 500}, 244, false, {main, right}, {1448, 378}},
        {{5000, 500}, 244, false, {main, right}, {1216, 378}}, // off every screen: the primary
        {{5000, 500}, 244, false, {}, {4892, 378}},            // no screens, no clamp
    };
    for (const auto& c : cases) {
        const int primary = c.screens.isEmpty() ? -1 : 0;
        EXPECT_EQ(ShelfPlacement::origin(c.p, {216, c.height}, c.anchorTop, c.screens, primary), c.origin)
            << c.p.x() << ',' << c.p.y();
    }
    // A resize keeps the top edge, ignores half a point and lifts the shelf
    // above the visible bottom.
    const QRectF frame(100, 200, 216, 244), low(100, 600, 216, 178), visible(0, 25, 1440, 805);
    EXPECT_EQ(ShelfPlacement::resized(frame, 244.5, visible), std::nullopt);
    EXPECT_EQ(ShelfPlacement::resized(frame, 243.5, visible), std::nullopt);
    EXPECT_EQ(ShelfPlacement::resized(frame, 244.6, visible), QRectF(100, 200, 216, 244.6));
    EXPECT_EQ(ShelfPlacement::resized(low, 398, visible), QRectF(100, 830 - 398, 216, 398));
    EXPECT_EQ(ShelfPlacement::resized(low, 398, std::nullopt), QRectF(100, 600, 216, 398));
}

TEST(ShelfPlacementTest, BesideATrayIconTowardsTheMiddleOffItsPanel)
{
    // A top panel that the visible area leaves out; a bottom panel that it
    // does not; a screen to the right.
    const Screen top{{0, 0, 1440, 900}, {0, 25, 1440, 875}}, bare{{0, 0, 1440, 900}, {0, 0, 1440, 900}},
        right{{1440, 0, 1280, 1024}, {1440, 0, 1280, 1024}};
    const struct { QRectF icon; QList<Screen> screens; QPointF origin; } cases[] = {
        {{1300, 2, 22, 22}, {top}, {1203, 44}},            // below it
        {{1400, 870, 24, 24}, {bare}, {1216, 606}},        // above it, clamped at the right
        {{4, 400, 24, 24}, {top}, {48, 290}},              // a panel on the left: to its right
        {{2690, 500, 24, 24}, {top, right}, {2454, 390}},  // on the right: to its left
        {{700, 850, 0, 0}, {bare}, {592, 586}},            // the pointer that clicked
        {{100, 100, 20, 20}, {}, {2, 140}},                // no screens: below it
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShelfPlacement::beside(c.icon, {216, 244}, c.screens, c.screens.isEmpty() ? -1 : 0), c.origin)
            << c.icon.x() << ',' << c.icon.y();
    // What `kavo --list` says: screen pixels, scaled from each screen's corner.
    EXPECT_EQ(Screens::toScreenPixels({532, 278, 216, 244}, {0, 0, 640, 400}, 2), QRect(1064, 556, 432, 488));
    EXPECT_EQ(Screens::toScreenPixels({1300, 100, 216, 244}, {1280, 0, 853, 533}, 1.5), QRect(1310, 150, 324, 366));
}

class ShelfWindowTest : public ::testing::Test
{
protected:
    // Waits for the panel to come to rest and answers its height then.
    int settledHeight()
    {
        int last = -1;
        TestEnv::waitUntil([&] {
            const int h = std::exchange(last, shelf.window()->height());
            if (h == last)
                TestEnv::processEventsFor(ShelfWindowController::resizeMs + 50);
            return h == shelf.window()->height();
        });
        return shelf.window()->height();
    }

    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    ShelfWindowController shelf;
};

TEST_F(ShelfWindowTest, ShownAtThePointClosedOnceAfterHidingTakingItsPreviewAlong)
{
    shelf.store()->add(files.make(1), false);
    shelf.show({400, 300}, false);
    EXPECT_EQ(shelf.window()->geometry(), QRect(400 - 108, 300 - 122, 216, 244));
    shelf.content()->togglePreview();
    ASSERT_TRUE(PreviewPanel::shared()->isVisible());
    int closes = 0;
    bool hiddenFirst = false;
    shelf.onClose = [&] { ++closes, hiddenFirst = !shelf.window()->isVisible(); };
    shelf.close();
    shelf.close();
    EXPECT_EQ(closes, 0) << "only after the fade";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return closes > 0; }));
    TestEnv::processEventsFor(200);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(hiddenFirst);
    EXPECT_FALSE(PreviewPanel::shared()->isVisible());
}

TEST_F(ShelfWindowTest, AnyInterleavingOfChangesAndPicturesEndsAtTheListHeightWithTheTopKept)
{
    shelf.show({400, 300}, false);
    const int top = shelf.window()->y();
    shelf.store()->add(files.make(2), false);
    shelf.content()->toggleList();
    ASSERT_EQ(settledHeight(), 178);
    std::mt19937 random(7);
    for (int step = 0; step < 40; ++step) {
        const auto& items = shelf.store()->items;
        if (const unsigned what = random() % 3; what == 0)
            shelf.store()->add(files.make(int(random() % 3) + 1), false);
        else if (what == 1 && items.size() > 1)
            shelf.store()->remove({items[qsizetype(random() % items.size())]});
        else if (what == 2 && !thumbnails->pending.empty())
            thumbnails->deliver(random() % thumbnails->pending.size());
        TestEnv::processEventsFor(int(random() % 60));
        if (step % 8 == 7) {
            ASSERT_EQ(settledHeight(), ShelfContentView::listHeight(items.size())) << "after step " << step;
        }
    }
    EXPECT_EQ(shelf.window()->y(), top);
    shelf.content()->toggleList();
    EXPECT_EQ(settledHeight(), 244);
}

} // namespace
