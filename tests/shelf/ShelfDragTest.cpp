#include "shelf/ItemRowView.h"
#include "shelf/MoveWatcher.h"
#include "shelf/ShelfContentView.h"
#include "shelf/StackAreaView.h"

#include "MouseEvents.h"
#include "ShelfFixtures.h"

#include <QDir>
#include <QDrag>
#include <QFile>
#include <QMimeData>

#include <gtest/gtest.h>

namespace {

ShelfItemPtr coloured(const QString& path, const QColor& colour)
{
    auto item = std::make_shared<ShelfItem>(QUrl::fromLocalFile(path), false);
    QImage img(64, 64, QImage::Format_ARGB32);
    img.fill(colour);
    item->setThumbnail(img);
    return item;
}

TEST(DragImageTest, OneRowIs32PointsAStackOfOne96)
{
    QPoint hot;
    const QList<ShelfItemPtr> one{coloured("/d/1", Qt::red)};
    EXPECT_EQ(ShelfContentView::dragImage(one, 32, &hot, 1.0).size(), QSize(32, 32));
    EXPECT_EQ(hot, QPoint(16, 16));
    EXPECT_EQ(ShelfContentView::dragImage(one, 96, &hot, 1.0).size(), QSize(96, 96));
    EXPECT_EQ(hot, QPoint(48, 48)) << "the first picture is centred on the pointer";
}

TEST(DragImageTest, SevenPicturesStepThreePointsUpToTwelve)
{
    QList<ShelfItemPtr> items;
    const QList<QColor> colours{Qt::red,  Qt::green,   Qt::blue, Qt::yellow,
                                Qt::cyan, Qt::magenta, Qt::black};
    for (int i = 0; i < 7; ++i)
        items << coloured(QStringLiteral("/d/%1").arg(i), colours[i]);
    const QImage img = ShelfContentView::dragImage(items, 96, nullptr, 1.0).toImage();
    EXPECT_EQ(img.size(), QSize(96 + 12, 96 + 12));
    // The first picture lies on top at (0,0); the fifth shows beyond it at
    // (12,12); pictures six and seven are hidden under the fifth.
    EXPECT_EQ(img.pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(96 + 3 - 1, 96 + 3 - 1), QColor(Qt::green));
    EXPECT_EQ(img.pixelColor(96 + 12 - 1, 96 + 12 - 1), QColor(Qt::cyan));
}

class DragOutTest : public ::testing::Test
{
protected:
    DragOutTest()
    {
        store->onChange = [this] { view.reload(); };
        view.onClose = [this] { ++closes; };
        view.show();
    }
    // Drags with a stand-in for the drop target, which does `target` and
    // answers `action`.
    void dragWith(Qt::DropAction action, const std::function<void()>& target = {})
    {
        view.execDrag = [=, this](QDrag* drag) {
            dragged = drag->mimeData()->urls();
            formats = drag->mimeData()->formats();
            pixmapSize = drag->pixmap().size();
            during = view.draggingOut().size();
            if (target)
                target();
            return action;
        };
    }
    void moveAway(const QUrl& url)
    {
        QFile::rename(url.toLocalFile(), files.path("moved-" + url.fileName()));
    }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    ShelfContentView view{store};
    int closes = 0;
    QList<QUrl> dragged;
    QStringList formats;
    QSize pixmapSize;
    qsizetype during = 0;
};

TEST_F(DragOutTest, ThePileCarriesEveryFileAsAUrl)
{
    const QList<QUrl> urls = files.make(3);
    store->add(urls, false);
    dragWith(Qt::CopyAction);
    MouseEvents::press(view.stackArea(), {100, 80});
    MouseEvents::move(view.stackArea(), {120, 80});
    EXPECT_EQ(dragged, urls);
    EXPECT_EQ(formats, QStringList({"text/uri-list"}));
    EXPECT_EQ(pixmapSize, QSize(96 + 6, 96 + 6));
    EXPECT_EQ(during, 3);
    EXPECT_TRUE(view.draggingOut().isEmpty());
    // A copy leaves files and shelf alone.
    EXPECT_EQ(store->items.size(), 3);
    EXPECT_EQ(closes, 0);
}

TEST_F(DragOutTest, MovedFilesLeaveAndAnEmptiedShelfCloses)
{
    const QList<QUrl> urls = files.make(2);
    store->add(urls, false);
    ASSERT_TRUE(factsArrived(*store));
    int changes = 0;
    store->onChange = [&] {
        ++changes;
        view.reload();
    };
    dragWith(Qt::MoveAction, [&] {
        for (const QUrl& u : urls)
            moveAway(u);
    });
    view.beginDrag(store->items, view.stackArea(), nullptr);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return closes > 0; }));
    EXPECT_TRUE(store->items.isEmpty());
    EXPECT_EQ(changes, 1) << "one removal";
    EXPECT_EQ(closes, 1);
}

