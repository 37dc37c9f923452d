#include "app/AppDelegate.h"

#include "app/HotKey.h"
#include "app/Prefs.h"
#include "core/NativePath.h"
#include "model/ShelfStore.h"
#include "platform/Alerts.h"
#include "platform/FileManager.h"
#include "platform/LoginItem.h"
#include "platform/FileIcons.h"
#include "platform/Symbols.h"
#include "platform/TrayColors.h"
#include "shake/ShakeDetector.h"
#include "shake/SystemShakeInput.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfPlacement.h"
#include "shelf/ShelfWindowController.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QJsonArray>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

const QString welcomeTitle = QStringLiteral("Kavo is in your system tray");

QString welcomeText()
{
    return QStringList{
        QStringLiteral("A place to park files while you move them around."),
        QString(),
        QStringLiteral("\u2022 Start dragging any file and give the mouse a quick shake. A shelf "
                       "appears under the cursor, so drop the file on it."),
        QStringLiteral("\u2022 Press Ctrl+Alt+Space, or use the tray icon in the system tray, to "
                       "open an empty shelf."),
        QStringLiteral("\u2022 Drag the stack off the shelf to drop every file at once, or click "
                       "the list button to drag files one at a time."),
        QString(),
        QStringLiteral("Kavo doesn't need any special permissions.")}
        .join(u'\n');
}

// The tray icon's symbol drawn in `ink`: the colour of the tray's panel
// where the tray says or shows it, else one that stands out on the
// application's own palette.
QIcon drawnTrayIcon(const QString& symbol)
{
    QColor ink;
    if (const std::optional<QColor> tray = TrayColors::foreground(TrayColors::trayIconWindow())) {
        ink = *tray;
    } else {
        ink = TrayColors::inkFor(QGuiApplication::palette().color(QPalette::Window));
    }
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        const QImage img = Symbols::image(symbol, size, ink, 1.0);
        if (!img.isNull())
            icon.addPixmap(QPixmap::fromImage(img));
    }
    return icon;
}

// Whether the desktop shows tray icons over D-Bus (StatusNotifierItem),
// as KDE Plasma, GNOME with its AppIndicator extension, Xfce and Cinnamon
// do: Qt takes that path whenever a watcher with a host runs, and asks the
// same question when the icon is made.
bool dbusTrayRuns()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return false;
    QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                           QStringLiteral("/StatusNotifierWatcher"),
                           QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

QIcon menuIcon(const QString& symbol)
{
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    QIcon icon;
    for (int size : {16, 32}) {
        const QImage img = Symbols::image(symbol, size, ink, 1.0);
        if (!img.isNull())
            icon.addPixmap(QPixmap::fromImage(img));
    }
    return icon;
}

} // namespace

AppDelegate::AppDelegate(const QUrl& feed)
    : onAlert(Alerts::show), onNotice(Alerts::notify), onOpenUrl(FileManager::open),
      pointerLocation([] { return QPointF(QCursor::pos()); }),
      tipAddress(QStringLiteral(KAVO_TIP_URL)),
      m_shake(std::make_unique<ShakeDetector>(SystemShakeInput::create())),
      m_hotKey(std::make_unique<HotKey>()), m_updates(std::make_unique<UpdateChecker>(feed))
{
}

AppDelegate::~AppDelegate()
{
    // Shelves first: their callbacks point back here.
    m_shelves.clear();
    PreviewPanel::destroyShared();
}

void AppDelegate::applicationDidFinishLaunching(const QStringList& arguments)
{
    QPointer<AppDelegate> self(this);
    // Settings that cannot be kept are said once; Kavo goes on with its
    // defaults.
    Prefs::setFailureHandler([self](const QString& why) {
        if (self && self->onNotice)
            self->onNotice(QStringLiteral("Kavo couldn't save its settings"),
                           why + QStringLiteral("\n\nKavo keeps working with its default "
                                                "settings, but changes to them will not be kept."));
    });
    Prefs::registerDefaults();
    Snapshot::runIfRequested(arguments);
    ShelfStore::cleanUpOldPromises();

    m_menu = std::make_unique<QMenu>();
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] { menuNeedsUpdate(m_menu.get()); });
    // Without a display (snapshots, tests) there is no tray to sit in.
    if (QGuiApplication::platformName() != u"offscreen")
        createStatusItem();

    m_shake->onShake = [self](QPointF p) {
        if (self)
            self->openShelf(p, true, false);
    };
    m_shake->isEnabled = Prefs::boolValue(Prefs::shakeEnabled);
    m_shake->start();

    m_hotKey->registerKey(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, [self] {
        if (self)
            self->openShelf(self->pointerLocation(), false, false);
    });

    m_updates->onChange = [self] {
        if (self)
            self->refreshStatusIcon();
    };
    m_updates->onAlert = [self](const QString& t, const QString& x, const QStringList& b) {
        return self ? self->alert(t, x, b) : -1;
    };
    m_updates->onOpenUrl = [self](const QUrl& url) {
        if (self)
            self->openUrl(url);
    };
    m_updates->start();

    if (!Prefs::boolValue(Prefs::hasLaunchedBefore)) {
        // Written first, so that a dismissed (or crashed) welcome is not
        // shown again. Where it cannot be written the notice about the
        // settings stands in for it: a welcome that cannot be remembered
        // would come back at every start.
        if (Prefs::setValue(Prefs::hasLaunchedBefore, true))
            showWelcome();
    }
}

