#include "platform/PointerSource.h"

#include "platform/X11PointerSource.h"
#include "platform/X11Util.h"

#include <QCursor>

namespace {

// Without X the pointer is what Qt knows of it, and no button is ever down,
// so nothing is taken for a drag.
class NullPointerSource final : public PointerSource
{
public:
    PointerState sample() override { return {QPointF(QCursor::pos()), false}; }
};

} // namespace

std::unique_ptr<PointerSource> PointerSource::create()
{
    if (xcb_connection_t* c = X11Util::connection()) {
        if (const quint32 root = X11Util::rootWindow())
            return std::make_unique<X11PointerSource>(c, root);
    }
    return std::make_unique<NullPointerSource>();
}
