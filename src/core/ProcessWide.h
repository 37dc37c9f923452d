#pragma once

#include <functional>

// The objects a process has one of (the preview window, the thumbnailer, the
// pool of background workers) are made on first use, each through its own
// shared(), and registered here to be ended together at the end of main(),
// while the application object and its event loop still exist.
namespace ProcessWide {

// Registers how to end one of them; the last registered ends first.
void atEnd(std::function<void()> end);
// Ends every registered object (main() calls it after its event loop).
void endAll();

} // namespace ProcessWide
