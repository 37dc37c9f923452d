#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

#include <functional>
#include <memory>

// Makes preview thumbnails of files off the UI thread.
class Thumbnailer
{
public:
    // Called on the main thread, in a later turn of the event loop than the
    // request, once for each file of the request that has a thumbnail, with
    // the file's index in the request. Files without one (unreadable,
    // unknown type, folders) are never reported. The callback may be
    // destroyed on a worker thread: capture only thread-safe handles such as
    // std::weak_ptr.
    using Callback = std::function<void(qsizetype index, const QImage& thumbnail)>;
    // Asked on a worker thread just before the file at `index` is started;
    // false skips it (its shelf has closed). Must be thread-safe, and may be
    // destroyed on a worker thread like the callback.
    using Wanted = std::function<bool(qsizetype index)>;

    virtual ~Thumbnailer() = default;
    // `paths` are the files' path bytes; `pixelSize` is the larger side of
    // the wanted thumbnails.
    virtual void request(const QList<QByteArray>& paths, int pixelSize, Callback done) = 0;
    // As request(), but files that `wanted` answers false for when their
    // turn comes are skipped. Thumbnailers that cannot skip work ignore it.
    virtual void requestWanted(const QList<QByteArray>& paths, int pixelSize, Callback done,
                               Wanted wanted)
    {
        Q_UNUSED(wanted);
        request(paths, pixelSize, std::move(done));
    }

    // The process-wide thumbnailer (freedesktop cache, Qt's image readers,
    // then the installed thumbnailers). Created on first use.
    static Thumbnailer& shared();
    // Replaces the shared thumbnailer; tests use it to inject fakes. Passing
    // nullptr restores the default on next use.
    static void setShared(std::unique_ptr<Thumbnailer> thumbnailer);

    // The size the shelf asks for: 256 points at the primary screen's device
    // pixel ratio, or 2.0 without a screen.
    static int preferredPixelSize();

    // Waits up to `timeoutMs` for work in progress to end; answers whether
    // it did.
    virtual bool waitForIdle(int timeoutMs) { Q_UNUSED(timeoutMs); return true; }
    // Drops the queued work and ends the programs it runs, now; at exit.
    virtual void stop() {}
};

// A thumbnailer that never finds a preview (every file keeps its icon).
class NullThumbnailer final : public Thumbnailer
{
public:
    void request(const QList<QByteArray>&, int, Callback) override {}
};
