#include "shelf/HighlightView.h"
#include "shelf/ShelfContentView.h"
#include "shelf/StackAreaView.h"

#include "ShelfFixtures.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <random>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QStringList dropFolders()
{
    return QDir(ShelfStore::droppedFilesRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

class DropTest : public ::testing::Test
{
protected:
    DropTest()
    {
        QDir(ShelfStore::droppedFilesRoot()).removeRecursively();
        store->onChange = [this] {
            ++changes;
            view.reload();
        };
    }

    // Sends a real drop to the view, as Qt delivers one from another program.
    bool drop(QMimeData* mime)
    {
        const QPointF at(108, 120);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&view, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                             Qt::NoModifier);
        QApplication::sendEvent(&view, &dropEvent);
        lastAction = dropEvent.dropAction();
        return dropEvent.isAccepted();
    }

    // The one file a drop wrote, waiting for it where the writing is
    // asynchronous.
    QString writtenFile()
    {
        TestEnv::waitUntil([&] { return !store->items.isEmpty(); });
        if (store->items.isEmpty())
            return {};
        return store->items.last()->path();
    }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    ShelfContentView view{store};
    int changes = 0;
    Qt::DropAction lastAction = Qt::IgnoreAction;
};

TEST_F(DropTest, FilesAreHeldByReferenceInOneChange)
{
    auto* mime = new QMimeData;
    mime->setUrls(files.make(3));
    EXPECT_TRUE(drop(mime));
    EXPECT_EQ(lastAction, Qt::CopyAction);
    EXPECT_EQ(store->items.size(), 3);
    EXPECT_EQ(changes, 1);
    for (const ShelfItemPtr& item : store->items)
        EXPECT_FALSE(item->isTemporary());
    EXPECT_TRUE(dropFolders().isEmpty());
    delete mime;
}

TEST_F(DropTest, FilesWinOverAnImageAndNothingIsWritten)
{
    QMimeData mime;
    mime.setUrls(files.make(1) << QUrl("https://example.org/page"));
    QImage img(20, 20, QImage::Format_ARGB32);
    img.fill(Qt::red);
    mime.setImageData(img);
    mime.setText("some text");
    EXPECT_TRUE(drop(&mime));
    TestEnv::processEventsFor(50);
    EXPECT_EQ(store->items.size(), 1);
    EXPECT_TRUE(dropFolders().isEmpty());
}

TEST_F(DropTest, AnImageBecomesImagePng)
{
    QMimeData mime;
    QImage img(40, 30, QImage::Format_ARGB32);
    img.fill(Qt::blue);
    mime.setImageData(img);
    EXPECT_TRUE(drop(&mime));
    const QString path = writtenFile();
    EXPECT_EQ(QFileInfo(path).fileName(), "Image.png");
    EXPECT_EQ(QFileInfo(path).absolutePath(), ShelfStore::droppedFilesRoot() + "/" + dropFolders()[0]);
    EXPECT_EQ(QImage(path).size(), QSize(40, 30));
    EXPECT_TRUE(store->items[0]->isTemporary());
}

TEST_F(DropTest, APngIsWrittenAsItCame)
{
    QImage img(16, 8, QImage::Format_ARGB32);
    img.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(img.save(&buffer, "PNG", 0));
    QMimeData mime;
    mime.setImageData(img);
    mime.setData("image/png", png);
    EXPECT_TRUE(drop(&mime));
    const QString path = writtenFile();
    EXPECT_EQ(QFileInfo(path).fileName(), "Image.png");
    EXPECT_EQ(readAll(path), png) << "the very bytes, not a re-encoding";
}

TEST_F(DropTest, AWebLinkBecomesAWeblocNamedAfterItsHost)
{
    QMimeData mime;
    mime.setUrls({QUrl("https://www.example.org/docs/page.html?x=1"), QUrl("https://second.example")});
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 1) << "one file from the first link";
    const QString path = store->items[0]->path();
    EXPECT_EQ(QFileInfo(path).fileName(), "www.example.org.webloc");
    const QByteArray plist = readAll(path);
    EXPECT_TRUE(plist.contains("<string>https://www.example.org/docs/page.html?x=1</string>"));
    EXPECT_TRUE(store->items[0]->isTemporary());
}

