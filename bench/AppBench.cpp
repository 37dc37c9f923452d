// The real program on an X display with no window manager: from the hot key
// to a mapped shelf, from start-up to an embedded tray icon, and what it
// costs while idle (resident memory, CPU, wake-ups).
#include "Bench.h"
#include "BenchHome.h"
#include "ShortcutsPortal.h"
#include "XTest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRect>
#include <QProcess>
#include <QStandardPaths>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The value that 90 % of `v` do not exceed.
double percentile90(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[(v.size() * 9 + 9) / 10 - 1];
}

// Our own connection to the display, used to watch windows appear and to
// send input.
class Display
{
public:
    Display() : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_root = screen->root;
        m_width = screen->width_in_pixels;
        m_height = screen->height_in_pixels;
        // Maps and reparentings of top-level windows are reported to the root.
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~Display() { xcb_disconnect(m_c); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool isValid() const { return !xcb_connection_has_error(m_c) && m_root != 0; }
    xcb_connection_t* connection() const { return m_c; }
    xcb_window_t root() const { return m_root; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Waits for an event that `match` accepts and answers when it was read
    // from the connection; nothing once `deadline` has passed.
    std::optional<Clock::time_point>
    waitFor(const std::function<bool(const xcb_generic_event_t*)>& match,
            Clock::time_point deadline)
    {
        xcb_flush(m_c);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const Clock::time_point at = Clock::now();
                const bool hit = match && match(e);
                std::free(e);
                if (hit)
                    return at;
            }
            if (xcb_connection_has_error(m_c))
                return std::nullopt;
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p{xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&p, 1, int(left.count()) + 1);
        }
    }
    // Reads and discards events for a while (the program is left alone).
    void idle(milliseconds d) { waitFor(nullptr, Clock::now() + d); }
    void drain() { waitFor(nullptr, Clock::now()); }

    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    // The screen's pixels in a rectangle (a root window's image shows the
    // mapped windows on it, as no compositor runs); empty when outside it.
    QByteArray pixels(const QRect& r)
    {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            m_c,
            xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(r.x()), int16_t(r.y()),
                          uint16_t(r.width()), uint16_t(r.height()), ~0u),
            nullptr);
        QByteArray data;
        if (reply)
            data = QByteArray(reinterpret_cast<const char*>(xcb_get_image_data(reply)),
                              xcb_get_image_data_length(reply));
        std::free(reply);
        return data;
    }

    // The _NET_WM_PID of a window, 0 when it has none.
    qint64 windowPid(xcb_window_t w)
    {
        if (!m_pidAtom)
            m_pidAtom = atom("_NET_WM_PID");
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        qint64 pid = 0;
        if (r && r->format == 32 && xcb_get_property_value_length(r) == 4)
            pid = *static_cast<const uint32_t*>(xcb_get_property_value(r));
        std::free(r);
        return pid;
    }

    xcb_window_t selectionOwner(const char* selection)
    {
        xcb_get_selection_owner_reply_t* r = xcb_get_selection_owner_reply(
            m_c, xcb_get_selection_owner(m_c, atom(selection)), nullptr);
        const xcb_window_t owner = r ? r->owner : xcb_window_t(XCB_WINDOW_NONE);
        std::free(r);
        return owner;
    }

    // Whether a window manager announces itself on this display.
    bool hasWindowManager()
    {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            m_c,
            xcb_get_property(m_c, 0, m_root, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0,
                             1),
            nullptr);
        const bool found = r && xcb_get_property_value_length(r) == 4;
        std::free(r);
        return found || selectionOwner("WM_S0") != XCB_WINDOW_NONE;
    }

    // The first keycode that produces `keysym`, 0 when none does.
    uint8_t keycode(xcb_keysym_t keysym)
    {
        xcb_key_symbols_t* syms = xcb_key_symbols_alloc(m_c);
        xcb_keycode_t* codes = syms ? xcb_key_symbols_get_keycode(syms, keysym) : nullptr;
        const uint8_t code = codes ? codes[0] : 0;
        std::free(codes);
        if (syms)
            xcb_key_symbols_free(syms);
        return code;
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    int m_width = 0;
    int m_height = 0;
    xcb_atom_t m_pidAtom = 0;
};

