#include "app/TrayMenu.h"

#include "app/HotKey.h"
#include "app/ShelfRegistry.h"
#include "app/ShortcutDialog.h"
#include "core/Prefs.h"
#include "drops/DropReader.h"
#include "platform/Alerts.h"
#include "platform/ClipboardReader.h"
#include "platform/FileIcons.h"
#include "platform/freedesktop/FileManager.h"
#include "platform/freedesktop/LoginItem.h"
#include "platform/Symbols.h"
#include "platform/x11/TrayColors.h"
#include "shake/ShakeDetector.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfWindowController.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QInputEvent>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

QString welcomeText()
{
    return QStringList{
        TrayMenu::tr("A place to park files while you move them around."),
        QString(),
        TrayMenu::tr("\u2022 Start dragging any file and give the mouse a quick shake. A shelf "
                     "appears under the cursor, so drop the file on it."),
        TrayMenu::tr("\u2022 Press Ctrl+Alt+Space, or use the tray icon in the system tray, to "
                     "open an empty shelf."),
        TrayMenu::tr("\u2022 Drag the stack off the shelf to drop every file at once, or click "
                     "the list button to drag files one at a time."),
        QString(),
        TrayMenu::tr("Kavo doesn't need any special permissions.")}
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

TrayMenu::TrayMenu(ShelfRegistry& shelves, ShakeDetector& shake, UpdateChecker& updates,
                   HotKey& hotKey)
    : onAlert(Alerts::show), onOffer(Alerts::offer), onOpenUrl(FileManager::open),
      tipAddress(QStringLiteral(KAVO_TIP_URL)), m_shelves(shelves), m_shake(shake),
      m_updates(updates), m_hotKey(hotKey), m_menu(new QMenu), m_updateLater(new QTimer(this))
{
    m_updateLater->setSingleShot(true);
    m_updateLater->setInterval(menuUpdateDelayMs);
    connect(m_updateLater, &QTimer::timeout, this, &TrayMenu::updateMenu);
    // Opening it brings it up to date at once (a login entry changed by
    // hand, a tray that asks first); what waited while it was open follows
    // when it closes.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayMenu::updateMenu);
    connect(m_menu, &QMenu::aboutToHide, this, &TrayMenu::updateMenuSoon);
    // The click or key that picks an entry of the menu on show (an XEmbed
    // tray's) is the user's action that a new shelf asks for the focus with.
    m_menu->installEventFilter(this);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { m_menuInputTime = 0; });
    QPointer<TrayMenu> self(this);
    // "New Shelf from Clipboard" follows the clipboard.
    connect(ClipboardReader::shared(), &ClipboardReader::formatsChanged, this,
            &TrayMenu::updateMenuSoon);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &TrayMenu::updateMenuSoon);
    m_shelves.onChange = [self] {
        if (self)
            self->updateMenuSoon();
    };
}

TrayMenu::~TrayMenu()
{
    delete m_menu;
}

bool TrayMenu::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_menu &&
        (e->type() == QEvent::MouseButtonRelease || e->type() == QEvent::KeyPress))
        m_menuInputTime = quint32(static_cast<const QInputEvent*>(e)->timestamp());
    return QObject::eventFilter(watched, e);
}

QString TrayMenu::statusSymbol() const
{
    return m_updates.available() ? QStringLiteral("bag.fill.badge.plus")
                                 : QStringLiteral("bag.fill");
}

void TrayMenu::refreshStatusIcon()
{
    if (!m_statusItem)
        return;
    updateMenuSoon();
    if (m_dbusTray) {
        // D-Bus trays recolour a symbolic icon to suit their panel, given
        // by its name in the icon theme (installed with Kavo).
        FileIcons::ensureIconTheme();
        const QString name = m_updates.available() ? QStringLiteral(KAVO_APP_ID "-update-symbolic")
                                                   : QStringLiteral(KAVO_APP_ID "-symbolic");
        m_statusItem->setIcon(QIcon::fromTheme(name, drawnTrayIcon(statusSymbol())));
        return;
    }
    m_statusItem->setIcon(drawnTrayIcon(statusSymbol()));
}

QString TrayMenu::menuText(const QString& text, bool dbusMenu)
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

