#include "platform/DragMonitor.h"

#include "platform/x11/X11DragMonitor.h"
#include "platform/x11/X11Util.h"

namespace {

// Without X there is no drag selection to watch.
class NullDragMonitor final : public DragMonitor
{
public:
    quint64 changeCount() const override { return 0; }
    bool hasOwner() const override { return false; }
};

} // namespace

std::unique_ptr<DragMonitor> DragMonitor::create()
{
    return X11Util::x11OrNull<DragMonitor, X11DragMonitor, NullDragMonitor>();
}
