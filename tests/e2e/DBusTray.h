#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

// The D-Bus tray of KDE Plasma, GNOME's AppIndicator extension, Xfce and
// Cinnamon, as a program sees it: an org.kde.StatusNotifierWatcher on the
// session bus with a host registered. It must own its name before the program
// under test starts (Qt chooses the D-Bus tray then), and it answers from a
// thread of its own, so that a test blocked in a wait cannot stall the
// program's start.
class StatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    // Qt reads these through introspection: all of them are exported.
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    // Starts serving on its own thread; answers whether it owns the name.
    bool start();
    ~StatusNotifierWatcher() override;

    // The items registered (Qt registers its unique bus name).
    QStringList items() const;
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service);
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& item);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& item);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();

private:
    QThread m_thread;
    QDBusServiceWatcher* m_names = nullptr;
    mutable QMutex m_lock;
    QStringList m_items;
};

// One entry of a com.canonical.dbusmenu layout.
struct MenuEntry
{
    int id = 0;
    QVariantMap properties;
    QList<MenuEntry> children;

    // The label as a tray shows it: "_" marks an access key, "__" is "_".
    QString text() const;
    bool isSeparator() const { return properties.value("type").toString() == u"separator"; }
    bool isEnabled() const { return properties.value("enabled", true).toBool(); }
    int toggleState() const { return properties.value("toggle-state", -1).toInt(); }
};

// A tray icon's menu, read and clicked the way a D-Bus tray host does.
class TrayMenu
{
public:
    explicit TrayMenu(const QString& item);

    // The item's own property (IconName, Menu, …).
    QVariant itemProperty(const QString& name) const;
    // Opens the menu (AboutToShow, which lets the program rebuild it) and
    // reads its entries, top level only.
    QList<MenuEntry> entries() const;
    // Clicks the entry shown as `text` in a freshly opened menu; answers
    // whether there was one. The call returns once its action has run.
    bool click(const QString& text) const;

private:
    QString m_service;
    QString m_menuPath;
};
