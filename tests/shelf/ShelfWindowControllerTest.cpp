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

TEST_F(ControllerTest, ActivationDropsVanishedFiles)
{
    const QList<QUrl> urls = files.make(2);
    shelf.store()->add(urls, false);
    QFile::remove(urls[0].toLocalFile());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(shelf.window(), &activate);
    ASSERT_EQ(shelf.store()->items.size(), 1);
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
