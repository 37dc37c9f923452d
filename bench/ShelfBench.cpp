// How long a shelf takes to rebuild itself (reload) in stack and list mode,
// to switch a long shelf to its list, and what its pop-in costs.
#include "model/ShelfStore.h"
#include "platform/Thumbnailer.h"
#include "shelf/ShelfContentView.h"

#include "Bench.h"

#include <QApplication>
#include <QFile>
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
    return 0;
}
