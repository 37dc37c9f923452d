#pragma once

#include "model/ShelfItem.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QRectF>

#include <functional>
#include <memory>
#include <vector>

class ShelfWindowController;

// Where a request for a shelf comes from: only a shake reuses a shelf, a
// shelf asked for from the tray menu hangs from its top edge, and every shelf
// but a shake's takes the keyboard focus (a shake comes in the middle of a
// drag, whose source keeps the pointer and the keyboard).
enum class ShelfOrigin { Shake, HotKey, Menu, CommandLine };

// The open shelves, oldest first. Every way of getting a shelf ends in
// openShelf; every shelf leaves through its own close, after its fade.
class ShelfRegistry : public QObject
{
    Q_OBJECT
public:
    ShelfRegistry();
    ~ShelfRegistry() override;

    // A shake reuses the oldest empty shelf whose frame, grown by
    // `reuseMargin` on every side, holds the point (and wiggles it);
    // otherwise a new shelf opens at the point. `userTime` is the window
    // system's time of the key press or click that asked for the shelf (0:
    // not known), with which it asks for the focus.
    ShelfWindowController* openShelf(const QPointF& point, ShelfOrigin origin,
                                     quint32 userTime = 0);
    // A new shelf beside `anchor` (the tray icon that asked for it), towards
    // the middle of the screen, with the focus.
    ShelfWindowController* openShelfBeside(const QRectF& anchor, quint32 userTime = 0);
    // A shelf of an earlier run, in its mode, holding `items`, not shown yet:
    // its `showRestored` puts it back where it was, and may be left to a turn
    // of its own, since showing a window costs as much as making it.
    ShelfWindowController* restoreShelf(bool listMode, const QList<ShelfItemPtr>& items);
    // Fades every open shelf out; each leaves the registry when its fade ends.
    void closeAll();
    // Brings a shelf forward and wiggles it.
    static void focus(ShelfWindowController* shelf);

    const std::vector<std::unique_ptr<ShelfWindowController>>& shelves() const { return m_shelves; }

    // Called after a shelf opens or leaves, and after a shelf's items change.
    std::function<void()> onChange;
Q_SIGNALS:
    // The same moments as onChange, for any number of listeners.
    void shelvesChanged();

public:

    static constexpr qreal reuseMargin = 60;

private:
    void changed();
    // A new shelf, registered until its own close.
    ShelfWindowController* add();

    std::vector<std::unique_ptr<ShelfWindowController>> m_shelves;
};