TEST_F(DropTest, AMailLinkBecomesLinkWebloc)
{
    QMimeData mime;
    mime.setUrls({QUrl("mailto:someone@example.org")});
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_EQ(QFileInfo(store->items[0]->path()).fileName(), "Link.webloc");
}

TEST_F(DropTest, TextIsSavedWholeUnderItsFirstLine)
{
    QMimeData mime;
    const QString text = "\n\n  " + QString(58, u'q') + "\r\nsecond line\n\nthird ünïcödé";
    mime.setText(text);
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 1);
    const QString path = store->items[0]->path();
    EXPECT_EQ(QFileInfo(path).fileName(), QString(30, u'q') + ".txt");
    EXPECT_EQ(readAll(path), text.toUtf8());
}

TEST_F(DropTest, AVeryLongFirstLineStillLands)
{
    QMimeData mime;
    const QString text = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(5000) + "\nrest";
    mime.setText(text);
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_LE(QFileInfo(store->items[0]->path()).fileName().toUtf8().size(), 255);
    EXPECT_EQ(readAll(store->items[0]->path()), text.toUtf8());
}

TEST_F(DropTest, TwoTextDropsWithTheSameNameLandInTheirOwnFolders)
{
    QMimeData a, b;
    a.setText("same\nfirst");
    b.setText("same\nsecond");
    EXPECT_TRUE(drop(&a));
    EXPECT_TRUE(drop(&b));
    ASSERT_EQ(store->items.size(), 2);
    EXPECT_EQ(readAll(store->items[0]->path()), "same\nfirst");
    EXPECT_EQ(readAll(store->items[1]->path()), "same\nsecond");
}

TEST_F(DropTest, NothingUsableIsRefused)
{
    QMimeData empty;
    empty.setText("");
    EXPECT_FALSE(drop(&empty));
    QMimeData other;
    other.setData("application/x-something", "data");
    EXPECT_FALSE(drop(&other));
    EXPECT_TRUE(store->items.isEmpty());
    EXPECT_EQ(changes, 0);
}

TEST_F(DropTest, DirectSaveWithoutAWindowSystemFallsThrough)
{
    QMimeData mime;
    mime.setData("XdndDirectSave0", "");
    mime.setText("fallback text");
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_EQ(QFileInfo(store->items[0]->path()).fileName(), "fallback text.txt");
}

TEST_F(DropTest, TextIsWrittenAsTheBytesTheSourceOffered)
{
    // Not valid UTF-8: written as it came, not with U+FFFD in its place.
    const QByteArray bytes("caf\xe9 cr\xe8me\nbr\xfb" "l\xe9" "e \xff\xfe end");
    QMimeData mime;
    mime.setData("text/plain;charset=utf-8", bytes);
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_EQ(readAll(store->items[0]->path()), bytes);
}

TEST_F(DropTest, OnlyLocalFilesAreTakenWithTheirNamesAsTheyAre)
{
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    for (const char* name : {"/\xff\xfe.txt", "/\xfe\xff.txt"}) {
        FILE* f = std::fopen(QByteArray(base + name).constData(), "wb");
        ASSERT_TRUE(f);
        std::fclose(f);
    }
    QMimeData mime;
    mime.setData("text/uri-list", "file://" + base.toPercentEncoding("/") + "/%FF%FE.txt\r\n" +
                                      "file://" + base.toPercentEncoding("/") + "/%FE%FF.txt\r\n" +
                                      "file://otherhost/etc/passwd\r\nfile:relative/path.txt\r\n");
    EXPECT_TRUE(drop(&mime));
    ASSERT_EQ(store->items.size(), 2);
    EXPECT_EQ(store->items[0]->nativePath(), base + "/\xff\xfe.txt");
    EXPECT_EQ(store->items[1]->nativePath(), base + "/\xfe\xff.txt");

    // Another host's file or a relative one is not a file of this machine,
    // nor a web link.
    QMimeData elsewhere;
    elsewhere.setData("text/uri-list", "file://otherhost/etc/passwd\r\nfile:relative/path.txt\r\n");
    EXPECT_FALSE(drop(&elsewhere));
    EXPECT_EQ(store->items.size(), 2);
    EXPECT_TRUE(dropFolders().isEmpty());
}