TEST_F(DragOutTest, FilesATargetMovesAfterTheDropStillLeave)
{
    // File managers finish the drop, then move the files in a job of their
    // own, which may take minutes.
    const QList<QUrl> urls = files.make(3);
    store->add(urls, false);
    dragWith(Qt::MoveAction);
    view.beginDrag(store->items.mid(0, 2), view.stackArea(), nullptr);
    TestEnv::processEventsFor(100);
    ASSERT_EQ(store->items.size(), 3);
    moveAway(urls[0]);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return store->items.size() == 2; }));
    EXPECT_EQ(closes, 0);
    // A file that was not dragged is not watched, nor judged.
    QFile::remove(urls[2].toLocalFile());
    moveAway(urls[1]);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return store->items.size() == 1; }));
    EXPECT_EQ(store->items[0]->url(), urls[2]);
    EXPECT_EQ(closes, 0) << "not emptied by the moves";
    EXPECT_EQ(view.moves()->watchedCount(), 0) << "items that left are no longer watched";
}

TEST_F(DragOutTest, ACopiedPileIsWatchedForAsLongAsTheShelfHoldsIt)
{
    const QList<QUrl> urls = files.make(2);
    store->add(urls, false);
    dragWith(Qt::CopyAction);
    view.beginDrag(store->items, view.stackArea(), nullptr);
    TestEnv::processEventsFor(100);
    EXPECT_EQ(store->items.size(), 2) << "a copy leaves everything";
    EXPECT_EQ(view.moves()->watchedCount(), 2);
    store->remove({store->items[0]});
    EXPECT_EQ(view.moves()->watchedCount(), 1);
    QFile::remove(urls[1].toLocalFile());
    ASSERT_TRUE(TestEnv::waitUntil([&] { return closes == 1; }));
    EXPECT_TRUE(store->items.isEmpty());
}

TEST_F(DragOutTest, ItemsThatArriveDuringADragAreNotJudgedByIt)
{
    const QList<QUrl> urls = files.make(1);
    store->add(urls, false);
    const QUrl arriving = QUrl::fromLocalFile(files.path("not-there-yet.txt"));
    dragWith(Qt::MoveAction, [&] { store->add({arriving}, false); });
    view.beginDrag(store->items, view.stackArea(), nullptr);
    TestEnv::processEventsFor(100);
    ASSERT_EQ(store->items.size(), 2);
    EXPECT_EQ(store->items[1]->url(), arriving);
}

TEST_F(DragOutTest, TheFileSystemDecidesNotTheReportedAction)
{
    const QList<QUrl> urls = files.make(2);
    store->add(urls, false);
    // Reported as a copy, but one file is gone: it leaves, the shelf stays.
    dragWith(Qt::CopyAction, [&] { moveAway(urls[0]); });
    view.beginDrag(store->items, view.stackArea(), nullptr);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return store->items.size() == 1; }));
    EXPECT_EQ(store->items[0]->url(), urls[1]);
    EXPECT_EQ(closes, 0);
}

TEST_F(DragOutTest, ACancelChangesNothing)
{
    const QList<QUrl> urls = files.make(2);
    store->add(urls, false);
    dragWith(Qt::IgnoreAction, [&] { moveAway(urls[0]); });
    view.beginDrag(store->items, view.stackArea(), nullptr);
    TestEnv::processEventsFor(100);
    EXPECT_EQ(store->items.size(), 2);
    EXPECT_EQ(view.moves()->watchedCount(), 0);
    EXPECT_EQ(closes, 0);
}

TEST_F(DragOutTest, OneRowDragsOneItemWithASmallPicture)
{
    const QList<QUrl> urls = files.make(3);
    store->add(urls, false);
    view.toggleList();
    ItemRowView* row = view.rows()[1];
    dragWith(Qt::MoveAction, [&] { moveAway(urls[1]); });
    MouseEvents::press(row, {20, 20});
    MouseEvents::move(row, {40, 20});
    EXPECT_EQ(dragged, QList<QUrl>({urls[1]}));
    EXPECT_EQ(pixmapSize, QSize(32, 32));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return store->items.size() == 2; }));
    EXPECT_EQ(closes, 0) << "other items remain";
}

TEST_F(DragOutTest, AnEmptyListStartsNothing)
{
    bool ran = false;
    view.execDrag = [&](QDrag*) {
        ran = true;
        return Qt::CopyAction;
    };
    view.beginDrag({}, view.stackArea(), nullptr);
    EXPECT_FALSE(ran);
}

} // namespace
