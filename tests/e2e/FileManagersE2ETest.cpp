// The pile dragged out of a shelf onto the file managers of the GNOME and
// Xfce desktops, under a window manager as on a desktop: the drop lands where
// it is let go, and the keys held choose between copy and move.
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

// Beside the shelf, clear of it; and below the shelf for a second program.
constexpr QRect managerFrame(460, 60, 800, 560);
constexpr QRect sourceFrame(10, 480, 500, 300);

class FileManagersE2E : public KavoTest
{
protected:
    // Openbox and Kavo running, a shelf holding the files `names` (made in the
    // session's folder), the folder `into` holding only the folder `sub`, and
    // the empty folder `place`.
    ::testing::AssertionResult prepare(const QStringList& names)
    {
        for (const QString& name : names)
            held << makeFile(name, name.toUtf8());
        if (!QDir().mkpath(into + "/sub") || !QDir().mkpath(place) || !m_openbox.start())
            return ::testing::AssertionFailure() << "openbox did not start: " << m_openbox.errors().toStdString();
        if (const auto started = startKavo(); !started)
            return started;
        shelf = openShelfAt({300, 350}, held);
        if (shelf.paths() != held)
            return ::testing::AssertionFailure() << describe({shelf});
        return ::testing::AssertionSuccess();
    }

    // Drags from `from` (by default the pile) to `to`, with `key` held from
    // before the pointer gets there until after the drop. A slow Kavo starts
    // its drag late: the pointer moves on once the drag is under way, and
    // lets go once the target has had time to answer.
    bool drag(QPoint to, const QString& key = {}, std::optional<QPoint> source = {})
    {
        const QPoint from = source.value_or(stackCentre(shelf.frame)), start = from + QPoint(30, 0);
        const QStringList hold = key.isEmpty() ? QStringList{} : QStringList{"keydown", key};
        const QStringList letGo = key.isEmpty() ? QStringList{} : QStringList{"sleep", "0.2", "keyup", key};
        return Input::run(Input::pressAt(from) + Input::glide(from, start, 3)) &&
               TestEnv::waitUntil([&] { return m_display.selectionOwner("XdndSelection") != XCB_NONE; }, 10000) &&
               Input::run(hold + Input::glide(start, to, 8) + Input::glide(to, to + QPoint(4, 4), 2) +
                          Input::release(1.5) + letGo);
    }

    // The files arrived in `folder`; copied, they also stay on the shelf,
    // moved, they leave their folder and the shelf closes.
    void expectLanded(const QString& folder, bool copied)
    {
        for (const QString& file : held) {
            const QString arrived = folder + u'/' + QFileInfo(file).fileName();
            EXPECT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(arrived); }, 10000)) << arrived.toStdString();
        }
        if (!copied) {
            EXPECT_TRUE(shelvesClose()) << describe(m_kavo.list().value_or(Shelves{}));
            for (const QString& file : held)
                EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
            return;
        }
        // Given the time a move would take, the shelf keeps its files.
        TestEnv::processEventsFor(700);
        const Shelves shelves = m_kavo.list().value_or(Shelves{});
        ASSERT_EQ(shelves.size(), 1) << describe(shelves);
        EXPECT_EQ(shelves[0].paths(), held);
        for (const QString& file : held)
            EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
    }

    const QString into = m_kavo.root() + "/into", place = m_kavo.root() + "/place";
    QStringList held;
    ListedShelf shelf;
    Openbox m_openbox;
};

// Where on Nautilus the pile is let go, and the folder it lands in.
struct NautilusDrop
{
    const char* name;
    QPoint (Nautilus::*at)() const;
    const char* key;
    const char* folder; // under the test's root
    friend void PrintTo(const NautilusDrop& d, std::ostream* os) { *os << d.name; }
};

class NautilusE2E : public FileManagersE2E, public ::testing::WithParamInterface<NautilusDrop>
{
};

// Nautilus 43 on X11 copies whatever another program drops on it, whatever
// the keys (Thunar's files too): the files land and also stay on the shelf.
TEST_P(NautilusE2E, ThePileIsCopiedWhereItIsLetGoAndNautilusTakesLaterDrops)
{
    const NautilusDrop& drop = GetParam();
    ASSERT_TRUE(prepare({"report.txt", "two words.txt"}));
    Nautilus nautilus;
    ASSERT_TRUE(nautilus.open(into, place, managerFrame)) << nautilus.errors().toStdString();
    ASSERT_TRUE(drag((nautilus.*drop.at)(), drop.key));
    expectLanded(m_kavo.root() + drop.folder, true);

    // Nautilus is not left with a drop it never finished: a file dragged
    // from Thunar to the same place lands there too (in the folder, which
    // Nautilus may have opened while the pile hovered), copied as well.
    const QString other = m_kavo.root() + "/thunar", file = other + "/later.txt";
    ASSERT_TRUE(TestEnv::writeFile(file, "later"));
    Thunar thunar;
    ASSERT_TRUE(thunar.open(other, sourceFrame)) << thunar.errors().toStdString();
    ASSERT_TRUE(drag((nautilus.*drop.at)(), {}, thunar.firstIcon()));
    const QString later = m_kavo.root() + drop.folder + "/later.txt";
    EXPECT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(later); }, 10000));
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_FALSE(nautilus.errors().contains("gtk_drop_target_handle_event")) << nautilus.errors().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Drops, NautilusE2E,
    ::testing::Values(NautilusDrop{"IntoTheFolderWindow", &Nautilus::emptySpace, "", "/into"},
                      NautilusDrop{"IntoTheFolderWindowWithCtrl", &Nautilus::emptySpace, "ctrl", "/into"},
                      NautilusDrop{"OntoAFolderIcon", &Nautilus::folderIcon, "", "/into/sub"},
                      NautilusDrop{"OntoASidebarPlace", &Nautilus::bookmark, "", "/place"}),
    [](const auto& info) { return std::string(info.param.name); });

// Thunar chooses between copy and move from the actions offered; the keys
// held decide, not the disk.
struct ThunarDrop
{
    const char* name;
    const char* key;
    bool copied;
    friend void PrintTo(const ThunarDrop& d, std::ostream* os) { *os << d.name; }
};

class ThunarE2E : public FileManagersE2E, public ::testing::WithParamInterface<ThunarDrop>
{
};

TEST_P(ThunarE2E, TheKeysHeldChooseCopyOrMove)
{
    ASSERT_TRUE(prepare({"report.txt"}));
    Thunar thunar;
    ASSERT_TRUE(thunar.open(into, managerFrame)) << thunar.errors().toStdString();
    ASSERT_TRUE(drag(thunar.emptySpace(), GetParam().key));
    expectLanded(into, GetParam().copied);
}

INSTANTIATE_TEST_SUITE_P(Drops, ThunarE2E,
                         ::testing::Values(ThunarDrop{"CtrlCopies", "ctrl", true},
                                           ThunarDrop{"ShiftMoves", "shift", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
