#include "DBusTray.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>

bool StatusNotifierWatcher::start()
{
    m_thread.start();
    moveToThread(&m_thread);
    bool ok = false;
    QMetaObject::invokeMethod(
        this,
        [this, &ok] {
            QDBusConnection bus = QDBusConnection::sessionBus();
            m_names = new QDBusServiceWatcher(this);
            m_names->setConnection(bus);
            m_names->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
            connect(m_names, &QDBusServiceWatcher::serviceUnregistered, this,
                    [this](const QString& name) {
                        m_names->removeWatchedService(name);
                        bool gone = false;
                        {
                            QMutexLocker lock(&m_lock);
                            gone = m_items.removeAll(name) > 0;
                        }
                        if (gone)
                            Q_EMIT StatusNotifierItemUnregistered(name);
                    });
            ok = bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                    QDBusConnection::ExportScriptableContents |
                                        QDBusConnection::ExportAllProperties) &&
                 bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        },
        Qt::BlockingQueuedConnection);
    return ok;
}

StatusNotifierWatcher::~StatusNotifierWatcher()
{
    if (!m_thread.isRunning())
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            QDBusConnection bus = QDBusConnection::sessionBus();
            bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
            bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
            delete m_names;
            moveToThread(QCoreApplication::instance()->thread());
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QStringList StatusNotifierWatcher::items() const
{
    QMutexLocker lock(&m_lock);
    return m_items;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service)
{
    // Qt gives its connection's unique name; others may give an object path.
    const QString sender = message().service();
    const QString item = service.startsWith(u'/') ? sender : service;
    {
        QMutexLocker lock(&m_lock);
        if (m_items.contains(item))
            return;
        m_items << item;
    }
    m_names->addWatchedService(sender);
    Q_EMIT StatusNotifierItemRegistered(item);
}

namespace {

const QDBusArgument& operator>>(const QDBusArgument& a, MenuEntry& entry)
{
    a.beginStructure();
    a >> entry.id >> entry.properties;
    a.beginArray();
    while (!a.atEnd()) {
        QDBusVariant child;
        a >> child;
        MenuEntry e;
        qvariant_cast<QDBusArgument>(child.variant()) >> e;
        entry.children << e;
    }
    a.endArray();
    a.endStructure();
    return a;
}

} // namespace

QString MenuEntry::text() const
{
    const QString label = properties.value("label").toString();
    QString shown;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == u'_' && i + 1 < label.size())
            ++i; // "_x" shows x, "__" shows "_"
        shown += label[i];
    }
    return shown;
}

TrayMenu::TrayMenu(const QString& item) : m_service(item)
{
    m_menuPath = itemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
}

QVariant TrayMenu::itemProperty(const QString& name) const
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        m_service, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << name;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QList<MenuEntry> TrayMenu::entries() const
{
    auto call = [this](const QString& method) {
        return QDBusMessage::createMethodCall(m_service, m_menuPath,
                                              QStringLiteral("com.canonical.dbusmenu"), method);
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.call(call(QStringLiteral("AboutToShow")) << 0);
    const QDBusMessage reply =
        bus.call(call(QStringLiteral("GetLayout")) << 0 << -1 << QStringList());
    MenuEntry root;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2)
        qvariant_cast<QDBusArgument>(reply.arguments().at(1)) >> root;
    return root.children;
}

bool TrayMenu::click(const QString& text) const
{
    for (const MenuEntry& e : entries()) {
        if (e.text() != text)
            continue;
        QDBusMessage event = QDBusMessage::createMethodCall(
            m_service, m_menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"));
        event << e.id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
              << uint(QDateTime::currentSecsSinceEpoch());
        return QDBusConnection::sessionBus().call(event).type() == QDBusMessage::ReplyMessage;
    }
    return false;
}
