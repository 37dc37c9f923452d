// Drops onto a running shelf from other processes, and drags of the shelf's
// pile into another process.
#include "HelperProcess.h"
#include "KavoTest.h"
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

constexpr QPoint sourceAt(100, 100); // where the helper windows open
constexpr QPoint targetAt(700, 150);
constexpr QPoint helperCentre(100, 75); // of a 200×150 helper window

QString fileUrl(const QString& path)
{
    return QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
}

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

TEST_F(DropsE2E, DraggedFilesLandOnTheShelfByReference)
{
    const QString one = makeFile(QStringLiteral("one.txt"), "1");
    const QString two = makeFile(QStringLiteral("two words.txt"), "2");
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(700, 350));

    HelperProcess source;
    ASSERT_TRUE(startHelper(source, HelperProcess::dragSourcePath(), sourceAt, {one, two}));
    ASSERT_TRUE(dragAcross(sourceAt + helperCentre, stackCentre(shelf.frame)));
    EXPECT_EQ(source.waitForLine(QStringLiteral("result ")), QStringLiteral("result copy"));

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

TEST_F(DropsE2E, ThePileDraggedOntoAMovingTargetLeavesAndTheEmptiedShelfCloses)
{
    const QString one = makeFile(QStringLiteral("one.txt"), "1");
    const QString two = makeFile(QStringLiteral("two words.txt"), "2");
    const QString into = m_kavo.root() + QStringLiteral("/into");
    ASSERT_TRUE(QDir().mkpath(into));
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(300, 350), {one, two});
    ASSERT_EQ(shelf.paths(), (QStringList{one, two}));

    HelperProcess target;
    ASSERT_TRUE(startHelper(target, HelperProcess::dropTargetPath(), targetAt,
                            {QStringLiteral("--move"), QStringLiteral("--into"), into}));
    ASSERT_TRUE(dragAcross(stackCentre(shelf.frame), targetAt + helperCentre));

    // The target got both as file URLs and moved them away.
    EXPECT_EQ(target.waitForLine(QStringLiteral("offered ")),
              QStringLiteral("offered copy,move,link"));
    EXPECT_EQ(target.waitForLine(QStringLiteral("dropped ")),
              QStringLiteral("dropped ") + fileUrl(one));
    EXPECT_EQ(target.waitForLine(QStringLiteral("dropped ")),
              QStringLiteral("dropped ") + fileUrl(two));
    EXPECT_EQ(target.waitForLine(QStringLiteral("action ")), QStringLiteral("action move"));
    EXPECT_TRUE(QFileInfo::exists(into + QStringLiteral("/two words.txt")));

    // The items left, and the empty shelf closed.
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.isEmpty(); }, &shelves))
        << describe(shelves).toStdString();
}

TEST_F(DropsE2E, ThePileDraggedOntoACopyingTargetStaysOnTheShelf)
{
    const QString one = makeFile(QStringLiteral("one.txt"), "1");
    const QString two = makeFile(QStringLiteral("two.txt"), "2");
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(300, 350), {one, two});
    ASSERT_EQ(shelf.items.size(), 2);

    HelperProcess target;
    ASSERT_TRUE(
        startHelper(target, HelperProcess::dropTargetPath(), targetAt, {QStringLiteral("--copy")}));
    ASSERT_TRUE(dragAcross(stackCentre(shelf.frame), targetAt + helperCentre));
    EXPECT_EQ(target.waitForLine(QStringLiteral("dropped ")),
              QStringLiteral("dropped ") + fileUrl(one));
    EXPECT_EQ(target.waitForLine(QStringLiteral("dropped ")),
              QStringLiteral("dropped ") + fileUrl(two));
    EXPECT_EQ(target.waitForLine(QStringLiteral("action ")), QStringLiteral("action copy"));

    // Given a moment to act on the end of the drag, the shelf keeps both.
    TestEnv::processEventsFor(700);
    const auto shelves = m_kavo.list();
    ASSERT_TRUE(shelves);
    ASSERT_EQ(shelves->size(), 1) << describe(*shelves).toStdString();
    EXPECT_EQ((*shelves)[0].paths(), (QStringList{one, two}));
    EXPECT_TRUE((*shelves)[0].visible);
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
