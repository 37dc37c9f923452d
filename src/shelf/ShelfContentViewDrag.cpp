// Dragging items out of a shelf: the whole pile from the stack area, or one
// item from its row. Items whose files the drop took away leave the shelf,
// and a shelf left empty closes.
#include "shelf/ShelfContentView.h"

#include "platform/OutgoingDrag.h"
#include "platform/freedesktop/FileTransfer.h"
#include "shelf/ItemRowView.h"
#include "shelf/MoveWatcher.h"

#include <QDrag>
#include <QMimeData>
#include <QPainter>
#include <QPointer>

namespace {

constexpr int stackImageSide = 96;
constexpr int rowImageSide = 32;
constexpr int imageStep = 3; // each later picture sits 3 points right and down
constexpr int maxSteps = 4;

} // namespace

QPixmap ShelfContentView::dragImage(const QList<ShelfItemPtr>& items, int side, QPoint* hotSpot,
                                    qreal devicePixelRatio)
{
    const qsizetype shown = std::min<qsizetype>(items.size(), maxSteps + 1);
    const int extent = side + imageStep * int(std::max<qsizetype>(shown - 1, 0));
    QPixmap pixmap(QSize(extent, extent) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    // Items past the fifth sit exactly under it; draw back to front so the
    // first item is on top.
    for (qsizetype i = shown - 1; i >= 0; --i) {
        const QImage picture = items[i]->thumbnail();
        const int k = int(std::min<qsizetype>(i, maxSteps));
        const QRectF cell(imageStep * k, imageStep * k, side, side);
        if (picture.width() <= 0 || picture.height() <= 0)
            continue;
        const qreal s = qreal(side) / std::max(picture.width(), picture.height());
        const QSizeF size(picture.width() * s, picture.height() * s);
        p.drawImage(QRectF(cell.center() - QPointF(size.width() / 2, size.height() / 2), size),
                    picture);
    }
    p.end();
    if (hotSpot)
        *hotSpot = QPoint(side / 2, side / 2); // the first picture is centred on the pointer
    return pixmap;
}

void ShelfContentView::beginDrag(const QList<ShelfItemPtr>& items, QWidget* source,
                                 QMouseEvent* event)
{
    Q_UNUSED(event);
    if (items.isEmpty())
        return;
    // A copy: the list given may be the store's own, and items that arrive
    // while the drag runs are not part of it.
    const QList<ShelfItemPtr> dragged = items;
    m_draggingOut = dragged;
    const bool oneRow = dragged.size() == 1 && qobject_cast<ItemRowView*>(source);
    const int side = oneRow ? rowImageSide : stackImageSide;

    QList<QUrl> urls;
    for (const ShelfItemPtr& item : dragged)
        urls << item->url();
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    // Sandboxed programs take files through the desktop's portal; the key
    // comes long before a drop asks for it.
    FileTransfer::instance()->offer(mime, urls, true, false);

    // The drag belongs to the content view, which outlives the rows (a row
    // may be rebuilt while its drag is under way).
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    QPoint hotSpot;
    drag->setPixmap(dragImage(dragged, side, &hotSpot, devicePixelRatioF()));
    drag->setHotSpot(hotSpot);
    OutgoingDrag::track(drag);

    QPointer<ShelfContentView> self(this);
    if (execDrag) {
        const Qt::DropAction action = execDrag(drag);
        if (!self)
            return;
        drag->deleteLater();
        endDrag(dragged, action);
        return;
    }
    // Qt owns a drag that it runs: exec() returns once the drop is sent, and
    // the drag (with the data the target reads) lives on until the target
    // reports that it has finished, when Qt deletes it. Only then have the
    // files that a target moves left their places.
    QPointer<QDrag> running(drag);
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    if (!self)
        return;
    if (!running || action == Qt::IgnoreAction) {
        endDrag(dragged, action);
        return;
    }
    // No longer tied to this view: a shelf that closes meanwhile must not
    // take the target's data with it.
    drag->setParent(nullptr);
    connect(drag, &QObject::destroyed, this, [this, dragged, action] { endDrag(dragged, action); });
}

void ShelfContentView::endDrag(const QList<ShelfItemPtr>& dragged, Qt::DropAction action)
{
    // A later drag may have begun while the target was still at work.
    if (m_draggingOut == dragged)
        m_draggingOut.clear();
    if (action == Qt::IgnoreAction)
        return;
    // Whatever the target says it did, the file system tells: items whose
    // files are no longer where they were have been moved away. Many targets
    // move the files only after they have finished the drop (a background
    // job, minutes long across disks), so the files stay watched from now on.
    m_moves->watch(dragged);
    QPointer<ShelfContentView> self(this);
    m_store->pruneMissing(dragged, [self](qsizetype) {
        if (self)
            self->closeEmptied();
    });
}