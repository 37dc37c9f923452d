#include "drops/PromiseReceiver.h"

#include "core/Background.h"
#include "core/NativePath.h"
#include "drops/DropFolders.h"
#include "platform/freedesktop/FolderWatcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QUrl>

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

PromiseReceiver::PromiseReceiver(const QString& folder, std::weak_ptr<ShelfStore> store,
                                 QObject* parent)
    : QObject(parent), m_folder(folder), m_store(std::move(store))
{
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0 &&
        inotify_add_watch(m_inotify, QFile::encodeName(folder).constData(),
                          IN_CLOSE_WRITE | IN_MOVED_TO | IN_ONLYDIR) >= 0) {
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &PromiseReceiver::readEvents);
    }
    m_end.setSingleShot(true);
    connect(&m_end, &QTimer::timeout, this, &PromiseReceiver::end);
    m_end.start(limitMs);
}

PromiseReceiver::~PromiseReceiver()
{
    if (m_inotify >= 0)
        ::close(m_inotify);
}

void PromiseReceiver::sourceFinished(bool saved)
{
    m_saved = saved;
    if (saved)
        scan();
    m_end.start(saved ? graceMs : limitMs);
}

void PromiseReceiver::readEvents()
{
    // A file the source closed after writing, or moved in, is complete.
    QList<QByteArray> names;
    FolderWatcher::readInotify(m_inotify, [&](const inotify_event& event) {
        if (event.len > 0)
            names << QByteArray(event.name);
    });
    // A hidden name is a source's work in progress until it says it saved.
    if (!m_saved)
        names.removeIf([](const QByteArray& name) { return name.startsWith('.'); });
    arrived(names);
    if (m_saved)
        scan();
}

void PromiseReceiver::scan()
{
    QPointer<PromiseReceiver> self(this);
    const QByteArray folder = QFile::encodeName(m_folder);
    Background::run([self, folder] {
        QList<QByteArray> names;
        if (DIR* dir = opendir(folder.constData())) {
            while (dirent* entry = readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    names << name;
            }
            closedir(dir);
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [self, names] {
                if (self)
                    self->arrived(names);
            },
            Qt::QueuedConnection);
    });
}

void PromiseReceiver::arrived(const QList<QByteArray>& names)
{
    QList<QUrl> fresh;
    const QByteArray folder = QFile::encodeName(m_folder);
    for (const QByteArray& name : names) {
        if (m_seen.contains(name))
            continue;
        m_seen.insert(name);
        fresh << NativePath::toUrl(folder + '/' + name);
    }
    if (fresh.isEmpty())
        return;
    if (ShelfStorePtr store = m_store.lock())
        store->add(fresh, true);
}

void PromiseReceiver::end()
{
    if (m_seen.isEmpty()) {
        DropFolders::removeDropFolder(m_folder);
        if (onNothing)
            onNothing();
    }
    deleteLater();
}
