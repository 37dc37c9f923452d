#pragma once

// Mends what other X clients send that Qt would take on trust. Installed
// once, after the application object exists; does nothing off X11.
namespace X11Workarounds {

void install();

} // namespace X11Workarounds
