#include "platform/KeyGrabber.h"

#include "platform/x11/X11KeyGrabber.h"
#include "platform/x11/X11Util.h"

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
    return X11Util::x11OrNull<KeyGrabber, X11KeyGrabber, NullKeyGrabber>();
}
