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
        auto item = std::make_shared<ShelfItem>(url, temporary);
        if (held.contains(item->key()))
            continue;
        added.append(std::move(item));
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
    const int pixels = Thumbnailer::preferredPixelSize();
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    std::vector<Thumbnailer::Request> requests;
    requests.reserve(newItems.size());
    for (const ShelfItemPtr& item : newItems) {
        std::weak_ptr<ShelfItem> weakItem = item;
        requests.push_back({item->path(), pixels, [weakItem, weakStore](const QImage& image) {
                                if (image.isNull())
                                    return;
                                // The item is updated even when it has left
                                // the shelf in the meantime; the shelf, if it
                                // is still open, redraws.
                                if (ShelfItemPtr item = weakItem.lock())
                                    item->setThumbnail(image);
                                if (ShelfStorePtr store = weakStore.lock()) {
                                    if (store->onChange)
                                        store->onChange();
                                }
                            }});
    }
    Thumbnailer::shared().request(std::move(requests));
}
