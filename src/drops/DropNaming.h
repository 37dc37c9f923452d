#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Names and contents of the files a shelf writes for dropped content that
// has no file of its own. Every name is one plain file name: no "/", never
// "." or "..", at most 255 bytes in UTF-8 (Linux's limit).
namespace DropNaming {

inline constexpr int maxNameBytes = 255;

// A dropped text's file: its first non-empty line, first 32 characters (as a
// reader counts them), "/" turned into "-", spaces and tabs trimmed, or
// "Text" when that leaves nothing; then ".txt".
QString textFileName(const QString& text);

// A dropped link's file: the link's host, or "Link" without one, then
// ".webloc".
QString linkFileName(const QUrl& url);

// The XML property list of a link file: one key, "URL", holding the link.
QByteArray weblocData(const QUrl& url);

// A name suggested by another program (Direct Save), reduced to a plain file
// name inside the drop folder: its last path component, or `fallback` when
// that is empty, "." or "..".
QString plainFileName(const QString& suggested, const QString& fallback);

// Shortens `stem` at a character boundary so that stem + suffix fits in 255
// bytes of UTF-8.
QString fitName(const QString& stem, const QString& suffix);

} // namespace DropNaming
