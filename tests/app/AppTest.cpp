// The program's shell: its command line, the shelves it keeps, the tray menu
// and its actions, the start-up, the commands of other `kavo` processes.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/CommandServer.h"
#include "app/HotKey.h"
#include "app/ShelfRegistry.h"
#include "app/TrayMenu.h"
#include "core/Prefs.h"
#include "platform/freedesktop/LoginItem.h"
#include "shake/ShakeDetector.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include "Shelf.h"

#include <QAction>
#include <QJsonArray>
#include <QMenu>
#include <QScreen>
#include <QSettings>

#include <algorithm>

namespace {

using Kind = CommandLine::Kind;

TEST(CommandLineTest, EachCommandWithItsArgumentsOrWhyNot)
{
    QTemporaryDir dir;
    // Files named like the options of Qt and of Kavo.
    for (const char* name : {"a file.txt", "-display", "-platformpluginpath", "-session", "--", "-", "--list"})
        TestEnv::writeFile(dir.filePath(name), "x");
    const QByteArray here = QFile::encodeName(QDir::cleanPath(dir.path()));
    using Args = QList<QByteArray>;
    // Arguments → the command, its files, its error or snapshot folder, and
    // what Qt's application object is given after the program path.
    const struct { Args args; Kind kind; Args files; QString more; Args qt; } cases[] = {
        {{}, Kind::Start, {}, {}, {}}, {{"--list"}, Kind::List, {}, {}, {}},
        {{"--list", "x"}, Kind::Error, {}, "--list takes no arguments", {}},
        {{"--new-shelf", "a file.txt", "./"}, Kind::NewShelf, {here + "/a file.txt", here}, {}, {}},
        {{"--snapshot", "out", "a file.txt"}, Kind::Snapshot, {here + "/a file.txt"}, "out", {}},
        {{"--snapshot", "out"}, Kind::Snapshot, {}, "out", {}}, {{"--snapshot"}, Kind::Start, {}, {}, {}},
        // Qt's own options before the command, as a session manager or a user gives them.
        {{"-session", "1234abc", "-reverse"}, Kind::Start, {}, {}, {"-session", "1234abc", "-reverse"}},
        {{"-session=1234abc", "-stylesheet", "x.qss", "--list"}, Kind::List, {}, {}, {"-session=1234abc", "-stylesheet", "x.qss"}},
        // After the command every argument is the command's, never Qt's.
        {{"--new-shelf", "-display", "-platformpluginpath", "-session"}, Kind::NewShelf,
         {here + "/-display", here + "/-platformpluginpath", here + "/-session"}, {}, {}},
        {{"-reverse", "--new-shelf", "-platformpluginpath", "a file.txt"}, Kind::NewShelf,
         {here + "/-platformpluginpath", here + "/a file.txt"}, {}, {"-reverse"}},
        {{"--new-shelf", "-display", ":1"}, Kind::Error, {}, "no such file: :1", {}},
        {{"--new-shelf", "--list"}, Kind::NewShelf, {here + "/--list"}, {}, {}},
        // "--" ends the options: the first one is not a file, a later one is.
        {{"--new-shelf", "--", "--", "-"}, Kind::NewShelf, {here + "/--", here + "/-"}, {}, {}},
        {{"--new-shelf", "--"}, Kind::NewShelf, {}, {}, {}},
        {{"-reverse", "--", "-session", "x"}, Kind::Error, {}, "unknown option: -session", {"-reverse"}},
        {{"--snapshot", "--", "-display", "-"}, Kind::Snapshot, {here + "/-"}, "-display", {}},
    };
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    for (const auto& c : cases) {
        const CommandLine cl = CommandLine::parse(Args{"kavo"} + c.args);
        EXPECT_EQ(cl.kind, c.kind) << c.args.join(' ').toStdString();
        EXPECT_EQ(cl.files, c.files) << c.args.join(' ').toStdString();
        EXPECT_EQ(c.kind == Kind::Snapshot ? cl.snapshotFolder : cl.error, c.more) << c.args.join(' ').toStdString();
        EXPECT_EQ(cl.qtArguments, Args{"kavo"} + c.qt) << c.args.join(' ').toStdString();
    }
    QDir::setCurrent(before);
}

TEST(HotKeyTest, ThePreferenceNamesAKeyWithCtrlAltOrSuperElseTheDefaultOrNone)
{
    const QKeyCombination fallback = HotKey::defaultKey;
    const struct { QString text; std::optional<QKeyCombination> key; } cases[] = {
        {"Ctrl+Alt+Space", fallback}, {"Ctrl+Alt+K", Qt::CTRL | Qt::ALT | Qt::Key_K},
        {" Meta+F12 ", Qt::META | Qt::Key_F12}, {"Shift+Alt+1", Qt::SHIFT | Qt::ALT | Qt::Key_1},
        {"", std::nullopt}, {"  ", std::nullopt}, // turned off
        {"garbage", fallback}, {"K", fallback}, {"Shift+K", fallback}, {"F5", fallback}, // no modifier
        {"Ctrl+Alt", fallback}, {"Ctrl", fallback}, {"Ctrl+Alt+K, Ctrl+J", fallback},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotKey::fromPreference(c.text), c.key) << c.text.toStdString();
}

// The whole program wired as main wires it, on the offscreen platform, with
// alerts caught.
class AppTest : public ::testing::Test
{
protected:
    AppTest()
    {
        QSettings(Prefs::fileName(), QSettings::IniFormat).clear();
        Prefs::resetRegisteredDefaults();
        Prefs::setValue(Prefs::hasLaunchedBefore, true); // not a first launch unless said
        QFile::remove(LoginItem::entryPath());
        app->tray().onAlert = [this](const QString& title, const QString&, const QStringList&) {
            alerts << title;
            return 0;
        };
        app->tray().onOffer = [this](const QString& title, const QString&, const QStringList&, auto) {
            alerts << title;
        };
        app->commands().pointerLocation = [] { return QPointF(500, 400); };
        app->onNotice = [this](const QString& title, const QString&) { notices << title; };
    }
    ShelfWindowController* open(QPointF at, ShelfOrigin origin = ShelfOrigin::HotKey)
    {
        return app->shelves().openShelf(at, origin);
    }
    const auto& shelves() { return app->shelves().shelves(); }
    // The tray menu as it opens now; `find` gets the action of that title.
    QStringList menu(const QString& title = {}, QAction** find = nullptr)
    {
        m_menu.clear();
        app->tray().rebuild(&m_menu);
        QStringList titles;
        for (QAction* a : m_menu.actions()) {
            titles << (a->isSeparator() ? "---" : a->text());
            if (find && a->text() == title)
                *find = a;
        }
        return titles;
    }
    void trigger(const QString& title)
    {
        QAction* a = nullptr;
        menu(title, &a);
        ASSERT_TRUE(a) << title.toStdString();
        a->trigger();
    }

    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    std::unique_ptr<AppDelegate> app = std::make_unique<AppDelegate>();
    QStringList alerts, notices;
    QMenu m_menu;
};

TEST_F(AppTest, AShakeReusesTheOldestNearbyEmptyShelfAndNothingElseReuses)
{
    app->launch();
    ShelfWindowController* first = open({500, 400});
    const QRectF f = first->window()->geometry();
    const qreal reach = ShelfRegistry::reuseMargin, y = f.center().y();
    EXPECT_EQ(open({f.x() - reach + 1, y}, ShelfOrigin::Shake), first);
    EXPECT_TRUE(first->content()->isPopping()) << "reused with a wiggle";
    ShelfWindowController* second = open({f.x() - reach - 1, y}, ShelfOrigin::Shake);
    EXPECT_NE(second, first);
    EXPECT_EQ(open({f.x() + 10, y}, ShelfOrigin::Shake), first) << "the older wins";
    EXPECT_NE(open({f.x() + f.width() + reach, y}, ShelfOrigin::Shake), first) << "half-open";
    first->store()->add(files.make(1), false);
    EXPECT_NE(open({f.x() + 10, y}, ShelfOrigin::Shake), first) << "it holds something now";
    const size_t before = shelves().size();
    for (const ShelfOrigin o : {ShelfOrigin::HotKey, ShelfOrigin::CommandLine})
        open({second->window()->x() + 10.0, y}, o);
    // "New Shelf" without a tray: near the top right corner, top edge there.
    trigger("New Shelf");
    ASSERT_EQ(shelves().size(), before + 3);
    EXPECT_EQ(shelves().back()->window()->y(), QGuiApplication::primaryScreen()->availableGeometry().y() + 40);
    app->shelves().closeAll();
    EXPECT_EQ(shelves().size(), before + 3) << "they leave as their fades end";
    EXPECT_TRUE(TestEnv::waitUntil([&] { return shelves().empty(); }));
}

TEST_F(AppTest, TogglesWriteTheirSettingsAndTheLoginEntry)
{
    Prefs::setValue(Prefs::shakeEnabled, false);
    app->launch();
    EXPECT_FALSE(app->shake().isEnabled) << "read at start";
    trigger("Shake While Dragging to Open");
    EXPECT_TRUE(Prefs::value(Prefs::shakeEnabled) && app->shake().isEnabled);
    trigger("Open at Login");
    QAction* login = nullptr;
    menu("Open at Login", &login);
    EXPECT_TRUE(LoginItem::isEnabled() && login->isChecked());
    trigger("Open at Login");
    EXPECT_FALSE(QFileInfo::exists(LoginItem::entryPath()));
    TestEnv::writeFile(LoginItem::entryPath(), "[Desktop Entry]\nHidden=true\n");
    EXPECT_FALSE(LoginItem::isEnabled()) << "an entry that says Hidden=true is off";
    // A file where the autostart folder belongs cannot be written, even by root.
    const QString folder = QFileInfo(LoginItem::entryPath()).absolutePath();
    QDir(folder).removeRecursively();
    TestEnv::writeFile(folder, "not a folder");
    app->tray().toggleLogin();
    QFile::remove(folder);
    EXPECT_EQ(alerts, QStringList{"Couldn't change Open at Login"});
}

TEST_F(AppTest, SettingsThatCannotBeSavedAreToldOnceInsteadOfTheWelcome)
{
    Prefs::remove(Prefs::hasLaunchedBefore);
    const QString settings = Prefs::fileName();
    QFile::remove(settings);
    QDir().mkpath(settings); // a folder where the file belongs
    app->launch();
    app->tray().toggleShake();
    app->tray().toggleAutoUpdates();
    QDir(settings).removeRecursively();
    EXPECT_EQ(notices, QStringList{"Kavo couldn't save its settings"});
    EXPECT_TRUE(alerts.isEmpty()) << "a welcome that cannot be remembered would come at every start";
    EXPECT_FALSE(app->shake().isEnabled) << "the change holds while Kavo runs";
}

TEST_F(AppTest, OtherProcessesOpenShelvesOfLocalFilesOnly)
{
    app->launch();
    CommandServer& commands = app->commands();
    // Files come as file URLs, which keep every byte of a name, or as
    // absolute paths; anything else refuses the whole request.
    const QString made = files.make(1)[0].toLocalFile();
    EXPECT_TRUE(commands.answer({{"command", "new-shelf"}, {"files", QJsonArray{made, "file:///tmp/%FF%FE.txt"}}})
                    .value("ok")
                    .toBool());
    ASSERT_EQ(shelves().size(), 1u);
    EXPECT_EQ(shelves()[0]->store()->items[1]->nativePath(), QByteArray("/tmp/\xff\xfe.txt"));
    for (const char* bad :
         {"relative/path.txt", "file://otherhost/etc/passwd", "file:relative.txt", "https://example.org/"}) {
        const QJsonObject refused = commands.answer({{"command", "new-shelf"}, {"files", QJsonArray{"/tmp/ok", bad}}});
        EXPECT_TRUE(refused.value("error").toString().startsWith("not a local file")) << bad;
    }
    EXPECT_TRUE(commands.answer({{"command", "bogus"}}).contains("error"));
    EXPECT_EQ(shelves().size(), 1u) << "a refused request opens nothing";
}

// Trays may read the menu at any time without opening it: it follows what
// the shelves hold by itself.
TEST_F(AppTest, TheTrayMenuListsTheShelvesAsTheyChangeWithoutBeingOpened)
{
    app->launch();
    const auto listed = [&] {
        return std::ranges::any_of(app->tray().menu()->actions(), [](QAction* a) { return a->text() == "Open Shelves"; });
    };
    ShelfWindowController* shelf = open({500, 400});
    shelf->store()->add(files.make(1), false);
    EXPECT_TRUE(TestEnv::waitUntil(listed));
    shelf->store()->remove(shelf->store()->items);
    EXPECT_TRUE(TestEnv::waitUntil([&] { return !listed(); }));
}

} // namespace
