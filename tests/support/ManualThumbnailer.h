#pragma once

#include "platform/Thumbnailer.h"

#include <QCoreApplication>

#include <vector>

// A thumbnailer that keeps every request until the test answers it, so tests
// decide when (and whether) thumbnails arrive.
class ManualThumbnailer final : public Thumbnailer
{
public:
    struct Pending
    {
        QByteArray path;
        int pixelSize;
        std::shared_ptr<Callback> done;
        qsizetype index;
    };
    std::vector<Pending> pending;

    void request(const QList<QByteArray>& paths, int pixelSize, Callback done) override
    {
        auto shared = std::make_shared<Callback>(std::move(done));
        for (qsizetype i = 0; i < paths.size(); ++i)
            pending.push_back({paths[i], pixelSize, shared, i});
    }

    // Answers file i (counted over all requests) as a worker would: on the
    // main thread, in a later turn of the event loop.
    void deliver(size_t i, const QImage& image)
    {
        const Pending p = pending.at(i);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [p, image] { (*p.done)(p.index, image); },
            Qt::QueuedConnection);
    }
};

// Installs a thumbnailer for the life of a test and restores the default.
template <class T> class ScopedThumbnailer
{
public:
    ScopedThumbnailer()
    {
        auto owned = std::make_unique<T>();
        instance = owned.get();
        Thumbnailer::setShared(std::move(owned));
    }
    ~ScopedThumbnailer() { Thumbnailer::setShared(nullptr); }
    T* operator->() { return instance; }
    T* instance;
};
