#include "core/NativePath.h"
#include "model/ShelfStore.h"
#include "platform/FreedesktopThumbnailer.h"

#include "ManualThumbnailer.h"
#include "ShelfFixtures.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

QUrl file(const QString& path) { return QUrl::fromLocalFile(path); }

QStringList paths(const ShelfStore& store)
{
    QStringList out;
    for (const ShelfItemPtr& item : store.items)
        out << item->url().toLocalFile();
    return out;
}

class ShelfStoreTest : public ::testing::Test
{
protected:
    ShelfStoreTest()
    {
        store->onChange = [this] { ++changes; };
    }
    ScopedThumbnailer<ManualThumbnailer> thumbnails;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    int changes = 0;
};

TEST_F(ShelfStoreTest, AddIgnoresEmptyListsAndNonFileUrls)
{
    store->add({}, false);
    store->add({QUrl("https://example.org/a"), QUrl("mailto:a@b.c")}, false);
    EXPECT_TRUE(store->items.isEmpty());
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(thumbnails->pending.empty());
}

TEST_F(ShelfStoreTest, AddDeduplicatesAgainstHeldItemsByStandardizedPath)
{
    store->add({file("/a/b")}, false);
    ASSERT_EQ(changes, 1);

    store->add({file("/a/./b"), file("/a/c/../b"), QUrl("file:///a//b")}, false);
    EXPECT_EQ(store->items.size(), 1);
    EXPECT_EQ(changes, 1) << "nothing added, no change reported";

    // The same new file twice in one call is not compared with itself.
    store->add({file("/x/y"), file("/x/./y")}, true);
    ASSERT_EQ(store->items.size(), 3);
    EXPECT_EQ(changes, 2);
    // The caller's form of the URL is kept.
    EXPECT_EQ(store->items[2]->url(), file("/x/./y"));
    EXPECT_TRUE(store->items[2]->isTemporary());
    EXPECT_FALSE(store->items[0]->isTemporary());
}

TEST_F(ShelfStoreTest, AddKeepsOrderAppendsAndReportsOnceForAMix)
{
    store->add({file("/f/1"), file("/f/2")}, false);
    store->add({file("/f/3"), QUrl("https://example.org"), file("/f/1"), file("/f/4")}, false);
    EXPECT_EQ(paths(*store), QStringList({"/f/1", "/f/2", "/f/3", "/f/4"}));
    EXPECT_EQ(changes, 2);
    // One thumbnail request per new item, in order.
    ASSERT_EQ(thumbnails->pending.size(), 4u);
    EXPECT_EQ(thumbnails->pending[3].path, QByteArray("/f/4"));
    EXPECT_EQ(thumbnails->pending[3].pixelSize, Thumbnailer::preferredPixelSize());
}

TEST_F(ShelfStoreTest, RemoveWorksByIdentityAndAlwaysReportsOnce)
{
    store->add({file("/r/1"), file("/r/2"), file("/r/3")}, false);
    const ShelfItemPtr first = store->items[0], middle = store->items[1], last = store->items[2];
    changes = 0;

    // An item of another shelf for the same path is a different item.
    ShelfStorePtr other = std::make_shared<ShelfStore>();
    other->add({file("/r/2")}, false);
    store->remove(other->items);
    EXPECT_EQ(store->items.size(), 3);
    EXPECT_EQ(changes, 1);

    store->remove({});
    EXPECT_EQ(changes, 2);

    store->remove({middle});
    EXPECT_EQ(store->items, QList<ShelfItemPtr>({first, last}));
    EXPECT_EQ(changes, 3);
}

TEST_F(ShelfStoreTest, RemovingATemporaryItemLeavesItsFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Text.txt");
    ASSERT_TRUE(TestEnv::writeFile(path, "hello"));
    store->add({file(path)}, true);
    store->remove(store->items);
    EXPECT_TRUE(store->items.isEmpty());
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(ShelfStoreTest, PruneMissingDropsOnlyVanishedFilesInOneChange)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c");
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(TestEnv::writeFile(a, "a") && TestEnv::writeFile(b, "b") &&
                TestEnv::writeFile(c, "c"));
    ASSERT_TRUE(QDir().mkdir(folder));
    store->add({file(a), file(b), file(folder), file(c)}, false);
    ASSERT_TRUE(factsArrived(*store));
    changes = 0;

    // The file system is asked off the UI thread; the answer comes later.
    qsizetype removed = -1;
    store->pruneMissing({}, [&](qsizetype n) { removed = n; });
    EXPECT_EQ(removed, -1);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return removed >= 0; }));
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(changes, 0) << "all present (a folder counts as present)";

    QFile::remove(a);
    QFile::remove(c);
    removed = -1;
    store->pruneMissing({}, [&](qsizetype n) { removed = n; });
    ASSERT_TRUE(TestEnv::waitUntil([&] { return removed >= 0; }));
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(paths(*store), QStringList({b, folder}));

    // Only the items asked about are judged.
    QFile::remove(b);
    removed = -1;
    store->pruneMissing({store->items[1]}, [&](qsizetype n) { removed = n; });
    ASSERT_TRUE(TestEnv::waitUntil([&] { return removed >= 0; }));
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(paths(*store), QStringList({b, folder}));
}

