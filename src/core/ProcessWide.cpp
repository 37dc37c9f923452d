#include "core/ProcessWide.h"

#include <vector>

namespace ProcessWide {
namespace {

std::vector<std::function<void()>>& ends()
{
    static std::vector<std::function<void()>> registered;
    return registered;
}

} // namespace

void atEnd(std::function<void()> end) { ends().push_back(std::move(end)); }

void endAll()
{
    // Ending one may make another (a last thumbnail for the preview).
    while (!ends().empty()) {
        const std::function<void()> end = std::move(ends().back());
        ends().pop_back();
        end();
    }
}

} // namespace ProcessWide
