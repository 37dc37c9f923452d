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

qreal BadgeView::digitWidth() const
{
    // The widest digit: every digit is drawn in a cell this wide, whether or
    // not the font's own figures are of equal width.
    const QFontMetricsF fm(textFont());
    qreal widest = 0;
    for (char d = '0'; d <= '9'; ++d)
        widest = std::max(widest, fm.horizontalAdvance(QLatin1Char(d)));
    return widest;
}

QSize BadgeView::sizeHint() const
{
    const qreal text = digitWidth() * QString::number(m_count).size();
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
    const QString digits = QString::number(m_count);
    const qreal cell = digitWidth();
    qreal x = r.center().x() - cell * digits.size() / 2;
    for (const QChar digit : digits) {
        p.drawText(QRectF(x, r.top(), cell, r.height()), Qt::AlignCenter, QString(digit));
        x += cell;
    }
}
