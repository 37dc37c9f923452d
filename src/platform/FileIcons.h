#pragma once

#include <QImage>
#include <QString>

// The icon that the desktop shows for a file: its MIME type's themed icon,
// falling back to Kavo's own document symbol, so there is always an image.
namespace FileIcons {

// Side of the rendered icons, in pixels.
inline constexpr int iconPixels = 256;

// Looks the type up by the file's name (and, for files with an unknown
// extension, by their first bytes); icons are cached per type. Main thread.
QImage iconForFile(const QString& path);

} // namespace FileIcons
