#pragma once

#include "shake/ShakeInput.h"

#include <memory>

class DragMonitor;
class PointerSource;

// The shake detector's input in the running program: the global pointer and
// button, the system drag selection, the screens' panel geometry, the
// "debugShake" preference (read at every release, so it can be switched on
// while the program runs), the diagnostic log and the monotonic clock.
class SystemShakeInput : public ShakeInput
{
public:
    // Either source may be null; it then reads as "button up at (0,0)" or
    // "no drag ever".
    SystemShakeInput(std::unique_ptr<PointerSource> pointer, std::unique_ptr<DragMonitor> drags);
    ~SystemShakeInput() override;

    // Over the platform's own pointer source and drag monitor.
    static std::unique_ptr<SystemShakeInput> create();

    ShakeSample sample() override;
    quint64 dragChangeCount() override;
    bool dragHasOwner() override;
    QRectF dockRect(QPointF near) override;
    bool debugShakeEnabled() override;
    void writeLog(const QString& message) override;
    bool notifiesPresses() const override;
    void setPressHandler(std::function<void()> handler) override;

    // Seconds on the monotonic clock.
    static double uptime();

private:
    std::unique_ptr<PointerSource> m_pointer;
    std::unique_ptr<DragMonitor> m_drags;
};
