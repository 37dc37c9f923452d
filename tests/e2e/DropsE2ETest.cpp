// Drops onto a running shelf from other programs, and the shelf's pile
// dragged and copied into another program.
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <memory>

#include <unistd.h>

namespace {

// Clear of the shelves, and of the corner where its progress windows appear.
constexpr QPoint fileManagerAt(640, 120);

// A small RAM disk at `at` until the answered guard goes (Kavo goes first).
std::shared_ptr<void> mountTmpfs(const QString& at, const QString& size, Kavo& kavo)
{
    QDir().mkpath(at);
    if (::getuid() != 0 || Program::run("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", at}) != 0)
        return nullptr;
    return std::shared_ptr<void>(&kavo, [at](void* k) {
        static_cast<Kavo*>(k)->stop();
        Program::run("umount", {"-l", at});
    });
}

// xarchiver, an archive manager, saves an entry dragged out of an archive
// where the drop target says (X Direct Save), under the entry's own name.
class XarchiverE2E : public KavoTest
{
protected:
    // An archive of one file, opened in xarchiver, its entry dragged onto a shelf.
    ::testing::AssertionResult dragEntryOntoShelf(const QString& name, const QByteArray& content)
    {
        const QString folder = m_kavo.root() + "/archive", archive = m_kavo.root() + "/test.zip";
        // Its window where the test knows its rows: no sidebar, known size.
        TestEnv::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/xarchiver/xarchiverrc",
                           QStringLiteral("[xarchiver]\nprefer_unzip=true\nshow_sidebar=false\nshow_location_bar=true\n"
                                          "show_toolbar=true\noverwrite=false\nfull_path=true\npreferred_temp_dir=%1\n"
                                          "preferred_extract_dir=%1\nmainwindow=20;40;600;400;150\n")
                               .arg(m_kavo.root())
                               .toUtf8());
        if (!TestEnv::writeFile(folder + u'/' + name, content) || !QDir::setCurrent(folder) ||
            Program::run("zip", {"-q", archive, name}) != 0 || !startKavo())
            return ::testing::AssertionFailure() << "cannot make the archive or start kavo";
        const ListedShelf shelf = openShelfAt({1000, 400});
        // A second xarchiver of a user hands its archive to the first through
        // a socket in /tmp named for the screen (":0"), not the display: test
        // processes take turns.
        if (!turn.take() || !xarchiver.start("xarchiver", {archive}, {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11"}))
            return ::testing::AssertionFailure() << "cannot start xarchiver";
        const auto shown = m_display.waitForWindow(
            [](const ProbedWindow& w) { return w.viewable && w.title.contains(u" - xarchiver "); }, 10000);
        // The window shows (black at first) before its list is read from the
        // archive: the entry is dragged once its name is drawn in the first
        // row, dark on light.
        const QPoint entry(65, 157);
        const auto listed = [&] {
            const QImage picture = m_display.image(m_display.describe(shown->id).value_or(ProbedWindow{}));
            bool dark = false, light = false;
            for (int y = entry.y() - 8; !picture.isNull() && y <= entry.y() + 2; ++y) {
                for (int x = 5; x < 100; ++x) {
                    const int lightness = QColor(picture.pixel(x, y)).lightness();
                    dark = dark || lightness < 100;
                    light = light || lightness > 200;
                }
            }
            return dark && light;
        };
        if (!shown || !TestEnv::waitUntil(listed, 10000, TestEnv::picturePollMs) ||
            !Input::run(Input::drag(shown->geometry.topLeft() + entry, stackCentre(shelf.frame))))
            return ::testing::AssertionFailure() << "xarchiver: " << xarchiver.errors().toStdString();
        return ::testing::AssertionSuccess();
    }

    TestEnv::Turn turn{"xarchiver"};
    Program xarchiver;
};

TEST_F(XarchiverE2E, AnEntryDraggedOutOfAnArchiveIsSavedIntoANewDropFolder)
{
    ASSERT_TRUE(dragEntryOntoShelf("notes.txt", "written on request\n"));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves))
        << describe(shelves);
    ASSERT_EQ(shelves[0].items.size(), 1);
    EXPECT_TRUE(shelves[0].items[0].temporary);
    // <cache>/io.github.kavo.Kavo/Dropped/<UUID>/notes.txt, whole, and
    // nothing else written for the drop.
    const QFileInfo file(shelves[0].items[0].path);
    EXPECT_EQ(file.fileName(), "notes.txt");
    EXPECT_EQ(QFileInfo(file.path()).path(), m_kavo.droppedRoot());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(file.dir().dirName()).hasMatch());
    QFile written(file.filePath());
    EXPECT_TRUE(written.open(QIODevice::ReadOnly) && written.readAll() == "written on request\n");
    EXPECT_EQ(QDir(m_kavo.droppedRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST_F(XarchiverE2E, AnEntryThatCannotBeSavedIsToldAndLeavesNothing)
{
    // Kavo's cache on a disk too small for the entry.
    const auto mounted = mountTmpfs(m_kavo.cacheHome(), "256k", m_kavo);
    if (!mounted)
        GTEST_SKIP() << "a small full disk needs root to mount";
    QByteArray big(3 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char((i * 7919) % 251);
    ASSERT_TRUE(dragEntryOntoShelf("big.bin", big));
    // xarchiver says why in a dialog and answers only once it is closed.
    const auto dialog = m_display.waitForWindow(
        [](const ProbedWindow& w) {
            return w.viewable && w.windowClass == u"Xarchiver" && w.geometry.width() > 100 &&
                   !w.title.contains(u" - xarchiver ");
        },
        10000);
    ASSERT_TRUE(dialog) << "xarchiver showed no error";
    ASSERT_TRUE(Input::run(QStringList{"windowfocus", "--sync", QString::number(dialog->id)} + Input::key("Return")));
    // Kavo tells the user, and keeps nothing of the half-written file.
    EXPECT_TRUE(m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title == u"Kavo"; }, 10000))
        << "no notice";
    const Shelves shelves = m_kavo.list().value_or(Shelves{});
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_TRUE(shelves[0].items.isEmpty()) << describe(shelves);
    EXPECT_TRUE(QDir(m_kavo.droppedRoot()).isEmpty()) << "the drop folder was removed";
}

using DropsE2E = KavoTest;

TEST_F(DropsE2E, FilesFromAFileManagerLandOnTheShelfByReferenceAndItsPileIsSharedWithAnother)
{
    const QString one = makeFile("one.txt", "1"), two = makeFile("two words.txt", "2");
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({300, 500}), other = openShelfAt({800, 500});
    Pcmanfm files;
    ASSERT_TRUE(files.open(QFileInfo(one).path(), fileManagerAt, 2)) << files.errors().toStdString();
    // Both selected (a click beside them, Ctrl+A), then dragged.
    ASSERT_TRUE(Input::run(Input::click(files.emptySpace()) + Input::key("ctrl+a") +
                           Input::drag(files.row(1), stackCentre(shelf.frame))));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).items.size() == 2; }, &shelves))
        << describe(shelves);
    EXPECT_EQ(shelves[0].paths(), (QStringList{one, two}));
    EXPECT_FALSE(shelves[0].items[0].temporary || shelves[0].items[1].temporary);
    // The pile dragged onto the other shelf is shared, not taken.
    ASSERT_TRUE(Input::run(Input::drag(stackCentre(shelf.frame), stackCentre(other.frame))));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(1).items.size() == 2; }, &shelves))
        << describe(shelves);
    EXPECT_EQ(shelves[0].paths(), shelves[1].paths());
    // Held by reference: nothing copied, nothing moved, no drop folder made.
    EXPECT_TRUE(QFileInfo::exists(one) && QFileInfo::exists(two));
    EXPECT_FALSE(QFileInfo::exists(m_kavo.droppedRoot()));
}

