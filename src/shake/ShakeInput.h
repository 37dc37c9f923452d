#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QtGlobal>

#include <functional>

// One reading of the global pointer.
struct ShakeSample
{
    bool primaryDown = false;
    QPointF position;  // Qt global coordinates (y down)
    double uptime = 0; // monotonic seconds
};

// Everything the shake detector reads from or writes to the world, so that
// its recognition runs on samples alone. Called on the main thread only.
class ShakeInput
{
public:
    virtual ~ShakeInput() = default;

    // The button, the pointer and the time now. Read once per tick.
    virtual ShakeSample sample() = 0;
    // How often the system drag selection has changed hands so far.
    virtual quint64 dragChangeCount() = 0;
    // Whether the drag selection has an owner now.
    virtual bool dragHasOwner() = 0;
    // Where the desktop's panel is on the screen under `near`.
    virtual QRectF dockRect(QPointF near) = 0;
    // Whether release records go to the diagnostic log (asked at each release).
    virtual bool debugShakeEnabled() = 0;
    virtual void writeLog(const QString& message) = 0;

    // Whether the input tells when a button goes down (then the detector need
    // not poll while no button is held), and where to tell it.
    virtual bool notifiesPresses() const { return false; }
    virtual void setPressHandler(std::function<void()> handler) { Q_UNUSED(handler); }
};
