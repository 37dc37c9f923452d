#include "core/Background.h"

#include "core/ProcessWide.h"

#include <QThreadPool>

namespace Background {
namespace {

// Made on first use; at the end it is deleted only when its workers finish
// in time (a worker stuck on a stalled mount is left to the process's end).
QThreadPool* pool()
{
    static QThreadPool* p = nullptr;
    if (!p) {
        p = new QThreadPool;
        p->setMaxThreadCount(8);
        ProcessWide::atEnd([] {
            p->clear();
            if (p->waitForDone(1000))
                delete p;
            p = nullptr;
        });
    }
    return p;
}

} // namespace

void run(std::function<void()> work) { pool()->start(std::move(work)); }

} // namespace Background
