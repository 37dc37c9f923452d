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
    // keeping the caller's form of each URL. URLs that are not local files
    // (web links, other hosts, relative paths) are skipped. Calls onChange
    // once if anything was added; then, off the UI thread, asks for each new
    // file's facts and preview, and calls onChange once more per answer.
    void add(const QList<QUrl>& urls, bool temporary);
    // Removes these items (by identity). Always calls onChange once. Files on
    // disk are never touched.
    void remove(const QList<ShelfItemPtr>& victims);
    // Asks the file system, off the UI thread, about `among` (all items when
    // empty) and removes those of them whose files no longer exist and that
    // are still held; calls onChange once when it removed any or learnt new
    // facts. Then calls `then` with the number removed, if the store still
    // exists.
    void pruneMissing(const QList<ShelfItemPtr>& among = {},
                      std::function<void(qsizetype removed)> then = {});

    // "Empty shelf", the one item's name, or "N items".
    QString summary() const;
    // A hint for an empty shelf, else kind, total size and folder count.
    QString detail() const;

    // Where dropped content is written: <cache>/io.github.kavo.Kavo/Dropped.
    static QString droppedFilesRoot();
    // Creates and returns a new, uniquely named folder under the root; an
    // empty path, with `error` saying why, when it cannot be made (an
    // unwritable cache, a symbolic link where Kavo's own folders belong).
    static QString newDropFolder(QString* error = nullptr);
    // Deletes a drop folder with whatever a failed drop left in it.
    static void removeDropFolder(const QString& folder);
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
    void loadFacts(const QList<ShelfItemPtr>& newItems);
};

using ShelfStorePtr = std::shared_ptr<ShelfStore>;
