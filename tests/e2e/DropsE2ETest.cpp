// Drops onto a running shelf from other processes, and drags of the shelf's
// pile into another process.
#include "HelperProcess.h"
#include "KavoTest.h"
#include "Pcmanfm.h"
#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <memory>
#include <optional>

#include <unistd.h>

namespace {

using Shelves = QList<ListedShelf>;

// Where the file manager's window goes: clear of the shelves, and of the
// corner where its progress and question windows appear.
constexpr QPoint fileManagerAt(640, 120);


class DropsE2E : public KavoTest
{
protected:
    // A shelf holding `files` (or none), opened at `p` by a second `kavo`.
    ListedShelf openShelfAt(QPoint p, const QStringList& files = {})
    {
        if (!PointerScript::run(PointerScript::moveTo(p)))
            return {};
        const KavoSession::Result r =
            m_kavo.run(QStringList{QStringLiteral("--new-shelf")} + files);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const Shelves shelves = m_kavo.waitForShelfCount(1);
        return shelves.isEmpty() ? ListedShelf{} : shelves[0];
    }

    // A real drag with the primary button from `from` to `to`.
    static bool dragAcross(QPoint from, QPoint to)
    {
        return PointerScript::run(PointerScript::pressAt(from) + PointerScript::glide(from, to, 8) +
                                  PointerScript::release(0.5));
    }
};

// xarchiver, an archive manager, saves an entry dragged out of an archive
// where the drop target says (X Direct Save), under the entry's own name.
class XarchiverE2E : public DropsE2E
{
protected:
    void SetUp() override
    {
        DropsE2E::SetUp();
        qputenv("NO_AT_BRIDGE", "1");
        qputenv("GDK_BACKEND", "x11");
        // Its window where the test knows its rows: no sidebar, known size.
        const QString temp = m_kavo.root() + QStringLiteral("/xarchiver-temp");
        ASSERT_TRUE(QDir().mkpath(temp));
        ASSERT_TRUE(TestEnv::writeFile(
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/xarchiver/xarchiverrc"),
            QStringLiteral("[xarchiver]\nprefer_unzip=true\nshow_sidebar=false\n"
                           "show_location_bar=true\nshow_toolbar=true\noverwrite=false\n"
                           "full_path=true\npreferred_temp_dir=%1\npreferred_extract_dir=%1\n"
                           "mainwindow=%2;%3;600;400;150\n")
                .arg(temp)
                .arg(window.x())
                .arg(window.y())
                .toUtf8()));
    }

    // An archive of one file; answers whether it could be made.
    bool makeArchive(const QString& name, const QByteArray& content)
    {
        const QString folder = m_kavo.root() + QStringLiteral("/archive");
        archive = m_kavo.root() + QStringLiteral("/test.zip");
        if (!TestEnv::writeFile(folder + u'/' + name, content))
            return false;
        QProcess zip;
        zip.setWorkingDirectory(folder);
        zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), archive, name});
        return zip.waitForFinished(10000) && zip.exitCode() == 0;
    }
    void TearDown() override
    {
        qunsetenv("NO_AT_BRIDGE");
        qunsetenv("GDK_BACKEND");
        DropsE2E::TearDown();
    }

    // Opens the archive; answers where its one entry is on screen.
    std::optional<QPoint> openArchive()
    {
        if (!xarchiver.start(QStringLiteral("xarchiver"), {archive}))
            return std::nullopt;
        const auto shown = m_display.waitForWindow(
            [](const ProbedWindow& w) { return w.viewable && w.title.contains(u" - xarchiver "); },
            10000);
        if (!shown)
            return std::nullopt;
        return shown->geometry.topLeft() + QPoint(65, 157);
    }

    const QPoint window{20, 40};
    const QByteArray note = "written on request\n";
    QString archive;
    HelperProcess xarchiver;
};

TEST_F(XarchiverE2E, AnEntryDraggedOutOfAnArchiveIsSavedIntoANewDropFolder)
{
    ASSERT_TRUE(makeArchive(QStringLiteral("notes.txt"), note));
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(1000, 400));
    const std::optional<QPoint> entry = openArchive();
    ASSERT_TRUE(entry) << xarchiver.errorOutput().toStdString();
    ASSERT_TRUE(dragAcross(*entry, stackCentre(shelf.frame)));

    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves))
        << describe(shelves).toStdString();
    ASSERT_EQ(shelves[0].items.size(), 1);
    const ListedItem item = shelves[0].items[0];
    EXPECT_TRUE(item.temporary);
    // <cache>/io.github.kavo.Kavo/Dropped/<UUID>/notes.txt, whole.
    const QFileInfo file(item.path);
    EXPECT_EQ(file.fileName(), "notes.txt");
    EXPECT_EQ(QFileInfo(file.path()).path(), m_kavo.droppedRoot());
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    EXPECT_TRUE(uuid.match(QFileInfo(file.path()).fileName()).hasMatch()) << item.path.toStdString();
    QFile f(item.path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), note);
    EXPECT_EQ(QDir(m_kavo.droppedRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1)
        << "nothing else was written for the drop";
}

