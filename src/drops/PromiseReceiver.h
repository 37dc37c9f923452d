#pragma once

#include "model/ShelfStore.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;

// Adds the files that another program saves into a drop folder (X Direct
// Save) to a shelf, as temporary items, and only once they are complete:
// when the source has answered that it saved, or, while it has not, when it
// has closed or moved in a file. Ends a little while after the source has
// answered, or after a time limit; a folder that stayed empty is removed.
class PromiseReceiver : public QObject
{
    Q_OBJECT
public:
    PromiseReceiver(const QString& folder, std::weak_ptr<ShelfStore> store,
                    QObject* parent = nullptr);
    ~PromiseReceiver() override;

    // The source has answered: `saved` when it said it saved ("S"), false
    // when the answer never came. Picks up what is there, keeps watching
    // briefly for stragglers, then ends.
    void sourceFinished(bool saved);

    // Nothing ever arrived.
    std::function<void()> onNothing;

    const QString& folder() const { return m_folder; }

    static constexpr int graceMs = 3000;
    static constexpr int limitMs = 10 * 60 * 1000;

private:
    void readEvents();
    void scan();
    void arrived(const QList<QByteArray>& names);
    void end();

    QString m_folder;
    std::weak_ptr<ShelfStore> m_store;
    int m_inotify = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_end;
    QSet<QByteArray> m_seen;
    bool m_saved = false;
};
