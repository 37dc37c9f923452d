// The application shell of the running program: the hot key, the commands a
// second `kavo` sends, the welcome on a first launch, the keyboard of a shelf.
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <csignal>

namespace {

// The welcome is a dialog titled with the program's name.
bool isWelcome(const ProbedWindow& w)
{
    return w.viewable && !w.overrideRedirect && w.title == u"Kavo" && w.geometry.width() > 100;
}

// A window of Kavo's that `match` accepts, also inside a window manager's
// frame, and the place of its top level in the stacking order (bottom first).
struct Stacked
{
    ProbedWindow window;
    qsizetype level = -1;
};
std::optional<Stacked> findStacked(const XConnection& display, const std::function<bool(const ProbedWindow&)>& match)
{
    std::optional<Stacked> found;
    TestEnv::waitUntil([&] {
        const QList<ProbedWindow> levels = display.topLevels();
        for (qsizetype i = 0; i < levels.size(); ++i) {
            for (const ProbedWindow& w : QList{levels[i]} + display.descendants(levels[i].id)) {
                if (w.viewable && !w.overrideRedirect && w.instance == u"kavo" && match(w))
                    found = Stacked{w, i};
            }
        }
        return found.has_value();
    });
    return found;
}

std::optional<Stacked> findShelf(const XConnection& display, const QRect& frame)
{
    return findStacked(display, [&](const ProbedWindow& w) { return w.geometry == frame; });
}

using AppShellE2E = KavoTest;

TEST_F(AppShellE2E, TheHotKeyOpensAShelfAtThePointerOncePerPressWhateverTheLocks)
{
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(Input::run(Input::moveTo({640, 400}) + Input::key("ctrl+alt+space")));
    Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPoint(640, 400)));
    EXPECT_TRUE(shelves[0].visible);
    EXPECT_EQ(shelves[0].mode, u"stack");
    EXPECT_TRUE(shelves[0].items.isEmpty());
    const auto window = m_display.waitForWindow([&](const ProbedWindow& w) {
        return w.viewable && w.instance == u"kavo" && w.geometry == shelves[0].frame;
    });
    ASSERT_TRUE(window);
    EXPECT_EQ(m_display.property32(window->id, m_display.atom("_NET_WM_DESKTOP")), 0xFFFFFFFFu)
        << "on every desktop";

    // Again with Num Lock on: a second shelf, on top of the first.
    ASSERT_TRUE(Input::run(QStringList{"key", "Num_Lock", "ctrl+alt+space"}));
    shelves = m_kavo.waitForShelfCount(2);
    ASSERT_EQ(shelves.size(), 2);
    EXPECT_EQ(shelves[1].frame, shelves[0].frame);
    // Held down past the key's repeat delay near a corner: one shelf, inside
    // the screen.
    ASSERT_TRUE(Input::run(Input::moveTo({1275, 795}) +
                           QStringList{"keydown", "ctrl+alt+space", "sleep", "0.9", "keyup", "ctrl+alt+space"}));
    shelves = m_kavo.waitForShelfCount(3);
    ASSERT_EQ(shelves.size(), 3);
    EXPECT_EQ(shelves[2].frame, placed(QPoint(1275, 795)));
    // Space alone, or without Alt, is not the hot key.
    ASSERT_TRUE(Input::run(QStringList{"key", "space", "ctrl+space"}));
    TestEnv::processEventsFor(300);
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).size(), 3);
    EXPECT_FALSE(m_display.waitForWindow(isWelcome, 0)) << "a home that launched before";
}

TEST_F(AppShellE2E, SignalsOfALoggingOutSessionEndItAsQuitDoesTakingItsSocket)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_TRUE(startKavo());
        ::kill(pid_t(m_kavo.processId()), signal);
        const std::optional<int> status = m_kavo.waitForExit();
        ASSERT_TRUE(status) << "ended by signal " << signal;
        EXPECT_EQ(*status, 0);
        const QStringList left = QDir(m_kavo.runtimeDir()).entryList({"*.socket"}, QDir::System | QDir::AllEntries);
        EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();
    }
    m_kavo.stop(); // nothing left to check in TearDown
}

