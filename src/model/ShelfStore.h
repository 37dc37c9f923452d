#pragma once

#include "model/ShelfItem.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

// The ordered items of one shelf, oldest first, and the one place through
// which they change. Views read `items`; every change ends in one call of
// `onChange`. Main thread only.
//
// A store must be owned by a std::shared_ptr: thumbnails that arrive after
// the shelf has gone find it through a weak reference and are dropped.
class ShelfStore : public std::enable_shared_from_this<ShelfStore>
{
public:
    ShelfStore() = default;
    ShelfStore(const ShelfStore&) = delete;
    ShelfStore& operator=(const ShelfStore&) = delete;

    // The shelf's items, oldest first. Assigned directly by "remove all",
    // which then calls onChange itself.
    QList<ShelfItemPtr> items;
    // Called after each change (the content view rebuilds itself).
    std::function<void()> onChange;

    // Appends one item per local file URL whose standardized path is not
    // already held (URLs in the same call are not compared with each other),
    // keeping the caller's form of each URL. Calls onChange once if anything
    // was added, and once more per preview thumbnail that arrives.
    void add(const QList<QUrl>& urls, bool temporary);
    // Removes these items (by identity). Always calls onChange once. Files on
    // disk are never touched.
    void remove(const QList<ShelfItemPtr>& victims);
    // Removes the items whose files no longer exist; calls onChange once when
    // there were any.
    void pruneMissing();

    // "Empty shelf", the one item's name, or "N items".
    QString summary() const;
    // A hint for an empty shelf, else kind, total size and folder count.
    QString detail() const;

    // Where dropped content is written: <cache>/io.github.kavo.Kavo/Dropped.
    static QString droppedFilesRoot();
    // Creates and returns a new, uniquely named folder under the root. The
    // path is returned even when it could not be created.
    static QString newDropFolder();
    // Deletes entries directly under the root that were created more than
    // seven days before `now` (or whose date cannot be read). Never follows
    // symbolic links: a link is removed as a link.
    static void cleanUpOldPromises(const QDateTime& now = QDateTime::currentDateTimeUtc());
    // The creation date of an entry as the clean-up sees it: its birth time,
    // or its modification time where the file system keeps no birth time; of
    // the entry itself, not of a link's target. Invalid when neither exists.
    static QDateTime entryDate(const QString& path);

    static constexpr qint64 maxDropAgeSeconds = 604800;

private:
    void loadThumbnails(const QList<ShelfItemPtr>& newItems);
};

using ShelfStorePtr = std::shared_ptr<ShelfStore>;
