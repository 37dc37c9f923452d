#include "app/AppDelegate.h"
#include "app/Prefs.h"
#include "platform/LoginItem.h"
#include "shake/ShakeDetector.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include "FeedServer.h"
#include "ShelfFixtures.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QMenu>
#include <QScreen>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

struct Alert
{
    QString title, text;
    QStringList buttons;
};

class AppDelegateTest : public ::testing::Test
{
protected:
    AppDelegateTest()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Kavo", "Kavo").clear();
        Prefs::resetRegisteredDefaults();
        // Not a first launch, unless a test says so.
        Prefs::setValue(Prefs::hasLaunchedBefore, true);
        QFile::remove(LoginItem::entryPath());
        app = std::make_unique<AppDelegate>();
        app->onAlert = [this](const QString& t, const QString& x, const QStringList& b) {
            alerts.push_back({t, x, b});
            return answer;
        };
        app->onOpenUrl = [this](const QUrl& u) { opened << u; };
        app->pointerLocation = [] { return QPointF(500, 400); };
        app->tipAddress.clear();
    }
    void launch() { app->applicationDidFinishLaunching({"kavo"}); }

    QStringList menuTitles()
    {
        QMenu menu;
        app->menuNeedsUpdate(&menu);
        QStringList titles;
        for (QAction* a : menu.actions()) {
            if (a->isSeparator() && a->text().isEmpty())
                titles << "---";
            else if (a->isSeparator())
                titles << "[" + a->text() + "]";
            else
                titles << a->text();
        }
        return titles;
    }
    QAction* menuAction(QMenu& menu, const QString& title)
    {
        app->menuNeedsUpdate(&menu);
        for (QAction* a : menu.actions())
            if (a->text() == title)
                return a;
        return nullptr;
    }
    ShelfWindowController* shelfWithItems(const QPointF& at, int n)
    {
        ShelfWindowController* s = app->openShelf(at, false, false);
        s->store()->add(files.make(n), false);
        return s;
    }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    std::unique_ptr<AppDelegate> app;
    std::vector<Alert> alerts;
    int answer = 0;
    QList<QUrl> opened;
};

const QStringList tail{"---",
                       "Shake While Dragging to Open",
                       "Open at Login",
                       "Check for Updates Automatically",
                       "---",
                       "Check for Updates\u2026",
                       "How to Use Kavo\u2026",
                       "Version " KAVO_VERSION,
                       "Quit Kavo"};

TEST_F(AppDelegateTest, TheMenuWithNoShelves)
{
    launch();
    EXPECT_EQ(menuTitles(), QStringList{"New Shelf"} + tail);
    QMenu menu;
    QAction* newShelf = menuAction(menu, "New Shelf");
    ASSERT_TRUE(newShelf);
    EXPECT_EQ(newShelf->shortcut(), QKeySequence("Ctrl+Alt+Space"));
    EXPECT_EQ(menuAction(menu, "Quit Kavo")->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_FALSE(menuAction(menu, "Version " KAVO_VERSION)->isEnabled());
    EXPECT_TRUE(menuAction(menu, "Shake While Dragging to Open")->isChecked());
    EXPECT_TRUE(menuAction(menu, "Check for Updates Automatically")->isChecked());
    EXPECT_FALSE(menuAction(menu, "Open at Login")->isChecked());
}

TEST_F(AppDelegateTest, OnlyShelvesWithItemsAreListed)
{
    launch();
    app->openShelf({300, 300}, false, false);
    EXPECT_EQ(menuTitles(), QStringList{"New Shelf"} + tail) << "only empty shelves: no section";

    shelfWithItems({700, 300}, 3);
    EXPECT_EQ(menuTitles(), QStringList({"New Shelf", "---", "Open Shelves", "3 items",
                                         "Close All Shelves"}) +
                                tail);
    QMenu titled;
    EXPECT_FALSE(menuAction(titled, "Open Shelves")->isEnabled()) << "a title, not a command";

    QMenu menu;
    menuAction(menu, "Close All Shelves")->trigger();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return app->shelves().empty(); }))
        << "both shelves close, the empty one too";
}

