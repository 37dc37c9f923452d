// Kept apart from SystemShakeInput.cpp so that code which builds its input
// from its own sources (the tests) does not pull in the platform layer.
#include "shake/SystemShakeInput.h"

#include "platform/DragMonitor.h"
#include "platform/PointerSource.h"

std::unique_ptr<SystemShakeInput> SystemShakeInput::create()
{
    return std::make_unique<SystemShakeInput>(PointerSource::create(), DragMonitor::create());
}