void TrayMenu::createStatusItem()
{
    m_dbusTray = dbusTrayRuns();
    m_statusItem = new QSystemTrayIcon(this);
    m_statusItem->setToolTip(tr("Kavo"));
    m_statusItem->setContextMenu(m_menu);
    // A left click opens the menu too: the icon has nothing else to do. An
    // XEmbed tray says where the icon is. A D-Bus tray does not, and passes
    // the click on (Qt tells it that the icon is not only a menu), but the
    // click was just made at the pointer.
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason != QSystemTrayIcon::Trigger)
                    return;
                const QRect icon = m_statusItem->geometry();
                if (icon.isValid())
                    m_menu->popup(icon.bottomLeft());
                else if (m_dbusTray)
                    m_menu->popup(QCursor::pos());
            });
    // Built before the tray first reads it, and looked at again soon after,
    // when the start has chosen the hot key that "New Shelf" shows.
    updateMenu();
    refreshStatusIcon();
    m_statusItem->show();
    // An XEmbed tray shows its panel's colour only once it has taken the
    // icon: draw the icon again for it then (a few looks, not a poll).
    if (!m_dbusTray) {
        QPointer<TrayMenu> self(this);
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

TrayMenu::Shown TrayMenu::shownNow() const
{
    Shown shown;
    if (const auto release = m_updates.available())
        shown.update = release->version;
    shown.shortcut = m_hotKey.workingText();
    for (const auto& shelf : m_shelves.shelves()) {
        if (!shelf->store()->items.isEmpty())
            shown.shelves.append({shelf.get(), shelf->store()->summary()});
    }
    shown.toggles = {Prefs::value(Prefs::shakeEnabled), LoginItem::isEnabled(),
                     Prefs::value(Prefs::checkForUpdates), Prefs::value(Prefs::reopenShelves)};
    shown.tip = !tipAddress.isEmpty();
    shown.dbusMenu = m_dbusTray;
    shown.canPaste = DropReader::canPaste();
    return shown;
}

void TrayMenu::updateMenuSoon()
{
    if (!m_updateLater->isActive())
        m_updateLater->start();
}

void TrayMenu::updateMenu()
{
    // An open menu keeps its entries under the pointer; the one that opens
    // next is current.
    if (m_menu->isVisible())
        return;
    m_updateLater->stop();
    Shown now = shownNow();
    if (m_shown == now)
        return;
    fill(m_menu, now, m_entries);
    m_shown = std::move(now);
}

void TrayMenu::rebuild(QMenu* menu)
{
    Entries entries;
    fill(menu, shownNow(), entries);
}

void TrayMenu::fill(QMenu* menu, const Shown& shown, Entries& e)
{
    // The entries every menu has are made once and then changed in place:
    // a D-Bus tray names an entry by the id it read, which lives only as
    // long as the entry's action, so a click made just as a shelf changed
    // still reaches "Quit Kavo" or a toggle.
    if (!e.quit) {
        e.newShelf = menu->addAction(tr("New Shelf"), this, &TrayMenu::newShelf);
        e.newShelf->setShortcutVisibleInContextMenu(true);
        e.fromClipboard = menu->addAction(tr("New Shelf from Clipboard"), this,
                                          &TrayMenu::newShelfFromClipboard);
        e.toggles = menu->addSeparator();
        const auto toggle = [&](const QString& text, auto slot) {
            QAction* action = menu->addAction(text, this, slot);
            action->setCheckable(true);
            return action;
        };
        e.shake = toggle(tr("Shake While Dragging to Open"), &TrayMenu::toggleShake);
        e.login = toggle(tr("Open at Login"), &TrayMenu::toggleLogin);
        e.reopen = toggle(tr("Reopen Shelves at Start"), &TrayMenu::toggleReopenShelves);
        e.autoUpdates = toggle(tr("Check for Updates Automatically"), &TrayMenu::toggleAutoUpdates);
        menu->addAction(tr("Keyboard Shortcut\u2026"), this, &TrayMenu::chooseShortcut);
        menu->addSeparator();
        e.checkNow = menu->addAction(tr("Check for Updates\u2026"), this, &TrayMenu::checkForUpdatesNow);
        menu->addAction(tr("How to Use Kavo\u2026"), this, &TrayMenu::showWelcome);
        menu->addAction(menuText(tr("Version %1").arg(UpdateChecker::currentVersion()), shown.dbusMenu))
            ->setEnabled(false);
        // exit(), not quit(): Qt's quit() first asks every window to close,
        // and a shelf answers that by fading out instead, which would cancel
        // the quit and lose the shelves that the next start brings back.
        e.quit = menu->addAction(tr("Quit Kavo"), qApp, [] { QCoreApplication::exit(0); });
        e.quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        e.quit->setShortcutVisibleInContextMenu(true);
    }
    // The shortcut that works now, or none; on the portal path the desktop
    // describes it, perhaps in words that name no keys.
    const QKeySequence working = QKeySequence::fromString(shown.shortcut, QKeySequence::NativeText);
    e.newShelf->setShortcut(working.count() == 1 && working[0].key() != Qt::Key_unknown ? working
                                                                                         : QKeySequence());
    e.fromClipboard->setEnabled(shown.canPaste);
    e.shake->setChecked(shown.toggles.shake);
    e.login->setChecked(shown.toggles.login);
    e.reopen->setChecked(shown.toggles.reopenShelves);
    e.autoUpdates->setChecked(shown.toggles.autoUpdates);

    // The release on offer, above everything.
    if (e.update != shown.update) {
        qDeleteAll(std::exchange(e.updateRun, {}));
        if (shown.update) {
            QAction* offer = new QAction(menuIcon(QStringLiteral("arrow.down.circle.fill")),
                                         menuText(tr("Update Available: Kavo %1\u2026").arg(*shown.update),
                                                  shown.dbusMenu),
                                         menu);
            connect(offer, &QAction::triggered, this, &TrayMenu::downloadUpdate);
            QAction* separator = new QAction(menu);
            separator->setSeparator(true);
            e.updateRun = {offer, separator};
            menu->insertActions(e.newShelf, e.updateRun);
        }
        e.update = shown.update;
    }

    // The shelves holding items, each entry reused for the shelf in its place.
    if (shown.shelves.isEmpty() != e.shelvesRun.isEmpty()) {
        qDeleteAll(std::exchange(e.shelvesRun, {}));
        e.shelfEntries.clear();
        if (!shown.shelves.isEmpty()) {
            QAction* separator = new QAction(menu);
            separator->setSeparator(true);
            // A title, as a disabled entry: D-Bus menus show a section's
            // title as a bare separator.
            QAction* title = new QAction(tr("Open Shelves"), menu);
            title->setEnabled(false);
            e.closeAll = new QAction(tr("Close All Shelves"), menu);
            connect(e.closeAll, &QAction::triggered, this, [this] { m_shelves.closeAll(); });
            e.shelvesRun = {separator, title, e.closeAll};
            menu->insertActions(e.toggles, e.shelvesRun);
        }
    }
    while (e.shelfEntries.size() > shown.shelves.size()) {
        QAction* gone = e.shelfEntries.takeLast();
        e.shelvesRun.removeOne(gone);
        delete gone;
    }
    while (e.shelfEntries.size() < shown.shelves.size()) {
        QAction* entry = new QAction(menuIcon(QStringLiteral("square.stack")), QString(), menu);
        connect(entry, &QAction::triggered, this, [entry] {
            if (const auto shelf = entry->data().value<QPointer<ShelfWindowController>>())
                ShelfRegistry::focus(shelf);
        });
        menu->insertAction(e.closeAll, entry);
        e.shelfEntries.append(entry);
        e.shelvesRun.append(entry);
    }
    for (qsizetype i = 0; i < shown.shelves.size(); ++i) {
        const auto& [shelf, summary] = shown.shelves[i];
        e.shelfEntries[i]->setText(menuText(summary, shown.dbusMenu));
        e.shelfEntries[i]->setData(QVariant::fromValue(shelf));
    }

    if (shown.tip != !e.tipRun.isEmpty()) {
        qDeleteAll(std::exchange(e.tipRun, {}));
        if (shown.tip) {
            QAction* tip = new QAction(tr("Support Kavo on Ko-fi \u2615"), menu);
            connect(tip, &QAction::triggered, this, &TrayMenu::openSupport);
            e.tipRun = {tip};
            menu->insertActions(e.checkNow, e.tipRun);
        }
    }
}

void TrayMenu::downloadUpdate()
{
    if (const auto release = m_updates.available()) {
        const QUrl url = UpdateChecker::downloadURL(release->url);
        if (!url.isEmpty())
            openUrl(url);
    }
}

void TrayMenu::newShelf()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::screens().first();
    QPointF point(0, 0);
    if (screen) {
        const QRect v = screen->availableGeometry();
        point = QPointF(v.x() + v.width() - cornerInset.x(), v.y() + cornerInset.y());
    }
    // A D-Bus tray's menu is drawn by the tray, which keeps the time of the
    // click to itself.
    const quint32 userTime = m_dbusTray ? 0 : std::exchange(m_menuInputTime, 0);
    // Beside the tray icon, off its panel. A D-Bus tray does not say where
    // the icon is; the pointer that has just clicked the menu is near it.
    if (m_statusItem) {
        const QRect r = m_statusItem->geometry();
        m_shelves.openShelfBeside(r.isValid() && !r.isEmpty() ? QRectF(r)
                                                              : QRectF(QCursor::pos(), QSizeF()),
                                  userTime);
        return;
    }
    m_shelves.openShelf(point, ShelfOrigin::Menu, userTime);
}

