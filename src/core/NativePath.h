#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Paths as Linux stores them: bytes, usually but not always UTF-8. A file
// whose name is not valid UTF-8 has no exact QString form (Qt turns such
// bytes into U+FFFD, so two different names can come out the same), so Kavo
// carries every path it holds as its bytes and as a file URL, whose percent
// encoding keeps the bytes, and decodes it only to show it.
namespace NativePath {

// Whether `url` names a file on this machine: a file URL with no host,
// "localhost" or this machine's name, and an absolute path. Anything else
// (another host, "file:relative/path") is not a local file.
bool isLocalFile(const QUrl& url);

// The path bytes of a local file URL (percent escapes decoded, nothing else
// changed); empty when the URL is not a local file.
QByteArray fromUrl(const QUrl& url);

// The file URL of a path, keeping its bytes.
QUrl toUrl(const QByteArray& path);

// The path as text, for people to read (and for Qt's own file classes where
// a name is known to be UTF-8, such as the folders Kavo makes itself).
inline QString display(const QByteArray& path) { return QString::fromUtf8(path); }
// The bytes of a path that Kavo itself made or read as text.
QByteArray fromString(const QString& path);

// "." and ".." resolved, repeated slashes and a trailing slash dropped;
// symbolic links are not resolved.
QByteArray clean(const QByteArray& path);
// The path made absolute against the current folder, then cleaned.
QByteArray absolute(const QByteArray& path);

// The name a file manager shows for a path: its last component as text, or
// "/" for the root.
inline QString displayName(const QByteArray& path);

// The last component ("/" for the root) and everything before it.
QByteArray fileName(const QByteArray& path);
QByteArray folder(const QByteArray& path);

inline QString displayName(const QByteArray& path) { return display(fileName(path)); }

} // namespace NativePath