// The pile dropped into a folder window of the file manager, which finishes
// the drop first and moves the files afterwards, as GIO file managers do.
class DragOutE2E : public KavoTest
{
protected:
    // A shelf holding `files`, the file manager showing the empty folder `into`.
    ::testing::AssertionResult prepare(const QStringList& files, const QString& into)
    {
        held = files;
        if (!QDir().mkpath(into) || !startKavo())
            return ::testing::AssertionFailure() << "kavo did not start";
        shelf = openShelfAt({300, 350}, held);
        if (shelf.paths() != held || !target.open(into, fileManagerAt))
            return ::testing::AssertionFailure() << describe({shelf}) << target.errors().toStdString();
        return ::testing::AssertionSuccess();
    }
    // Drags the pile into the folder window, with `key` held at the drop.
    bool dragPile(const QString& key = {})
    {
        const QPoint from = stackCentre(shelf.frame), to = target.emptySpace();
        const QStringList hold = key.isEmpty() ? QStringList{} : QStringList{"keydown", key};
        const QStringList letGo = key.isEmpty() ? QStringList{} : QStringList{"sleep", "0.2", "keyup", key};
        // A slow Kavo (sanitized, on a busy machine) starts its drag late:
        // the pointer moves on once the drag is under way, and lets go when
        // the file manager has had time to answer where the pointer is (it
        // asks for the files first, which a slow Kavo answers late).
        return Input::run(Input::pressAt(from) + Input::glide(from, to, 8) + hold) &&
               TestEnv::waitUntil([&] { return m_display.selectionOwner("XdndSelection") != XCB_NONE; }) &&
               Input::run(Input::glide(to, to + QPoint(4, 4), 2) + Input::release(1.5) + letGo);
    }