void TrayMenu::newShelfFromClipboard()
{
    const std::size_t before = m_shelves.shelves().size();
    newShelf();
    if (m_shelves.shelves().size() <= before)
        return;
    const QPointer<ShelfWindowController> shelf = m_shelves.shelves().back().get();
    shelf->content()->paste([shelf](bool taken) {
        if (shelf && !taken && shelf->store()->items.isEmpty())
            shelf->close();
    });
}

void TrayMenu::toggleShake()
{
    const bool on = !Prefs::value(Prefs::shakeEnabled);
    Prefs::setValue(Prefs::shakeEnabled, on);
    m_shake.isEnabled = on;
    updateMenuSoon();
}

void TrayMenu::toggleLogin()
{
    QString error;
    const bool changed = LoginItem::setEnabled(!LoginItem::isEnabled(), &error);
    updateMenuSoon();
    if (changed)
        return;
    alert(tr("Couldn't change Open at Login"),
          error + QStringLiteral("\n\n") +
              tr("Make sure your autostart folder can be written, then try again. You can also "
                 "add Kavo in your desktop's startup applications settings."));
}

void TrayMenu::toggleAutoUpdates()
{
    Prefs::setValue(Prefs::checkForUpdates, !Prefs::value(Prefs::checkForUpdates));
    updateMenuSoon();
}