// Drops that cannot be saved: the user is told what and why, the drop
// folder goes, and nothing half-written reaches the shelf.
TEST_F(DropTest, WhatCannotBeSavedIsToldAndLeavesNothing)
{
    QStringList notices;
    view.onNotice = [&](const QString& title, const QString& text) { notices << title + " | " + text; };
    const QString kavoCache = QFileInfo(ShelfStore::droppedFilesRoot()).absolutePath();
    QTemporaryDir elsewhere;
    auto text = [](const QByteArray& t) {
        auto* mime = new QMimeData;
        mime->setText(QString::fromUtf8(t));
        return mime;
    };
    auto image = [] {
        auto* mime = new QMimeData;
        // Noise, which no PNG compresses.
        QImage img(300, 300, QImage::Format_RGB32);
        std::mt19937 random(1);
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, random());
        }
        mime->setImageData(img);
        return mime;
    };
    struct Case
    {
        const char* name;
        std::function<bool()> setUp;
        std::function<QMimeData*()> dropped;
        QString notice; // begins the notice
    };
    const bool root = ::getuid() == 0;
    const QList<Case> cases{
        {"the drop folder is a link elsewhere",
         [&] {
             QDir().mkpath(kavoCache);
             return QFile::link(elsewhere.path(), ShelfStore::droppedFilesRoot());
         },
         [&] { return text("Notes\nmore"); }, "Couldn't save \u201CNotes.txt\u201D | "},
        {"a file where Kavo's cache folder belongs",
         [&] { return TestEnv::writeFile(kavoCache, "not a folder"); },
         [&] { return text("Plan"); }, "Couldn't save \u201CPlan.txt\u201D | "},
        {"a full disk, for text",
         [&] {
             return root && QDir().mkpath(kavoCache) &&
                    QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs",
                                                kavoCache}) == 0;
         },
         [&] { return text("Big\n" + QByteArray(300 * 1024, 'x')); },
         "Couldn't save \u201CBig.txt\u201D | No space left on device"},
        {"a full disk, for a picture",
         [&] {
             return root && QDir().mkpath(kavoCache) &&
                    QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs",
                                                kavoCache}) == 0;
         },
         image, "Couldn't save \u201CImage.png\u201D | No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notices.clear();
        if (!c.setUp()) {
            ADD_FAILURE() << "cannot set up: " << c.name << (root ? "" : " (not root)");
            continue;
        }
        std::unique_ptr<QMimeData> mime(c.dropped());
        drop(mime.get());
        EXPECT_TRUE(TestEnv::waitUntil([&] { return !notices.isEmpty(); }));
        EXPECT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices.value(0).startsWith(c.notice)) << notices.value(0).toStdString();
        EXPECT_TRUE(store->items.isEmpty());
        EXPECT_TRUE(QDir(elsewhere.path()).isEmpty()) << "nothing written through the link";
        EXPECT_TRUE(QFileInfo(ShelfStore::droppedFilesRoot()).isSymLink() || dropFolders().isEmpty())
            << "no folder left behind";
        QProcess::execute("umount", {kavoCache});
        QFile::remove(ShelfStore::droppedFilesRoot());
        QFile::remove(kavoCache);
        QDir(kavoCache).removeRecursively();
    }
}

TEST_F(DropTest, HoverFeedbackComesAndGoes)
{
    QMimeData mime;
    mime.setUrls(files.make(1));
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(view.highlight()->isActive());
    EXPECT_TRUE(view.stackArea()->isDropTarget);
    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.highlight()->isActive());
    EXPECT_FALSE(view.stackArea()->isDropTarget);
}

TEST_F(DropTest, ADragFromThisShelfIsRefusedFromAnotherItIsCopied)
{
    QMimeData mime;
    mime.setUrls(files.make(2));
    EXPECT_FALSE(view.takeDrop(&mime, &view));
    EXPECT_TRUE(store->items.isEmpty());

    ShelfContentView other(std::make_shared<ShelfStore>());
    EXPECT_TRUE(view.takeDrop(&mime, &other));
    EXPECT_EQ(store->items.size(), 2);
}

} // namespace
