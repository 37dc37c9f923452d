#include "platform/DirectSave.h"

#include "platform/x11/X11DirectSave.h"
#include "platform/x11/X11Util.h"

namespace {

// Without X there is no Direct Save source to talk to.
class NullDirectSave final : public DirectSave
{
public:
    QString suggestedName() override { return {}; }
    bool setTarget(const QUrl&) override { return false; }
};

} // namespace

std::unique_ptr<DirectSave> DirectSave::create()
{
    return X11Util::x11OrNull<DirectSave, X11DirectSave, NullDirectSave>();
}

void DirectSave::followDrags()
{
    if (X11Util::connection())
        X11DirectSave::followDrags();
}
