#include "core/NativePath.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <unistd.h>

#include <vector>

namespace NativePath {

bool isLocalFile(const QUrl& url)
{
    if (!url.isValid() || url.scheme().compare(u"file", Qt::CaseInsensitive) != 0)
        return false;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(u"localhost", Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
        return false;
    return url.path(QUrl::FullyEncoded).startsWith(u'/');
}

QByteArray fromUrl(const QUrl& url)
{
    if (!isLocalFile(url))
        return {};
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

QUrl toUrl(const QByteArray& path)
{
    // Valid UTF-8 takes Qt's own form, so that URLs compare equal to the
    // ones Qt makes; other bytes stay percent-encoded, which Qt keeps.
    const QString text = QString::fromUtf8(path);
    if (text.toUtf8() == path)
        return QUrl::fromLocalFile(text);
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"));
}

QByteArray fromString(const QString& path) { return QFile::encodeName(path); }

QByteArray clean(const QByteArray& path)
{
    // Latin-1 maps every byte to one character and back, and leaves "/"
    // and "." alone: Qt's cleaning then works on the bytes themselves.
    return QDir::cleanPath(QString::fromLatin1(path)).toLatin1();
}

QByteArray absolute(const QByteArray& path)
{
    if (path.startsWith('/'))
        return clean(path);
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return clean(path);
        buffer.resize(buffer.size() * 2);
    }
    return clean(QByteArray(buffer.data()) + '/' + path);
}

QByteArray fileName(const QByteArray& path)
{
    const QByteArray c = clean(path);
    if (c == "/")
        return c;
    return c.mid(c.lastIndexOf('/') + 1);
}

QByteArray folder(const QByteArray& path)
{
    const QByteArray c = clean(path);
    const qsizetype slash = c.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : c.left(slash);
}

} // namespace NativePath
