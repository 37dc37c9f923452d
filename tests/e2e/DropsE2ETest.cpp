// Drops onto a running shelf from other processes, and drags of the shelf's
// pile into another process.
#include "HelperProcess.h"
#include "KavoTest.h"
#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

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

TEST_F(DropsE2E, ADirectSaveDropIsSavedIntoANewDropFolderAsATemporaryItem)
{
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt(QPoint(700, 350));
    ASSERT_TRUE(shelf.items.isEmpty());

    const QString name = QStringLiteral("Notes for Monday.txt");
    const QByteArray content = "written on request\n";
    HelperProcess source;
    ASSERT_TRUE(startHelper(source, HelperProcess::dragSourcePath(), sourceAt,
                            {QStringLiteral("--direct-save"), name, QStringLiteral("--content"),
                             QString::fromUtf8(content)}));
    ASSERT_TRUE(dragAcross(sourceAt + helperCentre, stackCentre(shelf.frame)));

    const auto saved = source.waitForLine(QStringLiteral("saved "));
    ASSERT_TRUE(saved) << source.lines().join(u'|').toStdString();
    const QString path = saved->mid(6);
    // <cache>/io.github.kavo.Kavo/Dropped/<UUID>/<name>
    const QFileInfo file(path);
    EXPECT_EQ(file.fileName(), name);
    EXPECT_EQ(QFileInfo(file.path()).path(), m_kavo.droppedRoot());
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    EXPECT_TRUE(uuid.match(QFileInfo(file.path()).fileName()).hasMatch()) << path.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), content);
    EXPECT_EQ(source.waitForLine(QStringLiteral("result ")), QStringLiteral("result copy"));

    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves))
        << describe(shelves).toStdString();
    ASSERT_EQ(shelves[0].items.size(), 1);
    EXPECT_EQ(shelves[0].items[0].path, path);
    EXPECT_TRUE(shelves[0].items[0].temporary);
    // Nothing else was written for the drop.
    EXPECT_EQ(QDir(m_kavo.droppedRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
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
