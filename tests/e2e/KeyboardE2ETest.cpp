// A shelf from the keyboard, under a real window manager (openbox) beside a
// program the user was typing in (mousepad): a shelf asked for by a key, a
// command or the tray takes the keyboard; a shelf the window manager makes
// active answers its keys; Tab, Space and Shift+F10 work without a click on
// it. Real key presses through xdotool; no click lands on a shelf.
#include "DBusTray.h"
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>

namespace {

// mousepad, the GTK 3 text editor, editing one file: the window the user
// works in when a shelf is asked for.
class Editor
{
public:
    // Opens `file`; answers whether its window shows and has the keyboard.
    bool open(const QString& file)
    {
        if (!m_process.start("mousepad", {file}, {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11", "GSETTINGS_BACKEND=memory"}))
            return false;
        const auto shown = waitForClient(
            [&](const ProbedWindow& w) { return w.viewable && w.title.startsWith(file + " - "); }, 30000);
        if (!shown || !placeWindow(shown->id, {40, 40, 600, 400}))
            return false;
        m_window = shown->id;
        return TestEnv::waitUntil([&] { return activeWindow() == m_window; }, 10000);
    }
    xcb_window_t window() const { return m_window; }
    xcb_window_t activeWindow() const
    {
        return m_display.property32(m_display.root(), m_display.atom("_NET_ACTIVE_WINDOW")).value_or(XCB_NONE);
    }
    QString errors() { return m_process.errors(); }

private:
    Program m_process;
    XConnection m_display;
    xcb_window_t m_window = XCB_NONE;
};

class KeyboardE2E : public KavoTest
{
protected:
    // Openbox, Kavo, and the editor with the keyboard, typed in.
    ::testing::AssertionResult startAll()
    {
        if (!openbox.start())
            return ::testing::AssertionFailure() << "openbox: " << openbox.errors().toStdString();
        if (!startKavo())
            return ::testing::AssertionFailure() << "kavo did not start";
        typed = makeFile("typed.txt", "");
        if (!editor.open(typed))
            return ::testing::AssertionFailure() << "mousepad: " << editor.errors().toStdString();
        if (!Input::run({"type", "ab"}))
            return ::testing::AssertionFailure() << "xdotool";
        return ::testing::AssertionSuccess();
    }
    // The one shelf open, and its window.
    std::optional<ProbedWindow> theShelf(ListedShelf* listed = nullptr)
    {
        const Shelves shelves = m_kavo.waitForShelfCount(1);
        if (shelves.size() != 1)
            return {};
        if (listed)
            *listed = shelves[0];
        // Under the window manager's frame, which may have nudged it.
        return waitForClient(
            [&](const ProbedWindow& w) {
                return w.viewable && !w.overrideRedirect && w.instance == u"kavo" &&
                       w.geometry.size() == shelves[0].frame.size();
            },
            5000);
    }
    // The window manager says the shelf is active, and it has the keys.
    bool hasKeyboard(xcb_window_t shelf) const
    {
        return TestEnv::waitUntil(
            [&] { return editor.activeWindow() == shelf && m_display.inputFocus() == shelf; }, 10000);
    }
    bool editorActive() const
    {
        return TestEnv::waitUntil([&] { return editor.activeWindow() == editor.window(); }, 10000);
    }
    bool emptied() const
    {
        return m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && s[0].items.isEmpty(); });
    }

    Openbox openbox;
    Editor editor;
    QString typed;
};

enum class Way { HotKey, CommandLine, XEmbedTray, DBusTray };

struct OpenCase
{
    const char* name;
    Way way;
};

void PrintTo(const OpenCase& c, std::ostream* os)
{
    *os << c.name;
}

class OpenedByKeyE2E : public KeyboardE2E, public ::testing::WithParamInterface<OpenCase>
{
};

// However it is asked for (but a shake), a new shelf takes the keyboard from
// the program the user was typing in, and the next key is the shelf's.
TEST_P(OpenedByKeyE2E, ANewShelfTakesTheKeyboardFromTheProgramInFront)
{
    const Way way = GetParam().way;
    StatusNotifierWatcher watcher; // the D-Bus tray's, there before Kavo
    std::optional<Trayer> trayer;
    if (way == Way::DBusTray) {
        ASSERT_TRUE(watcher.start()) << "another watcher owns the name";
    }
    ASSERT_TRUE(startAll());
    // Kavo's icon moves into an XEmbed tray that starts later.
    if (way == Way::XEmbedTray) {
        ASSERT_TRUE(trayer.emplace().start("bottom", "right")) << trayer->errors().toStdString();
    }
    const QString held = makeFile("held.txt", "held");
    switch (way) {
    case Way::HotKey:
        ASSERT_TRUE(Input::run(Input::moveTo({700, 450}) + Input::key("ctrl+alt+space")));
        break;
    case Way::CommandLine:
        ASSERT_EQ(m_kavo.run({"--new-shelf", held}).exitCode, 0);
        break;
    case Way::XEmbedTray: {
        // The tray's icon is clicked and the menu's first entry picked by
        // key. The tray's panel is in a frame of the window manager's.
        const auto icon = waitForClient(
            [](const ProbedWindow& w) {
                return w.viewable && w.instance == u"kavo" && !w.geometry.isEmpty() && w.geometry.height() <= 32;
            },
            10000);
        ASSERT_TRUE(icon) << "the tray icon did not appear";
        ASSERT_TRUE(Input::run(Input::click(icon->geometry.center(), 3)));
        ASSERT_TRUE(m_display.waitForWindow(
            [](const ProbedWindow& w) { return w.viewable && w.overrideRedirect && w.instance == u"kavo"; }));
        ASSERT_TRUE(Input::run({"key", "Down", "Return"}));
        break;
    }
    case Way::DBusTray:
        ASSERT_TRUE(TestEnv::waitUntil([&] { return !watcher.items.isEmpty(); }, 10000));
        ASSERT_TRUE(TrayMenu(watcher.items.first()).click("New Shelf"));
        break;
    }
    const auto shelf = theShelf();
    ASSERT_TRUE(shelf) << "no shelf window: " << describe(m_kavo.list().value_or(Shelves{}));
    ASSERT_TRUE(hasKeyboard(shelf->id)) << "active: " << editor.activeWindow() << ", focus: " << m_display.inputFocus();
    if (way == Way::CommandLine) {
        ASSERT_TRUE(Input::run(Input::key("Delete")));
        EXPECT_TRUE(emptied());
    } else {
        ASSERT_TRUE(Input::run(Input::key("Escape")));
        EXPECT_TRUE(shelvesClose());
    }
    EXPECT_TRUE(QFileInfo::exists(held));
}

INSTANTIATE_TEST_SUITE_P(, OpenedByKeyE2E,
                         ::testing::Values(OpenCase{"HotKey", Way::HotKey}, OpenCase{"CommandLine", Way::CommandLine},
                                           OpenCase{"XEmbedTray", Way::XEmbedTray},
                                           OpenCase{"DBusTray", Way::DBusTray}),
                         [](const auto& info) { return std::string(info.param.name); });

// A shelf the window manager makes active (a switcher, a pager, `wmctrl -a`)
// answers its keys without a click in it, empty or not.
TEST_F(KeyboardE2E, AShelfTheWindowManagerActivatesAnswersItsKeys)
{
    ASSERT_TRUE(startAll());
    const QString a = makeFile("a.txt", "a"), b = makeFile("b.txt", "b");
    ASSERT_EQ(m_kavo.run({"--new-shelf", a, b}).exitCode, 0);
    const auto shelf = theShelf();
    ASSERT_TRUE(shelf);
    ASSERT_TRUE(hasKeyboard(shelf->id));
    // Away to the editor and back, by the window manager.
    ASSERT_EQ(Program::run("wmctrl", {"-i", "-a", QString::number(editor.window())}), 0);
    ASSERT_TRUE(editorActive());
    ASSERT_EQ(Program::run("wmctrl", {"-i", "-a", QString::number(shelf->id)}), 0);
    ASSERT_TRUE(hasKeyboard(shelf->id));
    ASSERT_TRUE(Input::run(Input::key("Delete")));
    ASSERT_TRUE(emptied());
    // Empty now: away and back again, and Escape closes it.
    ASSERT_TRUE(Input::activate(editor.window()));
    ASSERT_TRUE(editorActive());
    ASSERT_EQ(Program::run("xdotool", {"windowactivate", QString::number(shelf->id)}), 0);
    ASSERT_TRUE(hasKeyboard(shelf->id));
    ASSERT_TRUE(Input::run(Input::key("Escape")));
    EXPECT_TRUE(shelvesClose());
    EXPECT_TRUE(QFileInfo::exists(a) && QFileInfo::exists(b));
}

// Tab goes from the pile to the list toggle to the close button; Space
// presses the one that has the focus.
TEST_F(KeyboardE2E, TabReachesTheShelfsButtonsAndSpacePressesThem)
{
    ASSERT_TRUE(startAll());
    ASSERT_EQ(m_kavo.run({"--new-shelf", makeFile("a.txt", "a")}).exitCode, 0);
    auto shelf = theShelf();
    ASSERT_TRUE(shelf && hasKeyboard(shelf->id));
    ASSERT_TRUE(Input::run({"key", "Tab", "space"}));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && s[0].mode == u"list"; }))
        << "the toggle";
    ASSERT_TRUE(Input::run({"key", "Tab", "space"}));
    EXPECT_TRUE(shelvesClose()) << "the close button";
}

