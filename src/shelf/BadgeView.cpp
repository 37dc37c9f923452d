#include "shelf/BadgeView.h"

#include "shelf/ShelfColors.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

BadgeView::BadgeView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void BadgeView::setCount(int count)
{
    m_count = count;
    updateGeometry();
    update();
}

QFont BadgeView::textFont() const
{
    // Bold digits of equal width, so the badge does not wobble as it counts.
    QFont f = ShelfColors::font(this, 11, QFont::Bold);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QSize BadgeView::sizeHint() const
{
    const qreal text = QFontMetricsF(textFont()).horizontalAdvance(QString::number(m_count));
    return QSize(int(std::ceil(std::max(text + 14, 24.0))), 18);
}

void BadgeView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    p.setPen(Qt::NoPen);
    p.setBrush(ShelfColors::accent(this));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setPen(Qt::white);
    p.setFont(textFont());
    p.drawText(r, Qt::AlignCenter, QString::number(m_count));
}
