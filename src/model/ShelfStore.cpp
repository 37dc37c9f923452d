#include "model/ShelfStore.h"

#include "platform/Thumbnailer.h"

#include <QFileInfo>
#include <QSet>

#include <vector>

void ShelfStore::add(const QList<QUrl>& urls, bool temporary)
{
    QSet<QString> held;
    held.reserve(items.size());
    for (const ShelfItemPtr& item : std::as_const(items))
        held.insert(item->key());

    QList<ShelfItemPtr> added;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (held.contains(ShelfItem::standardizedPath(path)))
            continue;
        added.append(std::make_shared<ShelfItem>(url, path, temporary));
    }
    if (added.isEmpty())
        return;

    items.append(added);
    loadThumbnails(added);
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

void ShelfStore::pruneMissing()
{
    QList<ShelfItemPtr> missing;
    for (const ShelfItemPtr& item : std::as_const(items)) {
        if (!QFileInfo::exists(item->path()))
            missing.append(item);
    }
    if (!missing.isEmpty())
        remove(missing);
}

void ShelfStore::loadThumbnails(const QList<ShelfItemPtr>& newItems)
{
    QStringList paths;
    paths.reserve(newItems.size());
    auto weakItems = std::make_shared<std::vector<std::weak_ptr<ShelfItem>>>();
    weakItems->reserve(newItems.size());
    for (const ShelfItemPtr& item : newItems) {
        paths << item->path();
        weakItems->push_back(item);
    }
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    Thumbnailer::shared().request(
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
        });
}