// A top-level window of process `pid` (not an override-redirect one such as
// a tooltip) being mapped.
std::function<bool(const xcb_generic_event_t*)> mapOf(Display& x, qint64 pid)
{
    return [&x, pid](const xcb_generic_event_t* e) {
        if ((e->response_type & 0x7f) != XCB_MAP_NOTIFY)
            return false;
        const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(e);
        return map->event == x.root() && !map->override_redirect && x.windowPid(map->window) == pid;
    };
}

// A top-level window of process `pid` moving under another window: a tray
// host embedding an icon.
std::function<bool(const xcb_generic_event_t*)> embeddingOf(Display& x, qint64 pid)
{
    return [&x, pid](const xcb_generic_event_t* e) {
        if ((e->response_type & 0x7f) != XCB_REPARENT_NOTIFY)
            return false;
        const auto* re = reinterpret_cast<const xcb_reparent_notify_event_t*>(e);
        return re->event == x.root() && re->parent != x.root() && x.windowPid(re->window) == pid;
    };
}

// A program started by the benchmark with its output in a log file, ended
// with SIGTERM (SIGKILL if it does not go).
class Child
{
public:
    Child(const QString& program, const QStringList& arguments, const QString& log)
        : m_program(program), m_arguments(arguments), m_log(log)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(log, QIODevice::Append);
    }
    ~Child() { stop(); }

    bool start()
    {
        m_process.start(m_program, m_arguments);
        return m_process.waitForStarted(5000);
    }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // The end of the log, for a message about a failure.
    QString logTail() const
    {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll().right(2000));
    }

private:
    QString m_program;
    QStringList m_arguments;
    QString m_log;
    QProcess m_process;
};

// Runs a short command (`kavo --list`, `kavo --new-shelf …`) to its end.
struct CommandResult
{
    int exitCode = -1;
    QByteArray output;
};
CommandResult runCommand(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, arguments);
    CommandResult result;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished();
        return result;
    }
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.output = p.readAllStandardOutput();
    return result;
}

// The running instance's shelves, from `kavo --list`; nothing while none
// answers.
std::optional<QJsonArray> listShelves()
{
    const CommandResult r = runCommand(QStringLiteral(KAVO_PROGRAM), {QStringLiteral("--list")});
    if (r.exitCode != 0)
        return std::nullopt;
    return QJsonDocument::fromJson(r.output).object().value(QStringLiteral("shelves")).toArray();
}

// Waits until the instance answers commands (it has finished launching).
bool waitUntilAnswering(Clock::time_point deadline)
{
    while (Clock::now() < deadline) {
        if (listShelves())
            return true;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
}

// The number on one "Name:  value" line of /proc/PID/status (sizes are in
// kB there).
std::optional<qint64> statusValue(qint64 pid, const QByteArray& field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return std::nullopt;
}

// utime + stime of a process, in clock ticks.
std::optional<qint64> cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = f.readAll();
    // The command name may hold spaces and parentheses: fields are counted
    // from its closing parenthesis (field 3 comes first after it).
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    return fields[11].toLongLong() + fields[12].toLongLong(); // fields 14 and 15
}

// Starts the program and waits until it answers commands; says why not.
bool startAnswering(Child& kavo)
{
    if (kavo.start() && waitUntilAnswering(Clock::now() + seconds(10)))
        return true;
    std::fprintf(stderr, "kavo did not start:\n%s\n", qPrintable(kavo.logTail()));
    return false;
}

