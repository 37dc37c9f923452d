// The application shell of the running program: the hot key, the commands a
// second `kavo` sends, the welcome on a first launch, the keyboard of a shelf.
#include "Input.h"
#include "Kavo.h"
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

TEST_F(AppShellE2E, ASnapshotWritesThreePicturesOfAShelfAndStartsNothing)
{
    const QString out = m_kavo.root() + "/out";
    QDir().mkpath(out);
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
}

} // namespace
