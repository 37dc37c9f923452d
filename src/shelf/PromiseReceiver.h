#pragma once

#include "model/ShelfStore.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>

class QThreadPool;

// Adds the files that another program saves into a drop folder (a promised
// file, X Direct Save) to a shelf as they land: the folder is watched, read
// on the promise thread pool, and each new entry is added on the UI thread as
// a temporary item. Watching ends a little while after the source has
// answered, or after a time limit.
class PromiseReceiver : public QObject
{
    Q_OBJECT
public:
    PromiseReceiver(const QString& folder, std::weak_ptr<ShelfStore> store,
                    QObject* parent = nullptr);

    // The source has answered (saved or not): pick up what is there, keep
    // watching briefly for stragglers, then end.
    void sourceFinished();

    const QString& folder() const { return m_folder; }

    // The pool shared by all shelves for reading promised files.
    static QThreadPool* promisePool();

    static constexpr int graceMs = 3000;
    static constexpr int limitMs = 10 * 60 * 1000;

private:
    void scan();
    void added(const QStringList& paths);

    QString m_folder;
    std::weak_ptr<ShelfStore> m_store;
    QFileSystemWatcher m_watcher;
    QTimer m_end;
    QSet<QString> m_seen;
    bool m_scanning = false;
    bool m_rescan = false;
    bool m_finished = false;
};
