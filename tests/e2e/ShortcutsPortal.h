#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>

// One entry of the a(sa{sv}) lists of the GlobalShortcuts interface.
struct Shortcut
{
    QString id;
    QVariantMap options;
};

inline QDBusArgument& operator<<(QDBusArgument& a, const Shortcut& s)
{
    a.beginStructure();
    a << s.id << s.options;
    a.endStructure();
    return a;
}

inline const QDBusArgument& operator>>(const QDBusArgument& a, Shortcut& s)
{
    a.beginStructure();
    a >> s.id >> s.options;
    a.endStructure();
    return a;
}

// org.freedesktop.portal.Desktop with its GlobalShortcuts interface as
// xdg-desktop-portal answers, for what KDE's real one (KdeShortcuts.h) never
// answers: a refusal, a success that binds nothing, no such interface. Every
// call returns a request path at once and answers through that request's
// Response signal. Holding the name also keeps the session bus from starting
// the installed portal.
class ShortcutsPortal : public QDBusVirtualObject
{
public:
    bool start()
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        // The installed portal, started by the bus for another test's
        // program, gives way.
        return bus().registerVirtualObject(path, this) &&
               bus().interface()->registerService(service, QDBusConnectionInterface::ReplaceExistingService,
                                                  QDBusConnectionInterface::DontAllowReplacement) ==
                   QDBusConnectionInterface::ServiceRegistered;
    }
    ~ShortcutsPortal() override
    {
        bus().unregisterService(service);
        bus().unregisterObject(path);
    }
    // Sends Activated for the session made last.
    void activate(const QString& id)
    {
        bus().send(QDBusMessage::createSignal(path, interface, "Activated")
                   << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << QVariantMap());
    }

    uint version = 1;  // 0: a portal without the GlobalShortcuts interface
    uint answer = 0;   // BindShortcuts' Response: 0 granted, 1 refused by the user
    bool bindsNothing = false; // granted, yet no shortcut in the answer
    QString session;   // the session made last
    QList<Shortcut> bound; // what was asked for in it

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override
    {
        if (m.member() == u"Get") {
            c.send(version > 0 ? m.createReply(QVariant::fromValue(QDBusVariant(version)))
                               : m.createErrorReply(QDBusError::InvalidArgs, "No such interface"));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(m.arguments().value(m.arguments().size() - 1));
        const QString sender = m.service().mid(1).replace(u'.', u'_');
        const QString request = path + "/request/" + sender + "/" + options.value("handle_token").toString();
        QVariantMap results;
        uint code = 0;
        if (m.member() == u"CreateSession") {
            session = path + "/session/" + sender + "/" + options.value("session_handle_token").toString();
            results.insert("session_handle", QVariant::fromValue(QDBusObjectPath(session)));
        } else if (m.member() == u"BindShortcuts") {
            bound = qdbus_cast<QList<Shortcut>>(m.arguments().value(1));
            code = answer;
            QList<Shortcut> given = bindsNothing ? QList<Shortcut>{} : bound;
            for (Shortcut& s : given)
                s.options.insert("trigger_description", "Ctrl+Alt+Space");
            results.insert("shortcuts", QVariant::fromValue(given));
        } else {
            return false;
        }
        c.send(m.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        c.send(QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response") << code << results);
        return true;
    }

private:
    static QDBusConnection bus() { return QDBusConnection::sessionBus(); }
    const QString service = "org.freedesktop.portal.Desktop", path = "/org/freedesktop/portal/desktop",
                  interface = "org.freedesktop.portal.GlobalShortcuts";
};