// Shift+F10, as the Menu key, opens the shelf's menu without a click: a new
// menu window of Kavo's, over the shelf, with the keys.
TEST_F(KeyboardE2E, ShiftF10AndTheMenuKeyOpenTheMenuAtTheShelf)
{
    ASSERT_TRUE(startAll());
    ASSERT_EQ(m_kavo.run({"--new-shelf", makeFile("a.txt", "a")}).exitCode, 0);
    ListedShelf listed;
    const auto shelf = theShelf(&listed);
    ASSERT_TRUE(shelf && hasKeyboard(shelf->id));
    for (const char* keys : {"shift+F10", "Menu"}) {
        ASSERT_TRUE(Input::run(Input::key(keys)));
        const auto menu = m_display.waitForWindow([&](const ProbedWindow& w) {
            return w.viewable && w.overrideRedirect && w.instance == u"kavo" && w.geometry.height() > 40 &&
                   listed.frame.contains(w.geometry.topLeft());
        });
        ASSERT_TRUE(menu) << "no menu over the shelf for " << keys;
        // Escape closes the menu, not the shelf.
        ASSERT_TRUE(Input::run(Input::key("Escape")));
        EXPECT_TRUE(
            TestEnv::waitUntil([&] { return !m_display.describe(menu->id).value_or(ProbedWindow{}).viewable; }));
        EXPECT_EQ(m_kavo.list().value_or(Shelves{}).size(), 1);
        ASSERT_TRUE(hasKeyboard(shelf->id));
    }
}

