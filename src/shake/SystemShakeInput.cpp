#include "shake/SystemShakeInput.h"

#include "core/Prefs.h"
#include "platform/DragMonitor.h"
#include "platform/PointerSource.h"
#include "shake/DebugLog.h"
#include "shake/DockGeometry.h"

#include <chrono>

SystemShakeInput::SystemShakeInput(std::unique_ptr<PointerSource> pointer,
                                   std::unique_ptr<DragMonitor> drags)
    : m_pointer(std::move(pointer)), m_drags(std::move(drags))
{}

SystemShakeInput::~SystemShakeInput() = default;

double SystemShakeInput::uptime()
{
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ShakeSample SystemShakeInput::sample()
{
    ShakeSample s;
    if (m_pointer) {
        const PointerState p = m_pointer->sample();
        s.primaryDown = p.primaryDown;
        s.position = p.position;
    }
    s.uptime = uptime();
    return s;
}

quint64 SystemShakeInput::dragChangeCount()
{
    return m_drags ? m_drags->changeCount() : 0;
}

bool SystemShakeInput::dragHasOwner()
{
    return m_drags && m_drags->hasOwner();
}

QRectF SystemShakeInput::dockRect(QPointF near)
{
    return DockGeometry::dockRect(near);
}

bool SystemShakeInput::debugShakeEnabled()
{
    return Prefs::value(Prefs::debugShake);
}

void SystemShakeInput::writeLog(const QString& message)
{
    DebugLog::write(message);
}

bool SystemShakeInput::notifiesPresses() const
{
    return m_pointer && m_pointer->notifiesPresses();
}

void SystemShakeInput::setPressHandler(std::function<void()> handler)
{
    if (m_pointer)
        m_pointer->onPress = std::move(handler);
}
