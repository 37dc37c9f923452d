// The keeper of the journal of open shelves: what comes back at start and
// how, and what a quit leaves for the next start.
#include "app/ShelfJournalKeeper.h"
#include "app/ShelfRegistry.h"
#include "drops/DropFolders.h"
#include "model/ShelfJournal.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include "Shelf.h"

#include <QApplication>
#include <QFile>

namespace {

QByteArray pathOf(const QUrl& url) { return QFile::encodeName(url.toLocalFile()); }

class ShelfJournalKeeperTest : public ::testing::Test
{
protected:
    QString journal() const { return m_dir.filePath("shelves.json"); }
    QByteArray journalBytes() const
    {
        QFile f(journal());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }
    // The shelves the journal holds now.
    QList<ShelfJournal::Shelf> journaled() const
    {
        QList<ShelfJournal::Shelf> shelves;
        QString why;
        EXPECT_TRUE(ShelfJournal::decode(journalBytes(), &shelves, &why)) << why.toStdString();
        return shelves;
    }
    // `count` shelves of one file each, journaled.
    QList<ShelfJournal::Shelf> keep(int count)
    {
        QList<ShelfJournal::Shelf> shelves;
        for (const QUrl& url : files.make(count))
            shelves << ShelfJournal::Shelf{QRect(100, 100, 216, 244), false, {{pathOf(url), false}}};
        EXPECT_EQ(ShelfJournal::write(journal(), ShelfJournal::encode(shelves)), QString());
        return shelves;
    }
    static QList<QByteArray> paths(const QList<ShelfJournal::Shelf>& shelves)
    {
        QList<QByteArray> out;
        for (const ShelfJournal::Shelf& shelf : shelves) {
            for (const ShelfJournal::Item& item : shelf.items)
                out << item.path;
        }
        return out;
    }

    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    QTemporaryDir m_dir;
    ShelfRegistry shelves;
};

TEST_F(ShelfJournalKeeperTest, ShelvesComeBackInTheirModesAtTheirPlacesWithoutAPop)
{
    const QList<QUrl> made = files.make(4);
    const QString dropped = DropFolders::droppedFilesRoot() + "/1b4e28ba-2fa1-11d2-883f-0016d3cca427/Image.png";
    ASSERT_TRUE(TestEnv::writeFile(dropped, "png"));
    const QByteArray gone = pathOf(made[3]);
    QFile::remove(made[3].toLocalFile());
    const QList<ShelfJournal::Shelf> kept{
        {QRect(40, 50, 216, 244), false, {{pathOf(made[0]), false}}},
        // Kept as a list of four; one file is gone since.
        {QRect(300, 60, 216, ShelfContentView::listHeight(4)), true,
         {{pathOf(made[1]), false}, {QFile::encodeName(dropped), true}, {pathOf(made[2]), false}, {gone, false}}},
    };
    ASSERT_EQ(ShelfJournal::write(journal(), ShelfJournal::encode(kept)), QString());

    ShelfJournalKeeper keeper(shelves, journal());
    QSet<QByteArray> held;
    bool back = false;
    keeper.start([&](const QSet<QByteArray>& h) { held = h; }, [&] { back = true; });
    ASSERT_TRUE(TestEnv::waitUntil([&] { return back; }));
    EXPECT_EQ(held, QSet<QByteArray>{"1b4e28ba-2fa1-11d2-883f-0016d3cca427"});
    ASSERT_EQ(shelves.shelves().size(), 2u);
    const ShelfWindowController* stack = shelves.shelves()[0].get();
    const ShelfWindowController* list = shelves.shelves()[1].get();
    EXPECT_FALSE(stack->content()->isListMode());
    EXPECT_TRUE(list->content()->isListMode());
    ASSERT_EQ(list->store()->items.size(), 3);
    EXPECT_TRUE(list->store()->items[1]->isTemporary());
    for (const ShelfWindowController* shelf : {stack, list}) {
        EXPECT_TRUE(shelf->window()->isVisible());
        EXPECT_FALSE(shelf->content()->isPopping()) << "a shelf coming back does not pop in";
    }
    // At their places, and the list as tall as a list of three: at once,
    // and still so once any resize would have ended.
    TestEnv::processEventsFor(ShelfWindowController::resizeMs + 100);
    EXPECT_EQ(stack->window()->geometry(), QRect(40, 50, 216, ShelfContentView::stackHeight));
    EXPECT_EQ(list->window()->geometry(), QRect(300, 60, 216, ShelfContentView::listHeight(3)));
}

// A quit while the shelves are still coming back keeps those not back yet;
// one before the journal was even read leaves it as it was, unless the user
// chose to start with none.
TEST_F(ShelfJournalKeeperTest, AQuitKeepsShelvesThatWereReadButNeverWritesOverOnesNotRead)
{
    const struct
    {
        const char* when;
        bool read, keepShelves;
    } cases[] = {{"read", true, true}, {"not read", false, true}, {"not read, none kept", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        const QList<ShelfJournal::Shelf> kept = keep(20);
        const QByteArray before = journalBytes();
        ShelfRegistry registry;
        ShelfJournalKeeper keeper(registry, journal());
        keeper.start({}, {});
        if (c.read) {
            ASSERT_TRUE(TestEnv::waitUntil([&] { return !registry.shelves().empty(); }));
            ASSERT_LT(registry.shelves().size(), 20u) << "all were back before the quit";
        }
        keeper.finish(c.keepShelves);
        if (!c.keepShelves)
            EXPECT_TRUE(journaled().isEmpty());
        else if (c.read)
            EXPECT_EQ(paths(journaled()), paths(kept));
        else
            EXPECT_EQ(journalBytes(), before);
    }
}

} // namespace
