#pragma once

#include "Program.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

// KDE Plasma 5.27's global shortcuts as Debian 12 ships them, for a KDE
// desktop: kglobalaccel5 (which grabs the keys from the X server),
// xdg-desktop-portal-kde (the GlobalShortcuts backend) and xdg-desktop-portal
// 1.16 (the frontend programs call, which picks the KDE backend by its
// UseIn=KDE). They get a session bus of their own, which the program under
// test is pointed at: on the suite's bus, GTK programs and browsers of other
// tests make the bus start the installed portal for no KDE desktop, and that
// backend would keep its name. Ended with the object, frontend first, the
// bus (and what it started on its own, such as the document portal) last.
class KdeShortcuts
{
public:
    ~KdeShortcuts()
    {
        m_frontend.stop(), m_backend.stop(), m_accel.stop(), m_bus.stop();
        QDBusConnection::disconnectFromBus(name);
    }
    // Starts the bus and the three, each once the one it calls holds its bus
    // name; answers whether each name is held by the process started for it.
    bool start()
    {
        const QStringList kde{"XDG_CURRENT_DESKTOP=KDE", "QT_QPA_PLATFORM=xcb", "DBUS_SESSION_BUS_ADDRESS=" + address()};
        return m_bus.start("dbus-daemon", {"--session", "--nofork", "--address=" + address()}, kde) &&
               TestEnv::waitUntil([&] { return bus().isConnected(); }, 10000) &&
               started(m_accel, "/usr/bin/kglobalaccel5", kde, "org.kde.kglobalaccel") &&
               started(m_backend, "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde", kde,
                       "org.freedesktop.impl.portal.desktop.kde") &&
               started(m_frontend, "/usr/libexec/xdg-desktop-portal", kde, "org.freedesktop.portal.Desktop");
    }
    // Where the bus is, for DBUS_SESSION_BUS_ADDRESS.
    static QString address() { return "unix:path=" + qEnvironmentVariable("XDG_RUNTIME_DIR") + "/kde-bus"; }
    QString errors() { return m_bus.errors() + m_accel.errors() + m_backend.errors() + m_frontend.errors(); }

private:
    static constexpr const char* name = "kde-shortcuts";
    static QDBusConnection bus()
    {
        QDBusConnection c(name);
        return c.isConnected() ? c : (QDBusConnection::disconnectFromBus(name), QDBusConnection::connectToBus(address(), name));
    }
    static bool started(Program& program, const QString& path, const QStringList& environment, const QString& service)
    {
        return program.start(path, {}, environment) &&
               TestEnv::waitUntil(
                   [&] {
                       return !program.isRunning() ||
                              bus().interface()->servicePid(service).value() == program.processId();
                   },
                   10000) &&
               program.isRunning();
    }

    Program m_bus, m_accel, m_backend, m_frontend;
};
