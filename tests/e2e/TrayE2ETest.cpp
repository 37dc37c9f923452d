// The tray icon and its menu as desktops show them: embedded in an XEmbed
// tray (trayer), and over D-Bus (StatusNotifierItem with com.canonical.dbusmenu,
// the way of KDE Plasma, GNOME's AppIndicator extension, Xfce and Cinnamon).
#include "DBusTray.h"
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// Where trayer sits, and whether its panel is dark.
struct Place
{
    const char *edge, *align;
    bool dark;
};

class XEmbedTrayE2E : public KavoTest, public ::testing::WithParamInterface<Place>
{
};

TEST_P(XEmbedTrayE2E, TheIconStandsOutOnThePanelAndNewShelfOpensBesideItOffThePanel)
{
    const auto [edge, align, dark] = GetParam();
    const QString gtkrc = m_kavo.root() + "/panel.gtkrc";
    TestEnv::writeFile(gtkrc, QStringLiteral("style \"panel\" { bg[NORMAL] = \"%1\" }\nwidget \"*\" style \"panel\"\n")
                                  .arg(dark ? "#1e1e1e" : "#f0f0f0")
                                  .toUtf8());
    Trayer trayer;
    ASSERT_TRUE(trayer.start(edge, align, gtkrc)) << trayer.errors().toStdString();
    ASSERT_TRUE(startKavo());
    const std::optional<ProbedWindow> icon = trayer.kavoIcon();
    ASSERT_TRUE(icon) << "the tray icon did not appear";
    // Drawn to stand out on the tray's own panel, whatever the application's
    // palette says: its ink is what differs most from the panel.
    int ink = 0; // pixels far lighter (on a dark panel) or darker than the panel
    EXPECT_TRUE(TestEnv::waitUntil([&] {
        const QImage img = m_display.image(*icon);
        ink = 0;
        for (int i = 0; i < img.width() * img.height(); ++i) {
            const int l = QColor(img.pixel(i % img.width(), i / img.width())).lightness();
            ink += dark ? l > 200 : l < 70;
        }
        return ink > 20;
    }, 5000, TestEnv::picturePollMs)) << ink << " pixels of ink";
    // A right click opens the menu; its first entry is "New Shelf".
    ASSERT_TRUE(Input::run(Input::click(icon->geometry.center(), 3)));
    const auto menu = m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.viewable && w.overrideRedirect && w.instance == u"kavo"; });
    ASSERT_TRUE(menu) << "no menu";
    ASSERT_TRUE(Input::run({"key", "Down", "Return"}));
    // Centred on the icon, 20 pixels off the panel towards the middle of the
    // screen (clamped into the screen).
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    const QRect r = icon->geometry, f = shelves[0].frame;
    const qreal top = std::string(edge) == "top" ? r.bottom() + 1 + 20 : r.top() - 20 - f.height();
    EXPECT_EQ(f, placed(QPointF(r.x() + r.width() / 2.0, top), true));
    EXPECT_TRUE(shelves[0].items.isEmpty());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return !m_display.describe(menu->id).value_or(ProbedWindow{}).viewable; }))
        << "the menu closed with the choice";
}

INSTANTIATE_TEST_SUITE_P(Trayer, XEmbedTrayE2E,
                         ::testing::Values(Place{"bottom", "right", true}, Place{"top", "center", false}),
                         [](const auto& info) { return std::string(info.param.edge) + "_" + info.param.align; });

// The D-Bus tray: a watcher with a host on the session bus, started before
// Kavo (which chooses its tray when it starts).
class DBusTrayE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        ASSERT_TRUE(watcher.start()) << "another watcher owns the name";
        // Kavo's symbolic icon, installed where the icon theme finds it.
        const QString apps = m_kavo.root() + "/data/icons/hicolor/symbolic/apps/";
        QDir().mkpath(apps);
        for (const QString name : {"io.github.kavo.Kavo-symbolic.svg", "io.github.kavo.Kavo-update-symbolic.svg"})
            QFile::copy(KAVO_SOURCE_DIR "/resources/icons/" + name, apps + name);
        ASSERT_TRUE(startKavo());
        ASSERT_TRUE(TestEnv::waitUntil([&] { return !watcher.items.isEmpty(); }, 10000))
            << "Kavo registered no tray item";
        menu.emplace(watcher.items.first());
    }

    StatusNotifierWatcher watcher;
    std::optional<TrayMenu> menu;
};

