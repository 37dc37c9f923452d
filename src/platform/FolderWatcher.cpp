#include "platform/FolderWatcher.h"

#include "core/Background.h"

#include <QCoreApplication>
#include <QSet>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t gone = IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT |
                          IN_ONLYDIR;

} // namespace

FolderWatcher& FolderWatcher::shared()
{
    static FolderWatcher* watcher = new FolderWatcher; // lives as long as the process
    return *watcher;
}

FolderWatcher::FolderWatcher() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
}

int FolderWatcher::watch(const QByteArray& folder, Listener listener)
{
    const int token = m_nextToken++;
    m_tokens.insert(token, folder);
    const bool fresh = !m_folders.contains(folder);
    Folder& f = m_folders[folder];
    f.listeners.insert(token, std::move(listener));
    if (!fresh || m_fd < 0) {
        // Already watched: this listener checks once now, like the first.
        QMetaObject::invokeMethod(
            this, [this, folder] { notify(folder); }, Qt::QueuedConnection);
        return token;
    }
    const int fd = m_fd;
    Background::run([fd, folder] {
        const int wd = inotify_add_watch(fd, folder.constData(), gone);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [folder, wd] { shared().added(folder, wd); },
            Qt::QueuedConnection);
    });
    return token;
}

void FolderWatcher::added(const QByteArray& folder, int wd)
{
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        // Unwatched while the watch was being set up.
        if (wd >= 0 && !m_byWatch.contains(wd))
            inotify_rm_watch(m_fd, wd);
        return;
    }
    it->wd = wd;
    if (wd >= 0)
        m_byWatch.insert(wd, folder);
    notify(folder);
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
    if (!it->listeners.isEmpty())
        return;
    const int wd = it->wd;
    m_folders.erase(it);
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
    QSet<QByteArray> touched;
    bool overflow = false;
    readInotify(m_fd, [&](const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            overflow = true;
            return;
        }
        const QList<QByteArray> folders = m_byWatch.values(event.wd);
        for (const QByteArray& folder : folders)
            touched.insert(folder);
        if (event.mask & IN_IGNORED) {
            // The folder went (or its file system): the watch is over.
            m_byWatch.remove(event.wd);
            for (const QByteArray& folder : folders) {
                if (m_folders.contains(folder))
                    m_folders[folder].wd = -1;
            }
        }
    });
    if (overflow) {
        for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it)
            touched.insert(it.key());
    }
    for (const QByteArray& folder : std::as_const(touched))
        notify(folder);
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
