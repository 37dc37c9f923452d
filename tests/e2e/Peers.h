#pragma once

#include "Input.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>
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

// The first client window (a top level, or one that the window manager
// framed) that `match` accepts, looked for until the deadline.
inline std::optional<ProbedWindow> waitForClient(const std::function<bool(const ProbedWindow&)>& match, int timeoutMs)
{
    const XConnection display;
    std::optional<ProbedWindow> found;
    TestEnv::waitUntil(
        [&] {
            for (const ProbedWindow& top : display.topLevels()) {
                for (const ProbedWindow& w : QList<ProbedWindow>{top} + display.descendants(top.id)) {
                    if (!found && match(w))
                        found = w;
                }
            }
            return found.has_value();
        },
        timeoutMs);
    return found;
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
            10000, TestEnv::picturePollMs);
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

// A D-Bus session bus of a peer's own, that starts only the services
// copied into it, in the test's home: the desktop's services (file indexers,
// settings daemons) then never run for the test, nor with the user's files.
class PrivateBus
{
public:
    // Starts it with these services of /usr/share/dbus-1/services (file names).
    bool start(const QString& folder, const QStringList& services = {})
    {
        const QString socket = folder + "/bus", config = folder + "/bus.conf";
        QDir().mkpath(folder + "/services");
        for (const QString& service : services)
            QFile::copy("/usr/share/dbus-1/services/" + service, folder + "/services/" + service);
        TestEnv::writeFile(config, QStringLiteral("<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                                                  "<servicedir>%2/services</servicedir><policy context=\"default\">"
                                                  "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                                  "<allow own=\"*\"/></policy></busconfig>")
                                       .arg(socket, folder)
                                       .toUtf8());
        m_address = "unix:path=" + socket;
        QFile::remove(socket); // left by an earlier bus
        return m_process.start("dbus-daemon", {"--nofork", "--config-file=" + config}) &&
               TestEnv::waitUntil([&] { return QFileInfo::exists(socket); }, 10000);
    }
    // The variable that puts a program on this bus.
    QString variable() const { return "DBUS_SESSION_BUS_ADDRESS=" + m_address; }

private:
    Program m_process;
    QString m_address;
};

// Nautilus 43, GNOME's file manager (GTK 4), showing one folder as icons,
// with a sidebar that lists the folders bookmarked here. Like GIO file
// managers it moves dropped files in a job of its own. Run under openbox,
// on a bus of its own.
class Nautilus
{
public:
    // Opens `folder`, which holds a folder (the first icon), in a window
    // whose frame is `frame`, with `bookmark` the one place of the sidebar's
    // own; answers whether the window is there and shows the folder's icon.
    bool open(const QString& folder, const QString& bookmark, QRect frame)
    {
        // Icons, no thumbnails, counts or searches of anything; settings in
        // a file of the test's home. Drawn with cairo: with GL, which only
        // llvmpipe serves here, the "Loading…" spinner's frames took the
        // whole main loop on a busy machine, and the folder's files, added
        // when it is idle, never came (its main thread rendered at every
        // sample, at nine tenths of a core).
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        TestEnv::writeFile(config + "/glib-2.0/settings/keyfile",
                           "[org/gnome/nautilus/preferences]\ndefault-folder-viewer='icon-view'\n"
                           "show-image-thumbnails='never'\nshow-directory-item-counts='never'\n"
                           "recursive-search='never'\nshow-delete-permanently=false\n"
                           "[org/gnome/desktop/privacy]\nremember-recent-files=false\n");
        TestEnv::writeFile(config + "/gtk-3.0/bookmarks", QUrl::fromLocalFile(bookmark).toEncoded() + '\n');
        if (!m_bus.start(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("nautilus-bus")) ||
            !m_process.start("nautilus", {"--new-window", folder},
                             {m_bus.variable(), "GDK_BACKEND=x11", "GSK_RENDERER=cairo", "NO_AT_BRIDGE=1", "GTK_A11Y=none",
                              "GSETTINGS_BACKEND=keyfile", "GIO_USE_VFS=local"}))
            return false;
        const auto window = waitForClient(
            [&](const ProbedWindow& w) {
                return w.viewable && w.windowClass == u"org.gnome.Nautilus" && w.title == QFileInfo(folder).fileName();
            },
            20000);
        const auto placed = window ? placeWindow(window->id, frame) : std::nullopt;
        if (!placed)
            return false;
        m_window = window->id;
        m_content = *placed;
        // Drawn: the folder's icon where the first icon goes. Now and then,
        // on a busy machine, Nautilus leaves a folder's view empty until it
        // is reloaded, as a user would then do with F5.
        const auto drawn = [&] {
            const QImage shown = m_display.image(m_display.describe(m_window).value_or(ProbedWindow{}));
            const QPoint icon = folderIcon() - m_content.topLeft();
            return !shown.isNull() && QColor(shown.pixel(icon)).saturation() > 80;
        };
        return TestEnv::waitUntil(drawn, 10000, TestEnv::picturePollMs) ||
               (Input::run({"windowactivate", "--sync", QString::number(m_window), "key", "F5"}) &&
                TestEnv::waitUntil(drawn, 10000, TestEnv::picturePollMs));
    }
    // Where the view's first icon is, where a drop goes into the folder
    // itself, and the sidebar's bookmarked place.
    QPoint folderIcon() const { return m_content.topLeft() + QPoint(336, 115); }
    QPoint emptySpace() const { return m_content.topLeft() + QPoint(600, 420); }
    QPoint bookmark() const { return m_content.topLeft() + QPoint(70, 241); }
    QString errors() { return m_output += m_process.errors(); }

private:
    PrivateBus m_bus;
    Program m_process;
    XConnection m_display;
    QRect m_content;
    xcb_window_t m_window = XCB_NONE;
    QString m_output;
};

