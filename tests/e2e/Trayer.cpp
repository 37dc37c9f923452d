#include "Trayer.h"

#include "TestEnvironment.h"

#include <QFile>

bool Trayer::start(const char* edge, const char* align, const QString& gtkrc)
{
    const QStringList args{QStringLiteral("--edge"),        QLatin1String(edge),
                           QStringLiteral("--align"),       QLatin1String(align),
                           QStringLiteral("--width"),       QStringLiteral("10"),
                           QStringLiteral("--height"),      QStringLiteral("32"),
                           QStringLiteral("--SetDockType"), QStringLiteral("false"),
                           QStringLiteral("--transparent"), QStringLiteral("false")};
    if (!gtkrc.isEmpty())
        qputenv("GTK2_RC_FILES", QFile::encodeName(gtkrc));
    const bool started = m_process.start(QStringLiteral("trayer"), args);
    qunsetenv("GTK2_RC_FILES");
    return started && TestEnv::waitUntil(
                          [&] { return m_display.selectionOwner("_NET_SYSTEM_TRAY_S0") != XCB_NONE; },
                          10000);
}

std::optional<ProbedWindow> Trayer::kavoIcon() const
{
    const auto panel = m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.windowClass == u"trayer" && w.instance == u"panel"; },
        5000);
    if (!panel)
        return std::nullopt;
    std::optional<ProbedWindow> icon;
    TestEnv::waitUntil(
        [&] {
            for (const ProbedWindow& w : m_display.descendants(panel->id)) {
                if (w.viewable && w.instance == u"kavo" && !w.geometry.isEmpty())
                    icon = w;
            }
            return icon.has_value();
        },
        10000);
    return icon;
}