TEST_F(XarchiverE2E, AnEntryThatCannotBeSavedIsToldAndLeavesNothing)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "a small full disk needs root to mount";
    // Kavo's cache on a disk too small for the entry.
    QByteArray big(3 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char((i * 7919) % 251);
    ASSERT_TRUE(makeArchive(QStringLiteral("big.bin"), big));
    const QString cache = m_kavo.cacheHome();
    ASSERT_EQ(QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                          QStringLiteral("-o"), QStringLiteral("size=256k"),
                                                          QStringLiteral("tmpfs"), cache}),
              0);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        m_kavo.stop();
        QProcess::execute(QStringLiteral("umount"), {cache});
    });
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(1000, 400));
    const std::optional<QPoint> entry = openArchive();
    ASSERT_TRUE(entry) << xarchiver.errorOutput().toStdString();
    ASSERT_TRUE(dragAcross(*entry, stackCentre(shelf.frame)));

    // xarchiver says why in a dialog and answers only once it is closed.
    const auto dialog = m_display.waitForWindow(
        [](const ProbedWindow& w) {
            return w.viewable && w.windowClass == u"Xarchiver" && w.geometry.width() > 100 &&
                   !w.title.contains(u" - xarchiver ");
        },
        10000);
    ASSERT_TRUE(dialog) << "xarchiver showed no error";
    ASSERT_TRUE(PointerScript::run({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                    QString::number(dialog->id), QStringLiteral("key"),
                                    QStringLiteral("Return")}));
    // Kavo tells the user, and keeps nothing of the half-written file.
    EXPECT_TRUE(m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title == u"Kavo"; },
        10000))
        << "no notice";
    Shelves shelves;
    TestEnv::processEventsFor(300);
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1; }, &shelves));
    EXPECT_TRUE(shelves[0].items.isEmpty()) << describe(shelves).toStdString();
    EXPECT_TRUE(QDir(m_kavo.droppedRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << "the drop folder was removed";
}

TEST_F(DropsE2E, FilesDraggedFromAFileManagerLandOnTheShelfByReference)
{
    const QString one = makeFile(QStringLiteral("one.txt"), "1");
    const QString two = makeFile(QStringLiteral("two words.txt"), "2");
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(300, 500));
    Pcmanfm files;
    ASSERT_TRUE(files.open(QFileInfo(one).path(), fileManagerAt, 2)) << files.errors().toStdString();

    // Both selected (a click beside them, Ctrl+A), then dragged.
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(files.emptySpace()) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("1"),
                                               QStringLiteral("key"), QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(dragAcross(files.row(1), stackCentre(shelf.frame)));

    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 2; }, &shelves))
        << describe(shelves).toStdString();
    EXPECT_EQ(shelves[0].paths(), (QStringList{one, two}));
    EXPECT_FALSE(shelves[0].items[0].temporary);
    EXPECT_FALSE(shelves[0].items[1].temporary);
    // Held by reference: nothing copied, no drop folder made.
    EXPECT_TRUE(QFileInfo::exists(one));
    EXPECT_FALSE(QFileInfo::exists(m_kavo.droppedRoot()));
}

// The pile dropped into a folder window of the file manager, which finishes
// the drop first and moves the files afterwards, as GIO file managers do.
class DragOutE2E : public DropsE2E
{
protected:
    // A shelf holding `files`, and the file manager showing the empty folder
    // `into`.
    ::testing::AssertionResult prepare(const QStringList& files, const QString& into)
    {
        held = files;
        if (!QDir().mkpath(into))
            return ::testing::AssertionFailure() << "cannot make " << into.toStdString();
        if (!startKavo())
            return ::testing::AssertionFailure() << "kavo did not start";
        shelf = openShelfAt(QPoint(300, 350), held);
        if (shelf.paths() != held)
            return ::testing::AssertionFailure() << "the shelf holds " << describe({shelf}).toStdString();
        if (!target.open(into, fileManagerAt))
            return ::testing::AssertionFailure() << "pcmanfm: " << target.errors().toStdString();
        return ::testing::AssertionSuccess();
    }
    // Drags the pile into the folder window, with `key` held at the drop.
    bool dragPile(const QString& key = {})
    {
        const QPoint from = stackCentre(shelf.frame), to = target.emptySpace();
        QStringList script = PointerScript::pressAt(from) + PointerScript::glide(from, to, 8);
        if (!key.isEmpty())
            script << QStringLiteral("keydown") << key;
        script << PointerScript::glide(to, to + QPoint(4, 4), 2) << PointerScript::release(0.5);
        if (!key.isEmpty())
            script << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("keyup") << key;
        return PointerScript::run(script);
    }
    bool shelfCloses(Shelves* shelves, int timeoutMs = 10000)
    {
        return m_kavo.waitForShelves([](const Shelves& s) { return s.isEmpty(); }, shelves, timeoutMs);
    }

