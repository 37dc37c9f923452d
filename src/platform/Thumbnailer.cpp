#include "platform/Thumbnailer.h"

#include "core/ProcessWide.h"
#include "platform/freedesktop/FreedesktopThumbnailer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

std::unique_ptr<Thumbnailer>& sharedSlot()
{
    static std::unique_ptr<Thumbnailer> slot;
    return slot;
}

// Queued work is dropped and external thumbnailers are ended at once; a
// thumbnail stuck on a stalled mount must not hold the program's exit:
// then the thumbnailer is left to the end of the process.
void destroyShared()
{
    std::unique_ptr<Thumbnailer>& slot = sharedSlot();
    if (slot)
        slot->stop();
    if (slot && !slot->waitForIdle(1000))
        (void)slot.release();
    slot.reset();
}

} // namespace

Thumbnailer& Thumbnailer::shared()
{
    std::unique_ptr<Thumbnailer>& slot = sharedSlot();
    if (!slot) {
        slot = std::make_unique<FreedesktopThumbnailer>();
        ProcessWide::atEnd(destroyShared);
    }
    return *slot;
}

void Thumbnailer::setShared(std::unique_ptr<Thumbnailer> thumbnailer)
{
    sharedSlot() = std::move(thumbnailer);
}

int Thumbnailer::preferredPixelSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal scale = screen ? screen->devicePixelRatio() : 2.0;
    return int(std::lround(256 * scale));
}