    QStringList held;
    ListedShelf shelf;
    Pcmanfm target;
};

TEST_F(DragOutE2E, MovedIntoAFolderOnTheSameDiskTheFilesLeaveAndTheShelfCloses)
{
    const QString into = m_kavo.root() + "/into";
    ASSERT_TRUE(prepare({makeFile("report.txt", "report"), makeFile("two words.txt", "two")}, into));
    ASSERT_TRUE(dragPile());
    EXPECT_TRUE(shelvesClose()) << describe(m_kavo.list().value_or(Shelves{}));
    for (const QString name : {"report.txt", "two words.txt"}) {
        EXPECT_TRUE(QFileInfo::exists(into + u'/' + name)) << name.toStdString();
        EXPECT_FALSE(QFileInfo::exists(m_kavo.root() + "/files/" + name));
    }
}

TEST_F(DragOutE2E, CopiedByDragOrMenuTheFilesStayAndSoDoesTheShelf)
{
    const QString into = m_kavo.root() + "/into", copy = into + "/report.txt";
    ASSERT_TRUE(prepare({makeFile("report.txt", "report")}, into));
    ASSERT_TRUE(dragPile("ctrl"));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(copy); }, 10000));
    // Given the time a move would take, the shelf keeps its file.
    TestEnv::processEventsFor(700);
    Shelves shelves = m_kavo.list().value_or(Shelves{});
    ASSERT_EQ(shelves.size(), 1) << describe(shelves);
    EXPECT_EQ(shelves[0].paths(), held);
    EXPECT_TRUE(shelves[0].visible);

    // "Copy", the third entry of the shelf's menu, puts the file on the
    // clipboard the way file managers paste it (also after the file manager
    // took a drop with the wrong kind of time, which Qt would adopt).
    ASSERT_TRUE(QFile::remove(copy));
    ASSERT_TRUE(Input::run(Input::click(stackCentre(shelf.frame), 3)));
    ASSERT_TRUE(m_display.waitForWindow([](const ProbedWindow& w) {
        return w.viewable && w.overrideRedirect && w.instance == u"kavo" && w.geometry.height() > 40;
    }, 10000)) << "the shelf's menu did not open";
    ASSERT_TRUE(Input::run({"key", "Down", "Down", "Down", "Return"}));
    ASSERT_TRUE(TestEnv::waitUntil(
        [] { return QGuiApplication::clipboard()->mimeData()->hasFormat("x-special/gnome-copied-files"); }));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->urls(), QList{QUrl::fromLocalFile(held[0])});
    ASSERT_TRUE(Input::run(QStringList{"windowfocus", "--sync", QString::number(target.window())} + Input::key("ctrl+v")));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(copy); }, 10000)) << "nothing pasted";
    EXPECT_TRUE(QFileInfo::exists(held[0]));
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).paths(), held);
}

TEST_F(DragOutE2E, MovedToAnotherDiskTheShelfEmptiesOnceTheMoveIsDone)
{
    // Hundreds of megabytes moved (Shift) onto another disk: a long copy, then the delete.
    const QString other = m_kavo.root() + "/other", big = makeFile("film.mkv", {});
    const auto mounted = mountTmpfs(other, "600m", m_kavo);
    if (!mounted)
        GTEST_SKIP() << "mounting a second disk needs root";
    constexpr qint64 bigSize = qint64(300) << 20;
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    for (const QByteArray block(1 << 20, 'k'); f.size() < bigSize;)
        ASSERT_EQ(f.write(block), block.size());
    f.close();
    ASSERT_TRUE(prepare({big}, other + "/into"));
    ASSERT_TRUE(dragPile("shift"));
    EXPECT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.isEmpty(); }, nullptr, 30000));
    EXPECT_FALSE(QFileInfo::exists(big));
    EXPECT_EQ(QFileInfo(other + "/into/film.mkv").size(), bigSize);
}

} // namespace
