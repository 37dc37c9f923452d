#pragma once

#include <QColor>

#include <optional>

// The colour the system tray wants its icons drawn in, read from the tray
// itself (X11, XEmbed trays): the foreground it announces
// (_NET_SYSTEM_TRAY_COLORS), else a colour that stands out on its panel's
// background as it shows on screen. Nothing where neither can be read, or
// without X11.
namespace TrayColors {

std::optional<QColor> foreground();

// The ink that stands out on `background`: near-white on dark, near-black on
// light.
QColor inkFor(const QColor& background);

} // namespace TrayColors
