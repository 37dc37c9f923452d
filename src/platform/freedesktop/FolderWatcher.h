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
// folder itself goes, and which entries are written or put in place, through
// one inotify instance (and one inotify watch a folder) for the whole
// process. Where inotify cannot watch a folder (the user's inotify instances
// or watches are used up by other programs), the folder is looked at on a
// slow timer instead, off the UI thread, for as long as it is watched.
// Folders are given as path bytes. Main thread.
class FolderWatcher : public QObject
{
    Q_OBJECT
public:
    static FolderWatcher& shared();

    // Something left the folder, or watching it has just begun (so nothing
    // that happened while the watch was being set up goes unseen).
    using Listener = std::function<void()>;
    // The names of entries that were written, truncated, created, or moved
    // or renamed into the folder (replacing what was there); no names: any
    // entry may have changed (watching has just begun, events were lost, or
    // the folder is looked at on the timer and cannot tell).
    using ChangeListener = std::function<void(const QSet<QByteArray>& names)>;

    // Starts watching `folder` for the listener; answers a token for
    // unwatch(). The watch is set up off the UI thread (looking a folder up
    // on a stalled mount may block).
    int watch(const QByteArray& folder, Listener listener);
    // The same for changes of the folder's entries.
    int watchChanges(const QByteArray& folder, ChangeListener listener);
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
    // After events of writes, the next ones are read this much later: a
    // file written in many small writes wakes the program a few times, and
    // the kernel folds the repeated events in the meantime.
    static constexpr std::chrono::milliseconds writesRestFor{50};

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
        QHash<int, ChangeListener> changeListeners;
    };

    FolderWatcher();
    bool openInotify();
    void added(const QByteArray& folder, int wd, int error, const Stamp& stamp);
    void readEvents();
    Folder& listen(const QByteArray& folder, int token, bool* fresh);
    void startWatch(const QByteArray& folder);
    void notify(const QByteArray& folder);
    void notifyChanged(const QByteArray& folder, const QSet<QByteArray>& names);
    void warnOnce(int error);
    void schedulePoll();
    void poll();
    void lookAtQueued();
    void looked(const QByteArray& folder, const Stamp& stamp);

    int m_fd = -1;
    int m_openError = 0;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_writesRest;
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
