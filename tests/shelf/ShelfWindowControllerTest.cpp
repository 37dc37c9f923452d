#include "shelf/BadgeView.h"
#include "shelf/ElidedLabel.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include "ShelfFixtures.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <random>

namespace {

class ControllerTest : public ::testing::Test
{
protected:
    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    ShelfWindowController shelf;
};

TEST_F(ControllerTest, ShowsCentredOnThePoint)
{
    ASSERT_NE(shelf.window(), nullptr);
    EXPECT_EQ(shelf.window()->size(), QSize(216, 244));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint p = screen.center();
    shelf.show(p, false);
    EXPECT_TRUE(shelf.window()->isVisible());
    EXPECT_EQ(shelf.window()->pos(), QPoint(p.x() - 108, p.y() - 122));
    EXPECT_EQ(shelf.content()->parentWidget(), shelf.window());
}

TEST_F(ControllerTest, CloseReportsOnceAndOnlyAfterHiding)
{
    shelf.show({400, 300}, false);
    int closes = 0;
    bool hiddenFirst = false;
    shelf.onClose = [&] {
        ++closes;
        hiddenFirst = !shelf.window()->isVisible();
    };
    shelf.close();
    shelf.close();
    EXPECT_EQ(closes, 0) << "only after the fade";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return closes > 0; }));
    TestEnv::processEventsFor(200);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(hiddenFirst);
}

TEST_F(ControllerTest, StoreChangesRebuildTheContent)
{
    shelf.store()->add(files.make(2), false);
    EXPECT_EQ(shelf.content()->titleLabel()->text(), "2 items") << "at once";
    shelf.content()->toggleList();
    EXPECT_EQ(shelf.content()->rows().size(), 2);
    shelf.store()->add(files.make(1), false);
    EXPECT_TRUE(TestEnv::waitUntil([&] { return shelf.content()->rows().size() == 3; }));
}

TEST_F(ControllerTest, ABurstOfChangesEndsShowingTheLastState)
{
    for (int i = 0; i < 30; ++i)
        shelf.store()->add(files.make(1), false);
    EXPECT_TRUE(
        TestEnv::waitUntil([&] { return shelf.content()->titleLabel()->text() == "30 items"; }));
    EXPECT_EQ(shelf.content()->badge()->count(), 30);
}

TEST_F(ControllerTest, ListModeResizesKeepingTheTopEdge)
{
    shelf.show({400, 400}, false);
    const int top = shelf.window()->y();
    shelf.store()->add(files.make(3), false);
    shelf.content()->toggleList();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return shelf.window()->height() == 222; }));
    EXPECT_EQ(shelf.window()->y(), top);
    EXPECT_EQ(shelf.content()->height(), 222);
    shelf.content()->toggleList();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return shelf.window()->height() == 244; }));
    EXPECT_EQ(shelf.window()->y(), top);
}

// Waits for the panel to come to rest and answers its height then.
int settledHeight(ShelfWindowController& shelf)
{
    int last = -1;
    TestEnv::waitUntil([&] {
        const int h = shelf.window()->height();
        const bool still = h == last;
        last = h;
        if (still)
            TestEnv::processEventsFor(ShelfWindowController::resizeMs + 50);
        return still && shelf.window()->height() == h;
    });
    return shelf.window()->height();
}

TEST(ControllerResizeTest, AnImageDroppedOnAListWhileThumbnailsArriveEndsAtItsHeight)
{
    ScopedThumbnailer<ManualThumbnailer> thumbnails;
    TestFiles files;
    ShelfWindowController shelf;
    shelf.show({400, 300}, false);
    QList<QUrl> images;
    for (int i = 0; i < 3; ++i) {
        images << QUrl::fromLocalFile(files.path(QStringLiteral("image%1.png").arg(i)));
        ASSERT_TRUE(TestEnv::writePng(images.last().toLocalFile()));
    }
    QImage preview(8, 8, QImage::Format_ARGB32);
    preview.fill(Qt::green);
    shelf.store()->add(images.mid(0, 2), false);
    shelf.content()->toggleList();
    ASSERT_EQ(settledHeight(shelf), 178);

    // The third picture arrives, and its thumbnail a moment later, while
    // the panel is still growing.
    shelf.store()->add({images[2]}, false);
    TestEnv::processEventsFor(30);
    thumbnails->deliver(2, preview);
    EXPECT_EQ(settledHeight(shelf), 222);
}

TEST(ControllerResizeTest, AnyInterleavingOfChangesEndsAtTheListHeight)
{
    ScopedThumbnailer<ManualThumbnailer> thumbnails;
    TestFiles files;
    ShelfWindowController shelf;
    shelf.show({400, 300}, false);
    shelf.store()->add(files.make(2), false);
    shelf.content()->toggleList();
    QImage preview(8, 8, QImage::Format_ARGB32);
    preview.fill(Qt::green);
    std::mt19937 random(7);
    for (int step = 0; step < 40; ++step) {
        const auto& items = shelf.store()->items;
        switch (random() % 3) {
        case 0:
            shelf.store()->add(files.make(int(random() % 3) + 1), false);
            break;
        case 1:
            if (items.size() > 1)
                shelf.store()->remove({items[qsizetype(random() % items.size())]});
            break;
        default:
            if (!thumbnails->pending.empty())
                thumbnails->deliver(random() % thumbnails->pending.size(), preview);
        }
        TestEnv::processEventsFor(int(random() % 60));
        if (step % 8 == 7) {
            ASSERT_EQ(settledHeight(shelf),
                      ShelfContentView::listHeight(shelf.store()->items.size()))
                << "after step " << step;
        }
    }
}

TEST_F(ControllerTest, ActivationDropsVanishedFiles)
{
    const QList<QUrl> urls = files.make(2);
    shelf.store()->add(urls, false);
    QFile::remove(urls[0].toLocalFile());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(shelf.window(), &activate);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return shelf.store()->items.size() == 1; }));
    EXPECT_EQ(shelf.store()->items[0]->url(), urls[1]);
}

TEST(ControllerLifetimeTest, CallbacksDoNothingOnceTheShelfIsGone)
{
    ScopedThumbnailer<ManualThumbnailer> thumbnails;
    TestFiles files;
    ShelfStorePtr store;
    {
        ShelfWindowController shelf;
        store = shelf.store();
        store->add(files.make(1), false);
        shelf.show({300, 300}, false);
        shelf.close();
    }
    // A late thumbnail for a shelf that is gone changes nothing and crashes nothing.
    QImage img(4, 4, QImage::Format_ARGB32);
    img.fill(Qt::red);
    thumbnails->deliver(0, img);
    TestEnv::processEventsFor(250);
    EXPECT_EQ(store->items.size(), 1);
}

} // namespace
