#include "platform/freedesktop/PortalShortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QHash>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcPortal, "kavo.keys", QtInfoMsg)

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the a(sa{sv}) lists the interface sends and takes.
struct PortalShortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& a, const PortalShortcut& s)
{
    a.beginStructure();
    a << s.id << s.options;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, PortalShortcut& s)
{
    a.beginStructure();
    a >> s.id >> s.options;
    a.endStructure();
    return a;
}

// The shortcuts of a Response or a ShortcutsChanged signal.
QList<PortalShortcut> shortcutsIn(const QVariant& value)
{
    QList<PortalShortcut> list;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> list;
    return list;
}

// An object path arrives as 'o' from most portals and as 's' from some.
QString pathIn(const QVariant& value)
{
    return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                               : value.toString();
}

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

// Tokens name request objects: unique within this connection.
QString nextToken(const char* prefix)
{
    static quint64 tokens = 0;
    return QLatin1String(prefix) + QString::number(++tokens);
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

PortalShortcuts::PortalShortcuts(QObject* parent) : QObject(parent)
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        return true;
    }();
    Q_UNUSED(registered);
    for (const char* name : {"Activated", "ShortcutsChanged"}) {
        bus().connect(portalService, portalPath, shortcutsInterface, QLatin1String(name), this,
                      SLOT(signalled(QDBusMessage)));
    }
}

PortalShortcuts::~PortalShortcuts()
{
    close();
}

bool PortalShortcuts::waylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE").compare(u"wayland", Qt::CaseInsensitive) == 0;
}

QString PortalShortcuts::triggerFor(Qt::KeyboardModifiers modifiers, Qt::Key key)
{
    QString name;
    const int code = int(key);
    if ((code >= Qt::Key_A && code <= Qt::Key_Z) || (code >= Qt::Key_0 && code <= Qt::Key_9))
        name = QChar(code).toLower();
    else if (code >= Qt::Key_F1 && code <= Qt::Key_F35)
        name = QStringLiteral("F%1").arg(code - Qt::Key_F1 + 1);
    else {
        // The xkb names of the other keys people choose for shortcuts.
        static const QHash<int, QString> names{{Qt::Key_Space, "space"},
                                               {Qt::Key_Return, "Return"},
                                               {Qt::Key_Escape, "Escape"},
                                               {Qt::Key_Tab, "Tab"},
                                               {Qt::Key_Backspace, "BackSpace"},
                                               {Qt::Key_Insert, "Insert"},
                                               {Qt::Key_Delete, "Delete"},
                                               {Qt::Key_Home, "Home"},
                                               {Qt::Key_End, "End"},
                                               {Qt::Key_PageUp, "Prior"},
                                               {Qt::Key_PageDown, "Next"},
                                               {Qt::Key_Left, "Left"},
                                               {Qt::Key_Up, "Up"},
                                               {Qt::Key_Right, "Right"},
                                               {Qt::Key_Down, "Down"},
                                               {Qt::Key_Print, "Print"},
                                               {Qt::Key_Pause, "Pause"},
                                               {Qt::Key_Comma, "comma"},
                                               {Qt::Key_Period, "period"},
                                               {Qt::Key_Slash, "slash"},
                                               {Qt::Key_Minus, "minus"},
                                               {Qt::Key_Equal, "equal"},
                                               {Qt::Key_Semicolon, "semicolon"},
                                               {Qt::Key_Apostrophe, "apostrophe"},
                                               {Qt::Key_QuoteLeft, "grave"},
                                               {Qt::Key_BracketLeft, "bracketleft"},
                                               {Qt::Key_Backslash, "backslash"},
                                               {Qt::Key_BracketRight, "bracketright"}};
        name = names.value(code);
    }
    if (name.isEmpty())
        return {};
    QString trigger;
    if (modifiers & Qt::ControlModifier)
        trigger += QStringLiteral("CTRL+");
    if (modifiers & Qt::AltModifier)
        trigger += QStringLiteral("ALT+");
    if (modifiers & Qt::ShiftModifier)
        trigger += QStringLiteral("SHIFT+");
    if (modifiers & Qt::MetaModifier)
        trigger += QStringLiteral("LOGO+");
    return trigger + name;
}

void PortalShortcuts::probe(std::function<void(uint version)> answer)
{
    // A program outside a sandbox names itself first, so that the desktop
    // files its shortcut under Kavo's desktop entry (portals before 1.19
    // have no registry and find the name themselves). Messages of one
    // connection arrive in order: this comes before any other call.
    QDBusMessage name = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    name << QStringLiteral(KAVO_APP_ID) << QVariantMap();
    bus().asyncCall(name);
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, answer = std::move(answer)] {
                watcher->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *watcher;
                if (reply.isError()) {
                    qCDebug(lcPortal) << "no GlobalShortcuts portal:" << reply.error().message();
                    answer(0);
                    return;
                }
                answer(reply.value().variant().toUInt());
            });
}

