#include "app/ShelfRegistry.h"

#include "platform/Screens.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "model/ShelfStore.h"
#include "shelf/ShelfWindowController.h"

#include <QPointer>

ShelfRegistry::ShelfRegistry() = default;

ShelfRegistry::~ShelfRegistry() = default;

ShelfWindowController* ShelfRegistry::openShelf(const QPointF& point, ShelfOrigin origin,
                                                quint32 userTime)
{
    if (origin == ShelfOrigin::Shake) {
        for (const auto& shelf : m_shelves) {
            if (!shelf->store()->items.isEmpty() || !shelf->window() || shelf->isClosing())
                continue;
            const QRectF grown = QRectF(shelf->window()->geometry())
                                     .adjusted(-reuseMargin, -reuseMargin, reuseMargin, reuseMargin);
            if (Screens::contains(grown, point)) {
                focus(shelf.get());
                return shelf.get();
            }
        }
    }
    ShelfWindowController* shelf = add();
    shelf->show(point, origin == ShelfOrigin::Menu);
    if (origin != ShelfOrigin::Shake)
        shelf->activate(userTime);
    changed();
    return shelf;
}

ShelfWindowController* ShelfRegistry::openShelfBeside(const QRectF& anchor, quint32 userTime)
{
    ShelfWindowController* shelf = add();
    shelf->showBeside(anchor);
    shelf->activate(userTime);
    changed();
    return shelf;
}

ShelfWindowController* ShelfRegistry::add()
{
    auto shelf = std::make_unique<ShelfWindowController>();
    ShelfWindowController* raw = shelf.get();
    QPointer<ShelfRegistry> self(this);
    QPointer<ShelfWindowController> weak(raw);
    shelf->onClose = [self, weak] {
        if (!self || !weak)
            return;
        auto& list = self->m_shelves;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->get() == weak) {
                // Released later: this runs inside the shelf's own animation.
                it->release()->deleteLater();
                list.erase(it);
                self->changed();
                break;
            }
        }
    };
    // Told after the shelf's own view has heard of the change; the shelf
    // stops the store's calls when it goes.
    shelf->store()->onChange = [self, forShelf = shelf->store()->onChange] {
        if (forShelf)
            forShelf();
        if (self)
            self->changed();
    };
    m_shelves.push_back(std::move(shelf));
    return raw;
}

void ShelfRegistry::changed()
{
    if (onChange)
        onChange();
    Q_EMIT shelvesChanged();
}

ShelfWindowController* ShelfRegistry::restoreShelf(bool listMode, const QList<ShelfItemPtr>& items)
{
    ShelfWindowController* shelf = add();
    shelf->store()->add(items);
    if (listMode && !items.isEmpty())
        shelf->content()->toggleList();
    changed();
    return shelf;
}

void ShelfRegistry::closeAll()
{
    // A copy: shelves leave the registry as their fades end.
    std::vector<ShelfWindowController*> all;
    for (const auto& shelf : m_shelves)
        all.push_back(shelf.get());
    for (ShelfWindowController* shelf : all) {
        if (shelf->window())
            shelf->close();
    }
}

void ShelfRegistry::focus(ShelfWindowController* shelf)
{
    if (!shelf)
        return;
    shelf->bringToFront();
    shelf->content()->wiggle();
}