TEST_F(AppShellE2E, CommandsThatCannotWorkSaySoAndChangeNothing)
{
    Kavo::Result r = m_kavo.run({"--list"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("not running")) << r.err.toStdString();
    ASSERT_TRUE(startKavo());
    const QString missing = m_kavo.root() + "/files/missing.txt";
    const QList<std::pair<QStringList, QString>> refused{{{"--bogus"}, "unknown option: --bogus"},
                                                         {{"--new-shelf", missing}, "no such file: " + missing},
                                                         {{"--list", "extra"}, "--list takes no arguments"},
                                                         {{"stray"}, "unexpected argument: stray"}};
    for (const auto& [arguments, message] : refused) {
        r = m_kavo.run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
    }
    EXPECT_EQ(m_kavo.list().value_or(Shelves(1)).size(), 0) << "the running one opened nothing";
    // A plain second start leaves the first one in charge.
    r = m_kavo.run({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("already running")) << r.out.toStdString();
}

TEST_F(AppShellE2E, AFreshHomeIsWelcomedWhileTheShelfItAskedForOpens)
{
    QSettings(m_kavo.configFile(), QSettings::IniFormat).clear();
    const QString file = makeFile("a.txt", "a");
    ASSERT_TRUE(m_kavo.start({"--new-shelf", file}));
    ASSERT_TRUE(m_display.waitForWindow(isWelcome, 10000));
    // Written before the welcome shows, so it is never shown twice.
    EXPECT_EQ(QSettings(m_kavo.configFile(), QSettings::IniFormat).value("hasLaunchedBefore").toString(), "true");
    // The welcome holds nothing up: the shelf the start asked for is open.
    EXPECT_EQ(m_kavo.waitForShelfCount(1).value(0).paths(), QStringList{file});
}

TEST_F(AppShellE2E, NewShelfFromASecondProcessOpensThereAndEscapeClosesItLeavingItsFiles)
{
    const QString a = makeFile("a.txt", "a"), b = makeFile("b c.txt", "b");
    ASSERT_TRUE(startKavo());
    const ListedShelf first = openShelfAt({500, 300}, {a});
    EXPECT_EQ(first.frame, placed(QPoint(500, 300)));
    EXPECT_EQ(first.paths(), QStringList{a});
    EXPECT_FALSE(first.items.value(0).temporary);
    // Each command opens a shelf of its own, with the files in order.
    const QRect frame = openShelfAt({900, 300}, {b, a}).frame;
    EXPECT_EQ(m_kavo.list().value_or(Shelves(2)).value(1).paths(), (QStringList{b, a}));
    // Clicked on a bare spot of its header, the shelf has the keyboard;
    // Escape closes it.
    const auto window = m_display.waitForWindow([&](const ProbedWindow& w) {
        return w.viewable && !w.overrideRedirect && w.instance == u"kavo" && w.geometry == frame;
    });
    ASSERT_TRUE(window) << "no shelf window at the listed frame";
    ASSERT_TRUE(Input::run(Input::click(frame.topLeft() + QPoint(52, 18))));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.inputFocus() == window->id; }));
    ASSERT_TRUE(Input::run(Input::key("Escape")));
    EXPECT_TRUE(m_kavo.waitForShelves([&](const Shelves& s) { return s.size() == 1 && s[0].frame == first.frame; }));
    EXPECT_TRUE(QFileInfo::exists(a) && QFileInfo::exists(b));
}

// The window manager's close (Alt+F4, a pager's or a taskbar's close)
// closes a shelf as Escape does, empty or not, and leaves its files.
TEST_F(AppShellE2E, TheWindowManagersCloseClosesAShelfAsEscapeDoes)
{
    Openbox openbox;
    ASSERT_TRUE(openbox.start()) << openbox.errors().toStdString();
    ASSERT_TRUE(startKavo());
    const QString a = makeFile("a.txt", "a");
    const struct { QStringList files; bool byKey; } cases[] = {{{}, true}, {{a}, false}};
    for (const auto& [files, byKey] : cases) {
        const QRect frame = openShelfAt({640, 400}, files).frame;
        const auto shelf = findShelf(m_display, frame);
        ASSERT_TRUE(shelf) << "no shelf window at " << describe(m_kavo.list().value_or(Shelves{}));
        const QString id = QString::number(shelf->window.id);
        if (byKey) {
            ASSERT_TRUE(Input::run(Input::click(frame.topLeft() + QPoint(52, 18))));
            ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.inputFocus() == shelf->window.id; }));
            ASSERT_TRUE(Input::run(Input::key("alt+F4")));
        } else {
            ASSERT_EQ(Program::run("wmctrl", {"-i", "-c", id}), 0); // _NET_CLOSE_WINDOW
        }
        Shelves left;
        EXPECT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.isEmpty(); }, &left))
            << (byKey ? "Alt+F4: " : "wmctrl -c: ") << describe(left);
    }
    EXPECT_TRUE(QFileInfo::exists(a));
}

// Shelf windows with a window manager (openbox) and without one.
class ShelfWindowE2E : public KavoTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        if (GetParam()) {
            ASSERT_TRUE(openbox.emplace().start()) << openbox->errors().toStdString();
        }
        ASSERT_TRUE(startKavo());
    }

    std::optional<Openbox> openbox;
};

