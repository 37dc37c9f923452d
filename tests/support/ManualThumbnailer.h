#pragma once

#include "platform/Thumbnailer.h"

#include <QCoreApplication>

// A thumbnailer that keeps every request until the test answers it, so tests
// decide when (and whether) thumbnails arrive.
class ManualThumbnailer final : public Thumbnailer
{
public:
    std::vector<Request> pending;

    void request(std::vector<Request> requests) override
    {
        for (Request& r : requests)
            pending.push_back(std::move(r));
    }

    // Answers request i as a worker would: on the main thread, in a later turn
    // of the event loop.
    void deliver(size_t i, const QImage& image)
    {
        auto done = std::move(pending.at(i).done);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [done, image] { done(image); }, Qt::QueuedConnection);
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
