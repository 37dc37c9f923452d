#pragma once

#include "platform/Thumbnailer.h"

#include <QCache>
#include <QImage>
#include <QSet>
#include <QStringList>
#include <QThreadPool>

#include <sys/types.h>

#include <deque>
#include <mutex>

// Thumbnails the way Linux desktops make them, tried in this order:
//  1. the freedesktop thumbnail cache (~/.cache/thumbnails/{x-large,large}),
//     when the entry's Thumb::MTime matches the file;
//  2. images Qt can read, decoded directly at the wanted size with their EXIF
//     orientation applied;
//  3. the thumbnailers installed in /usr/share/thumbnailers (or the
//     XDG data folders), run as separate processes, bounded in time and
//     memory; a file they fail on is remembered in the cache's fail/ folder
//     and not given to them again until it changes.
// What 2. and 3. make is written to that cache, as file managers do, so
// that later shelves and other programs reuse it; a bounded cache in memory
// serves shelves of the same files in this session. The cache's folders are
// never followed through links, and one that is a link or not the user's
// own is neither read nor written.
// Work runs on a private thread pool fed from one queue, so queuing thousands
// of files costs the caller almost nothing. Files that need an external
// thumbnailer wait in a second queue with its own threads, so that pictures
// Kavo decodes itself never wait behind a slow or hanging program.
class FreedesktopThumbnailer final : public Thumbnailer
{
public:
    FreedesktopThumbnailer();
    ~FreedesktopThumbnailer() override;

    void request(const QList<QByteArray>& paths, int pixelSize, Callback done) override;
    void requestWanted(const QList<QByteArray>& paths, int pixelSize, Callback done,
                       Wanted wanted) override;

    // The thumbnail of one file, made on the calling thread; null when there
    // is none. Exposed for tests and benchmarks.
    QImage makeThumbnail(const QByteArray& path, int pixelSize);

    // Blocks until every queued file has been handled and its thumbnail, if
    // any, posted to the main thread, or `timeoutMs` has passed (-1: no
    // limit); answers whether all work is done.
    bool waitForIdle(int timeoutMs = -1) override;
    // Drops every queued file and kills the running external thumbnailers.
    void stop() override;

    // Files larger than this are not read by Kavo; they are left to the
    // installed thumbnailers.
    static constexpr qint64 maxImageBytes = qint64(256) << 20;
    // The memory Qt's image readers may allocate for one picture (Qt 6.4's
    // default, set explicitly), and so the largest picture Kavo decodes
    // itself at 4 bytes a pixel. A file whose header declares more is not
    // given to an external thumbnailer either: it would need as much.
    static constexpr int allocationLimitMB = 128;
    static constexpr qint64 maxDecodePixels = (qint64(allocationLimitMB) << 20) / 4;
    // How much of a file is read to learn its format and declared size.
    static constexpr qint64 headerBytes = 64 * 1024;
    // Cache and fail entries and what external thumbnailers write: larger
    // files, or pictures with a longer side, are not thumbnails.
    static constexpr qint64 maxEntryBytes = qint64(8) << 20;
    static constexpr int maxEntrySide = 4096;
    // How long an external thumbnailer may run before its process group is
    // killed, and its limits of memory and processor time.
    static constexpr int externalTimeoutMs = 5000;
    static constexpr qint64 externalMemoryBytes = qint64(1) << 30;
    static constexpr int externalCpuSeconds = 4;
    // External thumbnailers running at once.
    static constexpr int externalSlots = 2;

private:
    struct External
    {
        QStringList mimeTypes;
        QString exec;
    };

    // One request: its files are taken from the front, one at a time.
    struct Batch
    {
        QList<QByteArray> paths;
        int pixelSize = 0;
        Callback done;
        Wanted wanted;
        qsizetype next = 0; // guarded by m_mutex
    };
    // What the first stage learnt of a file it could not thumbnail itself.
    struct Pending
    {
        QByteArray path;
        QByteArray key; // in the memory cache
        qint64 mtime = 0;
        qint64 size = 0; // of the file
        int pixelSize = 0;
        int thumbnailer = -1; // in externals(); -1: none may try
    };
    struct ExternalJob
    {
        std::shared_ptr<Batch> batch;
        qsizetype index = 0;
        Pending file;
    };

    void drain();
    void drainExternal();
    void post(std::shared_ptr<Batch> batch, qsizetype index, QImage image);
    // The memory cache, the thumbnail cache, then Qt's image readers; with a
    // null answer, `pending` names the external thumbnailer that may try.
    QImage makeOwn(const QByteArray& path, int pixelSize, Pending& pending);
    // Runs it: what it makes is cached, a failure remembered.
    QImage makeExternal(const Pending& pending);
    QImage fromCache(const QByteArray& path, qint64 mtime, qint64 fileSize, int pixelSize) const;
    // `external` is cleared for pictures declaring more than maxDecodePixels.
    QImage fromImageReader(const QByteArray& path, int pixelSize, qint64 fileSize,
                           bool& external) const;
    // The external thumbnailer for the file's type, or -1.
    int thumbnailerFor(const QByteArray& path);
    // `failed` is set when the thumbnailer ran to its end or its time-out
    // and made nothing.
    QImage fromExternal(const Pending& pending, bool& failed);
    // Writes a thumbnail made at one of the cache's sizes (128, 256, 512,
    // 1024): atomically, files 0600, the folders Kavo makes 0700.
    void toCache(const QByteArray& path, qint64 mtime, qint64 fileSize, int pixelSize,
                 const QImage& img) const;
    void remember(const QByteArray& key, const QImage& img);
    const std::vector<External>& externals();

    QThreadPool m_pool;
    QThreadPool m_externalPool;
    std::mutex m_mutex;
    std::deque<std::shared_ptr<Batch>> m_queue;
    qsizetype m_queuedFiles = 0;
    int m_running = 0;
    std::deque<ExternalJob> m_externalQueue;
    int m_externalRunning = 0;
    bool m_stopped = false;
    // The process groups of the running external thumbnailers; under m_mutex.
    QSet<pid_t> m_groups;

    std::once_flag m_externalsLoaded;
    std::vector<External> m_externals;
    // Thumbnails made this session, by path, size, modification time and
    // pixel size; the cost is in KiB.
    static constexpr qsizetype memoryCacheKiB = 32 * 1024;
    std::mutex m_memoryMutex;
    QCache<QByteArray, QImage> m_memory{memoryCacheKiB};
};
