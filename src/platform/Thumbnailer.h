#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Makes preview thumbnails of files off the UI thread.
//
// Every request's callback is called exactly once, on the main thread, after
// request() has returned: with the thumbnail, or with a null image when the
// file has none (unreadable, unknown type). Callbacks are destroyed on the
// main thread as well, so they may capture main-thread objects weakly.
class Thumbnailer
{
public:
    struct Request
    {
        QString path;
        int pixelSize = 256; // the larger side of the wanted thumbnail
        std::function<void(const QImage&)> done;
    };

    virtual ~Thumbnailer() = default;
    virtual void request(std::vector<Request> requests) = 0;

    // The process-wide thumbnailer (freedesktop cache, Qt's image readers,
    // then the installed thumbnailers). Created on first use.
    static Thumbnailer& shared();
    // Replaces the shared thumbnailer; tests use it to inject fakes. Passing
    // nullptr restores the default on next use.
    static void setShared(std::unique_ptr<Thumbnailer> thumbnailer);

    // The size the shelf asks for: 256 points at the primary screen's device
    // pixel ratio, or 2.0 without a screen.
    static int preferredPixelSize();
};

// A thumbnailer that never finds a preview (every file keeps its icon).
class NullThumbnailer final : public Thumbnailer
{
public:
    void request(std::vector<Request> requests) override;
};
