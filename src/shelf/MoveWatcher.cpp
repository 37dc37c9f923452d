#include "shelf/MoveWatcher.h"

#include "core/NativePath.h"
#include "platform/freedesktop/FolderWatcher.h"

#include <QPointer>
#include <QSet>

MoveWatcher::MoveWatcher(std::weak_ptr<ShelfStore> store, QObject* parent)
    : QObject(parent), m_store(std::move(store))
{
}

MoveWatcher::~MoveWatcher()
{
    for (const Folder& f : std::as_const(m_folders))
        FolderWatcher::shared().unwatch(f.token);
}

void MoveWatcher::watch(const QList<ShelfItemPtr>& items)
{
    for (const ShelfItemPtr& item : items) {
        const QByteArray folder = NativePath::folder(item->nativePath());
        auto it = m_folders.find(folder);
        if (it == m_folders.end()) {
            QPointer<MoveWatcher> self(this);
            Folder f;
            f.token = FolderWatcher::shared().watch(folder, [self, folder] {
                if (self)
                    self->check(folder);
            });
            it = m_folders.insert(folder, f);
        }
        bool known = false;
        for (const std::weak_ptr<ShelfItem>& w : it->items)
            known = known || w.lock() == item;
        if (!known)
            it->items.push_back(item);
    }
}

void MoveWatcher::forgetGone()
{
    const ShelfStorePtr store = m_store.lock();
    QSet<const ShelfItem*> held;
    if (store) {
        for (const ShelfItemPtr& item : std::as_const(store->items))
            held.insert(item.get());
    }
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        std::erase_if(it->items, [&](const std::weak_ptr<ShelfItem>& w) {
            const ShelfItemPtr item = w.lock();
            return !item || !held.contains(item.get());
        });
        if (it->items.empty()) {
            FolderWatcher::shared().unwatch(it->token);
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
}

qsizetype MoveWatcher::watchedCount() const
{
    qsizetype n = 0;
    for (const Folder& f : m_folders)
        n += qsizetype(f.items.size());
    return n;
}

void MoveWatcher::check(const QByteArray& folder)
{
    const ShelfStorePtr store = m_store.lock();
    const auto it = m_folders.constFind(folder);
    if (!store || it == m_folders.constEnd())
        return;
    QList<ShelfItemPtr> items;
    for (const std::weak_ptr<ShelfItem>& w : it->items) {
        if (ShelfItemPtr item = w.lock())
            items << item;
    }
    if (items.isEmpty())
        return;
    QPointer<MoveWatcher> self(this);
    store->pruneMissing(items, [self](qsizetype removed) {
        if (!self)
            return;
        self->forgetGone();
        const ShelfStorePtr store = self->m_store.lock();
        if (removed > 0 && store && store->items.isEmpty() && self->onEmptied)
            self->onEmptied();
    });
}
