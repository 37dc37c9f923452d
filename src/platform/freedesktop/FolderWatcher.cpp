#include "platform/freedesktop/FolderWatcher.h"

#include "core/Background.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr uint32_t gone = IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;
// A file written (while it is being written, and when its writer closes it),
// truncated, or put in place by a creation or a rename.
constexpr uint32_t written = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO;

// The coarsest clock tick of the file systems Kavo meets (FAT's two seconds).
constexpr time_t clockTickSeconds = 2;

// Why inotify could not watch, naming the limit a user can raise.
QByteArray reason(int error)
{
    switch (error) {
    case EMFILE:
        return "inotify instance limit reached (fs.inotify.max_user_instances or the file limit)";
    case ENOSPC:
        return "inotify watch limit reached (fs.inotify.max_user_watches)";
    case ENOMEM:
        return "inotify is out of kernel memory";
    default:
        return QByteArray("inotify cannot watch: ") + std::strerror(error);
    }
}

} // namespace

FolderWatcher& FolderWatcher::shared()
{
    static FolderWatcher* watcher = new FolderWatcher; // lives as long as the process
    return *watcher;
}

FolderWatcher::FolderWatcher() : m_writesRest(new QTimer(this)), m_pollTimer(new QTimer(this))
{
    m_writesRest->setSingleShot(true);
    connect(m_writesRest, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
    m_pollTimer->setSingleShot(true);
    connect(m_pollTimer, &QTimer::timeout, this, &FolderWatcher::poll);
    openInotify();
}

bool FolderWatcher::openInotify()
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_openError = errno;
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
    return true;
}

FolderWatcher::Folder& FolderWatcher::listen(const QByteArray& folder, int token, bool* fresh)
{
    m_tokens.insert(token, folder);
    *fresh = !m_folders.contains(folder);
    return m_folders[folder];
}

int FolderWatcher::watch(const QByteArray& folder, Listener listener)
{
    const int token = m_nextToken++;
    bool fresh = false;
    listen(folder, token, &fresh).listeners.insert(token, std::move(listener));
    if (fresh) {
        startWatch(folder);
    } else {
        // Already watched: this listener checks once now, like the first.
        QMetaObject::invokeMethod(
            this, [this, folder] { notify(folder); }, Qt::QueuedConnection);
    }
    return token;
}

int FolderWatcher::watchChanges(const QByteArray& folder, ChangeListener listener)
{
    const int token = m_nextToken++;
    bool fresh = false;
    listen(folder, token, &fresh).changeListeners.insert(token, std::move(listener));
    // A folder watched already tells this listener of every change from now on.
    if (fresh)
        startWatch(folder);
    return token;
}

void FolderWatcher::startWatch(const QByteArray& folder)
{
    // Other programs may have given back the instances they held.
    if (m_fd < 0)
        openInotify();
    const int fd = m_fd, openError = m_openError;
    Background::run([fd, openError, folder] {
        const int wd =
            fd < 0 ? -1 : inotify_add_watch(fd, folder.constData(), gone | written | IN_ONLYDIR);
        const int error = fd < 0 ? openError : wd < 0 ? errno : 0;
        // Taken before the listeners are first told, so that whatever
        // leaves after their check changes the stamp.
        const Stamp stamp = wd < 0 ? Stamp::of(folder) : Stamp{};
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [folder, wd, error, stamp] { shared().added(folder, wd, error, stamp); },
            Qt::QueuedConnection);
    });
}

void FolderWatcher::added(const QByteArray& folder, int wd, int error, const Stamp& stamp)
{
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        // Unwatched while the watch was being set up.
        if (wd >= 0 && !m_byWatch.contains(wd))
            inotify_rm_watch(m_fd, wd);
        return;
    }
    it->wd = wd;
    if (wd >= 0) {
        m_byWatch.insert(wd, folder);
    } else if (error != ENOENT && error != ENOTDIR && !it->polled) {
        // Looked at on the timer instead. A folder that is not there needs
        // neither: its listeners find their entries gone now.
        it->polled = true;
        it->stamp = stamp;
        ++m_polled;
        warnOnce(error);
        schedulePoll();
    }
    notify(folder);
    notifyChanged(folder, {});
}

void FolderWatcher::unwatch(int token)
{
    const auto t = m_tokens.find(token);
    if (t == m_tokens.end())
        return;
    const QByteArray folder = *t;
    m_tokens.erase(t);
    auto it = m_folders.find(folder);
    if (it == m_folders.end())
        return;
    it->listeners.remove(token);
    it->changeListeners.remove(token);
    if (!it->listeners.isEmpty() || !it->changeListeners.isEmpty())
        return;
    const int wd = it->wd;
    const bool polled = it->polled;
    m_folders.erase(it);
    if (polled && --m_polled == 0) {
        // Nothing left to look at: the timer rests.
        m_pollTimer->stop();
        m_toLook.clear();
    }
    if (wd < 0)
        return;
    m_byWatch.remove(wd, folder);
    // The same folder may be known under another path (a link).
    if (!m_byWatch.contains(wd))
        inotify_rm_watch(m_fd, wd);
}

