#include "shake/ShakeDetector.h"

#include "shake/DockGeometry.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// Whole coordinate for the log, truncated toward zero.
QString wholeText(double v)
{
    return QString::number(static_cast<qint64>(std::trunc(v)));
}

} // namespace

ShakeDetector::ShakeDetector(std::unique_ptr<ShakeInput> input)
    : m_input(std::move(input)), m_dragChangeCountBeforePress(m_input->dragChangeCount())
{}

ShakeDetector::~ShakeDetector() = default;

void ShakeDetector::start()
{
    if (m_timer)
        return;
    m_timer = std::make_unique<QTimer>();
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(std::chrono::milliseconds(std::lround(tickInterval * 1000)));
    // The timer dies with the detector, so its action never outlives it.
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] { tick(); });
    if (m_input->notifiesPresses()) {
        // The input's handler dies with the input, which the detector owns.
        m_input->setPressHandler([this] { wake(); });
        tick(); // a press under way already keeps the poll running
    } else {
        m_timer->start();
    }
}

bool ShakeDetector::isPolling() const { return m_timer && m_timer->isActive(); }

void ShakeDetector::wake()
{
    if (!m_timer || m_timer->isActive())
        return;
    m_timer->start();
    tick();
}

void ShakeDetector::tick()
{
    // With presses reported, the poll rests once the button is up and the
    // release has been handled: until the next press, every tick would
    // return at once without changing anything.
    const bool canRest = m_timer && m_input->notifiesPresses();
    if (!isEnabled) {
        // Switched off (perhaps by the very click that is still held): the
        // press under way is forgotten, and the poll rests until shaking is
        // back and a new press comes.
        if (m_buttonWasDown) {
            m_buttonWasDown = false;
            m_dragChangeCountBeforePress = m_input->dragChangeCount();
        }
        if (canRest)
            m_timer->stop();
        return;
    }
    const ShakeSample s = m_input->sample();

    if (!s.primaryDown) {
        if (m_buttonWasDown)
            release();
        m_buttonWasDown = false;
        if (canRest)
            m_timer->stop();
        return;
    }
    if (!m_buttonWasDown)
        beginPress(s);
    m_buttonWasDown = true;

    if (m_firedThisDrag)
        return;
    const double x = s.position.x();
    // Slow creeping accumulates: lastX stays until the pointer is far enough.
    if (std::abs(x - m_lastX) < jitter)
        return;
    const int d = x - m_lastX > 0 ? 1 : -1;
    if (d != m_direction) {
        if (m_direction != 0 && std::abs(m_lastX - m_swingStartX) >= minSwing) {
            const double now = s.uptime;
            m_reversals.push_back(now);
            std::erase_if(m_reversals, [now](double t) { return now - t > window; });
        }
        // A short swing adds nothing; the next one is measured from its end.
        m_swingStartX = m_lastX;
        m_direction = d;
    }
    m_lastX = x;
    m_maxReversalsThisPress =
        std::max(m_maxReversalsThisPress, static_cast<int>(m_reversals.size()));

    if (static_cast<int>(m_reversals.size()) >= reversalsNeeded && isDragging()) {
        // State first: the callback may run a nested event loop that ticks again.
        m_firedThisDrag = true;
        m_reversals.clear();
        if (onShake) {
            const auto callback = onShake; // survives the callback replacing onShake
            callback(s.position);
        }
    }
}

void ShakeDetector::beginPress(const ShakeSample& s)
{
    m_firedThisDrag = false;
    m_maxReversalsThisPress = 0;
    m_reversals.clear();
    m_direction = 0;
    m_pressPoint = s.position;
    m_lastX = s.position.x();
    m_swingStartX = s.position.x();
    m_pressStartedInDock = DockGeometry::contains(m_input->dockRect(s.position), s.position);
    m_pressInFreshStack = false;
    if (m_pressStartedInDock) {
        m_dockClickTime = s.uptime;
    } else {
        // Only the first press outside the panel after a press on it counts.
        if (m_dockClickTime && s.uptime - *m_dockClickTime < stackStaysOpen)
            m_pressInFreshStack = true;
        m_dockClickTime.reset();
    }
}

void ShakeDetector::release()
{
    const quint64 count = m_input->dragChangeCount();
    if (m_input->debugShakeEnabled()) {
        m_input->writeLog(
            QStringLiteral("release: swings=") + QString::number(m_maxReversalsThisPress) +
            QStringLiteral(" fired=") + boolText(m_firedThisDrag) + QStringLiteral(" dock=") +
            boolText(m_pressStartedInDock) + QStringLiteral(" stack=") +
            boolText(m_pressInFreshStack) + QStringLiteral(" at=") + wholeText(m_pressPoint.x()) +
            u',' + wholeText(m_pressPoint.y()) + QStringLiteral(" count ") +
            QString::number(m_dragChangeCountBeforePress) + QStringLiteral("->") +
            QString::number(count));
    }
    m_dragChangeCountBeforePress = count;
}

bool ShakeDetector::isDragging()
{
    if (m_input->dragChangeCount() != m_dragChangeCountBeforePress && m_input->dragHasOwner())
        return true;
    return m_pressStartedInDock || m_pressInFreshStack;
}
