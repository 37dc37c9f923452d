#pragma once

#include "update/UpdateChecker.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class HotKey;
class QMenu;
class QSystemTrayIcon;
class ShortcutDialog;
class ShakeDetector;
class ShelfRegistry;

// The tray icon and its menu, rebuilt each time it opens, with the menu's
// actions and the welcome. The icon goes to an XEmbed tray drawn for the
// tray's panel, or to a D-Bus tray as a symbolic icon that tray recolours.
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
    void toggleShake();
    void toggleLogin();
    void toggleAutoUpdates();
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

    // Where "New Shelf" opens a shelf: under the tray icon, or near the top
    // right corner of the screen when the tray does not say where it is.
    static constexpr QPointF cornerInset{160, 40};
    static constexpr qreal gapBelowIcon = 20;

private:
    int alert(const QString& title, const QString& text, const QStringList& buttons = {});
    void openUrl(const QUrl& url);

    ShelfRegistry& m_shelves;
    ShakeDetector& m_shake;
    UpdateChecker& m_updates;
    HotKey& m_hotKey;
    QMenu* m_menu;
    QPointer<ShortcutDialog> m_shortcutDialog;
    QSystemTrayIcon* m_statusItem = nullptr;
    bool m_dbusTray = false;
    bool m_trayInked = false; // drawn for the tray's own panel already
};
