#include "platform/KeyGrabber.h"

#include "platform/X11KeyGrabber.h"
#include "platform/X11Util.h"

namespace {

// Without X no key can be grabbed for the whole desktop.
class NullKeyGrabber final : public KeyGrabber
{
public:
    bool grab(Qt::Key, Qt::KeyboardModifiers) override { return false; }
    void ungrab() override {}
};

} // namespace

std::unique_ptr<KeyGrabber> KeyGrabber::create()
{
    if (xcb_connection_t* c = X11Util::connection()) {
        if (const quint32 root = X11Util::rootWindow())
            return std::make_unique<X11KeyGrabber>(c, root);
    }
    return std::make_unique<NullKeyGrabber>();
}
