#pragma once

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDateTime>

// The D-Bus tray of KDE Plasma, GNOME's AppIndicator extension, Xfce and
// Cinnamon, as a program sees it: an org.kde.StatusNotifierWatcher on the
// session bus with a host registered. It must own its name before the program
// under test starts (Qt chooses the D-Bus tray then); it answers while the
// test waits for events.
class StatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    // Qt reads these through introspection: all of them are exported.
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    // Starts serving; answers whether it owns the name.
    bool start()
    {
        const auto all = QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties;
        return QDBusConnection::sessionBus().registerObject("/StatusNotifierWatcher", this, all) &&
               QDBusConnection::sessionBus().registerService("org.kde.StatusNotifierWatcher");
    }
    ~StatusNotifierWatcher() override
    {
        QDBusConnection::sessionBus().unregisterService("org.kde.StatusNotifierWatcher");
        QDBusConnection::sessionBus().unregisterObject("/StatusNotifierWatcher");
    }
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    // The items registered (Qt registers its unique bus name).
    QStringList items;

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service)
    {
        // Qt gives its connection's unique name; others may give a path.
        items << (service.startsWith(u'/') ? message().service() : service);
        Q_EMIT StatusNotifierItemRegistered(items.last());
    }
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& item);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& item);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();
};

// One entry of a com.canonical.dbusmenu layout.
struct MenuEntry
{
    int id = 0;
    QVariantMap properties;
    QList<MenuEntry> children;

    // The label as a tray shows it: "_" marks an access key, "__" is "_".
    QString text() const
    {
        const QString label = properties.value("label").toString();
        QString shown;
        for (qsizetype i = 0; i < label.size(); ++i)
            shown += label[label[i] == u'_' && i + 1 < label.size() ? ++i : i];
        return properties.value("type").toString() == u"separator" ? "---" : shown;
    }
    bool isEnabled() const { return properties.value("enabled", true).toBool(); }
    int toggleState() const { return properties.value("toggle-state", -1).toInt(); }
};

inline const QDBusArgument& operator>>(const QDBusArgument& a, MenuEntry& entry)
{
    a.beginStructure();
    a >> entry.id >> entry.properties;
    a.beginArray();
    while (!a.atEnd()) {
        QDBusVariant child;
        a >> child;
        entry.children << MenuEntry{};
        qvariant_cast<QDBusArgument>(child.variant()) >> entry.children.last();
    }
    a.endArray();
    a.endStructure();
    return a;
}

// A tray icon's menu, read and clicked the way a D-Bus tray host does.
class TrayMenu
{
public:
    explicit TrayMenu(const QString& item) : m_service(item)
    {
        m_menuPath = itemProperty("Menu").value<QDBusObjectPath>().path();
    }
    // The item's own property (IconName, Menu, …).
    QVariant itemProperty(const QString& name) const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(m_service, "/StatusNotifierItem",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get << "org.kde.StatusNotifierItem" << name;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    // Reads the menu's entries, top level only, as Xfce's panel does: without
    // saying first that it is about to show them (trays that do say so let
    // the program bring it up to date then; the menu must be current anyway).
    QList<MenuEntry> entries() const
    {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call("GetLayout") << 0 << -1 << QStringList());
        MenuEntry root;
        if (reply.arguments().size() == 2)
            qvariant_cast<QDBusArgument>(reply.arguments().at(1)) >> root;
        return root.children;
    }
    QStringList texts() const
    {
        QStringList shown;
        for (const MenuEntry& e : entries())
            shown << e.text();
        return shown;
    }
    std::optional<MenuEntry> entry(const QString& text) const
    {
        for (const MenuEntry& e : entries()) {
            if (e.text() == text)
                return e;
        }
        return std::nullopt;
    }
    // Clicks the entry shown as `text` in the menu as it is now; answers
    // whether the program took the click (its action has run then).
    bool click(const QString& text) const
    {
        const auto e = entry(text);
        return e && click(e->id);
    }
    // Clicks the entry of that id, as a tray that read the menu a while ago.
    bool click(int id) const
    {
        return QDBusConnection::sessionBus()
                   .call(call("Event") << id << "clicked" << QVariant::fromValue(QDBusVariant(0))
                                       << uint(QDateTime::currentSecsSinceEpoch()))
                   .type() == QDBusMessage::ReplyMessage;
    }

    // Waits for a toggle to show `state`: the tray acts on a click after
    // answering it.
    bool showsToggle(const QString& text, int state) const
    {
        return TestEnv::waitUntil([&] { return entry(text).value_or(MenuEntry{}).toggleState() == state; });
    }

private:
    QDBusMessage call(const QString& method) const
    {
        return QDBusMessage::createMethodCall(m_service, m_menuPath, "com.canonical.dbusmenu", method);
    }

    QString m_service, m_menuPath;
};
