#include "core/Background.h"

#include "core/ProcessWide.h"

#include <QThreadPool>

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

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

// Workers give way to the UI thread: a burst of file-system work (the facts
// of thousands of files) must not take the cores it paints with. Linux
// weighs each thread by its nice value; at 10 above the process's, the UI
// thread gets about nine tenths of a core they share, and the workers still
// go on when other programs keep the machine busy (unlike the idle class).
void giveWayToTheUi()
{
    thread_local const bool lowered = [] {
        const int nice = getpriority(PRIO_PROCESS, 0); // this thread's, on Linux
        return setpriority(PRIO_PROCESS, ::gettid(), std::min(19, nice + 10)) == 0;
    }();
    Q_UNUSED(lowered);
}

} // namespace

void run(std::function<void()> work)
{
    pool()->start([work = std::move(work)] {
        giveWayToTheUi();
        work();
    });
}

} // namespace Background
