#include "shelf/ItemRowView.h"

#include "shelf/ShelfColors.h"
#include "shelf/StackAreaView.h"
#include "shelf/SymbolButton.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>

#include <cmath>

ItemRowView::ItemRowView(ShelfItemPtr item, QWidget* parent)
    : QWidget(parent), m_item(std::move(item)), m_picture(m_item->thumbnail()),
      m_name(m_item->displayName())
{
    setFont(ShelfColors::font(this, 12));
    // Screen readers read the list's items (ShelfListAccessible), which
    // stand for the rows whether or not they are built: a row names nothing.
}

void ItemRowView::refreshPicture()
{
    const QImage picture = m_item->thumbnail();
    if (picture.cacheKey() == m_picture.cacheKey())
        return;
    m_picture = picture;
    update(QRect(8, 6, 32, 32));
}

QRect ItemRowView::nameRect() const { return QRect(48, 13, width() - 48 - 34, 18); }

QString ItemRowView::shownName() const
{
    return QFontMetrics(font()).elidedText(m_name, Qt::ElideMiddle, nameRect().width());
}

void ItemRowView::resizeEvent(QResizeEvent*)
{
    if (m_remove)
        m_remove->setGeometry(width() - 30, 10, 24, 24);
}

void ItemRowView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::Highlight));
        p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 8, 8);
    } else if (m_hovering) {
        p.setPen(Qt::NoPen);
        p.setBrush(ShelfColors::withAlpha(ShelfColors::label(this), 0.07));
        p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 8, 8);
    }
    p.setPen(palette().color(m_selected ? QPalette::HighlightedText : QPalette::WindowText));
    p.drawText(nameRect(), Qt::AlignLeft | Qt::AlignVCenter, shownName());
    // The picture, scaled proportionally into its 32-point square.
    const QRectF box(8, 6, 32, 32);
    if (!m_picture.isNull() && m_picture.width() > 0 && m_picture.height() > 0) {
        const qreal s = 32.0 / std::max(m_picture.width(), m_picture.height());
        const QSizeF size(m_picture.width() * s, m_picture.height() * s);
        p.drawImage(QRectF(box.center() - QPointF(size.width() / 2, size.height() / 2), size),
                    m_picture);
    }
}

void ItemRowView::setHovering(bool hovering)
{
    m_hovering = hovering;
    showRemoveButton();
    update();
}

void ItemRowView::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    showRemoveButton();
    update();
}

void ItemRowView::showRemoveButton()
{
    const bool wanted = m_hovering || m_selected;
    if (wanted && !m_remove) {
        m_remove = new SymbolButton(QStringLiteral("minus"), tr("Remove from shelf"), this);
        m_remove->setGeometry(width() - 30, 10, 24, 24);
        connect(m_remove, &SymbolButton::clicked, this, [this] {
            if (onRemove)
                onRemove();
        });
    }
    if (m_remove)
        m_remove->setVisible(wanted);
}

void ItemRowView::enterEvent(QEnterEvent* e)
{
    setHovering(true);
    QWidget::enterEvent(e);
}

void ItemRowView::leaveEvent(QEvent* e)
{
    setHovering(false);
    QWidget::leaveEvent(e);
}

void ItemRowView::mousePressEvent(QMouseEvent* e)
{
    // A row never moves the shelf. The press activates it, as one on its
    // background does, so that its keys work where no window manager
    // activates windows that are clicked.
    e->accept();
    if (!window()->isActiveWindow())
        window()->activateWindow();
    if (onSelect)
        onSelect();
    if (e->button() != Qt::LeftButton)
        return;
    m_mouseDownPoint = e->scenePosition();
}

void ItemRowView::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton)
        return;
    // The second press of a double click opens the file and starts nothing.
    m_mouseDownPoint.reset();
    if (onOpen)
        onOpen();
}

void ItemRowView::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_mouseDownPoint)
        return;
    const QPointF d = e->scenePosition() - *m_mouseDownPoint;
    if (std::hypot(d.x(), d.y()) > StackAreaView::dragThreshold) {
        m_mouseDownPoint.reset();
        if (onDragStart)
            onDragStart(e);
    }
}

void ItemRowView::mouseReleaseEvent(QMouseEvent*) { m_mouseDownPoint.reset(); }

QMenu* ItemRowView::makeMenu()
{
    auto* menu = new QMenu(this);
    menu->addAction(tr("Open"), this, [this] {
        if (onOpen)
            onOpen();
    });
    menu->addAction(tr("Show in File Manager"), this, [this] {
        if (onReveal)
            onReveal();
    });
    menu->addSeparator();
    menu->addAction(tr("Remove from Shelf"), this, [this] {
        if (onRemove)
            onRemove();
    });
    return menu;
}

void ItemRowView::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = makeMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
    e->accept();
}