// Thunar, Xfce's file manager (GTK 3), showing one folder as icons; a drag
// source and a drop target that chooses between copy and move by itself.
// Run under openbox, on a bus of its own with its settings daemon.
class Thunar
{
public:
    // Opens `folder` in a window with the frame `frame`; answers whether it
    // shows the folder (drawn, with its first icon when it holds a file).
    bool open(const QString& folder, QRect frame)
    {
        if (!m_bus.start(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("thunar-bus"), {"org.xfce.Xfconf.service"}) ||
            !m_process.start("thunar", {folder}, {m_bus.variable(), "GDK_BACKEND=x11", "NO_AT_BRIDGE=1", "GIO_USE_VFS=local"}))
            return false;
        const auto window = waitForClient(
            [&](const ProbedWindow& w) {
                return w.viewable && w.windowClass == u"Thunar" && w.title.startsWith(QFileInfo(folder).fileName());
            },
            20000);
        const auto placed = window ? placeWindow(window->id, frame) : std::nullopt;
        if (!placed)
            return false;
        m_content = *placed;
        return true;
    }
    // Where the view's first icon is, and where a drop goes into the folder.
    QPoint firstIcon() const { return m_content.topLeft() + QPoint(210, 140); }
    QPoint emptySpace() const { return m_content.bottomRight() - QPoint(60, 60); }
    QString errors() { return m_process.errors(); }

private:
    PrivateBus m_bus;
    Program m_process;
    XConnection m_display;
    QRect m_content;
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

// Chooses "Copy", the third entry of the menu of the shelf whose stack area
// is centred at `stack`; answers whether the menu opened.
inline bool copyFromShelfMenu(const XConnection& display, QPoint stack)
{
    return Input::run(Input::click(stack, 3)) && display.waitForWindow([](const ProbedWindow& w) {
        return w.viewable && w.overrideRedirect && w.instance == u"kavo" && w.geometry.height() > 40;
    }) && Input::run({"key", "Down", "Down", "Down", "Return"});
}

// Caja, MATE's file manager, showing one folder in a browser window under
// openbox. It pastes files only from MATE's own clipboard form.
class Caja
{
public:
    // Opens `folder` with the window's frame at `frame`; answers whether the
    // window shows there.
    bool open(const QString& folder, QRect frame)
    {
        if (!m_openbox.start() ||
            !m_process.start("caja", {"--no-desktop", "--browser", folder},
                             {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11", "GSETTINGS_BACKEND=memory"}))
            return false;
        const auto shown = waitForClient(
            [&](const ProbedWindow& w) {
                return w.viewable && w.windowClass == u"Caja" && w.title.startsWith(QFileInfo(folder).fileName());
            },
            30000);
        if (shown)
            m_window = shown->id;
        return shown && placeWindow(m_window, frame);
    }
    xcb_window_t window() const { return m_window; }
    QString errors() { return m_process.errors() + m_openbox.errors(); }

private:
    Openbox m_openbox;
    Program m_process;
    XConnection m_display;
    xcb_window_t m_window = XCB_NONE;
};

// Xfce's panel with its default configuration (the first start of a panel
// takes it). Its tray shows StatusNotifierItems and is their watcher. It keeps
// its settings through xfconfd, started here in the test's home (one the bus
// started would keep them in the bus's). Ended with the object.
class XfcePanel
{
public:
    // Starts it; answers whether its tray watches for items and the panel
    // along the top of the screen is drawn and settled.
    bool start()
    {
        const QStringList env{"NO_AT_BRIDGE=1", "GDK_BACKEND=x11"};
        QString xfconfd; // in the architecture's folder of /usr/lib
        const QStringList libs = QDir("/usr/lib").entryList(QDir::Dirs | QDir::NoDotAndDotDot) << ".";
        for (const QString& dir : libs) {
            if (QFileInfo::exists("/usr/lib/" + dir + "/xfce4/xfconf/xfconfd"))
                xfconfd = "/usr/lib/" + dir + "/xfce4/xfconf/xfconfd";
        }
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        const auto owned = [bus](const char* name) { return bus && bus->isServiceRegistered(name).value(); };
        if (xfconfd.isEmpty() || owned("org.xfce.Xfconf") || !m_settings.start(xfconfd, {}, env) ||
            !TestEnv::waitUntil([&] { return owned("org.xfce.Xfconf"); }, 10000) ||
            !m_panel.start("xfce4-panel", {}, env))
            return false;
        QDBusMessage hosted = QDBusMessage::createMethodCall(
            "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get");
        hosted << "org.kde.StatusNotifierWatcher" << "IsStatusNotifierHostRegistered";
        QImage last;
        QElapsedTimer unchanged;
        return TestEnv::waitUntil(
            [&] {
                const QImage now = image();
                if (now.isNull() || now != last)
                    last = now, unchanged.start();
                return !now.isNull() && unchanged.elapsed() > 500 && owned("org.kde.StatusNotifierWatcher") &&
                       QDBusConnection::sessionBus().call(hosted).arguments().value(0).value<QDBusVariant>().variant().toBool();
            },
            30000);
    }
    // Where the icon is that `show` puts in the tray (it answers whether it
    // did), once the panel has settled again (a hand is no faster): the place
    // on the panel that changed, less the items beside the tray that moved
    // over to make room for it.
    std::optional<QPoint> newIcon(const std::function<bool()>& show)
    {
        QImage before;
        std::optional<QPoint> icon;
        if (!TestEnv::waitUntil([&] { return !(before = image().convertToFormat(QImage::Format_RGB32)).isNull(); }) ||
            !show())
            return icon;
        // Each column of pixels, as bytes to compare.
        const auto columns = [](const QImage& img) {
            QList<QByteArray> out(img.width());
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x)
                    out[x].append(reinterpret_cast<const char*>(img.constScanLine(y)) + 4 * x, 4);
            }
            return out;
        };
        const QList<QByteArray> was = columns(before);
        QImage last;
        QElapsedTimer unchanged;
        TestEnv::waitUntil(
            [&] {
                const QImage after = image().convertToFormat(QImage::Format_RGB32);
                if (after != last)
                    last = after, unchanged.start();
                if (after.size() != before.size() || after == before || unchanged.elapsed() < 500)
                    return false;
                const QList<QByteArray> is = columns(after);
                const int width = int(is.size());
                const auto explained = [&](int x, int shift) {
                    return is[x] == was[x] || (x + shift < width && is[x] == was[x + shift]);
                };
                // How far the neighbours moved: the shift that accounts for most columns.
                int shift = 0, best = -1;
                for (int s = 0; s < 4 * before.height(); ++s) {
                    int count = 0;
                    for (int x = 0; x < width; ++x)
                        count += explained(x, s);
                    if (count > best)
                        best = count, shift = s;
                }
                // The first run of columns left unaccounted for that is as
                // wide as an icon (the clock further on may have turned a minute).
                for (int x = 0, first = -1, last = -1; x <= width && !icon; ++x) {
                    if (x < width && explained(x, shift))
                        continue;
                    if (first >= 0 && (x == width || x > last + 3) && last - first >= before.height() / 3)
                        icon = m_window.topLeft() + QPoint((first + last) / 2, before.height() / 2);
                    else if (first < 0 || x > last + 3)
                        first = x;
                    last = x;
                }
                return icon.has_value();
            },
            20000, TestEnv::picturePollMs);
        return icon;
    }
    QString errors() { return m_panel.errors() + m_settings.errors(); }

private:
    // What the panel along the top of the screen shows now.
    QImage image()
    {
        const int screen = m_display.describe(m_display.root()).value_or(ProbedWindow{}).geometry.width();
        for (const ProbedWindow& frame : m_display.topLevels()) {
            for (const ProbedWindow& w : m_display.descendants(frame.id)) {
                if (w.viewable && w.windowClass == u"Xfce4-panel" && w.geometry.top() == 0 &&
                    w.geometry.width() == screen) {
                    m_window = w.geometry;
                    return m_display.image(w);
                }
            }
        }
        return {};
    }

    Program m_settings, m_panel;
    XConnection m_display;
    QRect m_window;
};