void TrayMenu::toggleReopenShelves()
{
    // Read at the quit: the shelves open now stay either way.
    Prefs::setValue(Prefs::reopenShelves, !Prefs::value(Prefs::reopenShelves));
    updateMenuSoon();
}

void TrayMenu::chooseShortcut()
{
    if (m_shortcutDialog) {
        m_shortcutDialog->raise();
        m_shortcutDialog->activateWindow();
        return;
    }
    auto* dialog = new ShortcutDialog(HotKey::fromPreference(Prefs::value(Prefs::hotKey)),
                                      m_hotKey.canConfigure());
    m_shortcutDialog = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TrayMenu> self(this);
    dialog->onOpenDesktopSettings = [self] {
        if (self)
            self->m_hotKey.configure();
    };
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const auto key = dialog->choice();
        m_hotKey.apply(key);
        Prefs::setValue(Prefs::hotKey, key ? HotKey::portableText(*key) : QString());
        updateMenuSoon();
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void TrayMenu::openSupport()
{
    const QUrl url(tipAddress, QUrl::StrictMode);
    if (!tipAddress.isEmpty() && url.isValid() && !url.scheme().isEmpty())
        openUrl(url);
}

void TrayMenu::checkForUpdatesNow()
{
    m_updates.check(true);
}

void TrayMenu::showWelcome()
{
    QString text = welcomeText();
    QStringList buttons{tr("Got It")};
    if (!tipAddress.isEmpty()) {
        text += QStringLiteral("\n\n") +
                tr("Kavo is free. If it saves you time, you can leave a tip on Ko-fi from the "
                   "tray icon whenever you like.");
        buttons << tr("Support on Ko-fi \u2615");
    }
    // It waits for the user without holding anything up: a shelf asked for
    // with the first start opens beside it, and other windows take input.
    QPointer<TrayMenu> self(this);
    if (onOffer)
        onOffer(tr("Kavo is in your system tray"), text, buttons, [self](int chosen) {
            if (chosen == 1 && self)
                self->openSupport();
        });
}

int TrayMenu::alert(const QString& title, const QString& text, const QStringList& buttons)
{
    const UpdateChecker::AlertHook hook = onAlert; // the alert may outlive this object
    return hook ? hook(title, text, buttons) : -1;
}

void TrayMenu::openUrl(const QUrl& url)
{
    if (onOpenUrl)
        onOpenUrl(url);
}
