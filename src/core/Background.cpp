#include "core/Background.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace Background {
namespace {

// Made on first use; at the application object's end the pool is deleted
// only when its workers finish in time (the process ends either way).
QThreadPool* pool()
{
    static QThreadPool* p = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(8);
        qAddPostRoutine([] {
            QThreadPool* p = pool();
            p->clear();
            if (p->waitForDone(1000))
                delete p;
        });
        return made;
    }();
    return p;
}

} // namespace

void run(std::function<void()> work) { pool()->start(std::move(work)); }

} // namespace Background
