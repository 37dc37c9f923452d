#pragma once

#include "platform/Thumbnailer.h"

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
};
