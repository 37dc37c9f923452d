#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

class QWidget;

// The colour the system tray wants its icons drawn in, read from the tray
// itself (X11, XEmbed trays): the foreground it announces
// (_NET_SYSTEM_TRAY_COLORS), else a colour that stands out on the panel the
// icon is embedded in, as it shows on screen. Nothing where neither can be
// read (the icon not embedded yet, no X11).
namespace TrayColors {

// `icon` is the window Qt made for the tray icon, if it has one yet.
std::optional<QColor> foreground(const QWidget* icon);

// The window Qt shows a tray icon in, once the tray has taken it.
QWidget* trayIconWindow();

// The ink that stands out on `background`: near-white on dark, near-black on
// light.
QColor inkFor(const QColor& background);

} // namespace TrayColors