TEST_F(ShelfStoreTest, ArrivingThumbnailsReplaceTheIconAndReportOnceEach)
{
    store->add({file("/t/1"), file("/t/2"), file("/t/3")}, false);
    ASSERT_EQ(changes, 1);
    ASSERT_TRUE(factsArrived(*store));
    changes = 1;
    const QList<ShelfItemPtr> before = store->items;
    EXPECT_FALSE(before[0]->thumbnail().isNull()) << "an item always has a picture";
    EXPECT_FALSE(before[0]->hasPreview());

    QImage red(10, 20, QImage::Format_ARGB32);
    red.fill(Qt::red);
    thumbnails->deliver(2, red);
    thumbnails->deliver(0, red);
    thumbnails->deliver(1, QImage()); // no preview for this one
    ASSERT_TRUE(TestEnv::waitUntil([&] { return changes == 3; }));
    TestEnv::processEventsFor(20);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(store->items, before) << "order does not follow arrival";
    EXPECT_TRUE(before[0]->hasPreview());
    EXPECT_FALSE(before[1]->hasPreview());
    EXPECT_EQ(before[2]->thumbnail().size(), QSize(10, 20));
}

TEST_F(ShelfStoreTest, ThumbnailForARemovedItemStillUpdatesItAndTheLiveShelf)
{
    store->add({file("/t/1")}, false);
    const ShelfItemPtr item = store->items[0];
    store->remove({item});
    TestEnv::waitUntil([&] { return item->facts().has_value(); });
    changes = 0;
    QImage img(8, 8, QImage::Format_ARGB32);
    img.fill(Qt::green);
    thumbnails->deliver(0, img);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return changes == 1; }));
    EXPECT_TRUE(item->hasPreview());
}

TEST_F(ShelfStoreTest, LateThumbnailsForAClosedShelfAreDropped)
{
    store->add({file("/t/1"), file("/t/2")}, false);
    std::weak_ptr<ShelfItem> item = store->items[0];
    store.reset();
    EXPECT_TRUE(item.expired()) << "pending requests hold nothing strongly";
    QImage img(8, 8, QImage::Format_ARGB32);
    img.fill(Qt::blue);
    thumbnails->deliver(0, img);
    thumbnails->deliver(1, img);
    TestEnv::processEventsFor(30);
    EXPECT_EQ(changes, 1);
}

// With the real thumbnailer: three PNG files give 1 + 3 changes; a text file
// gets no preview and costs no change; callbacks run on the main thread.
class RealThumbnailTest : public ::testing::Test
{
protected:
    ScopedThumbnailer<FreedesktopThumbnailer> thumbnails;
    QTemporaryDir dir;
};

TEST_F(RealThumbnailTest, ThreePngFilesAndATextFile)
{
    QList<QUrl> urls;
    for (int i = 0; i < 3; ++i) {
        const QString p = dir.filePath(QStringLiteral("image%1.png").arg(i));
        ASSERT_TRUE(TestEnv::writePng(p, 600 + i * 100, 300));
        urls << file(p);
    }
    const QString text = dir.filePath("notes.txt");
    ASSERT_TRUE(TestEnv::writeFile(text, "just text\n"));

    auto store = std::make_shared<ShelfStore>();
    int changes = 0;
    bool offMainThread = false;
    store->onChange = [&] {
        ++changes;
        offMainThread |= QThread::currentThread() != qApp->thread();
    };
    store->add(urls, false);
    store->add({file(text)}, false);
    EXPECT_EQ(changes, 2);
    // Then one change per answer about the files (one per add), and one per
    // preview.
    thumbnails->waitForIdle();
    ASSERT_TRUE(factsArrived(*store));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return changes == 7; }));
    TestEnv::processEventsFor(30);
    EXPECT_EQ(changes, 7);
    EXPECT_FALSE(offMainThread);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(store->items[i]->hasPreview());
        EXPECT_EQ(store->items[i]->thumbnail().width(), Thumbnailer::preferredPixelSize());
    }
    EXPECT_FALSE(store->items[3]->hasPreview());
    EXPECT_FALSE(store->items[3]->thumbnail().isNull());
}

TEST_F(RealThumbnailTest, StoreDestroyedBeforeItsThumbnailsArrive)
{
    QList<QUrl> urls;
    for (int i = 0; i < 20; ++i) {
        const QString p = dir.filePath(QStringLiteral("p%1.png").arg(i));
        ASSERT_TRUE(TestEnv::writePng(p, 1200, 900));
        urls << file(p);
    }
    int changes = 0;
    {
        auto store = std::make_shared<ShelfStore>();
        store->onChange = [&] { ++changes; };
        store->add(urls, false);
    }
    thumbnails->waitForIdle();
    TestEnv::processEventsFor(50);
    EXPECT_EQ(changes, 1);
}

TEST_F(ShelfStoreTest, OnlyLocalFilesAreHeldAndNamesKeepTheirBytes)
{
    const QByteArray one("/n/\xff\xfe.txt"), two("/n/\xfe\xff.txt");
    store->add({NativePath::toUrl(one), NativePath::toUrl(two),
                QUrl::fromEncoded("file://otherhost/etc/passwd"),
                QUrl::fromEncoded("file:relative/path.txt"), QUrl::fromEncoded("file://localhost/n/x")},
               false);
    ASSERT_EQ(store->items.size(), 3) << "two names that only differ in bytes are two files";
    EXPECT_EQ(store->items[0]->nativePath(), one);
    EXPECT_EQ(store->items[1]->nativePath(), two);
    EXPECT_EQ(store->items[2]->nativePath(), "/n/x");
    EXPECT_EQ(store->items[0]->url().toEncoded(), "file:///n/%FF%FE.txt");
    EXPECT_EQ(thumbnails->pending[1].path, two);
}

} // namespace
