#pragma once

#include <QString>

// Starting Kavo when the user logs in, the freedesktop way: a desktop entry
// in the XDG autostart folder ($XDG_CONFIG_HOME/autostart, default
// ~/.config/autostart).
namespace LoginItem {

// The autostart entry's path.
QString entryPath();

// On when the entry exists and is not marked Hidden=true.
bool isEnabled();

// Writes or deletes the entry. On failure answers false and sets `error` to a
// sentence saying what went wrong.
bool setEnabled(bool enabled, QString* error);

// The program the entry starts: this executable.
QString command();

} // namespace LoginItem
