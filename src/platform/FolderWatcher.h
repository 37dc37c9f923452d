#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <functional>

class QSocketNotifier;

// Tells when entries leave a folder (deleted, or moved elsewhere) or the
// folder itself goes, through one inotify instance for the whole process.
// Folders are given as path bytes. Main thread.
class FolderWatcher : public QObject
{
    Q_OBJECT
public:
    static FolderWatcher& shared();

    // Something left the folder, or watching it has just begun (so nothing
    // that happened while the watch was being set up goes unseen).
    using Listener = std::function<void()>;

    // Starts watching `folder` for the listener; answers a token for
    // unwatch(). The watch is set up off the UI thread (looking a folder up
    // on a stalled mount may block).
    int watch(const QByteArray& folder, Listener listener);
    void unwatch(int token);

    // How many folders are watched now.
    qsizetype folderCount() const { return m_folders.size(); }

    // Hands every inotify event waiting on the non-blocking `fd` to `take`.
    static void readInotify(int fd, const std::function<void(const struct inotify_event&)>& take);

private:
    FolderWatcher();
    void added(const QByteArray& folder, int wd);
    void readEvents();
    void notify(const QByteArray& folder);

    struct Folder
    {
        int wd = -1; // -1 while the watch is being set up, or when it failed
        QHash<int, Listener> listeners;
    };

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    int m_nextToken = 1;
    QHash<QByteArray, Folder> m_folders;
    QHash<int, QByteArray> m_tokens;          // token -> folder
    QMultiHash<int, QByteArray> m_byWatch;    // inotify watch -> folders
};
