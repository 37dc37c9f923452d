#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>

#include <functional>
#include <memory>
#include <vector>

class ShelfWindowController;

// Where a request for a shelf comes from: only a shake reuses a shelf, and a
// shelf asked for from the tray menu hangs from its top edge.
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
    // otherwise a new shelf opens at the point.
    ShelfWindowController* openShelf(const QPointF& point, ShelfOrigin origin);
    // A new shelf beside `anchor` (the tray icon that asked for it), towards
    // the middle of the screen.
    ShelfWindowController* openShelfBeside(const QRectF& anchor);
    // Fades every open shelf out; each leaves the registry when its fade ends.
    void closeAll();
    // Brings a shelf forward and wiggles it.
    static void focus(ShelfWindowController* shelf);

    const std::vector<std::unique_ptr<ShelfWindowController>>& shelves() const { return m_shelves; }

    // Called after a shelf opens or leaves, and after a shelf's items change.
    std::function<void()> onChange;

    static constexpr qreal reuseMargin = 60;

private:
    void changed();
    // A new shelf, registered until its own close.
    ShelfWindowController* add();

    std::vector<std::unique_ptr<ShelfWindowController>> m_shelves;
};
