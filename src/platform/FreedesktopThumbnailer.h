#pragma once

#include "platform/Thumbnailer.h"

#include <QCache>
#include <QImage>
#include <QStringList>
#include <QThreadPool>

#include <deque>
#include <mutex>

// Thumbnails the way Linux desktops make them, tried in this order:
//  1. the freedesktop thumbnail cache (~/.cache/thumbnails/{x-large,large}),
//     when the entry's Thumb::MTime matches the file;
//  2. images Qt can read, decoded directly at the wanted size with their EXIF
//     orientation applied;
//  3. the thumbnailers installed in /usr/share/thumbnailers (or the
//     XDG data folders), run as separate processes.
// What 2. and 3. make is written to that cache, as file managers do, so
// that later shelves and other programs reuse it; a bounded cache in memory
// serves shelves of the same files in this session.
// Work runs on a private thread pool fed from one queue, so queuing thousands
// of files costs the caller almost nothing.
class FreedesktopThumbnailer final : public Thumbnailer
{
public:
    FreedesktopThumbnailer();
    ~FreedesktopThumbnailer() override;

    void request(const QList<QByteArray>& paths, int pixelSize, Callback done) override;

    // The thumbnail of one file, made on the calling thread; null when there
    // is none. Exposed for tests and benchmarks.
    QImage makeThumbnail(const QByteArray& path, int pixelSize) const;

    // Blocks until every queued file has been handled and its thumbnail, if
    // any, posted to the main thread, or `timeoutMs` has passed (-1: no
    // limit); answers whether all work is done.
    bool waitForIdle(int timeoutMs = -1) override;

    // Pictures larger than this are left to the installed thumbnailers.
    static constexpr qint64 maxImageBytes = qint64(256) << 20;
    // How long an external thumbnailer may run before it is abandoned.
    static constexpr int externalTimeoutMs = 15000;

private:
    struct External
    {
        QStringList mimeTypes;
        QString exec;
    };

    void drain();
    QImage fromCache(const QByteArray& path, qint64 mtime, int pixelSize) const;
    QImage fromImageReader(const QByteArray& path, int pixelSize) const;
    QImage fromExternal(const QString& path, int pixelSize) const;
    // Writes a thumbnail made at one of the cache's sizes (128, 256, 512,
    // 1024): atomically, files 0600 in folders 0700.
    void toCache(const QByteArray& path, qint64 mtime, int pixelSize, const QImage& img) const;
    void loadExternalThumbnailers();

    // One request: its files are taken from the front, one at a time.
    struct Batch
    {
        QList<QByteArray> paths;
        int pixelSize = 0;
        Callback done;
        qsizetype next = 0; // guarded by m_mutex
    };

    QThreadPool m_pool;
    std::mutex m_mutex;
    std::deque<std::shared_ptr<Batch>> m_queue;
    qsizetype m_queuedFiles = 0;
    int m_running = 0;
    std::vector<External> m_externals;
    // Thumbnails made this session, by path, size, modification time and
    // pixel size; the cost is in KiB.
    static constexpr qsizetype memoryCacheKiB = 32 * 1024;
    mutable std::mutex m_memoryMutex;
    mutable QCache<QByteArray, QImage> m_memory{memoryCacheKiB};
};
