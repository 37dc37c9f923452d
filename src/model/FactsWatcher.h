#pragma once

#include "core/Coalescer.h"
#include "model/ShelfItem.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>

#include <chrono>
#include <functional>
#include <memory>

class QTimer;

// Follows the files of a shelf's items while the shelf holds them: when one
// is written, truncated or replaced (by a rename, or made anew), its facts
// are read again. The program that a file was dropped from may still be
// writing it when it lands. Changes come through the folder watch of the
// whole process (one inotify watch a folder, shared with MoveWatcher); they
// are coalesced (see Coalescer), and an item is in one read at a time.
// Main thread.
class FactsWatcher : public QObject
{
    Q_OBJECT
public:
    // Reads the facts of these items again, off the UI thread, and calls
    // `done` on the main thread once it has (never, if the read never ends:
    // those items are not read again).
    using Look = std::function<void(const QList<ShelfItemPtr>& items, std::function<void()> done)>;

    explicit FactsWatcher(Look look, QObject* parent = nullptr);
    ~FactsWatcher() override;

    // Follows these items from now on (items followed already stay so).
    void follow(const QList<ShelfItemPtr>& items);
    // Stops following these items.
    void forget(const QList<ShelfItemPtr>& items);
    qsizetype followedCount() const { return m_items.size(); }

    // A file is read again once it has had no change for `quiet`, and while
    // it keeps changing, every `longest`.
    static constexpr std::chrono::milliseconds quiet{250}, longest{2000};
    // Folders followed at once by all shelves together: each costs an
    // inotify watch, which all the user's programs share. Files in further
    // folders are looked at again only when their shelf is activated.
    static constexpr int maxFolders = 512;

private:
    struct Followed
    {
        std::weak_ptr<ShelfItem> item;
        QByteArray folder, name;
    };
    struct Folder
    {
        int token = 0;
        QMultiHash<QByteArray, const ShelfItem*> byName;
    };

    void drop(const ShelfItem* key);
    void changed(const QByteArray& folder, const QSet<QByteArray>& names);
    void touch(const ShelfItem* key, qint64 now);
    void schedule();
    void lookAtDue();
    void looked(const QList<const ShelfItem*>& keys);

    Look m_look;
    QHash<QByteArray, Folder> m_folders;
    QHash<const ShelfItem*, Followed> m_items;
    Coalescer<const ShelfItem*> m_pending;
    QSet<const ShelfItem*> m_reading; // in a read now
    QSet<const ShelfItem*> m_again;   // changed while in a read
    QTimer* m_timer;
    QElapsedTimer m_clock;
};
