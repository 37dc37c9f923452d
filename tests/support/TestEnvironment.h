#pragma once

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QtEndian>

#include <cstdio>
#include <functional>
#include <ostream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <zlib.h>

// Test-wide helpers. Every test process runs with HOME and the XDG folders
// pointed at a private temporary folder (see TestMain.cpp), so nothing a test
// does reaches the real user's files or settings.
namespace TestEnv {

// How often a check that fetches a window's picture runs: fetched every
// millisecond, the pictures take the X server and the machine from the
// program drawing them (Nautilus then drew its folder seconds late).
constexpr int picturePollMs = 40;

// Processes events until `done` answers true or the time is up, checking
// every `pollMs`; answers whether `done` became true.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000, int pollMs = 1)
{
    for (QDeadlineTimer deadline(timeoutMs); !done(); QThread::msleep(pollMs)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A turn that the test processes of this machine take one at a time (a file
// lock in /tmp named `name`), for what they would otherwise fight over: a
// user's limits, a program that cannot run twice at once. Held from take()
// until it is destroyed.
class Turn
{
public:
    explicit Turn(const char* name)
        : m_fd(::open(qPrintable(QDir::temp().filePath(QStringLiteral("kavo-%1.lock").arg(QLatin1StringView(name)))),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
    }
    ~Turn()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    bool take(int timeoutMs = 120000)
    {
        return m_fd >= 0 && waitUntil([&] { return ::flock(m_fd, LOCK_EX | LOCK_NB) == 0; }, timeoutMs);
    }

private:
    int m_fd;
};

// Processes events for `ms` milliseconds, for asserting that something does
// NOT happen within a bounded time.
inline void processEventsFor(int ms)
{
    waitUntil([] { return false; }, ms);
}

// Writes `bytes` to `path` (any bytes a file name can have), making its
// folder; answers success.
inline bool writeFile(const QByteArray& path, const QByteArray& bytes)
{
    QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/'))));
    FILE* f = std::fopen(path.constData(), "wb");
    const bool ok = f && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f) == size_t(bytes.size());
    return f && std::fclose(f) == 0 && ok;
}
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    return writeFile(QFile::encodeName(path), bytes);
}

// A real PNG picture, orange in its top-left quarter and blue elsewhere.
inline bool writePng(const QString& path, int width = 64, int height = 48)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage img(width, height, QImage::Format_ARGB32);
    img.fill(QColor(40, 120, 220));
    QPainter(&img).fillRect(0, 0, width / 2, height / 2, QColor(240, 180, 40));
    return img.save(path, "PNG");
}

// One PNG chunk: its length, type, data and checksum.
inline QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray length(4, '\0'), checksum(4, '\0');
    const QByteArray body = type + data;
    qToBigEndian(quint32(data.size()), length.data());
    qToBigEndian(quint32(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))),
                 checksum.data());
    return length + body + checksum;
}

// The start of a PNG file that declares width × height pixels (8-bit RGBA),
// with `imageData` as its only image data: no decoder makes a picture of it.
inline QByteArray declaredPng(quint32 width, quint32 height, const QByteArray& imageData = {})
{
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
    return QByteArrayLiteral("\x89PNG\r\n\x1A\n") + pngChunk("IHDR", header) + pngChunk("IDAT", imageData);
}

// Bytes this process has read so far (files, pipes, sockets; all threads,
// and the children it has reaped).
inline qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// The freedesktop thumbnail cache of the test's home, and the entry that
// its folder `kind` ("large", "fail/kavo-1.0", …) holds for the file `path`.
inline QString thumbnailCache()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails");
}
inline QString thumbnailEntry(const QString& kind, const QString& path)
{
    return thumbnailCache() + u'/' + kind + u'/' +
           QString::fromLatin1(
               QCryptographicHash::hash(QUrl::fromLocalFile(path).toEncoded(), QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

} // namespace TestEnv

// Readable failure messages for Qt values.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QUrl& u, std::ostream* os) { *os << u.toEncoded().toStdString(); }
inline void PrintTo(const QSize& s, std::ostream* os) { *os << s.width() << 'x' << s.height(); }
inline void PrintTo(const QPointF& p, std::ostream* os) { *os << '(' << p.x() << ',' << p.y() << ')'; }
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}