void PortalShortcuts::bind(const QString& id, const QString& description,
                           const QString& preferredTrigger,
                           std::function<void(Answer answer, const QString& trigger)> bound)
{
    close();
    // Answers arrive only while this object lives (its slot, its
    // watchers); one that a later bind() or close() made void is dropped.
    const quint64 generation = m_generation;
    QVariantMap options{{QStringLiteral("description"), description}};
    if (!preferredTrigger.isEmpty())
        options.insert(QStringLiteral("preferred_trigger"), preferredTrigger);
    const QList<PortalShortcut> shortcuts{{id, options}};
    const QVariantMap sessionOptions{
        {QStringLiteral("session_handle_token"), nextToken("kavo_session")},
        {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}};
    request(
        QStringLiteral("CreateSession"), {}, sessionOptions,
        [=, this](uint code, const QVariantMap& results) {
            const QString session = pathIn(results.value(QStringLiteral("session_handle")));
            if (generation != m_generation) {
                // Replaced while it was being made: not kept open.
                if (!session.isEmpty())
                    bus().asyncCall(QDBusMessage::createMethodCall(
                        portalService, session, QStringLiteral("org.freedesktop.portal.Session"),
                        QStringLiteral("Close")));
                return;
            }
            if (code != 0 || session.isEmpty()) {
                qCWarning(lcPortal) << "the desktop made no shortcut session, answer" << code;
                bound(Answer::Refused, {});
                return;
            }
            m_session = session;
            request(
                QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts),
                 QString()},
                {}, [=, this](uint code, const QVariantMap& results) {
                    if (generation != m_generation)
                        return;
                    QString trigger;
                    for (const PortalShortcut& s :
                         shortcutsIn(results.value(QStringLiteral("shortcuts")))) {
                        if (s.id == id)
                            trigger =
                                s.options.value(QStringLiteral("trigger_description")).toString();
                    }
                    if (code != 0) {
                        qCWarning(lcPortal) << "the desktop refused the shortcut, answer" << code;
                        bound(Answer::Refused, {});
                    } else if (trigger.isEmpty()) {
                        qCWarning(lcPortal)
                            << "the desktop answered but bound no keys to the shortcut";
                        bound(Answer::Ignored, {});
                    } else {
                        bound(Answer::Bound, trigger);
                    }
                });
        });
}

void PortalShortcuts::close()
{
    ++m_generation;
    if (m_session.isEmpty())
        return;
    bus().asyncCall(QDBusMessage::createMethodCall(portalService, m_session,
                                                   QStringLiteral("org.freedesktop.portal.Session"),
                                                   QStringLiteral("Close")));
    m_session.clear();
}

void PortalShortcuts::configure()
{
    if (m_session.isEmpty())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, shortcutsInterface, QStringLiteral("ConfigureShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QString() << QVariantMap();
    bus().asyncCall(call);
}

void PortalShortcuts::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                              std::function<void(uint code, const QVariantMap& results)> done)
{
    // The request object's path is the caller's unique name without its
    // colon, dots made underscores, and the token.
    const QString token = nextToken("kavo");
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = bus().baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString path = portalPath + QStringLiteral("/request/") + sender + u'/' + token;
    bus().connect(portalService, path, QStringLiteral("org.freedesktop.portal.Request"),
                  QStringLiteral("Response"), this, SLOT(signalled(QDBusMessage)));
    m_pending.insert(path, std::move(done));

    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    arguments << options;
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, path, method] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        auto& byPath = m_pending;
        if (reply.isError()) {
            qCWarning(lcPortal) << method << "failed:" << reply.error().message();
            bus().disconnect(portalService, path, QStringLiteral("org.freedesktop.portal.Request"),
                             QStringLiteral("Response"), this, SLOT(signalled(QDBusMessage)));
            if (auto done = byPath.take(path))
                done(2, {});
            return;
        }
        // Portals older than the handle_token option choose their own path.
        const QString actual = reply.value().path();
        if (actual != path && byPath.contains(path)) {
            byPath.insert(actual, byPath.take(path));
            bus().connect(portalService, actual, QStringLiteral("org.freedesktop.portal.Request"),
                          QStringLiteral("Response"), this, SLOT(signalled(QDBusMessage)));
        }
    });
}

void PortalShortcuts::signalled(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (message.member() == u"Response" && args.size() >= 2) {
        bus().disconnect(portalService, message.path(),
                         QStringLiteral("org.freedesktop.portal.Request"),
                         QStringLiteral("Response"), this, SLOT(signalled(QDBusMessage)));
        if (auto done = m_pending.take(message.path()))
            done(args[0].toUInt(), qdbus_cast<QVariantMap>(args[1]));
        return;
    }
    if (m_session.isEmpty() || args.isEmpty() || pathIn(args[0]) != m_session)
        return;
    if (message.member() == u"Activated" && args.size() >= 2 && onActivated) {
        onActivated(args[1].toString());
    } else if (message.member() == u"ShortcutsChanged" && args.size() >= 2 && onTriggerChanged) {
        for (const PortalShortcut& s : shortcutsIn(args[1]))
            onTriggerChanged(s.id,
                             s.options.value(QStringLiteral("trigger_description")).toString());
    }
}
