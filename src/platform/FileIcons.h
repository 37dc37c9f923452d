#pragma once

#include <QImage>
#include <QString>

// The icon that the desktop shows for a file: its MIME type's themed icon,
// falling back to Kavo's own document symbol, so there is always an image.
namespace FileIcons {

// Makes the desktop's icon theme (and the XDG icon folders, where Kavo's own
// icons live) available to QIcon::fromTheme, once.
void ensureIconTheme();

// Side of the rendered icons, in pixels.
inline constexpr int iconPixels = 256;

// Finds the icon of a MIME type in the theme without drawing it, which
// reads the theme's indexes the first time: a first iconForType() then
// costs only the drawing, and neither holds the main thread for long.
void findIcon(const QString& mimeType);

// The icon of a MIME type (by name, such as "image/png"); cached per type.
// Main thread; never touches a file.
QImage iconForType(const QString& mimeType);

// The MIME type a file name suggests, without looking at the file:
// "application/octet-stream" when the name does not tell.
QString typeForName(const QString& fileName);

} // namespace FileIcons
