#pragma once

#include "update/UpdateChecker.h"

#include <QJsonObject>
#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class HotKey;
class QMenu;
class QSystemTrayIcon;
class ShakeDetector;
class ShelfWindowController;

// The program's spine: the launch sequence, the registry of open shelves,
// the tray icon with its menu and alerts, and the long-lived parts (shake
// detector, hot key, update checker). Main thread only.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // `feed` is the release feed's address (tests use a local server).
    explicit AppDelegate(const QUrl& feed = UpdateChecker::feedURL());
    ~AppDelegate() override;

    // The launch sequence, in this order: preference defaults, the snapshot
    // mode (when asked for), the clean-up of old drop folders, the tray icon
    // and its menu, the shake detector, the hot key, the update checker, and
    // the welcome on the very first launch.
    void applicationDidFinishLaunching(const QStringList& arguments);

    // Every way of getting a shelf ends here. A shake reuses the oldest
    // empty shelf whose frame, grown by 60 points on every side, holds the
    // point (and wiggles it); otherwise a new shelf opens at the point.
    ShelfWindowController* openShelf(const QPointF& point, bool fromShake, bool anchorTop);
    // Fades every open shelf out; each leaves the registry when its fade ends.
    void closeAll();

    // The open shelves, oldest first.
    const std::vector<std::unique_ptr<ShelfWindowController>>& shelves() const { return m_shelves; }

    // The tray menu as it is built each time it opens.
    void menuNeedsUpdate(QMenu* menu);
    void refreshStatusIcon();
    // The icon's symbol now: "bag.fill", or "bag.fill.badge.plus" while an
    // update is on offer.
    QString statusSymbol() const;
    // Whether the tray icon goes through a D-Bus tray (StatusNotifierItem).
    bool isDBusTray() const { return m_dbusTray; }
    // A text shown literally as a title of the tray menu, on either path.
    static QString menuText(const QString& text, bool dbusMenu);

    // The menu's actions.
    void downloadUpdate();
    void newShelfFromMenu();
    void focusShelf(ShelfWindowController* shelf);
    void toggleShake();
    void toggleLogin();
    void toggleAutoUpdates();
    void openSupport();
    void checkForUpdatesNow();
    void showWelcome();

    // The open shelves for `kavo --list`.
    QJsonObject listJson() const;
    // Answers a command from another `kavo` process.
    QJsonObject handleRequest(const QJsonObject& request);

    ShakeDetector& shake() const { return *m_shake; }
    UpdateChecker& updates() const { return *m_updates; }
    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    QMenu* statusMenu() const { return m_menu.get(); }

    // Seams for tests; they default to the real thing.
    UpdateChecker::AlertHook onAlert;
    // A notice that does not wait for the user.
    std::function<void(const QString& title, const QString& text)> onNotice;
    std::function<void(const QUrl&)> onOpenUrl;
    std::function<QPointF()> pointerLocation;
    // The tip page; empty turns the tip entries off.
    QString tipAddress;

    // Growth of a shelf's frame within which a shake reuses it.
    static constexpr qreal reuseMargin = 60;

private:
    void createStatusItem();
    int alert(const QString& title, const QString& text, const QStringList& buttons = {});
    void openUrl(const QUrl& url);

    QSystemTrayIcon* m_statusItem = nullptr;
    bool m_dbusTray = false;
    bool m_trayInked = false; // drawn for the tray's own panel already
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<ShakeDetector> m_shake;
    std::unique_ptr<HotKey> m_hotKey;
    std::unique_ptr<UpdateChecker> m_updates;
    std::vector<std::unique_ptr<ShelfWindowController>> m_shelves;
};
