#include "model/ShelfStore.h"

#include "core/NativePath.h"
#include "platform/Thumbnailer.h"

#include <QSet>

#include <vector>

namespace {

using WeakItems = std::vector<std::weak_ptr<ShelfItem>>;

std::shared_ptr<WeakItems> weakly(const QList<ShelfItemPtr>& items)
{
    auto weak = std::make_shared<WeakItems>();
    weak->reserve(size_t(items.size()));
    for (const ShelfItemPtr& item : items)
        weak->push_back(item);
    return weak;
}

QList<QByteArray> pathsOf(const QList<ShelfItemPtr>& items)
{
    QList<QByteArray> paths;
    paths.reserve(items.size());
    for (const ShelfItemPtr& item : items)
        paths << item->nativePath();
    return paths;
}

} // namespace

QList<ShelfItemPtr> ShelfStore::makeItems(const QList<QUrl>& urls, bool temporary)
{
    QList<ShelfItemPtr> made;
    made.reserve(urls.size());
    for (const QUrl& url : urls) {
        if (NativePath::isLocalFile(url))
            made.append(std::make_shared<ShelfItem>(url, temporary));
    }
    return made;
}

void ShelfStore::add(const QList<QUrl>& urls, bool temporary)
{
    add(makeItems(urls, temporary));
}

void ShelfStore::add(const QList<ShelfItemPtr>& made)
{
    QList<ShelfItemPtr> added;
    if (items.isEmpty()) {
        added = made;
    } else {
        QSet<QByteArray> held;
        held.reserve(items.size());
        for (const ShelfItemPtr& item : std::as_const(items))
            held.insert(item->key());
        added.reserve(made.size());
        for (const ShelfItemPtr& item : made) {
            if (!held.contains(item->key()))
                added.append(item);
        }
    }
    if (added.isEmpty())
        return;

    items.append(added);
    // Asked for once for both: a request may add a hundred thousand items.
    const std::shared_ptr<WeakItems> weakItems = weakly(added);
    const QList<QByteArray> paths = pathsOf(added);
    loadThumbnails(weakItems, paths);
    loadFacts(weakItems, paths);
    if (onChange)
        onChange();
}

void ShelfStore::remove(const QList<ShelfItemPtr>& victims)
{
    QSet<const ShelfItem*> gone;
    gone.reserve(victims.size());
    for (const ShelfItemPtr& v : victims)
        gone.insert(v.get());
    items.removeIf([&](const ShelfItemPtr& item) { return gone.contains(item.get()); });
    if (onChange)
        onChange();
}

void ShelfStore::loadFacts(const std::shared_ptr<WeakItems>& weakItems,
                           const QList<QByteArray>& paths)
{
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    FileProbe::request(paths, true,
                       [weakItems, weakStore](const QList<FileFacts>& facts) {
                           for (size_t i = 0; i < weakItems->size(); ++i) {
                               if (ShelfItemPtr item = weakItems->at(i).lock())
                                   item->setFacts(facts.at(qsizetype(i)));
                           }
                           if (ShelfStorePtr store = weakStore.lock()) {
                               if (store->onChange)
                                   store->onChange();
                           }
                       });
}

void ShelfStore::pruneMissing(const QList<ShelfItemPtr>& among,
                              std::function<void(qsizetype removed)> then)
{
    const QList<ShelfItemPtr> asked = among.isEmpty() ? items : among;
    const std::shared_ptr<WeakItems> weakItems = weakly(asked);
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    FileProbe::request(
        pathsOf(asked), false,
        [weakItems, weakStore, then = std::move(then)](const QList<FileFacts>& facts) {
            ShelfStorePtr store = weakStore.lock();
            if (!store)
                return;
            QSet<const ShelfItem*> held;
            for (const ShelfItemPtr& item : std::as_const(store->items))
                held.insert(item.get());
            QList<ShelfItemPtr> missing;
            bool learnt = false;
            for (size_t i = 0; i < weakItems->size(); ++i) {
                ShelfItemPtr item = weakItems->at(i).lock();
                if (!item || !held.contains(item.get()))
                    continue;
                FileFacts fresh = facts.at(qsizetype(i));
                // A type read from the contents earlier still holds for the
                // same file; this probe only looked at names.
                if (item->facts() && fresh.exists && fresh.typeIsUnknown())
                    fresh.mimeType = item->facts()->mimeType;
                if (item->facts() != fresh) {
                    item->setFacts(fresh);
                    learnt = true;
                }
                if (!fresh.exists)
                    missing << item;
            }
            if (!missing.isEmpty())
                store->remove(missing);
            else if (learnt && store->onChange)
                store->onChange();
            if (then)
                then(missing.size());
        });
}

void ShelfStore::loadThumbnails(const std::shared_ptr<WeakItems>& weakItems,
                                const QList<QByteArray>& paths)
{
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    // A file whose item has gone (its shelf closed) is not thumbnailed.
    const auto wanted = [weakItems](qsizetype index) {
        return index >= 0 && size_t(index) < weakItems->size() &&
               !weakItems->at(size_t(index)).expired();
    };
    Thumbnailer::shared().requestWanted(
        paths, Thumbnailer::preferredPixelSize(),
        [weakItems, weakStore](qsizetype index, const QImage& image) {
            if (image.isNull() || index < 0 || size_t(index) >= weakItems->size())
                return;
            // The item is updated even when it has left the shelf in the
            // meantime; the shelf, if it is still open, redraws.
            if (ShelfItemPtr item = weakItems->at(size_t(index)).lock())
                item->setThumbnail(image);
            if (ShelfStorePtr store = weakStore.lock()) {
                if (store->onChange)
                    store->onChange();
            }
        },
        wanted);
}
