// How long a shelf takes to rebuild itself (reload) in stack and list mode,
// to switch a long shelf to its list, and what its pop-in costs.
#include "model/ShelfStore.h"
#include "platform/Thumbnailer.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfListAccessible.h"

#include "Bench.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <ctime>
#include <unistd.h>

namespace {

// Resident memory of this process, in MB.
double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// CPU time of this process (all threads), in ms.
double cpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

QList<QUrl> writeFiles(const QTemporaryDir& dir, const QString& prefix, int n)
{
    QList<QUrl> urls;
    for (int i = 0; i < n; ++i) {
        const QString p = dir.filePath(QStringLiteral("%1-%2.txt").arg(prefix).arg(i));
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write("some text");
        urls << QUrl::fromLocalFile(p);
    }
    return urls;
}

// A shelf of 5,000 files switched to its list (rows built, laid out and
// painted), and the memory that took.
void measureLongList(const QTemporaryDir& files)
{
    auto store = std::make_shared<ShelfStore>();
    store->add(writeFiles(files, QStringLiteral("long"), 5000), false);
    ShelfContentView view(store);
    view.resize(ShelfContentView::shelfWidth, ShelfContentView::listHeight(7));
    view.show();
    QCoreApplication::processEvents();
    const double before = residentMb();
    QElapsedTimer t;
    t.start();
    view.toggleList();
    view.repaint();
    QCoreApplication::processEvents();
    Bench::report("shelf.list_switch_5000", double(t.nsecsElapsed()) / 1e6, "ms", "< 50");
    Bench::report("shelf.list_switch_5000_memory", residentMb() - before, "MB", "< 2");

    // Scrolling: wheel notches down the list, then jumps of the scroll bar
    // (as when its handle is dragged fast), each step with its repaint and
    // the rows it builds. A display refreshes every 16.7 ms.
    QWidget* viewport = view.scroll()->viewport();
    const QPointF inside(viewport->width() / 2.0, viewport->height() / 2.0);
    std::vector<double> notches;
    for (int i = 0; i < 600; ++i) {
        QWheelEvent wheel(inside, viewport->mapToGlobal(inside), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        notches.push_back(Bench::medianMs(1, [&] {
            QCoreApplication::sendEvent(viewport, &wheel);
            view.repaint();
            QCoreApplication::processEvents();
        }));
    }
    QScrollBar* bar = view.scroll()->verticalScrollBar();
    std::vector<double> jumps;
    for (int i = 0; i < 50; ++i) {
        jumps.push_back(Bench::medianMs(1, [&] {
            bar->setValue((i * 97 % 5000) * ShelfContentView::rowH);
            view.repaint();
            QCoreApplication::processEvents();
        }));
    }
    const auto rate = [](std::vector<double> steps) { // steps per second at the median
        std::sort(steps.begin(), steps.end());
        return 1000.0 / steps[steps.size() / 2];
    };
    Bench::report("shelf.list_scroll_notch_rate", rate(notches), "1/s", "> 60");
    Bench::report("shelf.list_scroll_notch_worst", *std::max_element(notches.begin(), notches.end()), "ms", "< 16.7");
    Bench::report("shelf.list_scroll_jump_rate", rate(jumps), "1/s", "> 60");
    Bench::report("shelf.list_scroll_jump_worst", *std::max_element(jumps.begin(), jumps.end()), "ms", "< 16.7");
}

// The same switch with accessibility on, as a screen reader turns it on (on
// the X11 platform, whose bridge serves the session's accessibility bus):
// the list's items are made only as a reader asks for them, so opening the
// list costs about what it costs without one. Run as a process of its own
// ("--accessible"), since the figures above are taken offscreen.
constexpr auto a11yService = "org.a11y.Bus", a11yPath = "/org/a11y/bus";

bool setAccessibilityEnabled(bool on)
{
    QDBusInterface properties(a11yService, a11yPath, "org.freedesktop.DBus.Properties",
                              QDBusConnection::sessionBus());
    properties.setTimeout(10000);
    return properties.call("Set", "org.a11y.Status", "IsEnabled", QVariant::fromValue(QDBusVariant(on)))
               .type() == QDBusMessage::ReplyMessage;
}

int measureLongListAccessible()
{
    QTemporaryDir files;
    if (!setAccessibilityEnabled(true)) {
        std::fprintf(stderr, "the accessibility bus (at-spi2-core) did not start\n");
        return 1;
    }
    QDeadlineTimer deadline(10000);
    while (!QAccessible::isActive() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!QAccessible::isActive()) {
        std::fprintf(stderr, "accessibility did not come on\n");
        setAccessibilityEnabled(false);
        return 1;
    }
    auto store = std::make_shared<ShelfStore>();
    store->add(writeFiles(files, QStringLiteral("a11y"), 5000), false);
    ShelfContentView view(store);
    view.resize(ShelfContentView::shelfWidth, ShelfContentView::listHeight(7));
    view.show();
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    view.toggleList();
    view.repaint();
    QCoreApplication::processEvents();
    // What a reader asks first: the list, its size, the item it lands on.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view.scroll());
    const int count = list ? list->childCount() : 0;
    view.selectIndex(0);
    QAccessibleInterface* first = list ? list->child(0) : nullptr;
    const bool answered = count == 5000 && first && !first->text(QAccessible::Name).isEmpty() &&
                          !first->text(QAccessible::Description).isEmpty();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    setAccessibilityEnabled(false);
    if (!answered) {
        std::fprintf(stderr, "the accessible list did not answer (%d children)\n", count);
        return 1;
    }
    Bench::report("shelf.list_switch_5000_accessible", ms, "ms", "< 50");
    Bench::report("shelf.list_switch_5000_accessible_items_made",
                  double(ShelfListAccessible::madeCount(view.scroll())), "items", "< 10");
    return 0;
}

// The CPU the pop-in spring costs once the shelf is on screen, median of 5.
void measurePopIn(const QTemporaryDir& files)
{
    auto store = std::make_shared<ShelfStore>();
    store->add(writeFiles(files, QStringLiteral("pop"), 3), false);
    ShelfContentView view(store);
    view.show();
    QCoreApplication::processEvents();
    std::vector<double> costs;
    for (int i = 0; i < 5; ++i) {
        const double start = cpuMs();
        view.popIn();
        while (view.isPopping())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        costs.push_back(cpuMs() - start);
    }
    std::sort(costs.begin(), costs.end());
    Bench::report("shelf.pop_in_cpu", costs[costs.size() / 2], "ms", "< 25");
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Thumbnailer::setShared(std::make_unique<NullThumbnailer>());
    if (argc > 1 && qstrcmp(argv[1], "--accessible") == 0)
        return measureLongListAccessible();

    QTemporaryDir files;
    for (int n : {10, 100, 1000}) {
        const QList<QUrl> urls = writeFiles(files, QStringLiteral("n%1").arg(n), n);
        auto store = std::make_shared<ShelfStore>();
        store->add(urls, false);
        ShelfContentView view(store);
        view.show();
        QCoreApplication::processEvents();
        // A rebuild costs the reload itself, the repaint and the events it
        // leaves behind (polishing new rows, deleting old ones).
        const double stack = Bench::medianMs(15, [&] {
            view.reload();
            view.repaint();
            QCoreApplication::processEvents();
        });
        view.toggleList();
        view.resize(216, ShelfContentView::listHeight(n));
        QCoreApplication::processEvents();
        // Only pictures changed: the rows stay.
        const double list = Bench::medianMs(15, [&] {
            view.reload();
            view.repaint();
            QCoreApplication::processEvents();
        });
        // The items changed (here their order): every row is built anew.
        const double rebuilt = Bench::medianMs(15, [&] {
            store->items.swapItemsAt(0, 1);
            view.reload();
            view.repaint();
            QCoreApplication::processEvents();
        });
        const QByteArray s = "shelf.reload_stack_" + QByteArray::number(n);
        const QByteArray l = "shelf.reload_list_" + QByteArray::number(n);
        const QByteArray r = "shelf.reload_list_new_rows_" + QByteArray::number(n);
        Bench::report(s.constData(), stack, "ms", n == 100 ? "< 16" : "");
        Bench::report(l.constData(), list, "ms", "");
        Bench::report(r.constData(), rebuilt, "ms", n == 100 ? "< 16" : "");
    }
    measureLongList(files);
    measurePopIn(files);

    // The accessible list, on the display this benchmark was given.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "shelf.list_switch_5000_accessible needs an X display\n");
        return 1;
    }
    QProcess accessible;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    accessible.setProcessEnvironment(env);
    accessible.setProcessChannelMode(QProcess::ForwardedChannels);
    accessible.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--accessible")});
    if (!accessible.waitForFinished(60000)) {
        accessible.kill();
        accessible.waitForFinished();
        return 1;
    }
    return accessible.exitStatus() == QProcess::NormalExit ? accessible.exitCode() : 1;
}
