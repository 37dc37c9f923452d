#include "model/FactsWatcher.h"

#include "core/NativePath.h"
#include "platform/freedesktop/FolderWatcher.h"

#include <QPointer>
#include <QTimer>

namespace {

// Folders followed by all watchers; main thread.
int followedFolders = 0;

} // namespace

FactsWatcher::FactsWatcher(Look look, QObject* parent)
    : QObject(parent), m_look(std::move(look)), m_pending(quiet.count(), longest.count()),
      m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &FactsWatcher::lookAtDue);
    m_clock.start();
}

FactsWatcher::~FactsWatcher()
{
    for (const Folder& f : std::as_const(m_folders))
        FolderWatcher::shared().unwatch(f.token);
    followedFolders -= int(m_folders.size());
}

void FactsWatcher::follow(const QList<ShelfItemPtr>& items)
{
    for (const ShelfItemPtr& item : items) {
        const auto known = m_items.constFind(item.get());
        if (known != m_items.constEnd()) {
            if (known->item.lock() == item)
                continue;
            // An item gone without being forgotten, whose memory this one has.
            drop(item.get());
        }
        const QByteArray folder = NativePath::folder(item->key());
        auto it = m_folders.find(folder);
        if (it == m_folders.end()) {
            if (followedFolders >= maxFolders)
                continue;
            ++followedFolders;
            QPointer<FactsWatcher> self(this);
            Folder f;
            f.token = FolderWatcher::shared().watchChanges(
                folder, [self, folder](const QSet<QByteArray>& names) {
                    if (self)
                        self->changed(folder, names);
                });
            it = m_folders.insert(folder, f);
        }
        const QByteArray name = NativePath::fileName(item->key());
        it->byName.insert(name, item.get());
        m_items.insert(item.get(), Followed{item, folder, name});
    }
}

void FactsWatcher::forget(const QList<ShelfItemPtr>& items)
{
    for (const ShelfItemPtr& item : items)
        drop(item.get());
    schedule();
}

void FactsWatcher::drop(const ShelfItem* key)
{
    const auto it = m_items.find(key);
    if (it == m_items.end())
        return;
    const auto f = m_folders.find(it->folder);
    if (f != m_folders.end()) {
        f->byName.remove(it->name, key);
        if (f->byName.isEmpty()) {
            FolderWatcher::shared().unwatch(f->token);
            m_folders.erase(f);
            --followedFolders;
        }
    }
    m_items.erase(it);
    m_pending.forget(key);
    m_reading.remove(key);
    m_again.remove(key);
}

void FactsWatcher::changed(const QByteArray& folder, const QSet<QByteArray>& names)
{
    const auto f = m_folders.constFind(folder);
    if (f == m_folders.constEnd())
        return;
    const qint64 now = m_clock.elapsed();
    if (names.isEmpty()) {
        for (const ShelfItem* key : f->byName)
            touch(key, now);
    } else {
        for (const QByteArray& name : names) {
            const QList<const ShelfItem*> keys = f->byName.values(name);
            for (const ShelfItem* key : keys)
                touch(key, now);
        }
    }
    schedule();
}

void FactsWatcher::touch(const ShelfItem* key, qint64 now)
{
    // A read under way may have seen the file before this change.
    if (m_reading.contains(key))
        m_again.insert(key);
    else
        m_pending.touch(key, now);
}

void FactsWatcher::schedule()
{
    const std::optional<qint64> next = m_pending.nextDue();
    if (!next)
        m_timer->stop();
    else
        m_timer->start(int(std::clamp<qint64>(*next - m_clock.elapsed(), 0, longest.count())));
}

void FactsWatcher::lookAtDue()
{
    QList<ShelfItemPtr> items;
    QList<const ShelfItem*> keys;
    for (const ShelfItem* key : m_pending.takeDue(m_clock.elapsed())) {
        if (ShelfItemPtr item = m_items.value(key).item.lock()) {
            items << item;
            keys << key;
            m_reading.insert(key);
        }
    }
    schedule();
    if (items.isEmpty())
        return;
    QPointer<FactsWatcher> self(this);
    m_look(items, [self, keys] {
        if (self)
            self->looked(keys);
    });
}

void FactsWatcher::looked(const QList<const ShelfItem*>& keys)
{
    const qint64 now = m_clock.elapsed();
    for (const ShelfItem* key : keys) {
        // Only the read that began last for the item ends it.
        if (!m_reading.remove(key))
            continue;
        if (m_again.remove(key))
            m_pending.touch(key, now);
    }
    schedule();
}
