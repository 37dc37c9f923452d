#include "shelf/PromiseReceiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>

PromiseReceiver::PromiseReceiver(const QString& folder, std::weak_ptr<ShelfStore> store,
                                 QObject* parent)
    : QObject(parent), m_folder(folder), m_store(std::move(store))
{
    m_watcher.addPath(folder);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PromiseReceiver::scan);
    m_end.setSingleShot(true);
    connect(&m_end, &QTimer::timeout, this, [this] {
        scan();
        deleteLater();
    });
    m_end.start(limitMs);
    scan();
}

QThreadPool* PromiseReceiver::promisePool()
{
    static QThreadPool pool;
    return &pool;
}

void PromiseReceiver::sourceFinished()
{
    m_finished = true;
    scan();
    m_end.start(graceMs);
}

void PromiseReceiver::scan()
{
    // One listing at a time; changes during it trigger one more.
    if (m_scanning) {
        m_rescan = true;
        return;
    }
    m_scanning = true;
    QPointer<PromiseReceiver> self(this);
    const QString folder = m_folder;
    // While the source is still saving, hidden entries are its work in
    // progress (partial files); once it has answered, everything counts.
    const QDir::Filters filters = QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot |
                                  (m_finished ? QDir::Hidden : QDir::Filters());
    promisePool()->start([self, folder, filters] {
        const QStringList names =
            QDir(folder).entryList(filters, QDir::Time | QDir::Reversed);
        QStringList paths;
        for (const QString& n : names)
            paths << folder + u'/' + n;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [self, paths] {
                if (self)
                    self->added(paths);
            },
            Qt::QueuedConnection);
    });
}

void PromiseReceiver::added(const QStringList& paths)
{
    m_scanning = false;
    QList<QUrl> fresh;
    for (const QString& p : paths) {
        if (!m_seen.contains(p)) {
            m_seen.insert(p);
            fresh << QUrl::fromLocalFile(p);
        }
    }
    if (!fresh.isEmpty()) {
        if (ShelfStorePtr store = m_store.lock())
            store->add(fresh, true);
    }
    if (m_rescan) {
        m_rescan = false;
        scan();
    }
}
