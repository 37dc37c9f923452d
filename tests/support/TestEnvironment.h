#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <ostream>

// Test-wide helpers. Every test process runs with HOME and the XDG folders
// pointed at a private temporary folder (see TestMain.cpp), so nothing a test
// does reaches the real user's files or settings.
namespace TestEnv {

// Processes events until `done` answers true or the time is up; answers
// whether `done` became true.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    for (QDeadlineTimer deadline(timeoutMs); !done(); QThread::msleep(1)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

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