void FolderWatcher::readInotify(int fd, const std::function<void(const inotify_event&)>& take)
{
    alignas(inotify_event) char buffer[16384];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof(buffer))) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            take(*event);
        }
    }
}

void FolderWatcher::readEvents()
{
    QSet<QByteArray> left, allChanged;
    QHash<QByteArray, QSet<QByteArray>> changed;
    bool overflow = false;
    readInotify(m_fd, [&](const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            overflow = true;
            return;
        }
        const QList<QByteArray> folders = m_byWatch.values(event.wd);
        if (event.mask & (gone | IN_IGNORED)) {
            for (const QByteArray& folder : folders)
                left.insert(folder);
        }
        if ((event.mask & written) && event.len > 0) {
            // The name is padded with NULs.
            const QByteArray name(event.name);
            for (const QByteArray& folder : folders)
                changed[folder].insert(name);
        }
        if (event.mask & IN_IGNORED) {
            // The folder went (or its file system): the watch is over, and
            // what it held may be gone or other files.
            m_byWatch.remove(event.wd);
            for (const QByteArray& folder : folders) {
                allChanged.insert(folder);
                if (m_folders.contains(folder))
                    m_folders[folder].wd = -1;
            }
        }
    });
    if (overflow) {
        for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it) {
            left.insert(it.key());
            allChanged.insert(it.key());
        }
    }
    if (!changed.isEmpty() && m_notifier) {
        m_notifier->setEnabled(false);
        m_writesRest->start(writesRestFor);
    }
    for (const QByteArray& folder : std::as_const(left))
        notify(folder);
    for (const QByteArray& folder : std::as_const(allChanged))
        notifyChanged(folder, {});
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        if (!allChanged.contains(it.key()))
            notifyChanged(it.key(), it.value());
    }
}

void FolderWatcher::notify(const QByteArray& folder)
{
    const auto it = m_folders.constFind(folder);
    if (it == m_folders.constEnd())
        return;
    // A listener may unwatch (or watch) while being told.
    const QList<Listener> listeners = it->listeners.values();
    for (const Listener& listener : listeners)
        listener();
}

void FolderWatcher::notifyChanged(const QByteArray& folder, const QSet<QByteArray>& names)
{
    const auto it = m_folders.constFind(folder);
    if (it == m_folders.constEnd())
        return;
    const QList<ChangeListener> listeners = it->changeListeners.values();
    for (const ChangeListener& listener : listeners)
        listener(names);
}

void FolderWatcher::warnOnce(int error)
{
    if (m_warned.contains(error))
        return;
    m_warned.insert(error);
    qWarning("%s; watched folders are checked every %lld to %lld s instead",
             reason(error).constData(), qlonglong(firstPoll.count() / 1000),
             qlonglong(longestPoll.count() / 1000));
}

void FolderWatcher::schedulePoll()
{
    // Something changed, or a folder is new: the next looks come soon.
    m_pollEvery = firstPoll;
    if (!m_pollTimer->isActive() || m_pollTimer->remainingTimeAsDuration() > firstPoll)
        m_pollTimer->start(firstPoll);
}

void FolderWatcher::poll()
{
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it) {
        if (it->polled && !it->looking) {
            it->looking = true;
            m_toLook << it.key();
        }
    }
    lookAtQueued();
    m_pollEvery = std::min(m_pollEvery * 2, longestPoll);
    if (m_polled > 0)
        m_pollTimer->start(m_pollEvery);
}

void FolderWatcher::lookAtQueued()
{
    while (m_looking < pollsAtOnce && !m_toLook.isEmpty()) {
        const QByteArray folder = m_toLook.takeFirst();
        const auto it = m_folders.constFind(folder);
        if (it == m_folders.constEnd() || !it->polled)
            continue;
        ++m_looking;
        Background::run([folder] {
            const Stamp stamp = Stamp::of(folder);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [folder, stamp] { shared().looked(folder, stamp); },
                Qt::QueuedConnection);
        });
    }
}

void FolderWatcher::looked(const QByteArray& folder, const Stamp& stamp)
{
    --m_looking;
    bool tell = false, polled = false;
    const auto it = m_folders.find(folder);
    if (it != m_folders.end() && it->polled) {
        polled = true;
        it->looking = false;
        const bool changed = stamp.facts != it->stamp.facts;
        tell = changed || it->stamp.recent;
        it->stamp = stamp;
        if (changed)
            schedulePoll();
    }
    lookAtQueued();
    if (tell)
        notify(folder);
    // A write changes a file, not its folder: those who follow the files'
    // contents look at them on every look.
    if (polled)
        notifyChanged(folder, {});
}

FolderWatcher::Stamp FolderWatcher::Stamp::of(const QByteArray& folder)
{
    Stamp s;
    struct stat st;
    if (::stat(folder.constData(), &st) != 0) {
        s.facts[0] = errno;
        return s;
    }
    s.facts = {0,
               qint64(st.st_dev),
               qint64(st.st_ino),
               st.st_mtim.tv_sec,
               st.st_mtim.tv_nsec,
               st.st_ctim.tv_sec,
               st.st_ctim.tv_nsec};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    s.recent = now.tv_sec - st.st_mtim.tv_sec < clockTickSeconds;
    return s;
}