// Dragged by its background the shelf follows the pointer; clicked there,
// it has the keyboard at once.
TEST_P(ShelfWindowE2E, AShelfMovesWithItsBackgroundAndTakesTheKeysWhenClicked)
{
    const QRect frame = openShelfAt({500, 400}).frame;
    const QPoint header = frame.topLeft() + QPoint(52, 18), by(150, 100);
    ASSERT_TRUE(Input::run(Input::drag(header, header + by)));
    // A window manager follows the pointer from where its move began, a
    // step or so after the press.
    Shelves moved;
    const auto followed = [&](const Shelves& s) {
        const QPoint d = s.value(0).frame.topLeft() - frame.topLeft();
        return d.x() > by.x() / 2 && d.x() <= by.x() && d.y() > by.y() / 2 && d.y() <= by.y();
    };
    ASSERT_TRUE(m_kavo.waitForShelves(followed, &moved)) << describe(moved);
    const QRect now = moved[0].frame;
    const auto shelf = findShelf(m_display, now);
    ASSERT_TRUE(shelf);
    ASSERT_TRUE(Input::run(Input::click(now.topLeft() + QPoint(52, 18))));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.inputFocus() == shelf->window.id; }));
    ASSERT_TRUE(Input::run(Input::key("Escape")));
    EXPECT_TRUE(shelvesClose());
}

// The preview opens above the shelf it shows, and stays above shelves that
// open later or are clicked.
TEST_P(ShelfWindowE2E, ThePreviewStaysAboveTheShelves)
{
    const QRect frame = openShelfAt({640, 400}, {makeFile("notes.txt", "first line\nsecond line\n")}).frame;
    const auto shelf = findShelf(m_display, frame);
    ASSERT_TRUE(shelf);
    ASSERT_TRUE(Input::run(Input::click(frame.topLeft() + QPoint(52, 18))));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.inputFocus() == shelf->window.id; }));
    ASSERT_TRUE(Input::run(Input::key("space")));
    const auto isPreview = [](const ProbedWindow& w) { return w.title.startsWith(u"Preview"); };
    auto preview = findStacked(m_display, isPreview);
    ASSERT_TRUE(preview) << "no preview";
    ASSERT_TRUE(preview->window.geometry.intersects(frame)) << "the case needs them to overlap";
    // Settled once it has the keyboard.
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.inputFocus() == preview->window.id; }));
    EXPECT_GT(findStacked(m_display, isPreview).value_or(Stacked{}).level, findShelf(m_display, frame).value_or(Stacked{}).level);
    // A shelf opened later, and then clicked, half under the preview.
    const QRect later = openShelfAt({1050, 450}).frame;
    const auto above = [&] {
        return findStacked(m_display, isPreview).value_or(Stacked{}).level >
               findShelf(m_display, later).value_or(Stacked{}).level;
    };
    // The window manager restacks in its own time.
    EXPECT_TRUE(TestEnv::waitUntil(above)) << "a shelf opened later";
    const auto clicked = findShelf(m_display, later);
    ASSERT_TRUE(clicked && Input::run(Input::click(later.topLeft() + QPoint(160, 18))));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.inputFocus() == clicked->window.id; }));
    EXPECT_TRUE(TestEnv::waitUntil(above)) << "a shelf clicked";
}

INSTANTIATE_TEST_SUITE_P(, ShelfWindowE2E, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "UnderOpenbox" : "WithoutWindowManager"; });

// `kavo --list` gives frames in the screen's pixels, as other X programs see
// the windows, also where Qt scales its windows.
TEST_F(AppShellE2E, ListedFramesAreInScreenPixelsUnderScaling)
{
    m_kavo.setEnvironment("QT_SCALE_FACTOR", "2");
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({640, 400}, {}, false); // in pixels, not at placed()
    EXPECT_TRUE(findShelf(m_display, shelf.frame)) << "no window at " << describe({shelf});
}

TEST_F(AppShellE2E, ASnapshotWritesThreePicturesOfAShelfAndStartsNothing)
{
    const QString out = m_kavo.root() + "/out";
    TestEnv::writePng(m_kavo.root() + "/files/a.png", 300, 200);
    const Kavo::Result r = m_kavo.run({"--snapshot", out, m_kavo.root() + "/files/a.png",
                                       makeFile("b.pdf", "%PDF-1.4\n%%EOF\n"), makeFile("c.txt", "notes\n")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage empty(out + "/shelf-empty.png"), stack(out + "/shelf-stack.png");
    EXPECT_EQ(QImage(out + "/shelf-list.png").size(), QSize(216, 222));
    EXPECT_EQ(empty.size(), QSize(216, 244));
    EXPECT_NE(empty, stack);
    // Rounded corners are transparent; the middle is not.
    EXPECT_EQ(qAlpha(stack.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(stack.pixel(108, 120)), 200);
    EXPECT_EQ(m_kavo.run({"--list"}).exitCode, 1) << "no instance was started";

    // A folder that cannot be made (under a file) is told, not taken for done.
    const QString file = makeFile("d.txt", "notes\n");
    const Kavo::Result failed = m_kavo.run({"--snapshot", file + "/out", file});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains(file + "/out")) << failed.err.toStdString();
}

} // namespace