// A shake opens a shelf in the middle of a drag: the drag's source keeps
// the keyboard (with no window manager to decide, Kavo would take it
// itself).
using ShakeFocusE2E = KavoTest;

TEST_F(ShakeFocusE2E, AShakeOpensAShelfThatLeavesTheKeyboardAlone)
{
    ASSERT_TRUE(startKavo());
    Pcmanfm files;
    const QString file = makeFile("shaken.txt", "shaken");
    ASSERT_TRUE(files.open(QFileInfo(file).path(), {20, 20}, 1)) << files.errors().toStdString();
    const QPoint press = files.row(0), started = press + QPoint(30, 0), spot(700, 450);
    const xcb_window_t owner = m_display.selectionOwner("XdndSelection");
    ASSERT_TRUE(Input::run(Input::pressAt(press) + Input::glide(press, started, 3, 0.05)));
    ASSERT_TRUE(TestEnv::waitUntil([&] {
        const xcb_window_t now = m_display.selectionOwner("XdndSelection");
        return now != XCB_NONE && now != owner;
    })) << "the drag did not start";
    ASSERT_TRUE(Input::run(Input::glide(started, spot, 6, 0.05) + Input::strokes(spot, 4, 60)));
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1) << "the shake opened no shelf";
    const auto shelf = m_display.waitForWindow([&](const ProbedWindow& w) {
        return w.viewable && !w.overrideRedirect && w.instance == u"kavo" && w.geometry == shelves[0].frame;
    });
    ASSERT_TRUE(shelf);
    // Given the time to take it, had it asked: the drop lands.
    const QPoint here = m_display.pointer();
    ASSERT_TRUE(Input::run(Input::glide(here, here + QPoint(12, 12), 3, 0.08) + Input::release()));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }));
    EXPECT_NE(m_display.inputFocus(), shelf->id);
}

} // namespace
