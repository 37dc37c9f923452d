#include "shelf/ShelfListView.h"

#include "shelf/ShelfColors.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfListAccessible.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>

namespace {

// The focus ring floats over the rows, which cover the whole viewport; it
// takes no input.
class FocusRing : public QWidget
{
public:
    explicit FocusRing(QWidget* list) : QWidget(list)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        ShelfColors::drawFocusRing(p, QRectF(rect()), 8, this);
    }
};

} // namespace

ShelfListView::ShelfListView(QWidget* parent) : QScrollArea(parent), m_ring(new FocusRing(this))
{
    setFocusPolicy(Qt::StrongFocus);
    ShelfListAccessible::install();
}

ShelfContentView* ShelfListView::content() const
{
    return qobject_cast<ShelfContentView*>(parentWidget());
}

void ShelfListView::keyPressEvent(QKeyEvent* e)
{
    // Keys the list does not take are the shelf's (its parent's).
    ShelfContentView* shelf = content();
    if (shelf && shelf->listKeyPress(e))
        e->accept();
    else
        e->ignore();
}

void ShelfListView::contextMenuEvent(QContextMenuEvent* e)
{
    ShelfContentView* shelf = content();
    if (shelf && shelf->listContextMenu(e))
        e->accept();
    else
        e->ignore();
}

void ShelfListView::focusInEvent(QFocusEvent* e)
{
    QScrollArea::focusInEvent(e);
    m_ring->setGeometry(rect());
    m_ring->raise();
    m_ring->show();
    // A screen reader hears of the selected row, not only of the list.
    if (ShelfContentView* shelf = content())
        ShelfListAccessible::focusChanged(this, shelf->selectedIndex());
}

void ShelfListView::focusOutEvent(QFocusEvent* e)
{
    QScrollArea::focusOutEvent(e);
    m_ring->hide();
}

void ShelfListView::resizeEvent(QResizeEvent* e)
{
    QScrollArea::resizeEvent(e);
    m_ring->setGeometry(rect());
}