    QStringList held;
    ListedShelf shelf;
    Pcmanfm target;
};

TEST_F(DragOutE2E, MovedIntoAFolderOnTheSameDiskTheFilesLeaveAndTheShelfCloses)
{
    const QString into = m_kavo.root() + QStringLiteral("/into");
    ASSERT_TRUE(prepare({makeFile(QStringLiteral("report.txt"), "report"),
                         makeFile(QStringLiteral("two words.txt"), "two")},
                        into));
    ASSERT_TRUE(dragPile());
    Shelves shelves;
    EXPECT_TRUE(shelfCloses(&shelves)) << describe(shelves).toStdString();
    for (const QString& name : {QStringLiteral("report.txt"), QStringLiteral("two words.txt")}) {
        EXPECT_TRUE(QFileInfo::exists(into + u'/' + name)) << name.toStdString();
        EXPECT_FALSE(QFileInfo::exists(m_kavo.root() + QStringLiteral("/files/") + name));
    }
}

TEST_F(DragOutE2E, CopiedTheFilesStayAndSoDoesTheShelf)
{
    const QString into = m_kavo.root() + QStringLiteral("/into");
    ASSERT_TRUE(prepare({makeFile(QStringLiteral("report.txt"), "report")}, into));
    ASSERT_TRUE(dragPile(QStringLiteral("ctrl")));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(into + "/report.txt"); }, 10000));
    // Given the time a move would take, the shelf keeps its file.
    TestEnv::processEventsFor(700);
    const auto shelves = m_kavo.list();
    ASSERT_TRUE(shelves);
    ASSERT_EQ(shelves->size(), 1) << describe(*shelves).toStdString();
    EXPECT_EQ((*shelves)[0].paths(), held);
    EXPECT_TRUE((*shelves)[0].visible);
}

TEST_F(DragOutE2E, MovedToAnotherDiskTheShelfEmptiesOnceTheMoveIsDone)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "mounting a second disk needs root";
    // A file of a few hundred megabytes, moved (Shift) onto another disk: a
    // copy that takes a while, then the delete.
    const QString other = m_kavo.root() + QStringLiteral("/other");
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mount"),
                                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                 QStringLiteral("size=600m"), QStringLiteral("tmpfs"), other}),
              0);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        m_kavo.stop();
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), other});
    });
    const QString into = other + QStringLiteral("/into");
    const QString big = m_kavo.root() + QStringLiteral("/files/film.mkv");
    constexpr qint64 bigSize = qint64(300) << 20;
    {
        QDir().mkpath(QFileInfo(big).path());
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, 'k');
        for (qint64 written = 0; written < bigSize; written += block.size())
            ASSERT_EQ(f.write(block), block.size());
    }
    ASSERT_TRUE(prepare({big}, into));
    ASSERT_TRUE(dragPile(QStringLiteral("shift")));
    Shelves shelves;
    EXPECT_TRUE(shelfCloses(&shelves, 30000)) << describe(shelves).toStdString();
    EXPECT_FALSE(QFileInfo::exists(big));
    EXPECT_EQ(QFileInfo(into + QStringLiteral("/film.mkv")).size(), bigSize);
}

TEST_F(DropsE2E, ThePileDraggedOntoAnotherShelfIsSharedNotTaken)
{
    const QString one = makeFile(QStringLiteral("one.txt"), "1");
    ASSERT_TRUE(startKavo());
    const ListedShelf from = openShelfAt(QPoint(300, 350), {one});
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(QPoint(800, 350))));
    ASSERT_EQ(m_kavo.run({QStringLiteral("--new-shelf")}).exitCode, 0);
    const Shelves both = m_kavo.waitForShelfCount(2);
    ASSERT_EQ(both.size(), 2);

    ASSERT_TRUE(dragAcross(stackCentre(from.frame), stackCentre(both[1].frame)));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 2 && !s[1].items.isEmpty(); }, &shelves))
        << describe(shelves).toStdString();
    EXPECT_EQ(shelves[1].paths(), QStringList{one});
    EXPECT_EQ(shelves[0].paths(), QStringList{one});
    EXPECT_TRUE(QFileInfo::exists(one));
}

} // namespace
