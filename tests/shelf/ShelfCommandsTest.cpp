#include "shelf/PreviewPanel.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfWindowController.h"

#include "ShelfFixtures.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CommandsTest : public ::testing::Test
{
protected:
    CommandsTest()
    {
        store->onChange = [this] {
            ++changes;
            view.reload();
        };
        view.onClose = [this] { ++closes; };
        view.show();
    }
    ~CommandsTest() override { PreviewPanel::destroyShared(); }
    bool key(int k)
    {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(&view, &e);
        return e.isAccepted();
    }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    ShelfContentView view{store};
    int changes = 0, closes = 0;
};

TEST_F(CommandsTest, TheContextMenu)
{
    EXPECT_EQ(view.makeMenu(), nullptr) << "an empty shelf has none";
    store->add(files.make(1), false);
    std::unique_ptr<QMenu> menu(view.makeMenu());
    ASSERT_TRUE(menu);
    QStringList titles;
    for (QAction* a : menu->actions())
        titles << (a->isSeparator() ? QStringLiteral("---") : a->text());
    EXPECT_EQ(titles, QStringList({"Show in File Manager", "Quick Look", "Copy", "Share\u2026", "---",
                                   "Remove All", "Close Shelf"}));
}

TEST_F(CommandsTest, DeleteKeysRemoveEverythingInOneChangeAndTheShelfStays)
{
    const QList<QUrl> urls = files.make(3);
    store->add(urls, false);
    view.toggleList();
    changes = 0;
    EXPECT_TRUE(key(Qt::Key_Backspace));
    EXPECT_TRUE(store->items.isEmpty());
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(view.isListMode());
    EXPECT_EQ(closes, 0);
    for (const QUrl& u : urls)
        EXPECT_TRUE(QFile::exists(u.toLocalFile()));

    store->add(files.make(1), false);
    EXPECT_TRUE(key(Qt::Key_Delete));
    EXPECT_TRUE(store->items.isEmpty());
    EXPECT_TRUE(key(Qt::Key_Delete)) << "also on an empty shelf";
}

TEST_F(CommandsTest, EscapeClosesSpacePreviewsOtherKeysPassOn)
{
    EXPECT_FALSE(key(Qt::Key_Space)) << "an empty shelf passes space on";
    EXPECT_FALSE(key(Qt::Key_A));
    store->add(files.make(2), false);
    EXPECT_TRUE(key(Qt::Key_Space));
    ASSERT_TRUE(PreviewPanel::sharedExists());
    EXPECT_TRUE(PreviewPanel::shared()->isVisible());
    EXPECT_TRUE(key(Qt::Key_Space));
    EXPECT_FALSE(PreviewPanel::shared()->isVisible());
    EXPECT_TRUE(key(Qt::Key_Escape));
    EXPECT_EQ(closes, 1);
}

TEST_F(CommandsTest, CopyPutsExactlyTheFilesOnTheClipboard)
{
    // A name that is not UTF-8 keeps its bytes in its URL.
    const QList<QUrl> urls = files.make(2) << QUrl::fromEncoded("file:///tmp/%FF%FE.txt");
    store->add(urls, false);
    view.copyAll();
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->urls(), urls);
    QStringList formats = mime->formats();
    formats.sort();
    EXPECT_EQ(formats, QStringList({"text/uri-list", "x-special/gnome-copied-files"}));
    const QByteArray gnome = mime->data("x-special/gnome-copied-files");
    EXPECT_EQ(gnome, "copy\n" + urls[0].toEncoded() + "\n" + urls[1].toEncoded() + "\n" +
                         urls[2].toEncoded());
}

TEST_F(CommandsTest, ShareOffersWhatIsInstalled)
{
    store->add(files.make(1), false);
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir emptyBin;
    qputenv("PATH", emptyBin.path().toUtf8());
    std::unique_ptr<QMenu> none(view.makeShareMenu());
    ASSERT_EQ(none->actions().size(), 1);
    EXPECT_EQ(none->actions()[0]->text(), "No sharing services");
    EXPECT_FALSE(none->actions()[0]->isEnabled());

    ASSERT_TRUE(TestEnv::writeFile(emptyBin.filePath("xdg-email"), "#!/bin/sh\n"));
    QFile::setPermissions(emptyBin.filePath("xdg-email"), QFile::ReadOwner | QFile::ExeOwner);
    std::unique_ptr<QMenu> email(view.makeShareMenu());
    qputenv("PATH", path);
    ASSERT_EQ(email->actions().size(), 1);
    EXPECT_EQ(email->actions()[0]->text(), "Email");
}

