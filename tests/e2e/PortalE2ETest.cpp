// The hot key on a Wayland session: bound through the desktop's
// GlobalShortcuts portal, played here by the test on its session bus (no
// desktop that serves it runs under Xvfb), else grabbed from X as before.
#include "Input.h"
#include "Kavo.h"
#include "TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>

namespace {

struct Shortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& a, const Shortcut& s)
{
    a.beginStructure();
    a << s.id << s.options;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, Shortcut& s)
{
    a.beginStructure();
    a >> s.id >> s.options;
    a.endStructure();
    return a;
}

// org.freedesktop.portal.Desktop with its GlobalShortcuts interface, as
// xdg-desktop-portal answers: every call returns a request path at once and
// answers through that request's Response signal.
class ShortcutsPortal : public QDBusVirtualObject
{
public:
    bool start()
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
        return bus().registerVirtualObject(path, this) && bus().registerService(service);
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

    uint answer = 0;   // BindShortcuts' Response: 0 granted, 1 refused by the user
    QString session;   // the session made last
    QList<Shortcut> bound; // what was asked for in it

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override
    {
        if (m.member() == u"Get") {
            c.send(m.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
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
            QList<Shortcut> given = bound;
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

// Kavo on a Wayland session (by its environment; it still draws through
// XWayland, here Xvfb).
class PortalE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        m_kavo.setEnvironment("XDG_SESSION_TYPE", "wayland");
    }
    ShortcutsPortal portal;
};

TEST_F(PortalE2E, TheKeyIsBoundThroughThePortalAndItsActivationOpensAShelfMidScreen)
{
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !portal.bound.isEmpty(); }, 10000));
    ASSERT_EQ(portal.bound.size(), 1);
    EXPECT_EQ(portal.bound[0].id, "new-shelf");
    EXPECT_EQ(portal.bound[0].options.value("description"), "Open a new shelf");
    EXPECT_EQ(portal.bound[0].options.value("preferred_trigger"), "CTRL+ALT+space");
    EXPECT_TRUE(m_display.grabKey(' ', XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1)) << "not grabbed from X too";
    // The pointer over a native Wayland window is not seen: the shelf opens
    // in the middle of the screen it was last seen on.
    ASSERT_TRUE(Input::run(Input::moveTo({100, 100})));
    portal.activate("new-shelf");
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPointF(640, 400)));
}

TEST_F(PortalE2E, AShortcutTheDesktopRefusesIsTold)
{
    portal.answer = 1;
    ASSERT_TRUE(portal.start());
    ASSERT_TRUE(startKavo());
    EXPECT_TRUE(m_display.waitForWindow([](const ProbedWindow& w) { return w.viewable && w.title == u"Kavo"; }, 10000));
    EXPECT_EQ(m_kavo.list().value_or(Shelves(1)).size(), 0) << "the notice holds nothing up";
}

TEST_F(PortalE2E, WithoutAPortalTheKeyIsGrabbedFromXAndTheLogSaysSo)
{
    ASSERT_TRUE(startKavo());
    const auto told = [&] { return QString::fromStdString(m_kavo.errors()).count("no GlobalShortcuts portal"); };
    ASSERT_TRUE(TestEnv::waitUntil([&] { return told() > 0; }));
    ASSERT_TRUE(Input::run(Input::moveTo({500, 300}) + Input::key("ctrl+alt+space")));
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPointF(500, 300)));
    EXPECT_EQ(told(), 1);
}

} // namespace