// Resident memory against the aim, split into the program's own anonymous
// memory and the pages of mapped files (mostly shared libraries, which other
// Qt programs share).
void reportMemory(const QByteArray& name, qint64 pid, const char* aim)
{
    const auto megabytes = [](qint64 kB) { return double(kB) * 1024 / 1e6; };
    const std::optional<qint64> rss = statusValue(pid, "VmRSS");
    if (!rss) {
        std::fprintf(stderr, "cannot read /proc/%lld/status\n", static_cast<long long>(pid));
        return;
    }
    Bench::report(QByteArray("app.idle_rss_" + name).constData(), megabytes(*rss), "MB", aim);
    if (const std::optional<qint64> anon = statusValue(pid, "RssAnon"))
        Bench::report(QByteArray("app.idle_rss_anon_" + name).constData(), megabytes(*anon), "MB");
    if (const std::optional<qint64> file = statusValue(pid, "RssFile"))
        Bench::report(QByteArray("app.idle_rss_file_" + name).constData(), megabytes(*file), "MB");
    if (const std::optional<qint64> threads = statusValue(pid, "Threads"))
        Bench::report(QByteArray("app.idle_threads_" + name).constData(), double(*threads), "count");
}

void writeConfig(const Bench::Home& home, bool checkDue = false)
{
    QFile conf(home.folder(QStringLiteral(".config/Kavo")) + QStringLiteral("/Kavo.conf"));
    conf.open(QIODevice::WriteOnly | QIODevice::Truncate);
    // No welcome notice, and (unless asked for) an update check that is not
    // due: the program runs as it does on any later day, and never reaches
    // for the network.
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    conf.write("[General]\nhasLaunchedBefore=true\nlastUpdateCheck=" +
               QByteArray::number(checkDue ? 0 : now, 'f', 3) + "\n");
}

void writeText(const QString& path, const QByteArray& line, int times)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < times; ++i)
        f.write(line);
}

// A 1920x1080 PNG of 16 bits a channel with a camera's grain, about 9 MB as
// a photo exported from an editor is: smooth shapes under noise that no
// compressor can take away.
void writePhotoPng(const QString& path, quint32 seed)
{
    QImage img(1920, 1080, QImage::Format_RGBX64);
    QPainter p(&img);
    QLinearGradient g(0, 0, 1920, 1080);
    g.setColorAt(0, QColor::fromHsv(int(seed * 83 % 360), 120, 140));
    g.setColorAt(1, QColor::fromHsv(int(seed * 83 % 360 + 140) % 360, 110, 230));
    p.fillRect(img.rect(), g);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 60; ++i) {
        p.setBrush(QColor::fromHsv(int((i * 47 + seed * 13) % 360), 150, 200));
        p.drawEllipse(QPoint((i * 211) % 1920, (i * 127) % 1080), 40 + i, 30 + i);
    }
    p.end();
    quint32 state = seed * 2654435761u + 1;
    for (int y = 0; y < img.height(); ++y) {
        auto* px = reinterpret_cast<QRgba64*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const auto grain = [&](quint16 v, int shift) {
                return quint16(std::clamp(int(v) + int((state >> shift) & 0x3ff) - 512, 0, 65535));
            };
            px[x] = QRgba64::fromRgba64(grain(px[x].red(), 0), grain(px[x].green(), 10),
                                        grain(px[x].blue(), 20), 65535);
        }
    }
    img.save(path, "PNG");
}

// The shelf the figures are about: two photos and a text file.
QStringList writeThreeFiles(const QString& folder)
{
    const QStringList paths = {folder + QStringLiteral("/Lake.png"),
                               folder + QStringLiteral("/Ridge.png"),
                               folder + QStringLiteral("/Notes.txt")};
    writePhotoPng(paths[0], 1);
    writePhotoPng(paths[1], 2);
    writeText(paths[2], "A line of notes about the trip.\n", 200);
    Bench::report("app.fixture_photo_png_size", double(QFileInfo(paths[0]).size()) / 1e6, "MB",
                  "9");
    return paths;
}

// Takes away every thumbnail made so far: the next shelf decodes its photos.
void forgetThumbnails(const Bench::Home& home)
{
    QDir(home.path() + QStringLiteral("/.cache/thumbnails")).removeRecursively();
}

