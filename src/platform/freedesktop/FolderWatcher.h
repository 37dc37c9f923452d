#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>

#include <array>
#include <chrono>
#include <functional>

class QSocketNotifier;
class QTimer;

// Tells when entries leave a folder (deleted, or moved elsewhere) or the
// folder itself goes, through one inotify instance for the whole process.
// Where inotify cannot watch a folder (the user's inotify instances or
// watches are used up by other programs), the folder is looked at on a slow
// timer instead, off the UI thread, for as long as it is watched.
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
    // The timer's first interval, doubled after each look that finds nothing
    // changed up to the longest; back to the first when something changed.
    static constexpr std::chrono::milliseconds firstPoll{1000}, longestPoll{30000};
    // Folders looked at at once (a folder on a stalled mount holds one up).
    static constexpr int pollsAtOnce = 4;

    // What stat() says of a folder: it changes when an entry leaves it or
    // the folder is moved, replaced or gone.
    struct Stamp
    {
        std::array<qint64, 7> facts{};
        // Its entries changed within the clock tick of the look: a change
        // right after it may leave the times as they are, so the next look
        // tells the listeners whatever it finds.
        bool recent = false;
        static Stamp of(const QByteArray& folder);
    };
    struct Folder
    {
        int wd = -1;          // -1 while the watch is being set up, or when it failed
        bool polled = false;  // looked at on the timer
        bool looking = false; // a look is queued or under way
        Stamp stamp;
        QHash<int, Listener> listeners;
    };

    FolderWatcher();
    bool openInotify();
    void added(const QByteArray& folder, int wd, int error, const Stamp& stamp);
    void readEvents();
    void notify(const QByteArray& folder);
    void warnOnce(int error);
    void schedulePoll();
    void poll();
    void lookAtQueued();
    void looked(const QByteArray& folder, const Stamp& stamp);

    int m_fd = -1;
    int m_openError = 0;
    QSocketNotifier* m_notifier = nullptr;
    int m_nextToken = 1;
    QHash<QByteArray, Folder> m_folders;
    QHash<int, QByteArray> m_tokens;       // token -> folder
    QMultiHash<int, QByteArray> m_byWatch; // inotify watch -> folders

    QTimer* m_pollTimer;
    std::chrono::milliseconds m_pollEvery = firstPoll;
    qsizetype m_polled = 0;     // folders with `polled` set
    QList<QByteArray> m_toLook; // folders whose look waits for a free place
    int m_looking = 0;          // looks under way
    QSet<int> m_warned;         // errors logged already
};
