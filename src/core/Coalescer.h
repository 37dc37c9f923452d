#pragma once

#include <QHash>
#include <QList>

#include <algorithm>
#include <optional>

// When to look again at things that change in bursts (a file written in a
// thousand small writes is looked at once, not a thousand times): a thing is
// due once it has been quiet for `quiet`, and at the latest `longest` after
// the first of its changes not looked at yet, so that one that changes
// without a pause is still looked at now and then. Times are milliseconds of
// a monotonic clock. Plain logic, for one thread.
template <typename Key>
class Coalescer
{
public:
    Coalescer(qint64 quiet, qint64 longest) : m_quiet(quiet), m_longest(longest) {}

    // `key` changed at `now`.
    void touch(const Key& key, qint64 now)
    {
        const auto it = m_pending.find(key);
        if (it == m_pending.end())
            m_pending.insert(key, {now, now});
        else
            it->last = std::max(it->last, now);
    }
    // Its changes need no look any more.
    void forget(const Key& key) { m_pending.remove(key); }
    bool isEmpty() const { return m_pending.isEmpty(); }

    // The keys due at `now`, taken out.
    QList<Key> takeDue(qint64 now)
    {
        QList<Key> due;
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (dueAt(*it) <= now) {
                due << it.key();
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
        return due;
    }
    // When the next key falls due; nothing while none waits.
    std::optional<qint64> nextDue() const
    {
        std::optional<qint64> next;
        for (const Pending& p : m_pending)
            next = std::min(next.value_or(dueAt(p)), dueAt(p));
        return next;
    }

private:
    struct Pending
    {
        qint64 first, last;
    };
    qint64 dueAt(const Pending& p) const { return std::min(p.last + m_quiet, p.first + m_longest); }

    qint64 m_quiet, m_longest;
    QHash<Key, Pending> m_pending;
};