void AppDelegate::createStatusItem()
{
    m_dbusTray = dbusTrayRuns();
    m_statusItem = new QSystemTrayIcon(this);
    m_statusItem->setToolTip(QStringLiteral("Kavo"));
    m_statusItem->setContextMenu(m_menu.get());
    // A left click opens the menu too: the icon has nothing else to do.
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && m_statusItem->geometry().isValid())
                    m_menu->popup(m_statusItem->geometry().bottomLeft());
            });
    refreshStatusIcon();
    m_statusItem->show();
    // An XEmbed tray shows its panel's colour only once it has taken the
    // icon: draw the icon again for it then (a few looks, not a poll).
    if (!m_dbusTray) {
        QPointer<AppDelegate> self(this);
        for (int ms : {250, 1000, 4000}) {
            QTimer::singleShot(ms, this, [self] {
                if (self && self->m_statusItem && self->m_statusItem->geometry().isValid() &&
                    !self->m_trayInked) {
                    self->m_trayInked =
                        TrayColors::foreground(TrayColors::trayIconWindow()).has_value();
                    self->refreshStatusIcon();
                }
            });
        }
    }
}

ShelfWindowController* AppDelegate::openShelf(const QPointF& point, bool fromShake, bool anchorTop)
{
    if (fromShake) {
        for (const auto& shelf : m_shelves) {
            if (!shelf->store()->items.isEmpty() || !shelf->window() || shelf->isClosing())
                continue;
            const QRectF grown = QRectF(shelf->window()->geometry())
                                     .adjusted(-reuseMargin, -reuseMargin, reuseMargin, reuseMargin);
            if (ShelfPlacement::contains(grown, point)) {
                shelf->orderFront();
                shelf->content()->wiggle();
                return shelf.get();
            }
        }
    }
    auto shelf = std::make_unique<ShelfWindowController>();
    ShelfWindowController* raw = shelf.get();
    QPointer<AppDelegate> self(this);
    QPointer<ShelfWindowController> weak(raw);
    shelf->onClose = [self, weak] {
        if (!self || !weak)
            return;
        auto& list = self->m_shelves;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->get() == weak) {
                // Released later: this runs inside the shelf's own animation.
                it->release()->deleteLater();
                list.erase(it);
                break;
            }
        }
    };
    m_shelves.push_back(std::move(shelf));
    raw->show(point, anchorTop);
    return raw;
}

void AppDelegate::closeAll()
{
    // A copy: shelves leave the registry as their fades end.
    std::vector<ShelfWindowController*> all;
    for (const auto& shelf : m_shelves)
        all.push_back(shelf.get());
    for (ShelfWindowController* shelf : all) {
        if (shelf->window())
            shelf->close();
    }
}

QString AppDelegate::statusSymbol() const
{
    return m_updates->available() ? QStringLiteral("bag.fill.badge.plus")
                                  : QStringLiteral("bag.fill");
}

void AppDelegate::refreshStatusIcon()
{
    if (!m_statusItem)
        return;
    if (m_dbusTray) {
        // D-Bus trays recolour a symbolic icon to suit their panel, given
        // by its name in the icon theme (installed with Kavo).
        FileIcons::ensureIconTheme();
        const QString name = m_updates->available() ? QStringLiteral(KAVO_APP_ID "-update-symbolic")
                                                    : QStringLiteral(KAVO_APP_ID "-symbolic");
        m_statusItem->setIcon(QIcon::fromTheme(name, drawnTrayIcon(statusSymbol())));
        return;
    }
    m_statusItem->setIcon(drawnTrayIcon(statusSymbol()));
}