const QString trayerProgram = QStringLiteral("trayer");
const QStringList trayerArguments = {QStringLiteral("--edge"),        QStringLiteral("bottom"),
                                     QStringLiteral("--align"),       QStringLiteral("right"),
                                     QStringLiteral("--width"),       QStringLiteral("10"),
                                     QStringLiteral("--height"),      QStringLiteral("32"),
                                     QStringLiteral("--SetDockType"), QStringLiteral("false"),
                                     QStringLiteral("--transparent"), QStringLiteral("false")};

// From starting `kavo` to its tray icon sitting in the tray host, median of
// five starts after one that warms the caches.
bool measureStartup(Display& x, const Bench::Home& home)
{
    constexpr int runs = 5;
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        Child kavo(QStringLiteral(KAVO_PROGRAM), {},
                   home.path() + QStringLiteral("/kavo-start.log"));
        x.drain();
        const Clock::time_point t0 = Clock::now();
        if (!kavo.start()) {
            std::fprintf(stderr, "cannot start %s\n", KAVO_PROGRAM);
            return false;
        }
        const auto embedded = x.waitFor(embeddingOf(x, kavo.pid()), t0 + seconds(10));
        if (!embedded) {
            std::fprintf(stderr, "the tray icon was not embedded within 10 s:\n%s\n",
                         qPrintable(kavo.logTail()));
            return false;
        }
        if (i > 0)
            times.push_back(msBetween(t0, *embedded));
        kavo.stop();
    }
    Bench::report("app.startup_to_tray_icon", median(times), "ms", "<= 50");
    Bench::report("app.startup_to_tray_icon_runs", double(times.size()), "count");
    return true;
}

// From the hot key's press to the new shelf's window being mapped, median of
// ten presses after one warm-up press.
bool measureHotKey(Display& x, Bench::XTest& xtest, qint64 pid)
{
    const uint8_t control = x.keycode(0xffe3); // Control_L
    const uint8_t alt = x.keycode(0xffe9);     // Alt_L
    const uint8_t space = x.keycode(0x20);
    if (!control || !alt || !space) {
        std::fprintf(stderr, "the keyboard map has no Control_L, Alt_L or space\n");
        return false;
    }
    constexpr int presses = 10;
    std::vector<double> times;
    int missed = 0;
    for (int i = 0; i <= presses; ++i) {
        xtest.key(control, true);
        xtest.key(alt, true);
        xtest.sync();
        x.drain();
        const Clock::time_point t0 = Clock::now();
        xtest.key(space, true);
        const auto mapped = x.waitFor(mapOf(x, pid), t0 + seconds(3));
        xtest.key(space, false);
        xtest.key(alt, false);
        xtest.key(control, false);
        if (!mapped)
            ++missed;
        else if (i > 0)
            times.push_back(msBetween(t0, *mapped));
        // Let the shelf's fade and pop end before the next press.
        x.idle(milliseconds(700));
    }
    if (times.empty()) {
        std::fprintf(stderr, "no shelf appeared for the hot key (%d presses)\n", missed);
        return false;
    }
    Bench::report("app.hotkey_to_shelf_mapped", median(times), "ms", "< 50");
    Bench::report("app.hotkey_to_shelf_mapped_max", *std::max_element(times.begin(), times.end()),
                  "ms");
    Bench::report("app.hotkey_presses", double(times.size()), "count", "10");
    return missed == 0;
}

