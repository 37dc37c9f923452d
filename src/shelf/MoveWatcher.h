#pragma once

#include "model/ShelfStore.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Keeps an eye on items that were dragged out of a shelf. File managers
// finish a drop first and move the files afterwards, in a job that may take
// minutes across disks; whenever something leaves the folder of a watched
// item, the items whose files are gone leave the shelf. Items stay watched
// as long as the shelf holds them.
class MoveWatcher : public QObject
{
    Q_OBJECT
public:
    explicit MoveWatcher(std::weak_ptr<ShelfStore> store, QObject* parent = nullptr);
    ~MoveWatcher() override;

    // Watches these items from now on (items already watched stay so).
    void watch(const QList<ShelfItemPtr>& items);
    // Stops watching items that have left the shelf.
    void forgetGone();

    // Items left this way and the shelf is now empty.
    std::function<void()> onEmptied;

    // How many items are watched now.
    qsizetype watchedCount() const;

private:
    void check(const QByteArray& folder);

    struct Folder
    {
        int token = 0;
        std::vector<std::weak_ptr<ShelfItem>> items;
    };

    std::weak_ptr<ShelfStore> m_store;
    QHash<QByteArray, Folder> m_folders;
};
