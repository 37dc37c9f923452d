// Receiving drops, the widget's part: what the shelf accepts, what it
// refuses (its own drag), and how it looks while a drag hovers over it. The
// content itself goes to the drop reader.
#include "shelf/ShelfContentView.h"

#include "drops/DropReader.h"
#include "shelf/HighlightView.h"
#include "shelf/StackAreaView.h"

#include <QDragEnterEvent>

bool ShelfContentView::isOwnDrag(const QObject* source) const { return source == this; }

void ShelfContentView::setDropHover(bool on)
{
    m_highlight->setActive(on);
    m_stackArea->isDropTarget = on;
    m_stackArea->update();
}

void ShelfContentView::dragEnterEvent(QDragEnterEvent* e)
{
    // A drag out of this shelf may not come back to it.
    if (isOwnDrag(e->source()) || !DropReader::canTake(e->mimeData())) {
        e->ignore();
        return;
    }
    setDropHover(true);
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void ShelfContentView::dragMoveEvent(QDragMoveEvent* e)
{
    if (isOwnDrag(e->source()) || !DropReader::canTake(e->mimeData())) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void ShelfContentView::dragLeaveEvent(QDragLeaveEvent*) { setDropHover(false); }

void ShelfContentView::dropEvent(QDropEvent* e)
{
    setDropHover(false);
    if (isOwnDrag(e->source())) {
        e->ignore();
        return;
    }
    if (takeDrop(e->mimeData(), e->source())) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
    } else {
        e->ignore();
    }
}

bool ShelfContentView::takeDrop(const QMimeData* mime, QObject* source)
{
    return !isOwnDrag(source) && m_drops->take(mime);
}