TEST_F(CommandsTest, ThePreviewFollowsTheShelf)
{
    store->add(files.make(1), false);
    view.togglePreview();
    PreviewPanel* panel = PreviewPanel::shared();
    EXPECT_TRUE(panel->isControlledBy(&view));
    EXPECT_EQ(panel->itemCount(), 1);
    QMimeData mime;
    mime.setUrls(files.make(2));
    ASSERT_TRUE(view.takeDrop(&mime, nullptr));
    EXPECT_EQ(panel->itemCount(), 3);
    panel->setCurrentIndex(2);
    EXPECT_EQ(panel->currentUrl(), store->items[2]->url());
    // The shelf shrinks under the preview: it shows what is left.
    store->remove({store->items[2], store->items[1]});
    EXPECT_EQ(panel->currentIndex(), 0);
    EXPECT_EQ(panel->currentUrl(), store->items[0]->url());
    panel->setCurrentIndex(99);
    EXPECT_EQ(panel->currentIndex(), 0);
    view.removeAll();
    EXPECT_TRUE(panel->currentUrl().isEmpty());
    EXPECT_EQ(panel->shownKind(), "none");
}

TEST_F(CommandsTest, ThePreviewStaysOnShowAsTheShelfRedrawsAndGoesWithIt)
{
    ASSERT_TRUE(TestEnv::writePng(files.path("p.png"), 800, 600));
    store->add({QUrl::fromLocalFile(files.path("p.png"))}, false);
    view.togglePreview();
    PreviewPanel* panel = PreviewPanel::shared();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return panel->shownKind() == "image"; }));
    // A new picture for the item, or facts about it, redraw the shelf: the
    // preview keeps showing the same item as it is.
    for (int i = 0; i < 3; ++i) {
        view.reload();
        EXPECT_EQ(panel->shownKind(), "image");
    }
    store->add(files.make(1), false);
    EXPECT_EQ(panel->shownKind(), "image");
    EXPECT_EQ(panel->itemCount(), 2);

    PreviewPanel::release(&view);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(panel->isControlledBy(&view));
}

TEST(PreviewPanelTest, AShelfThatClosesTakesItsPreviewAlong)
{
    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    auto shelf = std::make_unique<ShelfWindowController>();
    shelf->store()->add(files.make(1), false);
    shelf->show({300, 300}, false);
    shelf->content()->togglePreview();
    PreviewPanel* panel = PreviewPanel::shared();
    ASSERT_TRUE(panel->isVisible());
    bool closed = false;
    shelf->onClose = [&] { closed = true; };
    shelf->close();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return closed; }));
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->itemCount(), 0);
    PreviewPanel::destroyShared();
}

TEST(PreviewPanelTest, ShowsPicturesAndTextOffTheUiThread)
{
    TestFiles files;
    ASSERT_TRUE(TestEnv::writePng(files.path("p.png"), 800, 600));
    ASSERT_TRUE(TestEnv::writeFile(files.path("t.txt"), "hello preview"));
    QList<QUrl> urls{QUrl::fromLocalFile(files.path("p.png")), QUrl::fromLocalFile(files.path("t.txt"))};
    QObject owner;
    PreviewPanel* panel = PreviewPanel::shared();
    panel->setDataSource({&owner, [] { return 2; }, [urls](int i) { return urls.value(i); }});
    EXPECT_EQ(panel->shownKind(), "file") << "the icon until the picture is read";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return panel->shownKind() == "image"; }));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(panel, &right);
    EXPECT_EQ(panel->currentIndex(), 1);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return panel->shownKind() == "text"; }));
    panel->show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(panel, &esc);
    EXPECT_FALSE(panel->isVisible());
    PreviewPanel::destroyShared();
}

} // namespace
