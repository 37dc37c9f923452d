#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

// Benchmarks print one line per figure, tab separated, which bench/run-all
// gathers into a table:  name <TAB> value <TAB> unit <TAB> aim
namespace Bench {

inline void report(const char* name, double value, const char* unit, const char* aim = "")
{
    std::printf("%s\t%.3f\t%s\t%s\n", name, value, unit, aim);
    std::fflush(stdout);
}

// Before the application object: the test-mode standard folders, the
// offscreen platform unless another is asked for, and none of the warnings
// the offscreen platform gives at every window operation it lacks.
inline void setUpOffscreen()
{
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& msg) {
            if (!msg.startsWith(u"This plugin does not support") && previous)
                previous(type, context, msg);
        });
}

// Median of repeated runs of `f`, in milliseconds.
template <class F> double medianMs(int runs, F&& f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Measures how long the UI thread goes without returning to its event loop:
// a 1 ms timer notes the longest gap between two of its ticks.
class LatencyProbe
{
public:
    LatencyProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_longest = std::max(m_longest, now - m_last);
            ++m_ticks;
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = -1;
        m_longest = 0;
        m_ticks = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // Longest gap beyond the timer's own 1 ms interval, in milliseconds.
    double longestBlockMs() const { return std::max(0.0, m_longest / 1e6 - 1.0); }
    // How often the probe ran: a probe that never ran proves nothing.
    int ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longest = 0;
    int m_ticks = 0;
};

} // namespace Bench
