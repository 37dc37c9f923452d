#pragma once

#include "Input.h"

#include <QFileInfo>
#include <QRect>

#include <optional>

// Openbox, the window manager that the peers' windows run under, as on a
// desktop: it decorates, places and focuses them. Ended with the object.
class Openbox
{
public:
    // Starts it; answers whether it manages the screen (a window manager
    // left by an earlier test leaves its property on the root window, but
    // not the window it names).
    bool start()
    {
        return m_process.start("openbox", {"--sm-disable"}) && TestEnv::waitUntil(
                   [&] {
                       const auto check =
                           m_display.property32(m_display.root(), m_display.atom("_NET_SUPPORTING_WM_CHECK"));
                       return check && m_display.describe(*check).has_value();
                   },
                   10000);
    }
    QString errors() { return m_process.errors(); }

private:
    Program m_process;
    XConnection m_display;
};

// Asks the window manager to put the frame of `window` (a client's top level)
// at `frame`'s corner and give the window `frame`'s size, as `wmctrl -e`
// does; answers where the window's contents are then, in root coordinates,
// or nothing when it did not get that size.
inline std::optional<QRect> placeWindow(xcb_window_t window, QRect frame)
{
    const QString to = QStringLiteral("0,%1,%2,%3,%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height());
    if (Program::run("wmctrl", {"-i", "-r", QString::number(window), "-e", to}) != 0)
        return {};
    XConnection display;
    std::optional<QRect> placed;
    TestEnv::waitUntil(
        [&] {
            const auto now = display.describe(window);
            if (now && now->viewable && now->geometry.size() == frame.size() &&
                now->geometry.x() >= frame.x() && now->geometry.y() >= frame.y())
                placed = now->geometry;
            return placed.has_value();
        },
        10000);
    return placed;
}

// pcmanfm, a GTK file manager, showing one folder: a real drag source, drop target
// and clipboard reader. Like GIO file managers it finishes a drop first and moves
// the files afterwards, in a job of its own. A 500×300 list where the test puts it.
class Pcmanfm
{
public:
    // Opens `folder` with its window's top-left corner at `at`; answers
    // whether the window is there and shows `rows` rows.
    bool open(const QString& folder, QPoint at, int rows = 0)
    {
        // A list sorted by name, nothing but the files, nothing done behind
        // the test's back (mounting, thumbnails, trash), in this test's home.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        TestEnv::writeFile(config + "/pcmanfm/default/pcmanfm.conf",
                           "[volume]\nmount_on_startup=0\nmount_removable=0\nautorun=0\n[ui]\nalways_show_tabs=0\n"
                           "win_width=500\nwin_height=300\nmaximized=0\nside_pane_mode=hidden;places\nview_mode=list\n"
                           "show_hidden=0\nsort=name;ascending;\ncolumns=name:200;size;\ntoolbar=hidden\nshow_statusbar=0\n");
        TestEnv::writeFile(config + "/libfm/libfm.conf",
                           "[config]\nsingle_click=0\nuse_trash=0\nconfirm_del=0\nthumbnail_local=0\n"
                           "drop_default_action=auto\nquick_exec=0\n[ui]\nsmall_icon_size=24\nshow_thumbnail=0\n");
        if (!m_process.start("pcmanfm", {"--new-win", folder}, {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11"}))
            return false;
        // It opens at the screen's corner (no window manager places it): move it.
        const auto window = m_display.waitForWindow(
            [&](const ProbedWindow& w) {
                return w.viewable && w.windowClass == u"Pcmanfm" && w.title == QFileInfo(folder).fileName() &&
                       w.geometry.width() > 100;
            },
            10000);
        if (!window || !Input::run({"windowmove", "--sync", QString::number(window->id), QString::number(at.x()),
                                    QString::number(at.y())}))
            return false;
        m_window = window->id;
        m_frame = QRect(at, window->geometry.size());
        // Moved, and the list filled (after the window shows): a name in the last row.
        return TestEnv::waitUntil(
            [&] {
                const ProbedWindow now = m_display.describe(m_window).value_or(ProbedWindow{});
                const QImage shown = m_display.image(now);
                bool drawn = rows == 0;
                for (int x = 30; !drawn && !shown.isNull() && x < 110; ++x)
                    drawn = QColor(shown.pixel(x, 68 + 28 * (rows - 1))).lightness() < 100;
                return drawn && now.geometry.topLeft() == at;
            },
            10000);
    }
    // Where row `n` (from 0) is grabbed, and a point below the rows where a
    // drop goes into the folder itself.
    QPoint row(int n) const { return m_frame.topLeft() + QPoint(50, 68 + 28 * n); }
    QPoint emptySpace() const { return m_frame.topLeft() + QPoint(250, 230); }
    xcb_window_t window() const { return m_window; }
    QString errors() { return m_process.errors(); }

private:
    Program m_process;
    XConnection m_display;
    QRect m_frame;
    xcb_window_t m_window = XCB_NONE;
};

// trayer, a GTK 2 tray of the XEmbed kind, at an edge of the screen.
class Trayer
{
public:
    // Starts it, its panel coloured by the GTK 2 resource file `gtkrc` if given.
    bool start(const char* edge, const char* align, const QString& gtkrc = {})
    {
        return m_process.start("trayer",
                               {"--edge", edge, "--align", align, "--width", "10", "--height", "32", "--SetDockType",
                                "false", "--transparent", "false"},
                               gtkrc.isEmpty() ? QStringList{} : QStringList{"GTK2_RC_FILES=" + gtkrc}) &&
               TestEnv::waitUntil([&] { return m_display.selectionOwner("_NET_SYSTEM_TRAY_S0") != XCB_NONE; }, 10000);
    }
    // Kavo's icon, once embedded in the panel.
    std::optional<ProbedWindow> kavoIcon() const
    {
        std::optional<ProbedWindow> icon;
        TestEnv::waitUntil(
            [&] {
                for (const ProbedWindow& panel : m_display.topLevels()) {
                    for (const ProbedWindow& w : panel.windowClass == u"trayer" ? m_display.descendants(panel.id)
                                                                                   : QList<ProbedWindow>{}) {
                        if (w.viewable && w.instance == u"kavo" && !w.geometry.isEmpty())
                            icon = w;
                    }
                }
                return icon.has_value();
            },
            10000);
        return icon;
    }
    QString errors() { return m_process.errors(); }

private:
    Program m_process;
    XConnection m_display;
};