// Texts in the tray menu show as they are, on Qt's own menus and on D-Bus
// menus (which Qt turns the first "&" of into an access-key mark "_").
TEST(MenuTextTest, TitlesAreLiteralOnBothPaths)
{
    const struct
    {
        QString text, qtMenu, dbusMenu;
    } cases[] = {
        {"R&D plan.pdf", "R&&D plan.pdf", "R&&D plan.pdf"},
        {"a&&b", "a&&&&b", "a&&&b"},
        {"end&", "end&&", "end&&"},
        {"snake_case.txt", "snake_case.txt", "snake__case.txt"},
        {"R&D_x", "R&&D_x", "R&&D__x"},
        {"plain", "plain", "plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppDelegate::menuText(c.text, false), c.qtMenu) << c.text.toStdString();
        EXPECT_EQ(AppDelegate::menuText(c.text, true), c.dbusMenu) << c.text.toStdString();
    }
}

TEST_F(AppDelegateTest, AShelfIsListedByItsNameAsItStands)
{
    launch();
    const QString pdf = files.path("R&D plan.pdf");
    ASSERT_TRUE(TestEnv::writeFile(pdf, "%PDF"));
    app->openShelf({300, 300}, false, false)->store()->add({QUrl::fromLocalFile(pdf)}, false);
    QMenu menu;
    app->menuNeedsUpdate(&menu);
    EXPECT_EQ(menu.actions().at(3)->text(), "R&&D plan.pdf") << "shown by Qt as R&D plan.pdf";
}

TEST_F(AppDelegateTest, AnUpdateOnOfferLeadsTheMenuAndBadgesTheIcon)
{
    FeedServer server;
    server.serveRelease("2.1", "https://example.org/kavo-2.1");
    app = std::make_unique<AppDelegate>(server.url());
    app->onAlert = [this](const QString& t, const QString& x, const QStringList& b) {
        alerts.push_back({t, x, b});
        return 1; // "Later"
    };
    app->onOpenUrl = [this](const QUrl& u) { opened << u; };
    launch();
    EXPECT_EQ(app->statusSymbol(), "bag.fill");
    app->checkForUpdatesNow();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return app->updates().available().has_value(); }));
    EXPECT_EQ(app->statusSymbol(), "bag.fill.badge.plus");
    const QStringList titles = menuTitles();
    ASSERT_GE(titles.size(), 3);
    EXPECT_EQ(titles[0], "Update Available: Kavo 2.1\u2026");
    EXPECT_EQ(titles[1], "---");
    EXPECT_EQ(titles[2], "New Shelf");
    QMenu menu;
    menuAction(menu, "Update Available: Kavo 2.1\u2026")->trigger();
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://example.org/kavo-2.1")}));
}

TEST_F(AppDelegateTest, TipEntriesOnlyWithATipAddress)
{
    app->tipAddress = "https://ko-fi.com/example";
    launch();
    const QStringList titles = menuTitles();
    EXPECT_TRUE(titles.contains("Support Kavo on Ko-fi \u2615"));
    EXPECT_EQ(titles.indexOf("Support Kavo on Ko-fi \u2615") + 1,
              titles.indexOf("Check for Updates\u2026"));
    QMenu menu;
    menuAction(menu, "Support Kavo on Ko-fi \u2615")->trigger();
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://ko-fi.com/example")}));

    answer = 1;
    app->showWelcome();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].buttons, QStringList({"Got It", "Support on Ko-fi \u2615"}));
    EXPECT_TRUE(alerts[0].text.endsWith("leave a tip on Ko-fi from the tray icon whenever you like."));
    EXPECT_EQ(opened.size(), 2);
}

TEST_F(AppDelegateTest, FirstLaunchShowsTheWelcomeOnceWritingTheFlagFirst)
{
    Prefs::remove(Prefs::hasLaunchedBefore);
    bool flagBefore = false;
    app->onAlert = [&](const QString& t, const QString& x, const QStringList& b) {
        flagBefore = Prefs::boolValue(Prefs::hasLaunchedBefore);
        alerts.push_back({t, x, b});
        return 0;
    };
    launch();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(flagBefore);
    EXPECT_EQ(alerts[0].title, "Kavo is in your system tray");
    EXPECT_EQ(alerts[0].buttons, QStringList({"Got It"}));
    EXPECT_EQ(alerts[0].text.split('\n').size(), 7);
    EXPECT_TRUE(alerts[0].text.contains("Press Ctrl+Alt+Space, or use the tray icon in the system tray"));

    auto again = std::make_unique<AppDelegate>();
    again->onAlert = app->onAlert;
    again->applicationDidFinishLaunching({"kavo"});
    EXPECT_EQ(alerts.size(), 1u);
}

