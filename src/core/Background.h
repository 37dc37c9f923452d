#pragma once

#include <functional>

// A pool of worker threads for file-system work that may block for long (a
// file on a stalled network or FUSE mount): nothing of it ever runs on the UI
// thread, and a worker stuck there cannot hold up the program's exit.
namespace Background {

void run(std::function<void()> work);

} // namespace Background