TEST_F(DBusTrayE2E, TheIconIsTheSymbolicOneTheHostRecoloursAndNewShelfOpensBesideThePointer)
{
    EXPECT_EQ(menu->itemProperty("IconName").toString(), "io.github.kavo.Kavo-symbolic");
    EXPECT_EQ(menu->itemProperty("Title").toString(), "Kavo");
    // The host does not say where the icon is: the shelf opens beside the
    // pointer that clicked, off a panel at the bottom right.
    const QPoint clicked(1200, 790);
    ASSERT_TRUE(Input::run(Input::moveTo(clicked)));
    ASSERT_TRUE(menu->click("New Shelf"));
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_TRUE(shelves[0].visible);
    EXPECT_TRUE(shelves[0].items.isEmpty());
    EXPECT_EQ(shelves[0].frame, placed(QPointF(clicked.x(), clicked.y() - 20 - shelves[0].frame.height()), true));
}

TEST_F(DBusTrayE2E, OpenShelvesAreListedUnderATitleByTheirNamesAsTheyStandAndClosedTogether)
{
    const QString pdf = makeFile("R&D plan.pdf", "%PDF-1.4"), notes = makeFile("meeting_notes.txt", "notes");
    openShelfAt({400, 400}, {pdf});
    openShelfAt({400, 400}, {notes});
    ASSERT_TRUE(openShelfAt({400, 400}).items.isEmpty());
    // Listed soon after they change, with no word from the tray.
    QStringList shown;
    EXPECT_TRUE(TestEnv::waitUntil([&] { return (shown = menu->texts()).contains("meeting_notes.txt"); }));
    const qsizetype title = shown.indexOf("Open Shelves");
    EXPECT_EQ(shown.mid(title - 1, 5),
              QStringList({"---", "Open Shelves", "R&D plan.pdf", "meeting_notes.txt", "Close All Shelves"}))
        << shown.join(u'|').toStdString();
    EXPECT_FALSE(menu->entry("Open Shelves")->isEnabled());
    // Picking a shelf brings it forward; the list stays as it was.
    ASSERT_TRUE(menu->click("R&D plan.pdf"));
    EXPECT_EQ(m_kavo.waitForShelfCount(3).size(), 3);
    // "Close All Shelves" closes every one, the empty one too, and leaves
    // the files where they are.
    ASSERT_TRUE(menu->click("Close All Shelves"));
    EXPECT_TRUE(shelvesClose());
    EXPECT_TRUE(TestEnv::waitUntil([&] { return !menu->texts().contains("Open Shelves"); }));
    EXPECT_TRUE(QFileInfo::exists(pdf) && QFileInfo::exists(notes));
}

// The entries are clicked as a tray read them before shelves came and went:
// the menu changing under a click must not lose it.
TEST_F(DBusTrayE2E, TogglesFlipTheirSettingsAndQuitEndsTheProgramNormally)
{
    const QString shake = "Shake While Dragging to Open", updates = "Check for Updates Automatically";
    const MenuEntry shakeRead = menu->entry(shake).value_or(MenuEntry{});
    const MenuEntry quitRead = menu->entry("Quit Kavo").value_or(MenuEntry{});
    EXPECT_EQ(shakeRead.toggleState(), 1);
    openShelfAt({400, 400}, {makeFile("notes.txt", "notes")});
    ASSERT_TRUE(TestEnv::waitUntil([&] { return menu->texts().contains("notes.txt"); }));
    ASSERT_TRUE(menu->click(shakeRead.id));
    EXPECT_TRUE(menu->showsToggle(shake, 0));
    EXPECT_EQ(QSettings(m_kavo.configFile(), QSettings::IniFormat).value("shakeEnabled").toString(), "false");
    ASSERT_TRUE(menu->click(updates));
    EXPECT_TRUE(menu->showsToggle(updates, 0));
    ASSERT_TRUE(menu->click("Close All Shelves"));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !menu->texts().contains("notes.txt"); }));
    menu->click(quitRead.id); // the answer may not outlive the program
    const std::optional<int> status = m_kavo.waitForExit();
    ASSERT_TRUE(status) << "kavo did not end: " << m_kavo.errors();
    EXPECT_EQ(*status, 0) << m_kavo.errors();
    EXPECT_EQ(m_kavo.run({"--list"}).exitCode, 1);
    m_kavo.stop(); // nothing left to check in TearDown
}

