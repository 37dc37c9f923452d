#include "platform/PointerSource.h"

#include "platform/x11/X11PointerSource.h"
#include "platform/x11/X11Util.h"

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
    return X11Util::x11OrNull<PointerSource, X11PointerSource, NullPointerSource>();
}