// On a Wayland session: from the portal's Activated signal to the new
// shelf's window being mapped, median of ten after one warm-up. The portal
// is played in this process (no desktop that serves it runs under Xvfb), so
// the wait alternates between its D-Bus answers and the display in 2 ms
// steps.
bool measurePortalHotKey(Display& x, ShortcutsPortal& portal, qint64 pid)
{
    const auto waitMapped = [&](Clock::time_point deadline) {
        std::optional<Clock::time_point> mapped;
        while (!mapped && Clock::now() < deadline) {
            QCoreApplication::processEvents();
            mapped = x.waitFor(mapOf(x, pid), std::min(deadline, Clock::now() + milliseconds(2)));
        }
        return mapped;
    };
    const Clock::time_point bindDeadline = Clock::now() + seconds(10);
    while (portal.bound.isEmpty() && Clock::now() < bindDeadline)
        waitMapped(Clock::now() + milliseconds(20));
    if (portal.bound.isEmpty()) {
        std::fprintf(stderr, "kavo bound no shortcut through the portal\n");
        return false;
    }
    constexpr int presses = 10;
    std::vector<double> times;
    for (int i = 0; i <= presses; ++i) {
        x.drain();
        const Clock::time_point t0 = Clock::now();
        portal.activate(QStringLiteral("new-shelf"));
        const auto mapped = waitMapped(t0 + seconds(3));
        if (mapped && i > 0)
            times.push_back(msBetween(t0, *mapped));
        x.idle(milliseconds(700));
    }
    if (times.size() != presses) {
        std::fprintf(stderr, "no shelf appeared for %d activations\n", int(presses - times.size()));
        return false;
    }
    Bench::report("app.portal_hotkey_to_shelf_mapped", median(times), "ms", "< 50");
    Bench::report("app.portal_hotkey_to_shelf_mapped_max",
                  *std::max_element(times.begin(), times.end()), "ms");
    return true;
}

// The share of 4-byte pixels that differ between two pictures of one place.
double changed(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 1;
    qsizetype differ = 0;
    for (qsizetype i = 0; i + 4 <= a.size(); i += 4)
        differ += std::memcmp(a.constData() + i, b.constData() + i, 4) != 0;
    return double(differ) / double(a.size() / 4);
}

QRect frameOf(const QJsonObject& shelf)
{
    const QJsonArray f = shelf.value(QStringLiteral("frame")).toArray();
    return {f.at(0).toInt(), f.at(1).toInt(), f.at(2).toInt(), f.at(3).toInt()};
}

