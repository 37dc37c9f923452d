#pragma once

#include "update/UpdateChecker.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <utility>

class HotKey;
class QMenu;
class QSystemTrayIcon;
class ShortcutDialog;
class ShakeDetector;
class ShelfRegistry;
class ShelfWindowController;
class QAction;
class QTimer;

// The tray icon and its menu, with the menu's actions and the welcome. The
// icon goes to an XEmbed tray drawn for the tray's panel, or to a D-Bus tray
// as a symbolic icon that tray recolours. The menu always holds the entries
// of the moment, rebuilt when what they show changes: a D-Bus tray may read
// it at any time, without saying first that it is about to show it.
class TrayMenu : public QObject
{
    Q_OBJECT
public:
    TrayMenu(ShelfRegistry& shelves, ShakeDetector& shake, UpdateChecker& updates, HotKey& hotKey);
    ~TrayMenu() override;

    // Puts the icon in the system tray (where there is a display).
    void createStatusItem();
    // Fills `menu` with the entries of this moment.
    void rebuild(QMenu* menu);
    // Shows the update state: the icon, and the menu soon after.
    void refreshStatusIcon();
    // The icon's symbol now: "bag.fill", or "bag.fill.badge.plus" while an
    // update is on offer.
    QString statusSymbol() const;
    // Whether the icon goes through a D-Bus tray (StatusNotifierItem).
    bool isDBusTray() const { return m_dbusTray; }
    // A text shown literally as a title of the tray menu, on either path.
    static QString menuText(const QString& text, bool dbusMenu);

    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    QMenu* menu() const { return m_menu; }

    // The menu's actions.
    void downloadUpdate();
    void newShelf();
    // Opens a shelf as newShelf() does and pastes the clipboard into it; a
    // shelf that nothing could be added to closes again.
    void newShelfFromClipboard();
    void toggleShake();
    void toggleLogin();
    void toggleAutoUpdates();
    // Whether a quit or a logout keeps the open shelves for the next start.
    void toggleReopenShelves();
    // Opens the "Keyboard Shortcut" dialog (one at a time); the key chosen
    // there is stored and used at once.
    void chooseShortcut();
    void openSupport();
    void checkForUpdatesNow();
    void showWelcome();

    // Seams for tests; they default to the real thing.
    UpdateChecker::AlertHook onAlert;
    // A notice that does not wait: `chosen` later gets the button's index.
    std::function<void(const QString& title, const QString& text, const QStringList& buttons,
                       std::function<void(int chosen)>)>
        onOffer;
    std::function<void(const QUrl&)> onOpenUrl;
    // The tip page; empty turns the tip entries off.
    QString tipAddress;

    // Where "New Shelf" opens a shelf without a tray icon to open it beside:
    // near the top right corner of the screen.
    static constexpr QPointF cornerInset{160, 40};
    // Changes within this time make one look at whether the menu must be
    // rebuilt (a burst of previews arriving for a shelf makes one).
    static constexpr int menuUpdateDelayMs = 100;

private:
    // What the menu's entries show; the menu changes only when they do.
    struct Shown
    {
        std::optional<QString> update; // the version on offer
        QString shortcut;
        QList<std::pair<QPointer<ShelfWindowController>, QString>> shelves; // those holding items
        bool tip = false, dbusMenu = false;
        bool canPaste = false; // the clipboard holds something a shelf takes
        struct Toggles
        {
            bool shake = false, login = false, autoUpdates = false, reopenShelves = false;
            bool operator==(const Toggles&) const = default;
        } toggles;
        bool operator==(const Shown&) const = default;
    };
    Shown shownNow() const;
    // The actions of a menu that fill() keeps and changes in place.
    struct Entries
    {
        QAction *newShelf = nullptr, *fromClipboard = nullptr, *toggles = nullptr, *checkNow = nullptr,
                *quit = nullptr, *closeAll = nullptr;
        QAction *shake = nullptr, *login = nullptr, *reopen = nullptr, *autoUpdates = nullptr;
        // The runs that come and go: the release on offer, the shelves (with
        // their title and "Close All Shelves"), the tip.
        QList<QAction*> updateRun, shelvesRun, shelfEntries, tipRun;
        std::optional<QString> update; // the version the offer names
    };
    // Makes `menu` show `shown`, changing only the entries that differ from
    // what it showed.
    void fill(QMenu* menu, const Shown& shown, Entries& entries);
    // Brings the menu up to date after the delay, once for many changes.
    void updateMenuSoon();
    // Rebuilds the menu when what it shows has changed; not while it is
    // open on the screen (then when it closes).
    void updateMenu();
    int alert(const QString& title, const QString& text, const QStringList& buttons = {});
    bool eventFilter(QObject* watched, QEvent* e) override;
    void openUrl(const QUrl& url);

    ShelfRegistry& m_shelves;
    ShakeDetector& m_shake;
    UpdateChecker& m_updates;
    HotKey& m_hotKey;
    QMenu* m_menu;
    QPointer<ShortcutDialog> m_shortcutDialog;
    QTimer* m_updateLater;
    std::optional<Shown> m_shown; // what the menu shows now; nothing before it is built
    Entries m_entries; // those of m_menu
    QSystemTrayIcon* m_statusItem = nullptr;
    bool m_dbusTray = false;
    quint32 m_menuInputTime = 0; // the window system's time of the last pick in the menu
    bool m_trayInked = false; // drawn for the tray's own panel already
};
