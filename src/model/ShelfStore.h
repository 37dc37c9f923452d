#pragma once

#include "model/ShelfItem.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class FactsWatcher;

// The ordered items of one shelf, oldest first, and the one place through
// which they change. Views read `items`; every change ends in one call of
// `onChange`. Main thread only. While a file is held, a write to it or
// another file put in its place is read again (see FactsWatcher).
//
// A store must be owned by a std::shared_ptr: thumbnails that arrive after
// the shelf has gone find it through a weak reference and are dropped.
class ShelfStore : public std::enable_shared_from_this<ShelfStore>
{
public:
    ShelfStore();
    ~ShelfStore();
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
    // From then on its file is followed (written, truncated, replaced).
    void add(const QList<QUrl>& urls, bool temporary);
    // The same for items made beforehand with makeItems(), on any thread (a
    // request of a hundred thousand files makes them off the UI thread).
    void add(const QList<ShelfItemPtr>& made);
    // One new item per local file URL, in order; others are skipped. Safe
    // on any thread.
    static QList<ShelfItemPtr> makeItems(const QList<QUrl>& urls, bool temporary);
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
    // Asks the file system again, off the UI thread, about these items'
    // files; where the contents changed, their types (if their names do not
    // tell them) and previews are read again. Calls onChange once per answer
    // that told something new, and `answered` once the first answer is in.
    void refresh(const QList<ShelfItemPtr>& among, std::function<void()> answered = {});
    // The items whose files are followed for changes.
    qsizetype followedCount() const;

    // "Empty shelf", the one item's name, or "N items".
    QString summary() const;
    // A hint for an empty shelf, else kind, total size and folder count.
    QString detail() const;

private:
    // New items, held weakly (a closed shelf's items go), and their paths.
    using WeakItems = std::vector<std::weak_ptr<ShelfItem>>;
    void loadThumbnails(const std::shared_ptr<WeakItems>& weakItems, const QList<QByteArray>& paths);
    // Whether the contents of files are read for their types: always, or
    // only where the contents changed since they were last looked at.
    enum class Sniff { Always, WhereChanged };
    void loadFacts(const std::shared_ptr<WeakItems>& weakItems, const QList<QByteArray>& paths,
                   Sniff sniff, std::function<void()> answered = {});
    // Takes the answer to request `asked` for one item; answers whether it
    // told something new. An item whose contents changed is added to
    // `rewritten`.
    static bool learn(const ShelfItemPtr& item, FileFacts fresh, quint64 asked,
                      QList<ShelfItemPtr>& rewritten);
    void follow(const QList<ShelfItemPtr>& added);

    std::unique_ptr<FactsWatcher> m_facts;
};

using ShelfStorePtr = std::shared_ptr<ShelfStore>;
