#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>

namespace TestEnv {

QString home() { return QDir::homePath(); }

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void processEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

bool writePng(const QString& path, int width, int height)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage img(width, height, QImage::Format_ARGB32);
    img.fill(QColor(40, 120, 220));
    QPainter p(&img);
    p.fillRect(0, 0, width / 2, height / 2, QColor(240, 180, 40));
    p.end();
    return img.save(path, "PNG");
}

bool setModificationTime(const QString& path, qint64 secondsSinceEpoch)
{
    const struct timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times,
                     AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace TestEnv