QString AppDelegate::menuText(const QString& text, bool dbusMenu)
{
    QString t = text;
    if (!dbusMenu) {
        // Qt's menus: "&&" is one "&"; a single "&" would mark an access key.
        t.replace(u'&', QStringLiteral("&&"));
        return t;
    }
    // D-Bus menus mark an access key with "_" ("__" is one "_"), and Qt turns
    // only the first "&" of a text into that mark: a doubled first "&"
    // becomes "_&", the "&" itself as the access key.
    t.replace(u'_', QStringLiteral("__"));
    const qsizetype amp = t.indexOf(u'&');
    if (amp >= 0)
        t.insert(amp, u'&');
    return t;
}

void AppDelegate::menuNeedsUpdate(QMenu* menu)
{
    menu->clear();
    if (const auto release = m_updates->available()) {
        menu->addAction(menuIcon(QStringLiteral("arrow.down.circle.fill")),
                        menuText(QStringLiteral("Update Available: Kavo ") + release->version +
                                     QStringLiteral("\u2026"),
                                 m_dbusTray),
                        this, &AppDelegate::downloadUpdate);
        menu->addSeparator();
    }
    QAction* newShelf =
        menu->addAction(QStringLiteral("New Shelf"), this, &AppDelegate::newShelfFromMenu);
    newShelf->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Space));
    newShelf->setShortcutVisibleInContextMenu(true);

    std::vector<ShelfWindowController*> holding;
    for (const auto& shelf : m_shelves) {
        if (!shelf->store()->items.isEmpty())
            holding.push_back(shelf.get());
    }
    if (!holding.empty()) {
        menu->addSeparator();
        // A title, as a disabled entry: D-Bus menus show a section's title
        // as a bare separator.
        menu->addAction(QStringLiteral("Open Shelves"))->setEnabled(false);
        for (ShelfWindowController* shelf : holding) {
            QPointer<ShelfWindowController> weak(shelf);
            menu->addAction(menuIcon(QStringLiteral("square.stack")),
                            menuText(shelf->store()->summary(), m_dbusTray), this,
                            [this, weak] {
                                if (weak)
                                    focusShelf(weak);
                            });
        }
        menu->addAction(QStringLiteral("Close All Shelves"), this, &AppDelegate::closeAll);
    }
    menu->addSeparator();
    QAction* shake = menu->addAction(QStringLiteral("Shake While Dragging to Open"), this,
                                     &AppDelegate::toggleShake);
    shake->setCheckable(true);
    shake->setChecked(Prefs::boolValue(Prefs::shakeEnabled));
    QAction* login =
        menu->addAction(QStringLiteral("Open at Login"), this, &AppDelegate::toggleLogin);
    login->setCheckable(true);
    login->setChecked(LoginItem::isEnabled());
    QAction* updates = menu->addAction(QStringLiteral("Check for Updates Automatically"), this,
                                       &AppDelegate::toggleAutoUpdates);
    updates->setCheckable(true);
    updates->setChecked(Prefs::boolValue(Prefs::checkForUpdates));
    menu->addSeparator();
    if (!tipAddress.isEmpty())
        menu->addAction(QStringLiteral("Support Kavo on Ko-fi \u2615"), this,
                        &AppDelegate::openSupport);
    menu->addAction(QStringLiteral("Check for Updates\u2026"), this,
                    &AppDelegate::checkForUpdatesNow);
    menu->addAction(QStringLiteral("How to Use Kavo\u2026"), this, &AppDelegate::showWelcome);
    menu->addAction(menuText(QStringLiteral("Version ") + UpdateChecker::currentVersion(), m_dbusTray))
        ->setEnabled(false);
    QAction* quit = menu->addAction(QStringLiteral("Quit Kavo"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutVisibleInContextMenu(true);
}

void AppDelegate::downloadUpdate()
{
    if (const auto release = m_updates->available()) {
        const QUrl url = UpdateChecker::downloadURL(release->url);
        if (!url.isEmpty())
            openUrl(url);
    }
}

void AppDelegate::newShelfFromMenu()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::screens().first();
    QPointF point(0, 0);
    if (screen) {
        const QRect v = screen->availableGeometry();
        point = QPointF(v.x() + v.width() - 160, v.y() + 40);
    }
    // Under the tray icon, when the tray says where it is.
    if (m_statusItem) {
        const QRect r = m_statusItem->geometry();
        if (r.isValid() && !r.isEmpty())
            point = QPointF(r.x() + r.width() / 2.0, r.y() + r.height() + 20);
    }
    openShelf(point, false, true);
}