// The CPU one shelf of the three files costs the program, from the command
// that opens it to its window gone again (a click on its header, then
// Escape): the first time, and then, once its thumbnails are made, the mean
// of ten more (the kernel counts CPU in 10 ms ticks, too coarse for one).
// In those ten, the time from starting the command to the shelf's first
// picture on the screen: a band across the shelf's middle, read every half
// millisecond, showing the shelf instead of what was there.
bool measureOpenClose(Display& x, Bench::XTest& xtest, qint64 pid, const QStringList& files)
{
    constexpr int cachedRuns = 10;
    const uint8_t escape = x.keycode(0xff1b);
    const double msPerTick = 1000.0 / double(::sysconf(_SC_CLK_TCK));
    qint64 cachedTicks = 0;
    std::vector<double> painted;
    QRect frame;
    for (int run = 0; run <= cachedRuns; ++run) {
        const QRect band = frame.isValid() ? QRect(frame.x(), frame.center().y() - 2, frame.width(), 4)
                                           : QRect();
        const QByteArray before = band.isValid() ? x.pixels(band) : QByteArray();
        x.drain();
        const std::optional<qint64> ticks0 = cpuTicks(pid);
        const Clock::time_point t0 = Clock::now();
        QProcess command;
        command.start(QStringLiteral(KAVO_PROGRAM), QStringList{QStringLiteral("--new-shelf")} + files);
        std::optional<Clock::time_point> shown;
        while (band.isValid() && !shown && Clock::now() < t0 + seconds(5)) {
            if (changed(before, x.pixels(band)) > 0.5)
                shown = Clock::now();
            else
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const bool finished = command.waitForFinished(10000) && command.exitCode() == 0;
        const auto mapped = x.waitFor(mapOf(x, pid), t0 + seconds(10));
        const std::optional<QJsonArray> shelves = listShelves();
        if (!finished || !mapped || !shelves || shelves->size() != 1 || (band.isValid() && !shown)) {
            std::fprintf(stderr, "the shelf of three files did not open (run %d)\n", run);
            return false;
        }
        if (!frame.isValid())
            frame = frameOf(shelves->at(0).toObject());
        else if (frameOf(shelves->at(0).toObject()) != frame) {
            std::fprintf(stderr, "the shelf opened elsewhere (run %d)\n", run);
            return false;
        }
        if (shown)
            painted.push_back(msBetween(t0, *shown));
        x.idle(milliseconds(1500)); // pictures and the pop-in come to rest
        xtest.moveTo(frame.x() + 52, frame.y() + 18);
        xtest.button(1, true);
        xtest.button(1, false);
        xtest.sync();
        x.idle(milliseconds(100));
        xtest.key(escape, true);
        xtest.key(escape, false);
        // Back where the shelves open.
        xtest.moveTo(x.width() / 2, x.height() / 2);
        xtest.sync();
        const Clock::time_point deadline = Clock::now() + seconds(5);
        std::optional<QJsonArray> left = listShelves();
        while (left && !left->isEmpty() && Clock::now() < deadline) {
            x.idle(milliseconds(50));
            left = listShelves();
        }
        x.idle(milliseconds(500)); // the fade out ends
        const std::optional<qint64> ticks1 = cpuTicks(pid);
        if (!left || !left->isEmpty() || !ticks0 || !ticks1) {
            std::fprintf(stderr, "the shelf of three files did not close (run %d)\n", run);
            return false;
        }
        if (run == 0)
            Bench::report("app.open_close_3_files_cpu_first", double(*ticks1 - *ticks0) * msPerTick,
                          "ms", "<= 150");
        else
            cachedTicks += *ticks1 - *ticks0;
    }
    Bench::report("app.open_close_3_files_cpu_cached",
                  double(cachedTicks) * msPerTick / cachedRuns, "ms", "<= 30");
    Bench::report("app.new_shelf_first_paint_p90", percentile90(painted), "ms", "<= 16");
    Bench::report("app.new_shelf_first_paint_median", median(painted), "ms");
    return true;
}

// The CPU of `kavo --new-shelf` of the three files when no Kavo runs: that
// process becomes the instance, shows the shelf and makes its thumbnails,
// counted once the shelf has settled (2 s after its window is mapped).
// Median of three starts, each with no thumbnails and no shelves kept from
// before.
bool measureColdStart(Display& x, const Bench::Home& home, const QStringList& files)
{
    const double msPerTick = 1000.0 / double(::sysconf(_SC_CLK_TCK));
    std::vector<double> cpu;
    std::vector<double> mapped;
    for (int run = 0; run < 3; ++run) {
        forgetThumbnails(home);
        QFile::remove(home.path() + QStringLiteral("/.local/state/Kavo/shelves.json"));
        Child kavo(QStringLiteral(KAVO_PROGRAM), QStringList{QStringLiteral("--new-shelf")} + files,
                   home.path() + QStringLiteral("/kavo-cold.log"));
        x.drain();
        const Clock::time_point t0 = Clock::now();
        const auto map = kavo.start() ? x.waitFor(mapOf(x, kavo.pid()), t0 + seconds(10))
                                      : std::nullopt;
        if (!map) {
            std::fprintf(stderr, "a cold start showed no shelf:\n%s\n", qPrintable(kavo.logTail()));
            return false;
        }
        x.idle(seconds(2));
        const std::optional<qint64> ticks = cpuTicks(kavo.pid());
        if (!ticks)
            return false;
        cpu.push_back(double(*ticks) * msPerTick);
        mapped.push_back(msBetween(t0, *map));
        kavo.stop();
    }
    QFile::remove(home.path() + QStringLiteral("/.local/state/Kavo/shelves.json"));
    Bench::report("app.cold_start_3_files_cpu", median(cpu), "ms", "<= 200");
    Bench::report("app.cold_start_3_files_mapped", median(mapped), "ms");
    return true;
}

// Waits until `log` holds `text`; answers the log's contents then.
std::optional<QByteArray> waitForLog(Display& x, const QString& log, const QByteArray& text,
                                     Clock::time_point deadline)
{
    while (Clock::now() < deadline) {
        QFile f(log);
        const QByteArray contents = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (contents.contains(text))
            return contents;
        x.idle(milliseconds(100));
    }
    return std::nullopt;
}

// Resident memory of an idle instance once its first automatic update check
// (due at start, run 20 s later) has fetched a feed, served here over HTTP by
// Python's web server, and let the network machinery go.
bool measureAfterUpdateCheck(Display& x, const Bench::Home& home)
{
    const QString site = home.folder(QStringLiteral("feed"));
    QFile feed(site + QStringLiteral("/version.json"));
    feed.open(QIODevice::WriteOnly | QIODevice::Truncate);
    feed.write(R"({"version": "0.9", "url": "https://example.org/kavo"})"); // nothing newer
    feed.close();
    const QString serverLog = home.path() + QStringLiteral("/feed-server.log");
    Child server(QStringLiteral("python3"),
                 {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                  QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("--directory"), site},
                 serverLog);
    const std::optional<QByteArray> serving =
        server.start() ? waitForLog(x, serverLog, "port ", Clock::now() + seconds(10)) : std::nullopt;
    if (!serving) {
        std::fprintf(stderr, "python3 -m http.server did not start:\n%s\n", qPrintable(server.logTail()));
        return false;
    }
    const QByteArray port = serving->mid(serving->indexOf("port ") + 5).split(' ').value(0);
    writeConfig(home, /*checkDue=*/true);
    qputenv("KAVO_FEED_URL", "http://127.0.0.1:" + port + "/version.json");
    Child kavo(QStringLiteral(KAVO_PROGRAM), {}, home.path() + QStringLiteral("/kavo-update.log"));
    const bool started = startAnswering(kavo);
    qunsetenv("KAVO_FEED_URL");
    const bool fetched =
        started && waitForLog(x, serverLog, "GET /version.json", Clock::now() + seconds(40));
    if (started && !fetched)
        std::fprintf(stderr, "kavo did not fetch the feed:\n%s\n", qPrintable(kavo.logTail()));
    if (fetched) {
        x.idle(seconds(5));
        reportMemory("after_update_check", kavo.pid(), "<= 28");
    }
    kavo.stop();
    writeConfig(home); // the later instances' check is not due
    return fetched;
}

// CPU used by the idle program over 30 s (all its threads), in percent of
// one core, and how often its main thread woke up.
bool measureIdleCpu(Display& x, qint64 pid)
{
    constexpr auto window = seconds(30);
    const std::optional<qint64> ticks0 = cpuTicks(pid);
    const std::optional<qint64> switches0 = statusValue(pid, "voluntary_ctxt_switches");
    const Clock::time_point t0 = Clock::now();
    x.idle(window);
    const std::optional<qint64> ticks1 = cpuTicks(pid);
    const std::optional<qint64> switches1 = statusValue(pid, "voluntary_ctxt_switches");
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!ticks0 || !ticks1) {
        std::fprintf(stderr, "cannot read /proc/%lld/stat\n", static_cast<long long>(pid));
        return false;
    }
    const double cpuSeconds = double(*ticks1 - *ticks0) / double(::sysconf(_SC_CLK_TCK));
    Bench::report("app.idle_cpu_30s", 100.0 * cpuSeconds / wall, "%", "< 0.5");
    if (switches0 && switches1)
        Bench::report("app.idle_main_thread_wakeups", double(*switches1 - *switches0) / wall,
                      "1/s");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Bench::Home home;
    if (!home.isValid())
        return 1;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_app needs an X display with no window manager "
                             "(bench/run-all starts one under xvfb-run)\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QCoreApplication app(argc, argv);
    writeConfig(home);

    Display x;
    if (!x.isValid()) {
        std::fprintf(stderr, "cannot connect to the X display\n");
        return 1;
    }
    // Synthetic key presses and a tray host do not belong on a desktop in
    // use, and a window manager would change what a "map" means.
    if (x.hasWindowManager()) {
        std::fprintf(stderr, "bench_app runs on a display with no window manager; "
                             "use bench/run-all, which starts one under xvfb-run\n");
        return 1;
    }
    Bench::XTest xtest(x.connection(), x.root());
    if (!xtest.isAvailable()) {
        std::fprintf(stderr, "the X server has no XTEST extension\n");
        return 1;
    }
    // The pointer rests in the middle of the screen, where shelves open.
    xtest.moveTo(x.width() / 2, x.height() / 2);
    xtest.sync();

    bool ok = true;
    std::unique_ptr<Child> trayer;
    if (!QStandardPaths::findExecutable(trayerProgram).isEmpty()) {
        trayer = std::make_unique<Child>(trayerProgram, trayerArguments,
                                         home.path() + QStringLiteral("/trayer.log"));
        const Clock::time_point deadline = Clock::now() + seconds(10);
        bool hosting = trayer->start();
        while (hosting && x.selectionOwner("_NET_SYSTEM_TRAY_S0") == XCB_WINDOW_NONE) {
            if (Clock::now() > deadline || !trayer->isRunning()) {
                hosting = false;
                break;
            }
            x.idle(milliseconds(20));
        }
        if (hosting) {
            ok = measureStartup(x, home) && ok;
        } else {
            std::fprintf(stderr, "trayer did not become the tray host:\n%s\n",
                         qPrintable(trayer->logTail()));
            trayer.reset();
            ok = false;
        }
    } else {
        std::fprintf(stderr, "trayer is not installed: no start-up figure\n");
        ok = false;
    }

    // One instance left idle with no shelf, then driven by the hot key.
    {
        Child kavo(QStringLiteral(KAVO_PROGRAM), {},
                   home.path() + QStringLiteral("/kavo-idle.log"));
        if (!startAnswering(kavo))
            return 1;
        x.idle(seconds(5));
        reportMemory("no_shelf", kavo.pid(), "<= 28");
        ok = measureIdleCpu(x, kavo.pid()) && ok;
        ok = measureHotKey(x, xtest, kavo.pid()) && ok;
    }

    ok = measureAfterUpdateCheck(x, home) && ok;

    const QStringList files = writeThreeFiles(home.folder(QStringLiteral("Pictures")));
    ok = measureColdStart(x, home, files) && ok;

    // A fresh instance (no thumbnails made yet) opening and closing a shelf
    // of the three files.
    {
        forgetThumbnails(home);
        Child kavo(QStringLiteral(KAVO_PROGRAM), {},
                   home.path() + QStringLiteral("/kavo-photos.log"));
        if (!startAnswering(kavo))
            return 1;
        x.idle(seconds(1));
        ok = measureOpenClose(x, xtest, kavo.pid(), files) && ok;
    }

    // An instance on a Wayland session with a GlobalShortcuts portal.
    {
        ShortcutsPortal portal;
        qputenv("XDG_SESSION_TYPE", "wayland");
        Child kavo(QStringLiteral(KAVO_PROGRAM), {},
                   home.path() + QStringLiteral("/kavo-portal.log"));
        const bool started = portal.start() && kavo.start();
        qunsetenv("XDG_SESSION_TYPE");
        ok = started && measurePortalHotKey(x, portal, kavo.pid()) && ok;
    }

    // A fresh instance holding one shelf of the three files, its thumbnails
    // made anew.
    {
        forgetThumbnails(home);
        const QStringList& paths = files;
        Child kavo(QStringLiteral(KAVO_PROGRAM), {},
                   home.path() + QStringLiteral("/kavo-shelf.log"));
        if (!startAnswering(kavo))
            return 1;
        x.drain();
        const Clock::time_point t0 = Clock::now();
        const CommandResult opened = runCommand(QStringLiteral(KAVO_PROGRAM),
                                                QStringList{QStringLiteral("--new-shelf")} + paths);
        const bool mapped = x.waitFor(mapOf(x, kavo.pid()), t0 + seconds(10)).has_value();
        const std::optional<QJsonArray> shelves = listShelves();
        const bool held =
            shelves && shelves->size() == 1 &&
            shelves->at(0).toObject().value(QStringLiteral("items")).toArray().size() == 3;
        if (opened.exitCode != 0 || !mapped || !held) {
            std::fprintf(stderr, "the shelf of three files did not open:\n%s\n",
                         qPrintable(kavo.logTail()));
            ok = false;
        } else {
            x.idle(seconds(5));
            reportMemory("one_shelf_3_files", kavo.pid(), "<= 35");
        }
    }
    return ok ? 0 : 1;
}