TEST_F(AppDelegateTest, SettingsThatCannotBeSavedAreToldOnceInsteadOfTheWelcome)
{
    // The settings file is a folder: nothing can be written.
    const QString settings = Prefs::fileName();
    QFile::remove(settings);
    ASSERT_TRUE(QDir().mkpath(settings));
    QStringList notices;
    app->onNotice = [&](const QString& title, const QString&) { notices << title; };
    launch();
    app->toggleShake();
    app->toggleAutoUpdates();
    QDir(settings).removeRecursively();
    EXPECT_EQ(notices, QStringList{"Kavo couldn't save its settings"});
    EXPECT_TRUE(alerts.empty()) << "a welcome that cannot be remembered would come at every start";
    EXPECT_FALSE(app->shake().isEnabled) << "the change holds while Kavo runs";
}

TEST_F(AppDelegateTest, ShakeEnabledFalseStillStartsTheDetector)
{
    Prefs::setValue(Prefs::shakeEnabled, false);
    launch();
    EXPECT_FALSE(app->shake().isEnabled);
    QMenu menu;
    menuAction(menu, "Shake While Dragging to Open")->trigger();
    EXPECT_TRUE(Prefs::boolValue(Prefs::shakeEnabled));
    EXPECT_TRUE(app->shake().isEnabled);
    menuAction(menu, "Check for Updates Automatically")->trigger();
    EXPECT_FALSE(Prefs::boolValue(Prefs::checkForUpdates));
}

TEST_F(AppDelegateTest, AShakeReusesTheOldestNearbyEmptyShelf)
{
    launch();
    ShelfWindowController* first = app->openShelf({500, 400}, false, false);
    const QRect f = first->window()->geometry();
    const qreal midY = f.y() + f.height() / 2.0;

    // 59 points left of the left edge: reused (and wiggled), nothing new.
    EXPECT_EQ(app->openShelf({f.x() - 59.0, midY}, true, false), first);
    EXPECT_EQ(app->shelves().size(), 1u);
    EXPECT_TRUE(first->content()->isPopping());
    // 61 points: a new shelf.
    ShelfWindowController* second = app->openShelf({f.x() - 61.0, midY}, true, false);
    EXPECT_NE(second, first);
    EXPECT_EQ(app->shelves().size(), 2u);
    // Both near now: the older wins.
    EXPECT_EQ(app->openShelf({f.x() + 10.0, midY}, true, false), first);
    // Half-open: the far edge grown by 60 is outside.
    EXPECT_NE(app->openShelf({f.x() + f.width() + 60.0, midY}, true, false), first);
}

TEST_F(AppDelegateTest, AShelfWithItemsIsNeverReusedAndKeysAndMenuAlwaysOpenNew)
{
    launch();
    ShelfWindowController* holding = shelfWithItems({500, 400}, 1);
    EXPECT_NE(app->openShelf({500, 400}, true, false), holding);
    const size_t before = app->shelves().size();
    app->openShelf({500, 400}, false, false);
    app->openShelf({500, 400}, false, false);
    EXPECT_EQ(app->shelves().size(), before + 2) << "hot key twice: two shelves";
    app->newShelfFromMenu();
    app->newShelfFromMenu();
    ASSERT_EQ(app->shelves().size(), before + 4);
    const QRect a = app->shelves()[before + 2]->window()->geometry();
    const QRect b = app->shelves()[before + 3]->window()->geometry();
    EXPECT_EQ(a, b) << "twice at the same place under the tray";
    // Without a tray: near the top right of the screen, top edge anchored.
    const QRect v = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(a.y(), v.y() + 40);
}

TEST_F(AppDelegateTest, CloseAllEmptiesTheRegistryAfterTheFades)
{
    launch();
    app->closeAll(); // nothing to do
    app->openShelf({200, 200}, false, false);
    shelfWithItems({500, 400}, 2);
    app->openShelf({800, 300}, false, false);
    app->closeAll();
    EXPECT_EQ(app->shelves().size(), 3u) << "they leave as their fades end";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return app->shelves().empty(); }));
}

TEST_F(AppDelegateTest, FocusBringsAShelfForward)
{
    launch();
    ShelfWindowController* s = shelfWithItems({500, 400}, 2);
    QMenu menu;
    menuAction(menu, "2 items")->trigger();
    EXPECT_TRUE(s->content()->isPopping());
    EXPECT_TRUE(s->window()->isVisible());
}