// A key another program holds is told, and another one chosen there opens
// shelves from then on, after a restart too, until it is turned off.
TEST_F(DBusTrayE2E, AKeyTakenByAnotherProgramIsToldAndTheOneChosenInsteadWorksUntilTurnedOff)
{
    constexpr quint16 ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    m_kavo.stop();
    ASSERT_TRUE(m_display.grabKey(' ', ctrlAlt));
    const auto restart = [&] {
        m_kavo.stop();
        const qsizetype items = watcher.items.size();
        ASSERT_TRUE(startKavo());
        ASSERT_TRUE(TestEnv::waitUntil([&] { return watcher.items.size() > items; }, 10000));
        menu.emplace(watcher.items.last());
    };
    restart();
    const auto titled = [&](const QString& title) {
        return m_display.waitForWindow([&](const ProbedWindow& w) { return w.viewable && w.title.startsWith(title); });
    };
    const auto press = [&](const ProbedWindow& window, const QStringList& keys) {
        return Input::run(QStringList{"windowfocus", "--sync", QString::number(window.id), "key"} + keys);
    };
    const auto notice = titled("Kavo");
    ASSERT_TRUE(notice) << "no notice of the taken key";
    EXPECT_EQ(m_kavo.list().value_or(Shelves(1)).size(), 0) << "the notice holds nothing up";
    ASSERT_TRUE(press(*notice, {"Return"})); // "Choose Shortcut…"
    auto dialog = titled("Keyboard Shortcut");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(press(*dialog, {"ctrl+alt+k", "Return"}));
    const QString config = m_kavo.configFile();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QSettings(config, QSettings::IniFormat).value("hotKey") == "Ctrl+Alt+K"; }));
    ASSERT_TRUE(Input::run(Input::key("ctrl+alt+k")));
    EXPECT_EQ(m_kavo.waitForShelfCount(1).size(), 1);
    const auto shortcut = [&] {
        return qdbus_cast<QList<QStringList>>(menu->entry("New Shelf").value_or(MenuEntry{}).properties.value("shortcut"));
    };
    EXPECT_TRUE(TestEnv::waitUntil([&] { return shortcut() == QList<QStringList>{{"Control", "Alt", "K"}}; }))
        << shortcut().value(0).join(u'+').toStdString();

    restart();
    ASSERT_TRUE(Input::run(Input::key("ctrl+alt+k")));
    EXPECT_EQ(m_kavo.waitForShelfCount(1).size(), 1) << "the key chosen before";
    // A menu made again just after its layout was read loses the click (its
    // entries are new): clicked again, as a user would, until the dialog
    // shows; it is shown once however often it is asked for.
    dialog.reset();
    for (int tries = 0; tries < 5 && !dialog; ++tries) {
        ASSERT_TRUE(menu->click("Keyboard Shortcut\u2026"));
        dialog = m_display.waitForWindow(
            [](const ProbedWindow& w) { return w.viewable && w.title.startsWith("Keyboard Shortcut"); }, 2000);
    }
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(press(*dialog, {"ctrl+alt+j", "alt+t"})); // a chord, then "Turn Off"
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QSettings(config, QSettings::IniFormat).value("hotKey") == ""; }));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return m_display.grabKey('k', ctrlAlt); })) << "Kavo let the key go";
}

// Xfce's own panel: its tray reads the menu without saying first that it is
// about to show it, and tells a left click to the icon, not to its menu.
class XfcePanelTrayE2E : public KavoTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(XfcePanelTrayE2E, AClickOnTheIconOpensTheMenuWhereNewShelfOpensAShelf)
{
    Openbox openbox;
    ASSERT_TRUE(openbox.start()) << openbox.errors().toStdString();
    XfcePanel panel;
    ASSERT_TRUE(panel.start()) << panel.errors().toStdString();
    const std::optional<QPoint> icon = panel.newIcon([&] { return bool(startKavo()); });
    ASSERT_TRUE(icon) << "no icon on the panel: " << m_kavo.errors();
    ASSERT_TRUE(Input::run(Input::click(*icon, GetParam())));
    const auto menu = m_display.waitForWindow([](const ProbedWindow& w) {
        return w.viewable && w.overrideRedirect && w.geometry.width() > 100 && w.geometry.height() > 100;
    });
    ASSERT_TRUE(menu) << "no menu";
    ASSERT_TRUE(Input::run({"key", "Down", "Return"})); // its first entry, "New Shelf"
    EXPECT_EQ(m_kavo.waitForShelfCount(1).size(), 1) << panel.errors().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Xfce, XfcePanelTrayE2E, ::testing::Values(3, 1),
                         [](const auto& info) { return info.param == 1 ? "LeftClick" : "RightClick"; });

} // namespace
