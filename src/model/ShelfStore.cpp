#include "model/ShelfStore.h"

#include "core/NativePath.h"
#include "model/FactsWatcher.h"
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

// Numbers the requests for facts, so that an answer that comes after the
// answer to a later request is known to be stale. Main thread.
quint64 lastAsked = 0;

} // namespace

ShelfStore::ShelfStore() = default;

ShelfStore::~ShelfStore() = default;

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
    loadFacts(weakItems, paths, Sniff::Always);
    follow(added);
    if (onChange)
        onChange();
}

void ShelfStore::follow(const QList<ShelfItemPtr>& added)
{
    if (!m_facts) {
        const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
        m_facts = std::make_unique<FactsWatcher>(
            [weakStore](const QList<ShelfItemPtr>& among, std::function<void()> answered) {
                if (ShelfStorePtr store = weakStore.lock())
                    store->refresh(among, std::move(answered));
            });
    }
    m_facts->follow(added);
}

qsizetype ShelfStore::followedCount() const { return m_facts ? m_facts->followedCount() : 0; }

void ShelfStore::remove(const QList<ShelfItemPtr>& victims)
{
    QSet<const ShelfItem*> gone;
    gone.reserve(victims.size());
    for (const ShelfItemPtr& v : victims)
        gone.insert(v.get());
    // Before `items` changes: `victims` may be `items` itself.
    if (m_facts)
        m_facts->forget(victims);
    items.removeIf([&](const ShelfItemPtr& item) { return gone.contains(item.get()); });
    if (onChange)
        onChange();
}

bool ShelfStore::learn(const ShelfItemPtr& item, FileFacts fresh, quint64 asked,
                       QList<ShelfItemPtr>& rewritten)
{
    const std::optional<FileFacts> was = item->facts();
    // A type read from the contents earlier stands until the contents are
    // read again; a probe that looked only at names cannot tell it.
    if (was && fresh.exists && fresh.typeIsUnknown())
        fresh.mimeType = was->mimeType;
    const int version = item->contentsVersion();
    if (!item->setFacts(fresh, asked))
        return false;
    // Rewritten, the item shows its icon until a preview of the new contents
    // arrives.
    if (item->contentsVersion() == version)
        return was != fresh;
    rewritten << item;
    return true;
}

void ShelfStore::loadFacts(const std::shared_ptr<WeakItems>& weakItems,
                           const QList<QByteArray>& paths, Sniff sniff,
                           std::function<void()> answered)
{
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    const quint64 asked = ++lastAsked;
    auto first = std::make_shared<bool>(true);
    FileProbe::request(
        paths, sniff == Sniff::Always,
        [weakItems, weakStore, paths, sniff, asked, first,
         answered = std::move(answered)](const QList<FileFacts>& facts) {
            bool learnt = false;
            QList<ShelfItemPtr> rewritten, toSniff;
            QList<QByteArray> toSniffPaths;
            for (size_t i = 0; i < weakItems->size(); ++i) {
                const ShelfItemPtr item = weakItems->at(i).lock();
                if (!item)
                    continue;
                const FileFacts& fresh = facts.at(qsizetype(i));
                const qsizetype before = rewritten.size();
                learnt = learn(item, fresh, asked, rewritten) || learnt;
                // New contents whose name does not tell their type.
                const bool unknown = rewritten.size() > before && fresh.typeIsUnknown();
                if (sniff == Sniff::WhereChanged && unknown) {
                    toSniff << item;
                    toSniffPaths << paths.at(qsizetype(i));
                }
            }
            if (ShelfStorePtr store = weakStore.lock()) {
                if (!rewritten.isEmpty())
                    store->loadThumbnails(weakly(rewritten), pathsOf(rewritten));
                if (!toSniff.isEmpty())
                    store->loadFacts(weakly(toSniff), toSniffPaths, Sniff::Always);
                if (learnt && store->onChange)
                    store->onChange();
            }
            if (*first) {
                *first = false;
                if (answered)
                    answered();
            }
        });
}

void ShelfStore::refresh(const QList<ShelfItemPtr>& among, std::function<void()> answered)
{
    loadFacts(weakly(among), pathsOf(among), Sniff::WhereChanged, std::move(answered));
}

void ShelfStore::pruneMissing(const QList<ShelfItemPtr>& among,
                              std::function<void(qsizetype removed)> then)
{
    const QList<ShelfItemPtr> asked = among.isEmpty() ? items : among;
    const std::shared_ptr<WeakItems> weakItems = weakly(asked);
    const std::weak_ptr<ShelfStore> weakStore = weak_from_this();
    const quint64 number = ++lastAsked;
    FileProbe::request(
        pathsOf(asked), false,
        [weakItems, weakStore, number, then = std::move(then)](const QList<FileFacts>& facts) {
            ShelfStorePtr store = weakStore.lock();
            if (!store)
                return;
            QSet<const ShelfItem*> held;
            for (const ShelfItemPtr& item : std::as_const(store->items))
                held.insert(item.get());
            QList<ShelfItemPtr> missing, rewritten;
            bool learnt = false;
            for (size_t i = 0; i < weakItems->size(); ++i) {
                ShelfItemPtr item = weakItems->at(i).lock();
                if (!item || !held.contains(item.get()))
                    continue;
                const FileFacts& fresh = facts.at(qsizetype(i));
                learnt = learn(item, fresh, number, rewritten) || learnt;
                if (!fresh.exists)
                    missing << item;
            }
            rewritten.removeIf([&](const ShelfItemPtr& item) { return missing.contains(item); });
            if (!rewritten.isEmpty())
                store->loadThumbnails(weakly(rewritten), pathsOf(rewritten));
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
    // The contents each preview is made of: one of older contents is stale.
    auto versions = std::make_shared<std::vector<int>>();
    versions->reserve(weakItems->size());
    for (const std::weak_ptr<ShelfItem>& weak : *weakItems) {
        const ShelfItemPtr item = weak.lock();
        versions->push_back(item ? item->contentsVersion() : -1);
    }
    // A file whose item has gone (its shelf closed) is not thumbnailed.
    const auto wanted = [weakItems](qsizetype index) {
        return index >= 0 && size_t(index) < weakItems->size() &&
               !weakItems->at(size_t(index)).expired();
    };
    Thumbnailer::shared().requestWanted(
        paths, Thumbnailer::preferredPixelSize(),
        [weakItems, weakStore, versions](qsizetype index, const QImage& image) {
            if (image.isNull() || index < 0 || size_t(index) >= weakItems->size())
                return;
            // The item is updated even when it has left the shelf in the
            // meantime; the shelf, if it is still open, redraws.
            const ShelfItemPtr item = weakItems->at(size_t(index)).lock();
            if (!item || item->contentsVersion() != versions->at(size_t(index)))
                return;
            item->setThumbnail(image);
            if (ShelfStorePtr store = weakStore.lock()) {
                if (store->onChange)
                    store->onChange();
            }
        },
        wanted);
}
