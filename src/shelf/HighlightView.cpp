#include "shelf/HighlightView.h"

#include "shelf/ShelfColors.h"

#include <QPainter>

HighlightView::HighlightView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void HighlightView::setRadius(qreal radius)
{
    m_radius = radius;
    update();
}

void HighlightView::setActive(bool active)
{
    if (m_isActive == active)
        return;
    m_isActive = active;
    update();
}

void HighlightView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_isActive) {
        const QColor accent = ShelfColors::accent(this);
        p.setPen(Qt::NoPen);
        p.setBrush(ShelfColors::withAlpha(accent, 0.1));
        p.drawRoundedRect(r, m_radius, m_radius);
        p.setPen(QPen(accent, 2.5));
    } else {
        p.setPen(QPen(ShelfColors::withAlpha(Qt::white, 0.12), 1.0));
    }
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, m_radius, m_radius);
}