void AppDelegate::focusShelf(ShelfWindowController* shelf)
{
    if (!shelf)
        return;
    shelf->orderFront();
    shelf->content()->wiggle();
}

void AppDelegate::toggleShake()
{
    const bool on = !Prefs::boolValue(Prefs::shakeEnabled);
    Prefs::setValue(Prefs::shakeEnabled, on);
    m_shake->isEnabled = on;
}

void AppDelegate::toggleLogin()
{
    QString error;
    if (LoginItem::setEnabled(!LoginItem::isEnabled(), &error))
        return;
    alert(QStringLiteral("Couldn't change Open at Login"),
          error + QStringLiteral("\n\nMake sure your autostart folder can be written, then try "
                                 "again. You can also add Kavo in your desktop's startup "
                                 "applications settings."));
}

void AppDelegate::toggleAutoUpdates()
{
    Prefs::setValue(Prefs::checkForUpdates, !Prefs::boolValue(Prefs::checkForUpdates));
}

void AppDelegate::openSupport()
{
    const QUrl url(tipAddress, QUrl::StrictMode);
    if (!tipAddress.isEmpty() && url.isValid() && !url.scheme().isEmpty())
        openUrl(url);
}

void AppDelegate::checkForUpdatesNow() { m_updates->check(true); }

void AppDelegate::showWelcome()
{
    QString text = welcomeText();
    QStringList buttons{QStringLiteral("Got It")};
    if (!tipAddress.isEmpty()) {
        text += QStringLiteral("\n\nKavo is free. If it saves you time, you can leave a tip on "
                               "Ko-fi from the tray icon whenever you like.");
        buttons << QStringLiteral("Support on Ko-fi \u2615");
    }
    QPointer<AppDelegate> self(this);
    if (alert(welcomeTitle, text, buttons) == 1 && self)
        openSupport();
}

int AppDelegate::alert(const QString& title, const QString& text, const QStringList& buttons)
{
    const UpdateChecker::AlertHook hook = onAlert; // the alert may outlive this object
    return hook ? hook(title, text, buttons) : -1;
}

void AppDelegate::openUrl(const QUrl& url)
{
    if (onOpenUrl)
        onOpenUrl(url);
}

QJsonObject AppDelegate::listJson() const
{
    QJsonArray shelves;
    for (const auto& shelf : m_shelves) {
        QJsonArray items;
        for (const ShelfItemPtr& item : shelf->store()->items)
            // The path as text, and the exact bytes in the URL's escapes (a
            // name that is not UTF-8 has no exact text).
            items.append(QJsonObject{{QStringLiteral("path"), item->path()},
                                     {QStringLiteral("uri"),
                                      QString::fromUtf8(item->url().toEncoded())},
                                     {QStringLiteral("temporary"), item->isTemporary()}});
        const QRect frame = shelf->window() ? shelf->window()->geometry() : QRect();
        shelves.append(QJsonObject{
            {QStringLiteral("frame"),
             QJsonArray{frame.x(), frame.y(), frame.width(), frame.height()}},
            {QStringLiteral("visible"), shelf->window() && shelf->window()->isVisible()},
            {QStringLiteral("mode"), shelf->content()->isListMode() ? QStringLiteral("list")
                                                                     : QStringLiteral("stack")},
            {QStringLiteral("items"), items}});
    }
    return {{QStringLiteral("shelves"), shelves}};
}

QJsonObject AppDelegate::handleRequest(const QJsonObject& request)
{
    const QString command = request.value(QStringLiteral("command")).toString();
    if (command == u"ping" || command == u"start")
        return {{QStringLiteral("ok"), true}};
    if (command == u"list")
        return listJson();
    if (command == u"new-shelf") {
        // Files as file URLs (which keep any bytes of their names) or as
        // absolute paths; anything else is refused, and nothing opens.
        QList<QUrl> urls;
        for (const QJsonValue& v : request.value(QStringLiteral("files")).toArray()) {
            const QString text = v.toString();
            const QUrl url = text.startsWith(u'/') ? QUrl::fromLocalFile(text)
                                                   : QUrl(text, QUrl::StrictMode);
            if (!NativePath::isLocalFile(url))
                return {{QStringLiteral("error"),
                         QStringLiteral("not a local file: %1").arg(text.left(200))}};
            urls << url;
        }
        ShelfWindowController* shelf = openShelf(pointerLocation(), false, false);
        shelf->store()->add(urls, false);
        return {{QStringLiteral("ok"), true}};
    }
    return {{QStringLiteral("error"), QStringLiteral("unknown command: %1").arg(command)}};
}
