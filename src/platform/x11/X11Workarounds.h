#pragma once

// Mends what other X clients send that Qt would take on trust, and where
// Qt's drag source fails drop targets: it answers GTK 4's requests for the
// drag data and offers only the action that the held keys ask for. Installed
// once, after the application object exists; does nothing off X11.
namespace X11Workarounds {

void install();

} // namespace X11Workarounds