TEST_F(AppDelegateTest, LoginToggleWritesAndDeletesTheAutostartEntry)
{
    launch();
    QMenu menu;
    menuAction(menu, "Open at Login")->trigger();
    ASSERT_TRUE(QFileInfo::exists(LoginItem::entryPath()));
    EXPECT_TRUE(LoginItem::isEnabled());
    EXPECT_TRUE(menuAction(menu, "Open at Login")->isChecked());
    QFile f(LoginItem::entryPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray entry = f.readAll();
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nExec="));
    f.close();
    menuAction(menu, "Open at Login")->trigger();
    EXPECT_FALSE(QFileInfo::exists(LoginItem::entryPath()));
    EXPECT_TRUE(alerts.empty());

    // An entry that says Hidden=true is off.
    ASSERT_TRUE(TestEnv::writeFile(LoginItem::entryPath(), "[Desktop Entry]\nHidden=true\n"));
    EXPECT_FALSE(LoginItem::isEnabled());
}

TEST_F(AppDelegateTest, AnUnwritableAutostartFolderShowsTheFailureAlert)
{
    launch();
    const QString folder = QFileInfo(LoginItem::entryPath()).absolutePath();
    QDir(folder).removeRecursively();
    // A file where the folder should be cannot be written, even by root.
    ASSERT_TRUE(TestEnv::writeFile(folder, "not a folder"));
    app->toggleLogin();
    QFile::remove(folder);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, "Couldn't change Open at Login");
    EXPECT_TRUE(alerts[0].text.endsWith(
        "\n\nMake sure your autostart folder can be written, then try again. You can also add "
        "Kavo in your desktop's startup applications settings."));
    EXPECT_TRUE(alerts[0].buttons.isEmpty());
}

TEST_F(AppDelegateTest, ListDescribesTheOpenShelves)
{
    launch();
    ShelfWindowController* s = shelfWithItems({500, 400}, 2);
    s->content()->toggleList();
    const QJsonArray shelves = app->listJson().value("shelves").toArray();
    ASSERT_EQ(shelves.size(), 1);
    const QJsonObject one = shelves[0].toObject();
    EXPECT_EQ(one.value("mode").toString(), "list");
    EXPECT_TRUE(one.value("visible").toBool());
    EXPECT_EQ(one.value("frame").toArray().size(), 4);
    EXPECT_EQ(one.value("frame").toArray()[2].toInt(), 216);
    const QJsonArray items = one.value("items").toArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].toObject().value("path").toString(), s->store()->items[0]->path());
    EXPECT_FALSE(items[0].toObject().value("temporary").toBool());

    const QJsonObject added = app->handleRequest(
        {{"command", "new-shelf"}, {"files", QJsonArray{files.make(1)[0].toLocalFile()}}});
    EXPECT_TRUE(added.value("ok").toBool());
    EXPECT_EQ(app->shelves().size(), 2u);
    EXPECT_EQ(app->shelves()[1]->store()->items.size(), 1);
    EXPECT_TRUE(app->handleRequest({{"command", "bogus"}}).contains("error"));

    // Files come as file URLs, which keep every byte of a name, or as
    // absolute paths; anything else refuses the whole request.
    const QJsonObject byUri = app->handleRequest(
        {{"command", "new-shelf"}, {"files", QJsonArray{"file:///tmp/%FF%FE.txt"}}});
    EXPECT_TRUE(byUri.value("ok").toBool());
    EXPECT_EQ(app->shelves()[2]->store()->items[0]->nativePath(), QByteArray("/tmp/\xff\xfe.txt"));
    const QJsonObject listed = app->listJson().value("shelves").toArray()[2].toObject();
    EXPECT_EQ(listed.value("items").toArray()[0].toObject().value("uri").toString(),
              "file:///tmp/%FF%FE.txt");
    for (const char* bad : {"relative/path.txt", "file://otherhost/etc/passwd", "file:relative.txt",
                            "https://example.org/"}) {
        const QJsonObject refused =
            app->handleRequest({{"command", "new-shelf"}, {"files", QJsonArray{"/tmp/ok", bad}}});
        EXPECT_TRUE(refused.value("error").toString().startsWith("not a local file")) << bad;
    }
    EXPECT_EQ(app->shelves().size(), 3u) << "a refused request opens nothing";
}

} // namespace
