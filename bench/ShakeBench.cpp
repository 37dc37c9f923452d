// What the shake poll costs the UI thread on X11: ShakeDetector::tick() over
// the program's own input (pointer, drag selection, panel geometry), with the
// pointer at rest and while the button is held and the pointer swings, and
// the pointer query on its own. Ticks are paced by a timer as in the program,
// only faster (every 3 ms instead of 16.7 ms) to keep the run short; that
// still leaves the server ample time to answer each pipelined query.
#include "platform/PointerSource.h"
#include "shake/ShakeDetector.h"
#include "shake/SystemShakeInput.h"

#include "Bench.h"
#include "BenchHome.h"
#include "XTest.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int warmUp = 200;
constexpr int pacingMs = 3;

struct Stats
{
    double mean = 0;
    double p99 = 0;
    int count = 0;
};

Stats statsOf(std::vector<double> us)
{
    Stats s;
    if (us.empty())
        return s;
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    s.mean = sum / double(us.size());
    s.p99 = us[size_t(std::ceil(0.99 * double(us.size()))) - 1];
    s.count = int(us.size());
    return s;
}

void reportStats(const QByteArray& name, const Stats& s)
{
    Bench::report(QByteArray(name + "_mean").constData(), s.mean, "us");
    Bench::report(QByteArray(name + "_p99").constData(), s.p99, "us");
    Bench::report(QByteArray(name + "_count").constData(), s.count, "count");
}

// Runs `step` from a precise timer every `pacingMs` on the event loop (so X
// events reach Qt between steps, as in the program) and times each call, in
// microseconds, after `warmUp` untimed ones. `before` runs untimed ahead of
// each step.
std::vector<double> paced(int count, const std::function<void()>& step,
                          const std::function<void(int)>& before = nullptr)
{
    std::vector<double> us;
    us.reserve(size_t(count));
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(pacingMs);
    int n = 0;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (before)
            before(n);
        const Clock::time_point t0 = Clock::now();
        step();
        const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        if (n >= warmUp)
            us.push_back(elapsed);
        if (++n >= warmUp + count)
            loop.quit();
    });
    timer.start();
    loop.exec();
    return us;
}

} // namespace

int main(int argc, char** argv)
{
    Bench::Home home;
    if (!home.isValid())
        return 1;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
                     "bench_shake needs an X display (bench/run-all starts one under xvfb-run)\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != u"xcb") {
        std::fprintf(stderr, "bench_shake needs the xcb platform\n");
        return 1;
    }

    // A separate connection moves the pointer and holds the button, as the
    // user's hand would.
    xcb_connection_t* hand = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(hand)) {
        std::fprintf(stderr, "cannot connect to the X display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(hand)).data;
    Bench::XTest xtest(hand, screen->root);
    // Well above the bottom band that counts as the panel, so a press here
    // is a plain press and no shake fires without a drag.
    const int cx = screen->width_in_pixels / 2;
    const int cy = screen->height_in_pixels / 3;
    xtest.moveTo(cx, cy);
    xtest.sync();

    ShakeDetector detector(SystemShakeInput::create());
    int shakes = 0;
    detector.onShake = [&shakes](QPointF) { ++shakes; };

    // The pointer at rest, no button: every tick of an idle program.
    reportStats("shake.tick_idle", statsOf(paced(3000, [&] { detector.tick(); })));

    // The button held and the pointer swinging left and right (80 px, back
    // and forth every 250 ms, moved before every tick): the tick follows the
    // swings and counts reversals (there is no drag, so no shake fires).
    bool held = false;
    if (xtest.isAvailable()) {
        xtest.button(1, true);
        xtest.sync();
        held = true;
        constexpr double periodTicks = 250.0 / pacingMs;
        const std::vector<double> swinging = paced(
            3000, [&] { detector.tick(); },
            [&](int n) {
                const double phase = 2 * std::numbers::pi * n / periodTicks;
                xtest.moveTo(cx + int(std::lround(40 * std::sin(phase))), cy);
                xtest.sync();
            });
        xtest.button(1, false);
        xtest.sync();
        if (detector.maxReversalsThisPress() < ShakeDetector::reversalsNeeded) {
            std::fprintf(stderr, "the detector did not see the swings (%d reversals)\n",
                         detector.maxReversalsThisPress());
            held = false;
        } else {
            reportStats("shake.tick_swinging", statsOf(swinging));
        }
    } else {
        std::fprintf(stderr,
                     "the X server has no XTEST extension: no figure with the button held\n");
    }
    detector.tick(); // sees the release

    // The pointer query alone: paced as in the program (the answer to the
    // previous query has arrived), and back to back (every call waits for
    // a round trip to the server).
    std::unique_ptr<PointerSource> pointer = PointerSource::create();
    reportStats("pointer.sample_paced", statsOf(paced(2000, [&] { pointer->sample(); })));
    std::vector<double> backToBack;
    for (int i = 0; i < warmUp + 2000; ++i) {
        const Clock::time_point t0 = Clock::now();
        pointer->sample();
        if (i >= warmUp)
            backToBack.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    reportStats("pointer.sample_back_to_back", statsOf(backToBack));

    xcb_disconnect(hand);
    if (shakes != 0)
        std::fprintf(stderr, "a shake fired without a drag (%d)\n", shakes);
    return held && shakes == 0 ? 0 : 1;
}
