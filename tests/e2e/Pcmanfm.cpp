#include "Pcmanfm.h"

#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QColor>
#include <QFileInfo>
#include <QImage>

Pcmanfm::~Pcmanfm()
{
    // A modal question (a name that exists) keeps it from ending politely.
    m_process.terminate(1000);
}

bool Pcmanfm::open(const QString& folder, QPoint at, int rows)
{
    // A list sorted by name, nothing but the files, nothing done behind the
    // test's back (mounting, thumbnails, trash), in this test's own home.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!TestEnv::writeFile(config + QStringLiteral("/pcmanfm/default/pcmanfm.conf"),
                            "[volume]\nmount_on_startup=0\nmount_removable=0\nautorun=0\n"
                            "[ui]\nalways_show_tabs=0\nwin_width=500\nwin_height=300\n"
                            "maximized=0\nside_pane_mode=hidden;places\nview_mode=list\n"
                            "show_hidden=0\nsort=name;ascending;\ncolumns=name:200;size;\n"
                            "toolbar=hidden\nshow_statusbar=0\n") ||
        !TestEnv::writeFile(config + QStringLiteral("/libfm/libfm.conf"),
                            "[config]\nsingle_click=0\nuse_trash=0\nconfirm_del=0\n"
                            "thumbnail_local=0\ndrop_default_action=auto\nquick_exec=0\n"
                            "[ui]\nbig_icon_size=48\nsmall_icon_size=24\nshow_thumbnail=0\n"))
        return false;
    qputenv("NO_AT_BRIDGE", "1");
    qputenv("GDK_BACKEND", "x11");
    const bool started = m_process.start(QStringLiteral("pcmanfm"), {QStringLiteral("--new-win"), folder});
    qunsetenv("NO_AT_BRIDGE");
    qunsetenv("GDK_BACKEND");
    if (!started)
        return false;
    // It opens at the screen's corner (no window manager places it): the
    // test moves it.
    const QString title = QFileInfo(folder).fileName();
    const auto window = m_display.waitForWindow(
        [&](const ProbedWindow& w) {
            return w.viewable && w.windowClass == u"Pcmanfm" && w.title == title &&
                   w.geometry.width() > 100;
        },
        10000);
    if (!window)
        return false;
    if (!PointerScript::run({QStringLiteral("windowmove"), QStringLiteral("--sync"),
                             QString::number(window->id), QString::number(at.x()),
                             QString::number(at.y())}))
        return false;
    if (!TestEnv::waitUntil([&] {
            const auto moved = m_display.describe(window->id);
            if (moved && moved->geometry.topLeft() == at)
                m_frame = moved->geometry;
            return !m_frame.isEmpty();
        }))
        return false;
    // The list fills a moment after the window shows: wait until the last
    // row has a name drawn in it.
    if (rows == 0)
        return true;
    return TestEnv::waitUntil(
        [&] {
            const QImage shown = m_display.image(*m_display.describe(window->id));
            const QPoint name = row(rows - 1) - m_frame.topLeft();
            for (int x = name.x() - 20; x < name.x() + 60; ++x) {
                if (QColor(shown.pixel(x, name.y())).lightness() < 100)
                    return true;
            }
            return false;
        },
        10000);
}
